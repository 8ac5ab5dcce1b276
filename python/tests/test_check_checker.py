"""Pages that pass are told without their full facts: the engine's summary
of a page's JSON-LD must say what the full reading says (or leave the page
to it), and a page that passes the quick tests must be one the full checks
find nothing on. Both are held to that over generated pages and contracts,
hostile JSON and HTML included."""

from __future__ import annotations

import html
import json
from typing import Any

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from _zelko_native import _page_html, _page_reader
from zelko.check.checker import PageChecker, QuickPage
from zelko.check.contract import load_contract
from zelko.check.graph import SiteGraph, _dangling, descriptions
from zelko.check.page import JSONLD_SUMMARY, PageFacts, node_types, read_facts
from zelko.check.rules import check_facts
from zelko.check.site import FACTS, SiteIndex

SITE = "https://www.example.com"
ROUTE = "/blog/post"

# --- The JSON-LD summary ----------------------------------------------------------

_KEYS = st.sampled_from(["@type", "@graph", "@id", "@context", "name", "about"])
_TEXTS = st.one_of(
    st.sampled_from(["Article", "Product", "#org", "_:b0", f"{SITE}/p", "é\u2028", ""]),
    st.text(st.characters(blacklist_categories=("Cs",)), max_size=6),
)
_SCALARS = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(),
    st.floats(allow_nan=False, allow_infinity=False),
    _TEXTS,
)
_VALUES = st.recursive(
    _SCALARS,
    lambda inner: st.one_of(st.lists(inner, max_size=4), st.dictionaries(_KEYS, inner, max_size=4)),
    max_leaves=24,
)

# Texts a JSON reader may or may not take: each is left to the full reading
# when the summary cannot be sure of it.
_SPOILERS = [
    "",
    "\ufeff{}",
    '{"a": NaN}',
    '{"a": "\\ud800"}',
    '{"@type": "A", "@type": "B"}',
    '{"a": 1} x',
    "[" * 200 + "]" * 200,
    '{"a": "\x01"}',
    "{'a': 1}",
    "01",
]


def _has_id(value: object) -> bool:
    if isinstance(value, dict):
        return "@id" in value or any(_has_id(item) for item in value.values())
    if isinstance(value, list):
        return any(_has_id(item) for item in value)
    return False


def _script(text: str) -> str:
    # "<" stands only inside JSON strings, where its escape means the same.
    return '<script type="application/ld+json">' + text.replace("<", "\\u003c") + "</script>"


@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(
    values=st.lists(_VALUES, max_size=3),
    ascii_only=st.booleans(),
    spoiler=st.none() | st.sampled_from(_SPOILERS),
)
def test_summary_is_the_full_reading_or_defers(
    values: list[object], ascii_only: bool, spoiler: str | None
) -> None:
    texts = [json.dumps(value, ensure_ascii=ascii_only) for value in values]
    if spoiler is not None:
        texts.append(spoiler)
    page = "<head>" + "".join(_script(text) for text in texts) + "</head>"
    read = _page_html(page, False, True)
    facts = read_facts(read)
    summary = read[JSONLD_SUMMARY]
    if summary is None:
        # Plain JSON-LD with no ids is always summed up.
        assert spoiler is not None or any(_has_id(value) for value in values)
        return
    scripts, nodes, types = summary
    assert facts.jsonld_errors == ()
    assert scripts == facts.jsonld_scripts == len(texts)
    assert nodes == len(facts.jsonld_nodes)
    assert types == [kind for node in facts.jsonld_nodes for kind in node_types(node)]
    # Nothing the linked-data checks would look at.
    assert _dangling(facts.jsonld_objects) == []
    assert descriptions(facts.jsonld_objects) == {}


# --- Quick tests against the full checks -------------------------------------------

_JSONLD = [
    None,
    '{"@context": "https://schema.org", "@type": "Article", "headline": "H"}',
    '[{"@type": "Product"}, {"@type": ["BreadcrumbList", 3]}]',
    '{"@graph": [{"@type": "Article"}, {"@type": "Organization"}]}',
    '{"@type": "Article", "mainEntityOfPage": {"@id": "' + SITE + ROUTE + '"}}',
    '{"@type": "Article", "publisher": {"@id": "#org"}}',
    '{"@type": "Article",',
]
_TITLES = st.one_of(
    st.none(),
    st.sampled_from(["Post", "  A  long\n title  ", "Pöst ✓", "x" * 70, ""]),
    st.text(max_size=12),
)
_CANONICALS = st.sampled_from(
    [None, SITE + ROUTE, ROUTE, "post", SITE + "/other", "//[x", "http://www.example.com/blog/post"]
)
_ROBOTS = st.sampled_from([None, "index, follow", "noindex", "googlebot: noindex", "NONE"])
_HREFLANG = st.sampled_from([(), (("en", SITE + ROUTE),), (("de", SITE + "/de" + ROUTE),)])


@st.composite
def pages(draw: st.DrawFn) -> str:
    parts = ["<head>"]
    title = draw(_TITLES)
    if title is not None:
        parts.append(f"<title>{html.escape(title)}</title>")
    description = draw(st.none() | _TITLES)
    if description is not None:
        parts.append(f'<meta name="description" content="{html.escape(description)}">')
    canonical = draw(_CANONICALS)
    if canonical is not None:
        parts.append(f'<link rel="canonical" href="{html.escape(canonical)}">')
    robots = draw(_ROBOTS)
    if robots is not None:
        parts.append(f'<meta name="robots" content="{robots}">')
    for name in draw(st.lists(st.sampled_from(["og:title", "og:type", "og:url", "og:image"]))):
        parts.append(f'<meta property="{name}" content="{draw(st.sampled_from(["", "v"]))}">')
    if draw(st.booleans()):
        parts.append('<meta name="twitter:card" content="summary">')
    for language, href in draw(_HREFLANG):
        parts.append(f'<link rel="alternate" hreflang="{language}" href="{href}">')
    if draw(st.booleans()):
        parts.append('<link rel="icon" href="/favicon.ico">')
    script = draw(st.sampled_from(_JSONLD))
    if script is not None:
        parts.append(_script(script))
    return "".join(parts) + "</head><body><a href='/x'>x</a></body>"


_TEXT_RULES = st.fixed_dictionaries(
    {},
    optional={
        "required": st.booleans(),
        "forbidden": st.booleans(),
        "equals": st.sampled_from(["Post", "Pöst ✓"]),
        "not_equals": st.just("Post"),
        "contains": st.sampled_from(["o", "long"]),
        "matches": st.sampled_from(["^P", "title$"]),
        "one_of": st.just(["Post", "A long title"]),
        "min_length": st.integers(0, 10),
        "max_length": st.integers(0, 70),
    },
)
_PAGE_RULES = st.fixed_dictionaries(
    {},
    optional={
        "required": st.booleans(),
        "forbidden": st.booleans(),
        "indexable": st.booleans(),
        "canonical": st.sampled_from(["self", "absent", ROUTE, SITE + "/other"]),
        "contains": st.just("example"),
        "max_length": st.integers(10, 40),
        "min_items": st.integers(0, 3),
        "max_items": st.integers(0, 3),
        "schema": st.fixed_dictionaries(
            {},
            optional={
                "required": st.booleans(),
                "types": st.lists(st.sampled_from(["Article", "Product", "Organization"])),
                "valid": st.booleans(),
            },
        ),
        "open_graph": st.fixed_dictionaries({"required": st.booleans()}),
        "twitter": st.fixed_dictionaries({"required": st.booleans()}),
        "hreflang": st.fixed_dictionaries({"required": st.booleans()}),
        "sitemap": st.fixed_dictionaries({"required": st.booleans()}),
        "head": st.fixed_dictionaries(
            {"required": st.sampled_from([["icon"], ["icon:count>=2"], ["manifest"]])}
        ),
        "title": _TEXT_RULES,
        "description": _TEXT_RULES,
    },
)
_SITEMAPS = st.sampled_from([None, frozenset(), frozenset({SITE + ROUTE})])


def _contract(defaults: dict[str, Any]) -> Any:
    document = {
        "contract_version": "1",
        "site": {"canonical_host": "www.example.com", "scheme": "https"},
        "defaults": defaults,
    }
    return load_contract(json.dumps(document))


@settings(max_examples=600, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(page=pages(), defaults=_PAGE_RULES, sitemap=_SITEMAPS)
def test_quick_tests_agree_with_the_full_checks(
    page: str, defaults: dict[str, Any], sitemap: frozenset[str] | None
) -> None:
    contract = _contract(defaults)
    checker = PageChecker(contract, sitemap, SiteGraph(), links=True)
    [(findings, facts)] = checker.check_pages([(0, ROUTE, page)])
    full = check_facts(contract, ROUTE, read_facts(_page_html(page, True)), sitemap)
    assert findings == full
    if isinstance(facts, QuickPage):
        assert full == []
        assert (facts.links, facts.canonical) == (
            ["/x"],
            read_facts(_page_html(page, True)).canonical,
        )
    elif not full and "valid" not in defaults.get("schema", {}):
        # A clean page with JSON-LD the summary takes passes the quick way.
        read = _page_html(page, True, True)
        assert read[JSONLD_SUMMARY] is None


_DEEP = "<div>" * 600 + "<title>deep</title>"  # not read past its depth


@settings(max_examples=100, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(sequence=st.lists(pages() | st.just(_DEEP) | st.just("<svg><script>"), max_size=6))
def test_a_kept_reader_reads_each_page_as_a_new_one(sequence: list[str]) -> None:
    reader = _page_reader()
    for page in sequence:
        assert _page_html(page, True, True, reader) == _page_html(page, True, True)


_FACTS = st.builds(
    PageFacts,
    status=st.sampled_from([200, 200, 301, 404]),
    location=st.sampled_from([None, "/moved"]),
    title=st.none() | st.sampled_from(["A", "B"]),
    description=st.none() | st.sampled_from(["d", "e"]),
    canonical=st.sampled_from([None, SITE + "/p0", "/p1", "other", "https://elsewhere.example/"]),
    robots=st.sampled_from([frozenset(), frozenset({"noindex"}), frozenset({"none"})]),
    hreflang=st.sampled_from([(), (("en", SITE + "/p0"), ("de", "/de/"))]),
    links=st.lists(st.sampled_from(["/p0", "/p1?q#f", "//x", "mailto:a", " /p2", "rel"])).map(
        tuple
    ),
    failure=st.sampled_from([None, None, None, "timed out"]),
)


@settings(max_examples=150, deadline=None)
@given(pages=st.lists(_FACTS, max_size=8))
def test_the_site_index_writes_its_default_rows_as_its_table_does(pages: list[PageFacts]) -> None:
    def filled(facts: Any) -> SiteIndex:
        index = SiteIndex(lambda route: SITE + route, [SITE], lambda routes: [], None, facts)
        for number, page in enumerate(pages):
            index.add(f"/p{number}", page)
        return index

    fused, generic = filled(FACTS), filled(list(FACTS))
    assert fused._default_facts and not generic._default_facts
    for fact in FACTS:
        if fact.width == 0:
            assert fused.number(fact.name) == generic.number(fact.name)
        elif fact.width > 0:
            assert fused.column(fact.name) == generic.column(fact.name)
        else:
            assert fused.texts(fact.name) == generic.texts(fact.name)
    assert fused.languages == generic.languages
