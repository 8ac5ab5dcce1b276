"""The checks: what each expectation field means for a page."""

from __future__ import annotations

from collections.abc import Callable, Collection, Iterator
from dataclasses import dataclass
from typing import Any
from urllib.parse import urljoin

from ..structured_data import check_structured_data
from .contract import FIELD_ORDER, Contract, Expectation, SchemaExpectation
from .findings import ERROR, INFO, WARNING, CheckFinding
from .graph import dangling_findings
from .head import HeadRequirement
from .page import GONE, REDIRECTS, PageFacts, node_types

# The only fields that mean something for a page that is not there.
EXISTENCE = frozenset({"required", "forbidden", "indexable"})

OPEN_GRAPH_REQUIRED = ("og:title", "og:type", "og:url", "og:image")
TWITTER_REQUIRED = ("twitter:card",)


@dataclass(frozen=True)
class Page:
    """A page under check: its facts, its own URL and the site's sitemap
    (``None`` when there is none to look in)."""

    facts: PageFacts
    url: str
    contract: Contract
    sitemap: Collection[str] | None

    @property
    def canonical(self) -> str | None:
        """The canonical link's URL, a relative one resolved against the page."""
        return canonical_url(self.facts.canonical, self.url)


def canonical_url(href: str | None, page_url: str) -> str | None:
    """A canonical link's URL: a relative one resolved against the page's."""
    if href is None or href.startswith(("https://", "http://")):
        return href
    try:
        return urljoin(page_url, href)
    except ValueError:  # "//[x": no URL at all, so not the one expected
        return href


@dataclass(frozen=True)
class Failure:
    message: str
    actual: object = None
    field: str | None = None  # set when it differs from the expectation's own
    severity: str | None = None  # set when milder than the expectation's own


Check = Callable[[Page, Any], Iterator[Failure]]


def check_facts(
    contract: Contract, route: str, facts: PageFacts, sitemap: Collection[str] | None
) -> list[CheckFinding]:
    """Every finding of one page against its expectation, in field order."""
    if facts.failure is not None:
        # No response at all: nothing about the page can be told.
        return [CheckFinding(route, "status", ERROR, describe_status(facts), facts.status)]
    page = Page(facts, contract.page_url(route), contract, sitemap)
    expectation = contract.expectation(route)
    findings = [CheckFinding(route, "jsonld", ERROR, error) for error in facts.jsonld_errors]
    findings += dangling_findings(route, facts.jsonld_objects)
    for field, setting in expectation.items():
        if not facts.present and field not in EXISTENCE:
            continue
        for failure in _CHECKS[field](page, setting.value):
            findings.append(
                CheckFinding(
                    route,
                    failure.field or field,
                    _milder(failure.severity, setting.severity),
                    failure.message,
                    failure.actual,
                )
            )
    if not facts.present and not findings:
        findings.extend(_status_finding(route, facts, expectation))
    return findings


def _status_finding(route: str, facts: PageFacts, expectation: Expectation) -> list[CheckFinding]:
    """A page that is not there and that no check has reported yet. When
    nothing in the contract speaks of its absence (and nothing else can be
    checked), that is an error; a redirect the contract allows is still
    reported, with its target, as information."""
    if not EXISTENCE.intersection(expectation):
        return [CheckFinding(route, "status", ERROR, describe_status(facts), facts.status)]
    if facts.status in REDIRECTS:
        return [CheckFinding(route, "status", INFO, describe_status(facts), facts.status)]
    return []


def describe_status(facts: PageFacts) -> str:
    if facts.failure is not None and facts.status == 200:
        return f"page not read: {facts.failure}"
    if facts.failure is not None:
        return f"no response: {facts.failure}"
    if facts.status in REDIRECTS:
        return f"page redirects ({facts.status}) to {facts.location or 'nowhere'}"
    if facts.status in GONE:
        return f"page not found ({facts.status})"
    if facts.status == 200:
        return "page exists (200)"
    return f"page answers with status {facts.status}"


# --- The page ----------------------------------------------------------------


def _required(page: Page, wanted: bool) -> Iterator[Failure]:
    if wanted and not page.facts.present:
        yield Failure(describe_status(page.facts), page.facts.status)


def _forbidden(page: Page, wanted: bool) -> Iterator[Failure]:
    if wanted and page.facts.status not in GONE:
        yield Failure(f"{describe_status(page.facts)}, but must not exist", page.facts.status)


def _indexable(page: Page, wanted: bool) -> Iterator[Failure]:
    facts = page.facts
    indexable = facts.present and not facts.noindex
    if wanted and not facts.present:
        yield Failure(f"not indexable: {describe_status(facts)}", facts.status)
    elif wanted and facts.noindex:
        yield Failure("not indexable: robots directives say noindex", sorted(facts.robots))
    elif not wanted and indexable:
        yield Failure("indexable, but must not be: status 200 and no noindex", sorted(facts.robots))


def _item_count(page: Page, limit: int, at_least: bool) -> Iterator[Failure]:
    count = len(page.facts.jsonld_nodes)
    if at_least and count < limit:
        yield Failure(f"{count} JSON-LD nodes, fewer than {limit}", count)
    elif not at_least and count > limit:
        yield Failure(f"{count} JSON-LD nodes, more than {limit}", count)


def _canonical(page: Page, wanted: str) -> Iterator[Failure]:
    actual = page.canonical
    if wanted == "absent":
        if actual is not None:
            yield Failure("a canonical link is present, but must be absent", actual)
        return
    expected = page.url if wanted == "self" else wanted
    if wanted.startswith("/"):
        expected = page.contract.page_url(wanted)
    if actual is None:
        yield Failure(f"no canonical link; expected {expected}", None)
    elif actual != expected:
        whose = "the page's own URL " if wanted == "self" else ""
        yield Failure(f"canonical is not {whose}{expected}", actual)


def _schema(page: Page, wanted: SchemaExpectation) -> Iterator[Failure]:
    facts = page.facts
    if wanted.required and facts.jsonld_scripts == 0:
        yield Failure("no JSON-LD script that parses", 0, "schema.required")
    present = {kind for node in facts.jsonld_nodes for kind in node_types(node)}
    missing = [kind for kind in wanted.types or () if kind not in present]
    if missing:
        yield Failure(
            f"no JSON-LD node of type {', '.join(missing)}", sorted(present), "schema.types"
        )
    yield from _structured_data(page, wanted)


def _structured_data(page: Page, wanted: SchemaExpectation) -> Iterator[Failure]:
    """The page's JSON-LD nodes, as one document, against the schema.org
    vocabulary (``valid``) and the rich results it must be eligible for."""
    if not wanted.valid and not wanted.rich_results:
        return
    issues = check_structured_data(
        list(page.facts.jsonld_nodes), rich_results=wanted.rich_results or ()
    )
    for issue in issues:
        eligibility = issue.rule_id == "ZELKO312"
        if not eligibility and not wanted.valid:
            continue
        path = issue.details.get("path", "$")
        yield Failure(
            f"{issue.rule_id} at {path}: {issue.message}",
            path,
            "schema.rich_results" if eligibility else "schema.valid",
            None if issue.severity == ERROR else issue.severity,
        )


def _milder(own: str | None, expected: str) -> str:
    """A warning stays a warning under an error expectation; never stronger."""
    if own is None:
        return expected
    return own if _RANK[own] < _RANK[expected] else expected


_RANK = {INFO: 0, WARNING: 1, ERROR: 2}


def _tags(section: str, names: tuple[str, ...]) -> Check:
    def check(page: Page, wanted: bool) -> Iterator[Failure]:
        tags = getattr(page.facts, section)
        missing = [name for name in names if not tags.get(name)]
        if wanted and missing:
            yield Failure(f"missing {', '.join(missing)}", missing)

    return check


def _sitemap(page: Page, wanted: bool) -> Iterator[Failure]:
    if not wanted:
        return
    if page.sitemap is None:
        yield Failure(f"no sitemap to look for {page.url} in", None)
    elif page.url not in page.sitemap:
        yield Failure(f"{page.url} is not listed in the sitemap", None)


def _hreflang(page: Page, wanted: bool) -> Iterator[Failure]:
    links = page.facts.hreflang
    if not wanted:
        return
    if not links:
        yield Failure("no hreflang alternates", [])
    elif all(href != page.url for _, href in links):
        yield Failure(
            f"hreflang alternates do not include the page itself ({page.url})",
            [href for _, href in links],
        )


def _head_required(page: Page, wanted: tuple[HeadRequirement, ...]) -> Iterator[Failure]:
    for requirement in wanted:
        message = requirement.failure(page.facts.head)
        if message is not None:
            yield Failure(message, page.facts.head.get(requirement.key, 0))


# --- Texts: the canonical URL (top level), the title, the description --------

_TEXTS: dict[str, tuple[str, Callable[[Page], str | None]]] = {
    "": ("canonical URL", lambda page: page.canonical),
    "title.": ("title", lambda page: page.facts.title),
    "description.": ("description", lambda page: page.facts.description),
}

# Each text check: whether the text passes, and how a failure reads.
TEXT_TESTS: dict[str, tuple[Callable[[str, Any], bool], str]] = {
    "equals": (lambda text, want: text == want, "is not {want!r}"),
    "not_equals": (lambda text, want: text != want, "must not be {want!r}"),
    "contains": (lambda text, want: want in text, "does not contain {want!r}"),
    "matches": (
        lambda text, want: want.search(text) is not None,
        "does not match the expression {want.pattern!r}",
    ),
    "one_of": (lambda text, want: text in want, "is none of {want}"),
    "min_length": (
        lambda text, want: len(text) >= want,
        "is {length} characters, fewer than {want}",
    ),
    "max_length": (
        lambda text, want: len(text) <= want,
        "is {length} characters, more than {want}",
    ),
}
# An absent text cannot break these two: nothing is not too long.
ABSENCE_PASSES = frozenset({"not_equals", "max_length"})


def _text_check(prefix: str, check: str) -> Check:
    name, read = _TEXTS[prefix]
    passes, wording = TEXT_TESTS[check]

    def run(page: Page, want: Any) -> Iterator[Failure]:
        text = read(page)
        if text is None:
            if check not in ABSENCE_PASSES:
                yield Failure(f"there is no {name}", None)
        elif not passes(text, want):
            message = wording.format(want=_shown(want), length=len(text))
            actual: object = len(text) if check.endswith("_length") else text
            yield Failure(f"{name} {message}", actual)

    return run


def _shown(want: Any) -> Any:
    return list(want) if isinstance(want, tuple) else want


def _presence(prefix: str, wanted_present: bool) -> Check:
    name, read = _TEXTS[prefix]

    def run(page: Page, wanted: bool) -> Iterator[Failure]:
        text = read(page)
        if wanted and wanted_present and text is None:
            yield Failure(f"there is no {name}", None)
        elif wanted and not wanted_present and text is not None:
            yield Failure(f"there is a {name}, but must not be", text)

    return run


def _all_checks() -> dict[str, Check]:
    checks: dict[str, Check] = {
        "required": _required,
        "forbidden": _forbidden,
        "indexable": _indexable,
        "min_items": lambda page, limit: _item_count(page, limit, at_least=True),
        "max_items": lambda page, limit: _item_count(page, limit, at_least=False),
        "canonical": _canonical,
        "schema": _schema,
        "open_graph.required": _tags("open_graph", OPEN_GRAPH_REQUIRED),
        "twitter.required": _tags("twitter", TWITTER_REQUIRED),
        "sitemap.required": _sitemap,
        "hreflang.required": _hreflang,
        "head.required": _head_required,
    }
    for check in TEXT_TESTS:
        checks[check] = _text_check("", check)
    for prefix in ("title.", "description."):
        checks[prefix + "required"] = _presence(prefix, wanted_present=True)
        checks[prefix + "forbidden"] = _presence(prefix, wanted_present=False)
        for check in TEXT_TESTS:
            checks[prefix + check] = _text_check(prefix, check)
    assert set(checks) == set(FIELD_ORDER)
    return checks


_CHECKS = _all_checks()

__all__ = ["EXISTENCE", "check_facts", "describe_status"]
