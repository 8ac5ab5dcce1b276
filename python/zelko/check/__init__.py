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

from collections.abc import Collection, Mapping
from typing import Any

from _zelko_native import SEOPayload

from .contract import ContractSource, load_contract
from .findings import CheckFinding
from .page import Headers, page_facts, payload_facts, payload_mapping
from .rules import check_facts

__all__ = ["CheckFinding", "check_page", "check_payload"]


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
