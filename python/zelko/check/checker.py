"""Checking pages one by one, as ``zelko check`` and ``check_site`` do.

Most pages of a site pass their contract, and telling that they do needs
little of what :class:`PageFacts` holds. So a page's HTML is read with the
engine's summary of its JSON-LD (how many scripts and nodes, the nodes'
types), and each field of the page's expectation has a test that says
whether its check would find nothing. When every test says so, the page
passes with no facts built and no JSON-LD parsed in Python; otherwise, and
whenever the summary cannot stand in for the full reading (a script that
does not parse, an ``@id`` for the linked-data checks, a field with no test,
such as ``schema.valid``), the page goes through the full checks, which
alone word the findings. A test must never pass a page the full checks
would find fault with: the tests of this module hold each one to that.
"""

from __future__ import annotations

from collections.abc import Callable, Collection, Sequence
from typing import Any

from _zelko_native import _page_html, _page_reader

from .contract import Contract, Expectation, SchemaExpectation
from .findings import CheckFinding
from .graph import SiteGraph
from .head import HeadRequirement
from .page import (
    CANONICAL,
    DESCRIPTION,
    HEAD,
    HREFLANG,
    JSONLD_SUMMARY,
    LINKS,
    OPEN_GRAPH,
    ROBOTS,
    TITLE,
    TWITTER,
    PageFacts,
    PageRead,
    missing_page,
    read_facts,
    robots_directives,
    title_text,
)
from .rules import (
    ABSENCE_PASSES,
    OPEN_GRAPH_REQUIRED,
    TEXT_TESTS,
    TWITTER_REQUIRED,
    canonical_url,
    check_facts,
)

# How many distinct robots contents a run keeps read.
_KEPT_ROBOTS = 64


class QuickPage:
    """A page whose JSON-LD the engine summed up: what the tests look at,
    and what the site index keeps of a page that passes."""

    __slots__ = (
        "canonical",
        "description",
        "head",
        "hreflang",
        "links",
        "nodes",
        "noindex",
        "open_graph",
        "robots",
        "scripts",
        "title",
        "twitter",
        "types",
        "url",
    )
    status = 200
    location = None
    failure = None

    def __init__(self, read: PageRead, url: str, robots: frozenset[str]) -> None:
        self.url = url
        title = read[TITLE]
        self.title = None if title is None else title_text(title)
        self.description: str | None = read[DESCRIPTION]
        self.canonical: str | None = read[CANONICAL]
        self.robots = robots  # the directives of read[ROBOTS]
        self.noindex = "noindex" in robots or "none" in robots
        self.open_graph: dict[str, str] = read[OPEN_GRAPH]
        self.twitter: dict[str, str] = read[TWITTER]
        self.hreflang: tuple[tuple[str, str], ...] = read[HREFLANG]
        self.head: dict[str, int] = read[HEAD]
        self.links: list[str] = read[LINKS]
        self.scripts, self.nodes, self.types = read[JSONLD_SUMMARY]


# A field's test, made once per expectation: whether its check finds nothing.
Test = Callable[[QuickPage], bool]


def _canonical_test(want: str, contract: Contract) -> Test:
    if want == "absent":
        return lambda page: page.canonical is None
    if want == "self":
        # Most canonicals are the page's own URL as it is.
        return lambda page: (
            page.canonical == page.url or canonical_url(page.canonical, page.url) == page.url
        )
    expected = contract.page_url(want) if want.startswith("/") else want
    return lambda page: canonical_url(page.canonical, page.url) == expected


def _schema_test(want: SchemaExpectation) -> Test:
    types = want.types or ()
    required = bool(want.required)
    return lambda page: (
        (page.scripts > 0 or not required) and all(map(page.types.__contains__, types))
    )


def _tags_test(section: str, names: tuple[str, ...]) -> Test:
    return lambda page: all(map(getattr(page, section).get, names))


def _hreflang_test(page: QuickPage) -> bool:
    return any(href == page.url for _, href in page.hreflang)


def _head_test(want: tuple[HeadRequirement, ...]) -> Test:
    return lambda page: all(requirement.failure(page.head) is None for requirement in want)


_TEXTS: dict[str, Callable[[QuickPage], str | None]] = {
    "": lambda page: canonical_url(page.canonical, page.url),
    "title.": lambda page: page.title,
    "description.": lambda page: page.description,
}


def _text_test(prefix: str, check: str, want: Any) -> Test:
    read = _TEXTS[prefix]
    # The lengths, which most contracts bound, in one step (absent passes
    # the one, fails the other).
    if check == "max_length":
        return lambda page: (text := read(page)) is None or len(text) <= want
    if check == "min_length":
        return lambda page: (text := read(page)) is not None and len(text) >= want
    passes = TEXT_TESTS[check][0]
    absent_passes = check in ABSENCE_PASSES

    def test(page: QuickPage) -> bool:
        text = read(page)
        return absent_passes if text is None else passes(text, want)

    return test


def _needs_facts(page: QuickPage) -> bool:
    """The test of a field whose check needs the full facts."""
    return False


def _field_test(
    field: str, want: Any, contract: Contract, sitemap: Collection[str] | None
) -> Test | None:
    """The test of one field; None when its check finds nothing whatever the
    page (a flag that is off), _needs_facts when it has no test."""
    prefix, _, check = field.rpartition(".")
    if field == "required":
        return None  # a page that was read is there
    if field == "forbidden":
        return (lambda page: False) if want else None
    if field == "indexable":
        return (lambda page: not page.noindex) if want else (lambda page: page.noindex)
    if field == "min_items":
        return lambda page: page.nodes >= want
    if field == "max_items":
        return lambda page: page.nodes <= want
    if field == "canonical":
        return _canonical_test(want, contract)
    if field == "schema":
        # The vocabulary check reads the nodes themselves.
        return _needs_facts if want.valid or want.rich_results else _schema_test(want)
    if field == "head.required":
        return _head_test(want)
    if check == "required" and prefix in ("open_graph", "twitter", "sitemap", "hreflang"):
        if not want:
            return None
        if prefix == "open_graph":
            return _tags_test("open_graph", OPEN_GRAPH_REQUIRED)
        if prefix == "twitter":
            return _tags_test("twitter", TWITTER_REQUIRED)
        if prefix == "sitemap":
            listed = sitemap
            return lambda page: listed is not None and page.url in listed
        return _hreflang_test
    subject = prefix + "." if prefix else ""
    read = _TEXTS[subject]
    if check == "required":
        return (lambda page: read(page) is not None) if want else None
    if check == "forbidden":
        return (lambda page: read(page) is None) if want else None
    return _text_test(subject, check, want)


def quick_tests(
    expectation: Expectation, contract: Contract, sitemap: Collection[str] | None
) -> tuple[Test, ...] | None:
    """The tests of an expectation, or None when one of its fields needs the
    full checks."""
    tests = []
    for field, setting in expectation.items():
        test = _field_test(field, setting.value, contract, sitemap)
        if test is _needs_facts:
            return None
        if test is not None:
            tests.append(test)
    return tuple(tests)


class PageChecker:
    """The per-page findings of a run, each page's JSON-LD joining the
    site's graph; a page's findings come with the facts the site index
    keeps of it."""

    def __init__(
        self,
        contract: Contract,
        sitemap: Collection[str] | None,
        graph: SiteGraph,
        *,
        links: bool,
    ) -> None:
        self.contract = contract
        self.sitemap = sitemap
        self.graph = graph
        self.links = links
        self._reader = _page_reader()  # one parser for the whole run
        # Expectations are merged once per set of matching rules and kept by
        # the contract: their tests are made once too.
        self._tests: dict[int, tuple[Expectation, tuple[Test, ...] | None]] = {}
        self._directives: dict[tuple[str, ...], frozenset[str]] = {}

    def check_pages(
        self, pages: Sequence[tuple[int, str, str | bytes | None]]
    ) -> list[tuple[list[CheckFinding], QuickPage | PageFacts]]:
        """The findings and facts of several pages (number, route, HTML;
        ``None``: the page is missing), in order: all of them parsed, then
        all of them checked. Going from the parser
        to the checks and back for each page costs the checks their caches;
        a few dozen pages at a time, they run several times as fast."""
        reads = [self._read(html) for _, _, html in pages]
        return [
            self._checked(number, route, read)
            for (number, route, _), read in zip(pages, reads, strict=True)
        ]

    def _read(self, html: str | bytes | None) -> PageRead | None:
        return None if html is None else _page_html(html, self.links, True, self._reader)

    def _checked(
        self, number: int, route: str, read: PageRead | None
    ) -> tuple[list[CheckFinding], QuickPage | PageFacts]:
        if read is None:
            return self.check_facts(number, route, missing_page())
        if read[JSONLD_SUMMARY] is not None:
            tests = self._tests_of(route)
            if tests is not None:
                url = self.contract.page_url(route)
                page = QuickPage(read, url, self._robots(read[ROBOTS]))
                for test in tests:
                    if not test(page):
                        break
                else:
                    return [], page
        return self.check_facts(number, route, read_facts(read))

    def check_facts(
        self, number: int, route: str, facts: PageFacts
    ) -> tuple[list[CheckFinding], PageFacts]:
        """The full checks of a page's facts."""
        self.graph.add_objects(number, route, facts.jsonld_objects)
        return check_facts(self.contract, route, facts, self.sitemap), facts

    def _robots(self, contents: list[str]) -> frozenset[str]:
        """The directives of a page's robots meta contents: most pages of a
        site give the same, read once (up to a bound: a site may give each
        page its own)."""
        key = tuple(contents)
        directives = self._directives.get(key)
        if directives is None:
            directives = frozenset(robots_directives(contents))
            if len(self._directives) < _KEPT_ROBOTS:
                self._directives[key] = directives
        return directives

    def _tests_of(self, route: str) -> tuple[Test, ...] | None:
        expectation = self.contract.expectation(route)
        kept = self._tests.get(id(expectation))
        if kept is None or kept[0] is not expectation:
            kept = (expectation, quick_tests(expectation, self.contract, self.sitemap))
            self._tests[id(expectation)] = kept
        return kept[1]
