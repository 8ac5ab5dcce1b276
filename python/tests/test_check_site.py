"""The site rules of ``zelko check``: the example site built in the test,
then copied with faults seeded between its pages, checked as a directory,
over a real HTTP server on 127.0.0.1 (with robots.txt and a sitemap) and
through ``zelko.check_site``; and the ``[site]`` table of a contract."""

from __future__ import annotations

import functools
import hashlib
import http.server
import importlib.util
import json
import re
import shutil
import threading
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import pytest

import zelko
from zelko.check.page import PageFacts, page_facts
from zelko.check.site import SiteIndex, SiteInputs, site_findings
from zelko.check.sources import site_pages
from zelko.cli import check as check_command
from zelko.cli import main

REPO = Path(__file__).resolve().parents[2]
EXAMPLE = REPO / "examples" / "site"
CONTRACT = str(EXAMPLE / "seo-contract.json")
SITE = "https://www.kestrel-coffee.example"
POST = "blog/brewing-the-perfect-pour-over.html"
PRODUCT = "shop/ethiopia-guji.html"


def load_module(name: str, path: Path) -> Any:
    spec = importlib.util.spec_from_file_location(name, path)
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


builder = load_module("build_html", EXAMPLE / "build_html.py")
serve = load_module("serve", EXAMPLE / "serve.py")


def canonical_tag(route: str) -> str:
    return f'<link rel="canonical" href="{SITE}{route}">'


def variant(
    root: Path,
    source: str,
    route: str,
    *,
    canonical: str | None = None,
    texts: bool = True,
    changes: tuple[tuple[str, str], ...] = (),
) -> None:
    """A copy of a built page at ``route``: its canonical names ``canonical``
    (itself by default) and, with ``texts``, its title and description are
    its own."""
    html = (root / source).read_text(encoding="utf-8")
    old = re.search(r'<link rel="canonical" href="[^"]*">', html)
    assert old is not None
    html = html.replace(old.group(0), canonical_tag(canonical or route))
    if texts:
        html = html.replace("<title>", f"<title>{route} ", 1)
        html = html.replace('name="description" content="', f'name="description" content="{route} ')
    for before, after in changes:
        assert before in html, before
        html = html.replace(before, after)
    target = root / (route.lstrip("/") + ".html")
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_text(html, encoding="utf-8")


def alternate(language: str, route: str) -> str:
    return f'<link rel="alternate" hreflang="{language}" href="{SITE}{route}">\n'


NOINDEX = ('content="index,follow"', 'content="noindex,follow"')
BODY = "<body><h1>"
TWIN_LINKS = (
    '<a href="/blog/missing-post">gone</a> <a href="/search">search</a> '
    '<a href="/faq#top">faq</a> <a href="/robots.txt">a file</a> '
    '<a href="mailto:roast@example.com">mail</a> <a href="https://elsewhere.example/x">x</a>'
)

# Every seeded fault: (field, the finding's route, the other routes it names).
SEEDED: list[tuple[str, str, tuple[str, ...]]] = [
    ("site.duplicate_title", "/blog/brewing-the-perfect-pour-over", ("/blog/twin",)),
    ("site.duplicate_description", "/blog/brewing-the-perfect-pour-over", ("/blog/twin",)),
    ("site.canonical_target", "/shop/old-guji", ("/shop/discontinued",)),  # missing
    ("site.canonical_target", "/shop/sample", ("/shop/hidden",)),  # noindex
    ("site.canonical_target", "/shop/chain", ("/shop/old-guji",)),  # a chain
    ("site.canonical_target", "/shop/via-redirect", ("/moved",)),  # a redirect over HTTP
    ("site.hreflang", "/visit", ("/de/besuch",)),  # no return link
    ("site.hreflang", "/visit", ()),  # "de" listed twice
    ("site.hreflang", "/help/alone", ()),  # not listing itself
    ("site.hreflang", "/help/alone", ("/faq",)),  # no return link
    ("site.hreflang", "/help/alone", ("/nowhere",)),  # x-default at a missing page
    ("site.sitemap_noindex", "/shop/hidden", ()),
    ("site.sitemap_not_canonical", "/shop/sample", ("/shop/hidden",)),
    ("site.sitemap_blocked", "/faq", ()),  # for Googlebot
    ("site.not_in_sitemap", "/blog/twin", ()),
    ("site.broken_link", "/blog/missing-post", ("/blog/twin",)),
    ("site.broken_link", "/search", ("/blog/twin",)),  # the contract's 404 page
]
# Routes that no page has, which a running site is asked for too.
MISSING = ("/shop/discontinued", "/moved", "/nowhere", "/blog/missing-post", "/search")

ROBOTS = "User-agent: *\nDisallow: /cart\n\nUser-agent: Googlebot\nDisallow: /faq\n"


def urlset(routes: list[str]) -> str:
    entries = "".join(f"<url><loc>{SITE}{route}</loc></url>\n" for route in routes)
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        f'<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">\n{entries}</urlset>\n'
    )


@pytest.fixture(scope="module")
def clean(tmp_path_factory: pytest.TempPathFactory) -> Path:
    root = tmp_path_factory.mktemp("clean")
    config = zelko.load_config(str(EXAMPLE / "zelko.toml"))
    builder.build_site(root, builder.example_pages(), config)
    robots = ["robots", "--config", str(EXAMPLE / "zelko.toml"), "-o", str(root / "robots.txt")]
    assert main(robots) == 0
    return root


@pytest.fixture(scope="module")
def seeded(tmp_path_factory: pytest.TempPathFactory, clean: Path) -> Path:
    root = tmp_path_factory.mktemp("seeded") / "site"
    shutil.copytree(clean, root)
    variant(root, POST, "/blog/twin", texts=False, changes=((BODY, f"<body>{TWIN_LINKS}<h1>"),))
    variant(root, PRODUCT, "/shop/old-guji", canonical="/shop/discontinued")
    variant(root, PRODUCT, "/shop/hidden", changes=(NOINDEX,))
    variant(root, PRODUCT, "/shop/sample", canonical="/shop/hidden")
    variant(root, PRODUCT, "/shop/chain", canonical="/shop/old-guji")
    variant(root, PRODUCT, "/shop/via-redirect", canonical="/moved")
    besuch = (alternate("en", "/visit"), ""), (alternate("x-default", "/visit"), "")
    variant(root, "de/besuch.html", "/de/besuch", texts=False, changes=besuch)
    twice = alternate("de", "/de/besuch")
    variant(root, "visit.html", "/visit", texts=False, changes=((twice, twice + twice),))
    alone = alternate("en", "/faq") + alternate("x-default", "/nowhere")
    variant(root, "faq.html", "/help/alone", changes=(("</head>", alone + "</head>"),))
    listed = ["/", "/faq", "/visit", "/de/besuch", "/blog/brewing-the-perfect-pour-over"]
    listed += ["/shop/ethiopia-guji", "/shop/hidden", "/shop/sample", "/help/alone"]
    (root / "sitemap.xml").write_text(urlset(listed), encoding="utf-8")
    (root / "robots.txt").write_text(ROBOTS, encoding="utf-8")
    return root


def check(*arguments: str) -> tuple[int, dict[str, Any]]:
    out = Path(arguments[-1])
    code = main(
        ["check", "--contract", CONTRACT, "--format", "json", *arguments[:-1], "-o", str(out)]
    )
    return code, json.loads(out.read_text(encoding="utf-8"))


def site_triples(findings: list[dict[str, Any]]) -> list[tuple[str, str, tuple[str, ...]]]:
    return sorted(
        (f["field"], f["route"], tuple(f["related"]))
        for f in findings
        if f["field"].startswith("site.")
    )


def assert_pages_named(findings: list[dict[str, Any]]) -> None:
    for finding in findings:
        if finding["field"].startswith("site."):
            for route in (finding["route"], *finding["related"]):
                assert route in finding["message"], finding


class Handler(serve.PageHandler):
    """The example's server, with one route that redirects."""

    def do_GET(self) -> None:
        if self.path == "/moved":
            self.send_response(301)
            self.send_header("Location", f"{SITE}/faq")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        super().do_GET()


@pytest.fixture
def served(request: pytest.FixtureRequest) -> Iterator[str]:
    root = request.getfixturevalue(request.param)
    handler = functools.partial(Handler, directory=str(root))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}"
    finally:
        server.shutdown()
        server.server_close()
        thread.join()


def test_the_clean_site_has_no_finding(clean: Path, tmp_path: Path) -> None:
    code, report = check("--site", str(clean), str(tmp_path / "report.json"))
    assert (code, report["findings"]) == (0, [])


@pytest.mark.parametrize("served", ["clean"], indirect=True)
def test_the_clean_site_has_no_finding_over_http(served: str, tmp_path: Path) -> None:
    code, report = check("--url", served, str(tmp_path / "report.json"))
    assert (code, report["findings"]) == (0, [])


def test_every_seeded_fault_is_found_in_the_built_directory(seeded: Path, tmp_path: Path) -> None:
    code, report = check("--site", str(seeded), str(tmp_path / "report.json"))
    assert code == 1
    assert site_triples(report["findings"]) == sorted(SEEDED)
    assert_pages_named(report["findings"])
    # Findings about one page alone carry no related routes.
    assert all("related" not in f for f in report["findings"] if not f["field"].startswith("site."))


@pytest.mark.parametrize("served", ["seeded"], indirect=True)
def test_every_seeded_fault_is_found_on_the_running_site(
    served: str, seeded: Path, tmp_path: Path
) -> None:
    routes = [route for route, _ in site_pages(str(seeded))] + list(MISSING)
    code, report = check("--url", served, *routes, str(tmp_path / "report.json"))
    assert code == 1
    assert site_triples(report["findings"]) == sorted(SEEDED)
    assert_pages_named(report["findings"])
    (redirect,) = [
        f
        for f in report["findings"]
        if (f["route"], f["field"]) == ("/shop/via-redirect", "site.canonical_target")
    ]
    assert "redirects (301)" in redirect["message"]


def test_check_site_finds_the_same_faults_in_built_pages(seeded: Path) -> None:
    pages = {
        route: Path(path).read_text(encoding="utf-8") for route, path in site_pages(str(seeded))
    }
    sitemap = set(re.findall(r"<loc>([^<]+)</loc>", (seeded / "sitemap.xml").read_text()))
    findings = zelko.check_site(pages, CONTRACT, sitemap=sitemap, robots=ROBOTS)
    documents = [finding.to_dict() for finding in findings]
    assert site_triples(documents) == sorted(SEEDED)
    assert_pages_named(documents)
    assert "check_site" not in zelko.__all__
    # Without a sitemap the sitemap rules stay silent; the others do not.
    unlisted = {f.field for f in zelko.check_site(pages, CONTRACT)}
    assert not {"site.sitemap_noindex", "site.not_in_sitemap"} & unlisted
    assert "site.broken_link" in unlisted


# --- The [site] table of a contract -----------------------------------------------

CONTRACT_TOML = (EXAMPLE / "contract.toml").read_text(encoding="utf-8")


@pytest.mark.parametrize(
    ("table", "expected"),
    [
        (
            'duplicate_title = false\ncanonical_target = "warning"',
            {"duplicate_title": False, "canonical_target": "warning"},
        ),
        ('broken_link = "info"\nhreflang = true', {"broken_link": "info", "hreflang": "error"}),
        ("", {}),
    ],
)
def test_the_site_table_enters_the_contract_and_its_hash(
    tmp_path: Path, table: str, expected: dict[str, object], capsys: pytest.CaptureFixture[str]
) -> None:
    source = tmp_path / "contract.toml"
    source.write_text(f"{CONTRACT_TOML}\n[site]\n{table}\n", encoding="utf-8")
    written = tmp_path / "seo-contract.json"
    assert main(["contract", str(source), "-o", str(written)]) == 0
    digest = capsys.readouterr().out.strip()
    data = written.read_bytes()
    assert hashlib.sha256(data).hexdigest() == digest
    rules = json.loads(data)["site_rules"]
    defaults = {"duplicate_title": "warning", "canonical_target": "error", "broken_link": "error"}
    assert len(rules) == 9
    for name, value in {**defaults, **expected}.items():
        assert rules[name] == value
    # The checker reads the table back from the JSON and from the TOML alike.
    pages = {"/a": "<title>Same</title>", "/b": "<title>Same</title>"}
    titles = [f for f in zelko.check_site(pages, str(written)) if f.field == "site.duplicate_title"]
    assert len(titles) == (0 if expected.get("duplicate_title") is False else 1)
    assert zelko.check_site(pages, str(written)) == zelko.check_site(pages, str(source))


def test_a_contract_without_a_site_table_keeps_its_text(tmp_path: Path) -> None:
    source = tmp_path / "contract.toml"
    source.write_text(CONTRACT_TOML, encoding="utf-8")
    written = tmp_path / "seo-contract.json"
    assert main(["contract", str(source), "-o", str(written)]) == 0
    assert written.read_bytes() == (EXAMPLE / "seo-contract.json").read_bytes()


@pytest.mark.parametrize(
    ("table", "key", "value"),
    [
        ("duplicate_titles = false", "duplicate_titles", False),
        ('canonical_target = "fatal"', "canonical_target", "fatal"),
        ("hreflang = 1", "hreflang", 1),
        ('broken_link = "Error "', "broken_link", "Error "),
    ],
)
def test_an_unknown_rule_or_severity_is_refused_naming_its_key(
    tmp_path: Path, table: str, key: str, value: object, capsys: pytest.CaptureFixture[str]
) -> None:
    source = tmp_path / "contract.toml"
    source.write_text(f"{CONTRACT_TOML}\n[site]\n{table}\n", encoding="utf-8")
    assert main(["contract", str(source)]) == 2
    err = capsys.readouterr().err
    assert err.startswith(f"zelko: {source}: site.{key}: ") and err.count("\n") == 1
    document = json.loads((EXAMPLE / "seo-contract.json").read_text())
    document["site_rules"] = {key: value}
    with pytest.raises(zelko.InputError, match=re.escape(f"site_rules.{key}")):
        zelko.check_site({}, json.dumps(document))


# --- Where links lead -------------------------------------------------------------


@pytest.mark.parametrize(
    ("href", "route"),
    [
        ("/faq", "/faq"),
        ("/faq#top", "/faq"),
        ("/list?page=2#x", "/list?page=2"),
        (f"{SITE}/shop", "/shop"),
        (SITE, "/"),
        (f"{SITE}?q=1", "/?q=1"),
        ("http://127.0.0.1:8000/base/x", "/x"),
        ("next", "/blog/next"),
        ("../faq", "/faq"),
        (f"{SITE}.evil.example/x", None),
        ("https://elsewhere.example/faq", None),
        ("//elsewhere.example/faq", None),
        ("mailto:a@b.example", None),
        ("javascript:void(0)", None),
        ("#top", None),
    ],
)
def test_links_lead_to_routes_of_the_site_or_nowhere(href: str, route: str | None) -> None:
    index = SiteIndex(
        lambda path: SITE + path,
        [SITE, "http://127.0.0.1:8000/base"],
        lambda routes: [page_facts("") for _ in routes],
        None,
    )
    index.add("/blog/post", page_facts(f'<a href="{href}">x</a>', links=True))
    assert index.route_of(href, f"{SITE}/blog/post") == route


# --- Hostile hrefs -----------------------------------------------------------------

# (href, the canonical as the finding shows it)
HOSTILE_HREFS = [
    ("//[x", "//[x"),
    ("//[::1", "//[::1"),
    ("http://[broken/", "http://[broken/"),
    ("//host:99999/x", "https://host:99999/x"),
]


@pytest.mark.parametrize(("href", "shown"), HOSTILE_HREFS)
def test_a_hostile_href_is_a_finding_not_a_crash(href: str, shown: str) -> None:
    head = (
        f'<link rel="canonical" href="{href}">'
        f'<link rel="alternate" hreflang="de" href="{href}">'
        f'<link rel="alternate" hreflang="x-default" href="{href}">'
    )
    html = f"<html><head><title>T</title>{head}</head><body><a href='{href}'>x</a></body></html>"
    # "//[x" used to raise ValueError out of check_page (exit 70 in zelko check).
    (canonical,) = [f for f in zelko.check_page(CONTRACT, "/faq", html) if f.field == "canonical"]
    assert canonical.actual == shown
    fields = {finding.field for finding in zelko.check_site({"/faq": html}, CONTRACT)}
    assert "site.hreflang" in fields  # the page does not list itself


@pytest.mark.parametrize(
    ("href", "route"),
    [
        ("/gone\x1b[31m", "/gone\\x1b[31m"),
        ("/gone\u2028x", "/gone\\u2028x"),
        ("/go\nne", "/gone"),  # a line break inside an href is dropped, as browsers do
        ("/go\tne#x", "/gone"),
    ],
)
def test_a_link_with_controls_is_reported_on_one_printable_line(href: str, route: str) -> None:
    html = f"<html><head><title>T</title></head><body><a href='{href}'>x</a></body></html>"
    (broken,) = [
        f for f in zelko.check_site({"/a": html}, CONTRACT) if f.field == "site.broken_link"
    ]
    assert (broken.route, broken.related) == (route, ("/a",))
    assert broken.message.isprintable()


@pytest.mark.parametrize(("pages", "size"), [(1, 1 << 20), (3, 1 << 20), (64, 1)])
def test_pages_read_a_few_at_a_time_give_the_same_report(
    seeded: Path, tmp_path: Path, monkeypatch: pytest.MonkeyPatch, pages: int, size: int
) -> None:
    _, whole = check("--site", str(seeded), str(tmp_path / "whole.json"))
    assert whole["findings"]
    monkeypatch.setattr(check_command, "_CHUNK_PAGES", pages)
    monkeypatch.setattr(check_command, "_CHUNK_BYTES", size)
    _, chunked = check("--site", str(seeded), str(tmp_path / "chunked.json"))
    assert chunked == whole


def test_a_link_is_broken_only_where_its_target_is_gone_or_missing() -> None:
    pages = {
        "/from": page_facts(
            '<a href="/moved">m</a><a href="/gone">g</a><a href="/x">x</a>', links=True
        ),
        "/moved": PageFacts(status=301, location="/elsewhere"),
        "/gone": PageFacts(status=410),
        "/also": page_facts('<a href="/gone">g</a><a href="/gone#top">t</a>', links=True),
    }
    index = SiteIndex(
        lambda path: SITE + path,
        [SITE],
        lambda routes: [pages[route] for route in routes],
        lambda route: True,
    )
    for route, facts in pages.items():
        index.add(route, facts)
    findings = site_findings(index, {}, SiteInputs(None, None))
    broken = [(f.route, f.related) for f in findings if f.field == "site.broken_link"]
    assert broken == [("/gone", ("/also", "/from")), ("/x", ("/from",))]
