"""Checking pages against an SEO contract.

:func:`check_page` checks a page's HTML (with its status and headers),
:func:`check_payload` a payload built in-process, both against the
expectation the contract sets for the route: the defaults, then every rule
whose pattern matches, then the route's exception. ``zelko check`` does the
same over a directory of built pages or a running site.

Parsing HTML needs the ``check`` extra (``pip install "zelko[check]"``);
checking payloads does not.
"""

from __future__ import annotations

from collections.abc import Collection, Mapping, Sequence
from typing import Any

from _zelko_native import SEOPayload

from .checker import PageChecker
from .contract import ContractSource, load_contract
from .findings import CheckFinding
from .graph import SiteGraph
from .page import Headers, PageFacts, page_facts, payload_facts, payload_mapping
from .rules import check_facts
from .site import SiteIndex, SiteInputs, mapping_is_missing, parse_robots, site_findings

__all__ = ["CheckFinding", "check_page", "check_payload"]

# Pages parsed at a time before they are checked (see PageChecker.check_pages).
_CHUNK_PAGES = 64


def check_page(
    contract: ContractSource,
    route: str,
    html: str | bytes,
    *,
    status: int = 200,
    headers: Headers | None = None,
    sitemap: Collection[str] | None = None,
) -> list[CheckFinding]:
    """The findings of a page served at ``route``.

    ``contract`` is an ``SEOContract``, its JSON text or the path of a
    contract file; ``headers`` (a mapping or pairs) may carry X-Robots-Tag
    and, for a redirect, Location; ``sitemap`` holds the URLs the site's
    sitemap lists (``None``: there is none, and ``sitemap.required`` fails).
    A bad contract raises :class:`zelko.InputError` naming the field.
    """
    checked = load_contract(contract)
    return check_facts(checked, route, page_facts(html, status, headers), sitemap)


def check_payload(
    contract: ContractSource,
    route: str,
    payload: SEOPayload | Mapping[str, Any],
    *,
    sitemap: Collection[str] | None = None,
) -> list[CheckFinding]:
    """The findings of the page a payload describes, served at ``route``:
    the same expectations as :func:`check_page` (the page exists). A payload
    carries no hreflang links, so ``hreflang.required`` fails on it."""
    checked = load_contract(contract)
    return check_facts(checked, route, payload_facts(payload_mapping(payload)), sitemap)


def check_site(
    pages: Mapping[str, str | bytes],
    contract: ContractSource,
    *,
    sitemap: Collection[str] | None = None,
    robots: str | bytes | None = None,
) -> list[CheckFinding]:
    """The findings of a whole site: ``pages`` maps each route to its built
    HTML. Each page is checked as :func:`check_page` checks it, then the site
    rules run over them all (their findings come first, as in ``zelko
    check``): the sitemap rules only when ``sitemap`` (the URLs it lists) is
    given, the robots.txt rule only with ``robots`` (its text) too. A route
    that is not in ``pages`` is missing, unless it names a file of another
    kind (``/logo.png``)."""
    checked = load_contract(contract)
    links = checked.site_rules.get("broken_link") is not None

    def reread(routes: Sequence[str]) -> list[PageFacts]:
        return [page_facts(pages[route], links=True) for route in routes]

    index = SiteIndex(checked.page_url, [checked.page_url("")], reread, mapping_is_missing)
    graph = SiteGraph()
    checker = PageChecker(checked, sitemap, graph, links=links)
    findings = []
    numbered = [(number, route, html) for number, (route, html) in enumerate(pages.items())]
    for start in range(0, len(numbered), _CHUNK_PAGES):
        chunk = numbered[start : start + _CHUNK_PAGES]
        for (_, route, _), (found, facts) in zip(chunk, checker.check_pages(chunk), strict=True):
            findings.extend(found)
            index.add(route, facts)
    if isinstance(robots, str):
        robots = robots.encode("utf-8")
    inputs = SiteInputs(sitemap, None if robots is None else parse_robots(robots))
    return site_findings(index, checked.site_rules, inputs) + graph.findings() + findings
