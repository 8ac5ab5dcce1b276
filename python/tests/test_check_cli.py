"""``zelko check`` over the example site built to a directory (with pages
broken in known ways) and served by a real HTTP server on 127.0.0.1."""

from __future__ import annotations

import http.server
import importlib.util
import json
import shutil
import socket
import sys
import threading
import time
import xml.etree.ElementTree as ElementTree
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import pytest

import zelko
from zelko.check import sources
from zelko.check.sources import parse_sitemap, route_file
from zelko.cli import main

REPO = Path(__file__).resolve().parents[2]
EXAMPLE = REPO / "examples" / "site"
CONTRACT = str(EXAMPLE / "seo-contract.json")
POST = "/blog/brewing-the-perfect-pour-over"
SITE = "https://www.kestrel-coffee.example"


def served_at(html: bytes, route: str, new_route: str) -> bytes:
    """A built page copied to another route: its canonical link names the
    copy, as the generator would have written it."""
    old = f'rel="canonical" href="{SITE}{route}"'.encode()
    assert old in html
    return html.replace(old, f'rel="canonical" href="{SITE}{new_route}"'.encode())


def load_builder() -> Any:
    spec = importlib.util.spec_from_file_location("build_html", EXAMPLE / "build_html.py")
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


builder = load_builder()

# Pages broken in known ways: (file, change to the post's HTML, findings).
BROKEN: list[tuple[str, tuple[str, str], set[tuple[str, str, str]]]] = [
    (
        "blog/noindex.html",
        ('content="index,follow"', 'content="noindex"'),
        {("/blog/noindex", "indexable", "error")},
    ),
    (
        "blog/no-schema.html",
        ('type="application/ld+json"', 'type="text/plain"'),
        {
            ("/blog/no-schema", "schema.required", "warning"),
            ("/blog/no-schema", "schema.types", "warning"),
        },
    ),
    (
        "long-title.html",
        ("<title>", "<title>A title far, far longer than the sixty characters allowed: "),
        {("/long-title", "title.max_length", "error")},
    ),
    (
        "broken-json.html",
        ('<script type="application/ld+json">\n[', '<script type="application/ld+json">\n[,'),
        {("/broken-json", "jsonld", "error")},
    ),
    (
        "blog/no-canonical.html",
        ('<link rel="canonical"', '<link rel="bookmark"'),
        {("/blog/no-canonical", "canonical", "error")},
    ),
]


@pytest.fixture(scope="module")
def built(tmp_path_factory: pytest.TempPathFactory) -> Path:
    root = tmp_path_factory.mktemp("public")
    builder.build_site(
        root, builder.example_pages(), zelko.load_config(str(EXAMPLE / "zelko.toml"))
    )
    return root


@pytest.fixture(scope="module")
def broken(tmp_path_factory: pytest.TempPathFactory, built: Path) -> Path:
    root = tmp_path_factory.mktemp("broken")
    post = (built / f"{POST.lstrip('/')}.html").read_bytes()
    for number, (name, (old, new), _) in enumerate(BROKEN):
        page = served_at(post, POST, "/" + name.removesuffix(".html")).decode()
        # A title and description of its own: no copy shares them with another.
        page = page.replace("<title>", f"<title>{number} ", 1)
        page = page.replace(
            'name="description" content="', f'name="description" content="{number} '
        )
        assert old in page
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_text(page.replace(old, new, 1), encoding="utf-8")
    return root


def run(capsys: pytest.CaptureFixture[str], *arguments: str) -> tuple[int, str, str]:
    code = main(["check", "--contract", CONTRACT, *arguments])
    captured = capsys.readouterr()
    return code, captured.out, captured.err


def found(out: str) -> set[tuple[str, str, str]]:
    return {(f["route"], f["field"], f["severity"]) for f in json.loads(out)["findings"]}


def test_the_example_site_passes_its_contract(
    built: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    assert run(capsys, "--site", str(built)) == (0, "No findings in 7 pages.\n", "")


def test_the_committed_example_build_is_the_current_one(built: Path) -> None:
    committed = EXAMPLE / "public"
    names = sorted(path.relative_to(built) for path in built.rglob("*") if path.is_file())
    assert names == sorted(
        path.relative_to(committed) for path in committed.rglob("*") if path.is_file()
    )
    for name in names:
        assert (committed / name).read_bytes() == (built / name).read_bytes(), name


def test_broken_pages_are_reported_in_every_format(
    broken: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    code, out, _ = run(capsys, "--site", str(broken), "--format", "json")
    assert code == 1
    findings = found(out)
    assert findings == set().union(*(expected for _, _, expected in BROKEN))
    summary = json.loads(out)["summary"]
    assert (summary["pages"], summary["errors"], summary["warnings"]) == (6, 4, 2)

    code, out, _ = run(capsys, "--site", str(broken), "--format", "junit")
    suite = ElementTree.fromstring(out).find("testsuite")
    assert code == 1 and suite is not None
    routes = {case.get("name") for case in suite.iter("testcase")}
    assert routes == {route for route, _, _ in findings} | {"/search"}
    assert len(list(suite.iter("failure"))) == len(findings)

    code, out, _ = run(capsys, "--site", str(broken), "/blog/no-schema")
    assert code == 0  # warnings only
    assert out.splitlines()[-1] == "2 findings (0 errors, 2 warnings) in 1 of 1 page."
    assert run(capsys, "--site", str(broken), "/blog/no-schema", "--fail-on", "warning")[0] == 1


# --- A running site ------------------------------------------------------------

SPECIAL: dict[str, tuple[int, dict[str, str]]] = {
    "/old": (301, {"Location": "https://www.kestrel-coffee.example/faq"}),
    "/gone": (410, {}),
    "/private": (200, {"X-Robots-Tag": "noindex, nofollow"}),
}


@pytest.fixture(scope="module")
def site_url(tmp_path_factory: pytest.TempPathFactory) -> Iterator[str]:
    """The example site, its sitemap split into an index and gzip parts,
    served on a free port of 127.0.0.1 with a redirect, a gone page and a
    page marked noindex by its header."""
    root = tmp_path_factory.mktemp("served")
    config = zelko.load_config(str(EXAMPLE / "zelko.toml"))
    builder.build_site(root, builder.example_pages(), config, max_urls=2, gzip=True)
    faq = (root / "faq.html").read_bytes()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self) -> None:
            if self.path == "/slow":
                time.sleep(0.5)  # past the --timeout of the test that asks for it
            status, headers = SPECIAL.get(self.path, (200, {}))
            path = Path(route_file(str(root), self.path) or root / self.path.lstrip("/"))
            if self.path == "/private":
                body = served_at(faq, "/faq", "/private")
            elif status != 200 or not path.is_file():
                status, body = (status if status != 200 else 404), b"<title>Not here</title>"
            else:
                body = path.read_bytes()
            self.send_response(status)
            for name, value in headers.items():
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, format: str, *args: Any) -> None:
            pass

    class Server(http.server.ThreadingHTTPServer):
        def handle_error(self, request: Any, client_address: Any) -> None:
            # The client of /slow gives up before the answer: the write fails
            # later, during another test, whose standard error must stay clean.
            if not isinstance(sys.exc_info()[1], ConnectionError):
                super().handle_error(request, client_address)

    server = Server(("127.0.0.1", 0), Handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}"
    finally:
        server.shutdown()
        server.server_close()
        thread.join()


def test_a_running_site_pages_from_its_sitemap_index_pass(
    site_url: str, capsys: pytest.CaptureFixture[str]
) -> None:
    assert run(capsys, "--url", site_url, "--jobs", "3") == (0, "No findings in 7 pages.\n", "")


def test_a_running_site_status_redirects_and_headers(
    site_url: str, capsys: pytest.CaptureFixture[str]
) -> None:
    routes = ["/faq", "/old", "/gone", "/private", "/missing", "/search"]
    code, out, err = run(capsys, "--url", site_url, *routes, "--format", "json")
    assert (code, err) == (1, "")
    findings = {
        f["route"]: (f["field"], f["actual"], f["message"]) for f in json.loads(out)["findings"]
    }
    assert findings == {
        "/old": (
            "indexable",
            301,
            "not indexable: page redirects (301) to https://www.kestrel-coffee.example/faq",
        ),
        "/gone": ("indexable", 410, "not indexable: page not found (410)"),
        "/private": (
            "indexable",
            ["follow", "index", "nofollow", "noindex"],
            "not indexable: robots directives say noindex",
        ),
        "/missing": ("indexable", 404, "not indexable: page not found (404)"),
    }


def test_a_page_that_does_not_answer_in_time_is_an_error(
    site_url: str, capsys: pytest.CaptureFixture[str]
) -> None:
    code, out, _ = run(capsys, "--url", site_url, "/slow", "--timeout", "0.1", "--format", "json")
    (finding,) = json.loads(out)["findings"]
    assert (code, finding["field"], finding["severity"]) == (1, "status", "error")
    assert finding["message"] == "no response: no complete answer within 0.1 s"


def test_a_page_past_the_size_limit_is_not_read(
    site_url: str, capsys: pytest.CaptureFixture[str], monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.setattr(sources, "MAX_PAGE_BYTES", 1000)  # the example pages are larger
    code, out, _ = run(capsys, "--url", site_url, "/faq", "--format", "json")
    (finding,) = json.loads(out)["findings"]
    assert (code, finding["field"]) == (1, "status")
    assert finding["message"] == "no response: the page is larger than 1,000 bytes"


def test_sitemap_listing_from_a_local_index(
    site_url: str, built: Path, tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    contract = tmp_path / "contract.json"
    document = json.loads(Path(CONTRACT).read_text(encoding="utf-8"))
    document["defaults"]["sitemap"] = {"required": True}
    contract.write_text(json.dumps(document), encoding="utf-8")
    arguments = ["check", "--contract", str(contract), "--site", str(built), "--format", "json"]
    assert main(arguments) == 0
    assert main([*arguments, "--sitemap", f"{site_url}/sitemap.xml"]) == 0  # an index over HTTP
    (built / "extra.html").write_bytes(
        served_at((built / "faq.html").read_bytes(), "/faq", "/extra")
    )
    try:
        assert main(arguments) == 1
    finally:
        (built / "extra.html").unlink()
    out = capsys.readouterr().out.split("\n{")[-1]
    # The copy of /faq also shares its texts, and the sitemap does not list it.
    assert found("{" + out) == {
        ("/extra", "sitemap.required", "error"),
        ("/extra", "site.duplicate_title", "warning"),
        ("/extra", "site.duplicate_description", "warning"),
        ("/extra", "site.not_in_sitemap", "warning"),
    }


@pytest.mark.parametrize(
    ("arguments", "message"),
    [
        (["--url", "http://127.0.0.1:{closed}", "/"], "cannot reach the site"),
        (["--url", "ftp://example.com", "/"], "--url: expected an http:// or https:// URL"),
        (["--site", "{missing}"], "not a directory"),
        (["--site", "{empty}"], "no pages to check"),
        (["--site", ".", "--routes", "{routes}"], "line 2: a route starts with '/'"),
        (["--site", ".", "--sitemap", "{missing}"], "cannot read: no such file"),
        (
            ["--contract", "{bad_contract}", "--site", "."],
            "defaults.title.matches: invalid regular",
        ),
    ],
)
def test_bad_arguments_and_unreachable_sites_exit_2_with_one_line(
    arguments: list[str], message: str, tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        closed = probe.getsockname()[1]
    (tmp_path / "routes.txt").write_text("/faq\nfaq\n", encoding="utf-8")
    bad = json.loads(Path(CONTRACT).read_text(encoding="utf-8"))
    bad["defaults"]["title"]["matches"] = "[a-"
    (tmp_path / "bad.json").write_text(json.dumps(bad), encoding="utf-8")
    names = {
        "closed": closed,
        "missing": tmp_path / "nothing",
        "routes": tmp_path / "routes.txt",
        "bad_contract": tmp_path / "bad.json",
        "empty": tmp_path,
    }
    code, out, err = run(capsys, *(argument.format(**names) for argument in arguments))
    assert (code, out) == (2, "")
    assert err.startswith("zelko: ") and err.count("\n") == 1 and message in err


def test_sitemaps_expand_no_entities_and_routes_stay_in_the_site(
    broken: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    hostile = (
        b'<?xml version="1.0"?><!DOCTYPE urlset [<!ENTITY secret SYSTEM "file:///etc/hostname">]>'
        b'<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">'
        b"<url><loc>&secret;</loc></url><url><loc> https://a.example/x </loc></url></urlset>"
    )
    assert parse_sitemap(hostile, "hostile.xml") == ("urlset", ["https://a.example/x"])

    (broken.parent / "outside.html").write_bytes((broken / "long-title.html").read_bytes())
    code, out, _ = run(capsys, "--site", str(broken), "/../outside", "--format", "json")
    assert (code, found(out)) == (1, {("/../outside", "indexable", "error")})


def test_a_sitemap_index_cannot_name_a_part_outside_the_site(
    built: Path, tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    urlset = '<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9"><url><loc>{}</loc></url></urlset>'
    (tmp_path / "secret.xml").write_text(urlset.format(SITE + "/faq"), encoding="utf-8")
    site = tmp_path / "site"
    shutil.copytree(built, site)
    (site / "sitemap.xml").write_text(
        '<sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">'
        f"<sitemap><loc>{SITE}/../secret.xml</loc></sitemap></sitemapindex>",
        encoding="utf-8",
    )
    code, out, err = run(capsys, "--site", str(site), "--sitemap", str(site / "sitemap.xml"))
    assert (code, out) == (2, "")
    assert "sitemap part outside the site directory" in err
