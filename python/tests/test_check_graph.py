"""Linked-data checks: dangling @id references on a page (ZELKO320) and an
@id described differently on two pages of a site (ZELKO321), as functions,
in zelko check over built pages and in zelko validate."""

from __future__ import annotations

import dataclasses
import itertools
import json
from pathlib import Path
from typing import Any

import pytest

import zelko
from zelko.check.graph import (
    MAX_DEPTH,
    SiteGraph,
    conflicting_descriptions,
    dangling_references,
)
from zelko.cli import main

REPO = Path(__file__).resolve().parents[2]
CONTRACT = str(REPO / "examples" / "site" / "seo-contract.json")
POST_FILE = REPO / "examples" / "site" / "public" / "blog" / "brewing-the-perfect-pour-over.html"
B = "https://s.example"

# (JSON-LD value, the dangling references in order)
DANGLING = [
    ({"@id": f"{B}/#a", "@type": "Thing", "knows": {"@id": f"{B}/#b"}}, [f"{B}/#b"]),
    ([{"@id": f"{B}/#a", "knows": {"@id": f"{B}/#b"}}, {"@id": f"{B}/#b", "name": "B"}], []),
    # A nested description counts as much as a top-level one.
    (
        {
            "@id": f"{B}/#a",
            "logo": {"@id": f"{B}/#l", "@type": "ImageObject"},
            "image": {"@id": f"{B}/#l"},
        },
        [],
    ),
    # A reference to a document (no fragment) names the page itself: fine.
    ({"@type": "Article", "mainEntityOfPage": {"@id": f"{B}/post"}}, []),
    ({"@type": "Thing", "x": {"@id": "_:b0"}}, ["_:b0"]),
    (
        {
            "@context": "https://schema.org",
            "@graph": [{"@id": f"{B}/#w", "publisher": {"@id": f"{B}/#o"}}],
        },
        [f"{B}/#o"],
    ),
    # Each reference once, in the order first referred to.
    (
        {"@type": "T", "a": [{"@id": f"{B}/#z"}, {"@id": f"{B}/#y"}, {"@id": f"{B}/#z"}]},
        [f"{B}/#z", f"{B}/#y"],
    ),
    # {"@id"} with a @context only still describes nothing.
    ({"@type": "T", "a": {"@id": f"{B}/#c", "@context": "https://schema.org"}}, [f"{B}/#c"]),
    (None, []),
    ("text", []),
    ([{"@id": 3, "x": 1}, {"@id": None}], []),
]


@pytest.mark.parametrize(("value", "expected"), DANGLING)
def test_dangling_references(value: Any, expected: list[str]) -> None:
    assert dangling_references(value) == expected


def deep(levels: int) -> Any:
    value: Any = {"@id": f"{B}/#deep", "x": {"@id": f"{B}/#gone"}}
    for _ in range(levels):
        value = {"a": [value]}
    return value


def test_hostile_values_are_looked_at_within_bounds() -> None:
    # Deeper than the bound: not looked at, and no recursion error either.
    assert dangling_references(deep(5000)) == []
    assert dangling_references(deep(MAX_DEPTH // 2 - 2)) == [f"{B}/#gone"]
    wide = [{"@type": "T", "r": {"@id": f"{B}/#{n}"}} for n in range(300_000)]
    assert len(dangling_references(wide)) < 300_000


def node(id_: str, name: str) -> dict[str, Any]:
    return {"@context": "https://schema.org", "@id": id_, "@type": "Organization", "name": name}


SAME = node(f"{B}/#org", "Org")
OTHER = node(f"{B}/#org", "Org Ltd")
THIRD = node(f"{B}/#org", "The Org")

# (pages as (route, nodes), the (route, message) of each finding)
SITES = [
    (
        "one description everywhere",
        [("/a", [SAME]), ("/b", [SAME]), ("/c", [dict(reversed(SAME.items()))])],
        [],
    ),
    (
        "a second description",
        [("/a", [SAME]), ("/b", [SAME]), ("/c", [OTHER])],
        [("/c", f"ZELKO321: @id '{B}/#org' is described differently on /a and /c")],
    ),
    (
        "a third one is counted",
        [("/a", [SAME]), ("/b", [OTHER]), ("/c", [THIRD])],
        [
            (
                "/b",
                f"ZELKO321: @id '{B}/#org' is described differently on /a and /b"
                " (and 1 more description)",
            )
        ],
    ),
    (
        "the context does not matter, a nested description does",
        [
            ("/a", [{**SAME, "@context": {"@vocab": "https://schema.org/"}}]),
            ("/b", [{"@type": "WebSite", "publisher": OTHER}]),
        ],
        [("/b", f"ZELKO321: @id '{B}/#org' is described differently on /a and /b")],
    ),
    (
        "references are no descriptions",
        [("/a", [SAME]), ("/b", [{"@type": "T", "x": {"@id": f"{B}/#org"}}])],
        [],
    ),
]


@pytest.mark.parametrize(("what", "pages", "expected"), SITES, ids=[s[0] for s in SITES])
def test_conflicting_descriptions(what: str, pages: list[Any], expected: list[Any]) -> None:
    findings = conflicting_descriptions(pages)
    assert [(f.route, f.message) for f in findings] == expected
    assert all(f.severity == "warning" and f.field == "jsonld" for f in findings)


def test_pages_arriving_in_any_order_give_the_same_findings() -> None:
    pages = [("/a", [SAME]), ("/b", [OTHER]), ("/c", [SAME]), ("/d", [THIRD])]
    results = set()
    for order in itertools.permutations(range(len(pages))):
        site = SiteGraph()
        for index in order:
            site.add(index, *pages[index])
        results.add(tuple((f.route, f.message) for f in site.findings()))
    assert len(results) == 1


# --- zelko check over built pages ----------------------------------------------


def with_script(html: str, route: str, value: Any) -> str:
    """The example post moved to `route`, with one more JSON-LD script."""
    html = html.replace(
        'rel="canonical" href="https://www.kestrel-coffee.example/blog/brewing-the-perfect-pour-over"',
        f'rel="canonical" href="https://www.kestrel-coffee.example{route}"',
    )
    script = f'<script type="application/ld+json">{json.dumps(value)}</script>\n'
    return html.replace("</head>", script + "</head>", 1)


@pytest.mark.parametrize("entry", ["zelko check", "check_site"])
def test_both_rules_over_a_site(
    entry: str, tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    post = POST_FILE.read_text("utf-8")
    org = "https://www.kestrel-coffee.example/#organization"
    first = {**node(org, "Kestrel"), "logo": {"@id": f"{org}-logo"}}
    values = {
        "/blog/one": first,
        "/blog/two": node(org, "Kestrel Coffee Roasters"),
        "/blog/three": first,
    }
    pages = {route: with_script(post, route, value) for route, value in values.items()}
    if entry == "zelko check":
        for route, html in pages.items():
            path = tmp_path / f"{route.lstrip('/')}.html"
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(html, encoding="utf-8")
        code = main(["check", "--contract", CONTRACT, "--site", str(tmp_path), "--format", "json"])
        assert code == 1
        found = json.loads(capsys.readouterr().out)["findings"]
    else:
        found = [dataclasses.asdict(f) for f in zelko.check_site(pages, CONTRACT)]
    findings = [f for f in found if f["field"] == "jsonld"]
    assert sorted((f["route"], f["severity"], f["message"].split(":")[0]) for f in findings) == [
        ("/blog/one", "error", "ZELKO320"),
        ("/blog/three", "error", "ZELKO320"),
        ("/blog/two", "warning", "ZELKO321"),
    ]
    (conflict,) = [f for f in findings if f["severity"] == "warning"]
    assert "/blog/one" in conflict["message"] and "/blog/two" in conflict["message"]


# --- zelko validate --------------------------------------------------------------

SITE_FILE = """\
canonical_host = "example.com"
public_base_url = "https://example.com"
publisher_name = "Example"

[head]
jsonld_graph = {graph}

[head.identity]
type = "organization"
name = "Example Ltd"
logo = "/logo.png"
"""


# (jsonld_graph, the page's schema_jsonld override, ZELKO320 ids expected)
VALIDATE = [
    (True, None, []),
    (
        True,
        {
            "@type": "Thing",
            "@id": "https://example.com/x#t",
            "owner": {"@id": "https://example.com/#nobody"},
        },
        ["https://example.com/#nobody"],
    ),
    # A user node may point to zelko's own: they are in the graph.
    (
        True,
        {
            "@type": "Thing",
            "@id": "https://example.com/x#t",
            "owner": {"@id": "https://example.com/#organization"},
        },
        [],
    ),
    # Without the graph the same reference dangles in the payload's nodes.
    (
        False,
        {
            "@type": "Thing",
            "@id": "https://example.com/x#t",
            "owner": {"@id": "https://example.com/#organization"},
        },
        ["https://example.com/#organization"],
    ),
]


@pytest.mark.parametrize(("graph", "override", "expected"), VALIDATE)
def test_zelko_validate_reports_dangling_references(
    tmp_path: Path,
    capsys: pytest.CaptureFixture[str],
    graph: bool,
    override: Any,
    expected: list[str],
) -> None:
    site = tmp_path / "site.toml"
    site.write_text(SITE_FILE.format(graph="true" if graph else "false"), encoding="utf-8")
    page: dict[str, Any] = {
        "route": "/x",
        "entity": {"entity_type": "post", "title": "T", "author_name": "A"},
    }
    if override is not None:
        page["overrides"] = {"schema_jsonld": override}
    path = tmp_path / "page.json"
    path.write_text(json.dumps(page), encoding="utf-8")
    main(["validate", "-c", str(site), str(path), "--format", "json"])
    findings = json.loads(capsys.readouterr().out)["findings"]
    dangling = [f["details"]["id"] for f in findings if f["rule_id"] == "ZELKO320"]
    assert dangling == expected
    assert all(f["severity"] == "error" for f in findings if f["rule_id"] == "ZELKO320")


def test_a_bad_identity_table_names_its_field(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    site = tmp_path / "site.toml"
    for body, field in (
        ('type = "company"\nname = "X"', "head.identity.type"),
        ('type = "person"\nname = "X"\nlogo = "/l.png"', "head.identity.logo"),
        ('type = "organization"', "head.identity.name"),
    ):
        site.write_text(
            SITE_FILE.split("[head.identity]")[0].format(graph="true") + "[head.identity]\n" + body,
            encoding="utf-8",
        )
        page = tmp_path / "page.json"
        page.write_text(
            json.dumps({"route": "/x", "entity": {"entity_type": "page"}}), encoding="utf-8"
        )
        assert main(["validate", "-c", str(site), str(page)]) != 0
        assert field in capsys.readouterr().err, body


def test_the_command_line_gives_build_heads_graph(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    import zelko
    from zelko._files import load_page, load_site

    site_path = tmp_path / "site.toml"
    site_path.write_text(SITE_FILE.format(graph="true"), encoding="utf-8")
    entity = {"entity_type": "post", "title": "T", "author_name": "A", "slug": "x"}
    page_path = tmp_path / "page.json"
    page_path.write_text(json.dumps({"route": "/x", "entity": entity}), encoding="utf-8")
    site, page = load_site(site_path), load_page(page_path)
    assert site.head is not None and isinstance(site.head.identity, zelko.Organization)
    expected = zelko.build_head(page.entity, page.route, site.config, site=site.head)

    assert main(["render", "-c", str(site_path), str(page_path)]) == 0
    assert capsys.readouterr().out.rstrip("\n") == expected.render_html().rstrip("\n")
    assert main(["build", "-c", str(site_path), str(page_path)]) == 0
    built = json.loads(capsys.readouterr().out)
    assert built["head"]["jsonld_graph"] == expected.jsonld_graph()
    organization = expected.jsonld_graph()["@graph"][1]
    assert organization["@id"] == "https://example.com/#organization"
    assert organization["name"] == "Example Ltd"
