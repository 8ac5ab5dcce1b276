"""Checking pages against contracts: every rule passing and failing on a
page, layering and route patterns, bad contracts, and payloads."""

from __future__ import annotations

import json
from pathlib import Path
from typing import Any

import pytest

import zelko
from zelko import SEOExpectation as Expect

REPO = Path(__file__).resolve().parents[2]
EXAMPLE = REPO / "examples" / "site"
EXAMPLE_CONTRACT = EXAMPLE / "seo-contract.json"

URL = "https://www.example.com/blog/hello"
ROUTE = "/blog/hello"

# The head of a page that meets everything; a case replaces or drops parts.
GOOD: dict[str, str] = {
    "title": "<title>Hello, world | Example</title>",
    "description": '<meta name="description" content="A post about brewing.">',
    "canonical": f'<link rel="canonical" href="{URL}">',
    "robots": '<meta name="robots" content="index,follow">',
    "og": "".join(
        f'<meta property="og:{key}" content="{value}">'
        for key, value in (
            ("title", "Hello"),
            ("type", "article"),
            ("url", URL),
            ("image", "/i.png"),
        )
    ),
    "twitter": '<meta name="twitter:card" content="summary">',
    "jsonld": '<script type="application/ld+json">'
    '[{"@type": "Article"}, {"@type": ["BreadcrumbList", "Thing"]}]</script>',
    "hreflang": f'<link rel="alternate" hreflang="en" href="{URL}">'
    '<link rel="alternate" hreflang="de" href="https://www.example.com/de/hallo">',
}


def page(**parts: str | None) -> str:
    head = {**GOOD, **parts}
    return f"<!doctype html><html><head>{''.join(p for p in head.values() if p)}</head></html>"


def contract(defaults: Expect | None = None, rules: Any = None, exceptions: Any = None) -> Any:
    return zelko.build_seo_contract(
        zelko.SEOContractConfig(
            "www.example.com", defaults=defaults, rules=rules, exceptions=exceptions
        )
    )


def failed(findings: list[zelko.CheckFinding]) -> list[str]:
    return [finding.field for finding in findings]


ABSENT_HREFLANG = {"hreflang": None}
GRAPH = '{"@graph": [{"@type": "Product"}]}'
DEEP = "[" * 500 + '{"@type": "Article"}' + "]" * 500  # only top-level elements are nodes
# (expectation, page parts and status/headers, fields that fail)
CASES: list[tuple[Expect, dict[str, Any], list[str]]] = [
    (Expect(required=True), {}, []),
    (Expect(required=True), {"status": 404}, ["required"]),
    (Expect(forbidden=True), {"status": 410}, []),
    (Expect(forbidden=True), {}, ["forbidden"]),
    (Expect(indexable=True), {}, []),
    (Expect(indexable=True), {"robots": '<meta name="robots" content="noindex">'}, ["indexable"]),
    (Expect(indexable=True), {"headers": {"X-Robots-Tag": "googlebot: noindex"}}, ["indexable"]),
    (Expect(indexable=True), {"status": 301, "headers": {"Location": "/x"}}, ["indexable"]),
    (Expect(indexable=False), {"headers": [("x-robots-tag", "none")]}, []),
    (Expect(indexable=False), {}, ["indexable"]),
    (Expect(equals=URL), {}, []),
    (Expect(equals=URL + "/"), {}, ["equals"]),
    (Expect(not_equals=URL + "/"), {}, []),
    (Expect(not_equals=URL), {}, ["not_equals"]),
    (Expect(contains="/blog/"), {}, []),
    (Expect(contains="/shop/"), {}, ["contains"]),
    (Expect(matches=r"^https://[^/]+/blog/"), {}, []),
    (Expect(matches=r"^http://"), {}, ["matches"]),
    (Expect(one_of=[URL, "x"]), {}, []),
    (Expect(one_of=["x"]), {"canonical": None}, ["one_of"]),
    (Expect(min_length=len(URL)), {}, []),
    (Expect(min_length=len(URL) + 1), {}, ["min_length"]),
    (Expect(max_length=len(URL)), {}, []),
    (Expect(max_length=len(URL) - 1), {}, ["max_length"]),
    (Expect(min_items=2), {}, []),
    (Expect(min_items=3), {}, ["min_items"]),
    (Expect(max_items=2), {}, []),
    (Expect(max_items=1), {}, ["max_items"]),
    (
        Expect(min_items=1),
        {"jsonld": f"<script type='application/ld+json'>{DEEP}</script>"},
        ["min_items"],
    ),
    (Expect(canonical="self"), {}, []),
    (Expect(canonical="self"), {"canonical": '<link rel="canonical" href="/x">'}, ["canonical"]),
    (Expect(canonical="self"), {"canonical": '<link rel="canonical" href="hello">'}, []),
    (Expect(canonical="absent"), {"canonical": None}, []),
    (Expect(canonical="absent"), {}, ["canonical"]),
    (Expect(canonical=ROUTE), {}, []),
    (Expect(canonical="https://www.example.com/other"), {}, ["canonical"]),
    (Expect(schema_required=True, schema_types=["Article", "Thing"]), {}, []),
    (Expect(schema_required=True), {"jsonld": None}, ["schema.required"]),
    (Expect(schema_required=False, schema_types=["Product"]), {}, ["schema.types"]),
    (
        Expect(schema_required=True, schema_types=["Product"]),
        {"jsonld": f"<script type='application/ld+json'>{GRAPH}</script>"},
        [],
    ),
    (Expect(og_required=True), {}, []),
    (
        Expect(og_required=True),
        {"og": '<meta property="og:title" content="x">'},
        ["open_graph.required"],
    ),
    (Expect(twitter_required=True), {}, []),
    (Expect(twitter_required=True), {"twitter": None}, ["twitter.required"]),
    (Expect(hreflang_required=True), {}, []),
    (Expect(hreflang_required=True), ABSENT_HREFLANG, ["hreflang.required"]),
    (
        Expect(hreflang_required=True),
        {"hreflang": '<link rel="alternate" hreflang="de" href="https://www.example.com/de">'},
        ["hreflang.required"],
    ),
    (Expect(title=Expect(required=True, max_length=22)), {}, []),
    (Expect(title=Expect(required=True)), {"title": None}, ["title.required"]),
    (Expect(title=Expect(forbidden=True)), {"title": None}, []),
    (Expect(title=Expect(forbidden=True)), {}, ["title.forbidden"]),
    (Expect(title=Expect(max_length=5)), {"title": "<title> é\n☕ é </title>"}, []),
    (Expect(title=Expect(max_length=21)), {}, ["title.max_length"]),
    (Expect(title=Expect(min_length=5, equals="Hello, world | Example")), {}, []),
    (Expect(title=Expect(matches="^Hello$")), {}, ["title.matches"]),
    (Expect(title=Expect(contains="Example", not_equals="x", one_of=["x"])), {}, ["title.one_of"]),
    (Expect(description=Expect(required=True, min_length=10, contains="brew")), {}, []),
    (Expect(description=Expect(min_length=100)), {}, ["description.min_length"]),
    (Expect(description=Expect(max_length=5)), {"description": None}, []),
    (Expect(description=Expect(equals="x")), {"description": None}, ["description.equals"]),
]


@pytest.mark.parametrize(("expect", "variant", "fields"), CASES)
def test_each_expectation_passes_and_fails(
    expect: Expect, variant: dict[str, Any], fields: list[str]
) -> None:
    variant = dict(variant)
    status, headers = variant.pop("status", 200), variant.pop("headers", None)
    html = page(**variant)

    findings = zelko.check_page(contract(expect), ROUTE, html, status=status, headers=headers)

    assert failed(findings) == fields
    assert all(finding.severity == "error" and finding.route == ROUTE for finding in findings)


@pytest.mark.parametrize(
    ("sitemap", "fields"),
    [
        ({URL, "https://www.example.com/"}, []),
        ({"https://www.example.com/"}, ["sitemap.required"]),
        (None, ["sitemap.required"]),
    ],
)
def test_sitemap_listing(sitemap: set[str] | None, fields: list[str]) -> None:
    findings = zelko.check_page(
        contract(Expect(sitemap_required=True)), ROUTE, page(), sitemap=sitemap
    )
    assert failed(findings) == fields


def test_a_json_ld_script_that_does_not_parse_is_a_finding() -> None:
    html = page(jsonld='<script type="application/ld+json">{"@type": </script>')
    (finding,) = zelko.check_page(contract(), ROUTE, html)
    assert (finding.field, finding.severity) == ("jsonld", "error")
    assert finding.message.startswith("JSON-LD script 1 does not parse")


@pytest.mark.parametrize(
    ("expect", "status", "severity"),
    [(None, 308, "error"), (Expect(indexable=False), 308, "info"), (None, 404, "error")],
)
def test_a_page_that_is_not_there_is_reported_unless_the_contract_allows_it(
    expect: Expect | None, status: int, severity: str
) -> None:
    headers = {"Location": "https://x.example/"}
    (finding,) = zelko.check_page(contract(expect), ROUTE, "", status=status, headers=headers)
    assert (finding.field, finding.severity, finding.actual) == ("status", severity, status)
    redirect = "page redirects (308) to https://x.example/"
    assert finding.message == (redirect if status == 308 else "page not found (404)")
    assert zelko.check_page(contract(Expect(forbidden=True)), ROUTE, "", status=404) == []


RULES = [
    zelko.SEOContractRule("/blog/*", Expect(title=Expect(min_length=30)), severity="warning"),
    zelko.SEOContractRule("/blog/**", Expect(title=Expect(max_length=10)), severity="info"),
    zelko.SEOContractRule("/a.b", Expect(required=True, forbidden=True)),
]


@pytest.mark.parametrize(
    ("route", "expected"),
    [
        # Defaults and both blog rules: min_length from the first, max_length
        # from the second (which replaced the defaults' 60), title merged.
        ("/blog/hello?page=2", [("title.min_length", "warning"), ("title.max_length", "info")]),
        ("/blog/a/b", [("title.max_length", "info")]),  # "*" stops at "/", "**" does not
        ("/blogs/x", []),  # the whole route must match
        ("/aXb", []),  # "." is literal
        ("/a.b", [("forbidden", "error")]),
        ("/blog/exempt", [("title.min_length", "warning")]),  # the exception replaces max_length
        ("/blog/q?page=2", [("title.min_length", "warning")]),  # an exception with its query
        ("/blog/q", [("title.min_length", "warning"), ("title.max_length", "info")]),
    ],
)
def test_layers_merge_field_by_field_with_the_severity_of_their_layer(
    route: str, expected: list[tuple[str, str]]
) -> None:
    layered = contract(
        Expect(title=Expect(max_length=60)),
        RULES,
        [
            ("/blog/exempt", Expect(title=Expect(max_length=100))),
            ("/blog/q?page=2", Expect(title=Expect(max_length=100))),
        ],
    )
    findings = zelko.check_page(layered, route, page())
    assert [(finding.field, finding.severity) for finding in findings] == expected


def contract_document(**changes: Any) -> dict[str, Any]:
    document: dict[str, Any] = json.loads(contract().to_json())
    document.update(changes)
    return document


@pytest.mark.parametrize(
    ("document", "field", "message"),
    [
        (
            contract_document(defaults={"title": {"matches": "("}}),
            "defaults.title.matches",
            "invalid regular expression",
        ),
        (
            contract_document(defaults={"title": {"min_items": 1}}),
            "defaults.title.min_items",
            "cannot apply",
        ),
        (
            contract_document(rules=[{"match": "/*", "expect": {"size": 1}}]),
            "rules[0].expect.size",
            "unknown expectation",
        ),
        (
            contract_document(rules=[{"match": "/*", "expect": {}, "severity": "fatal"}]),
            "rules[0].severity",
            "expected one of",
        ),
        (
            contract_document(exceptions={"/x": {"max_length": -1}}),
            "exceptions./x.max_length",
            "expected a count",
        ),
        (contract_document(contract_version="2"), "contract_version", 'expected "1"'),
    ],
)
def test_a_bad_contract_is_refused_naming_the_field(
    document: dict[str, Any], field: str, message: str
) -> None:
    with pytest.raises(zelko.InputError) as refused:
        zelko.check_page(json.dumps(document), ROUTE, page())
    assert refused.value.field == field
    assert message in refused.value.message


def example_payload(page_file: str, **overrides: Any) -> tuple[str, zelko.SEOPayload]:
    from zelko._files import load_page, load_site

    site = load_site(EXAMPLE / "zelko.toml")
    loaded = load_page(EXAMPLE / "pages" / page_file)
    merged = zelko.overrides_from_mapping(overrides) if overrides else loaded.overrides
    payload = zelko.build_seo_payload(loaded.entity, loaded.route, site.config, merged)
    return payload.canonical.removeprefix("https://www.kestrel-coffee.example"), payload


def test_the_example_payloads_pass_the_example_contract() -> None:
    for page_file in sorted(path.name for path in (EXAMPLE / "pages").glob("*.json")):
        route, payload = example_payload(page_file)
        assert zelko.check_payload(EXAMPLE_CONTRACT, route, payload) == [], page_file


@pytest.mark.parametrize(
    ("overrides", "expected"),
    [
        ({"robots": {"index": False}}, [("indexable", "error")]),
        (
            {"meta_title": "A title far too long to stay under sixty characters"},
            [("title.max_length", "error")],
        ),
        ({"schema_jsonld": {"@type": "WebPage"}}, [("schema.types", "warning")]),
    ],
)
def test_payload_failures(overrides: dict[str, Any], expected: list[tuple[str, str]]) -> None:
    route, payload = example_payload("post.json", **overrides)
    findings = zelko.check_payload(EXAMPLE_CONTRACT, route, payload)
    assert [(finding.field, finding.severity) for finding in findings] == expected


def test_a_payload_carries_no_hreflang() -> None:
    route, payload = example_payload("roastery.json")
    findings = zelko.check_payload(contract(Expect(hreflang_required=True)), route, payload)
    assert failed(findings) == ["hreflang.required"]
