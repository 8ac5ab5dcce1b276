"""The zelko command line: every subcommand, its output, exit codes and errors."""

from __future__ import annotations

import hashlib
import io
import json
import os
import subprocess
import sys
from pathlib import Path
from typing import Any

import pytest

import zelko
import zelko.cli.render
from zelko.cli import main

REPO = Path(__file__).resolve().parents[2]
EXAMPLE = REPO / "examples" / "site"
EXAMPLE_CONFIG = str(EXAMPLE / "zelko.toml")
EXAMPLE_PAGES = EXAMPLE / "pages"

SITE_TOML = """\
canonical_host = "example.com"
public_base_url = "https://example.com"
title_template = "{title} | Example"
locale_alternate = ["de_DE"]

[url_policy]
allowed_query_params = ["page"]

[default_robots]
max_snippet = -1

[default_og_image]
url = "https://example.com/og.png"
width = 1200
height = 630

[schema_type_map]
post = "BlogPosting"
"""

PAGE: dict[str, Any] = {
    "route": "/blog/hello/?page=2&utm_source=x",
    "entity": {
        "entity_type": "post",
        "title": "Hello",
        "excerpt": "A short post.",
        "author_name": "Ada",
        "featured_image": {"url": "https://example.com/hello.png", "width": 800, "alt": "Hi"},
        "breadcrumbs": [{"name": "Home", "url": "/"}, {"name": "Blog", "url": "/blog"}],
    },
    "overrides": {"twitter_card": "summary", "schema_jsonld": None},
}


def api_payload() -> zelko.SEOPayload:
    """The payload that SITE_TOML and PAGE describe, made through the Python API."""
    config = zelko.SEOConfig(
        "example.com",
        "https://example.com",
        title_template="{title} | Example",
        locale_alternate=["de_DE"],
        url_policy=zelko.URLPolicy(allowed_query_params=["page"]),
        default_robots=zelko.Robots(max_snippet=-1),
        default_og_image=zelko.SEOImage("https://example.com/og.png", width=1200, height=630),
        schema_type_map=[("post", "BlogPosting")],
    )
    entity = zelko.SEOEntity(
        "post",
        title="Hello",
        excerpt="A short post.",
        author_name="Ada",
        featured_image=zelko.SEOImage("https://example.com/hello.png", width=800, alt="Hi"),
        breadcrumbs=[zelko.Breadcrumb("Home", "/"), zelko.Breadcrumb("Blog", "/blog")],
    )
    overrides = zelko.SEOOverrides(twitter_card="summary")
    return zelko.build_seo_payload(entity, str(PAGE["route"]), config, overrides)


@pytest.fixture
def site(tmp_path: Path) -> Path:
    path = tmp_path / "site.toml"
    path.write_text(SITE_TOML, encoding="utf-8")
    return path


def write_page(directory: Path, name: str, page: object) -> Path:
    path = directory / name
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(json.dumps(page), encoding="utf-8")
    return path


def run(capsys: pytest.CaptureFixture[str], *argv: object) -> tuple[int, str, str]:
    code = main([str(arg) for arg in argv])
    captured = capsys.readouterr()
    return code, captured.out, captured.err


class Terminal(io.StringIO):
    def isatty(self) -> bool:
        return True


# --- render ------------------------------------------------------------------


def test_render_prints_the_head_snippet_of_a_page(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path
) -> None:
    page = write_page(tmp_path, "hello.json", PAGE)

    code, out, err = run(capsys, "render", "--config", site, page)

    assert (code, err) == (0, "")
    assert out == api_payload().render_html()
    assert '<link rel="canonical" href="https://example.com/blog/hello?page=2">' in out


def test_render_of_several_pages_labels_each_snippet(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path
) -> None:
    first = write_page(tmp_path, "a.json", PAGE)
    second = write_page(tmp_path, "b.json", {**PAGE, "route": "/other"})

    code, out, _ = run(capsys, "render", "-c", site, first, second)

    assert code == 0
    assert out.startswith(f"<!-- {first} -->\n<title>Hello | Example</title>\n")
    assert f"</script>\n<!-- {second} -->\n<title>" in out
    assert out.count("<title>") == 2


def test_render_of_the_bundled_post_shows_normalized_canonical_and_breadcrumbs(
    capsys: pytest.CaptureFixture[str],
) -> None:
    code, out, err = run(capsys, "render", "--config", EXAMPLE_CONFIG, EXAMPLE_PAGES / "post.json")

    assert (code, err) == (0, "")
    lines = out.splitlines()
    assert lines[0] == "<title>Brewing the perfect pour-over | Kestrel Coffee</title>"
    assert (
        '<link rel="canonical" '
        'href="https://www.kestrel-coffee.example/blog/brewing-the-perfect-pour-over">'
    ) in lines
    assert (
        '<meta property="og:image" '
        'content="https://www.kestrel-coffee.example/static/blog/pour-over.jpg">'
    ) in lines
    assert '"@type": "BreadcrumbList"' in out
    assert out.endswith("</script>\n")


# --- build -------------------------------------------------------------------


def test_build_prints_the_pretty_payload_json(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path
) -> None:
    page = write_page(tmp_path, "hello.json", PAGE)

    code, out, err = run(capsys, "build", "--config", site, page)

    assert (code, err) == (0, "")
    assert out == api_payload().to_json() + "\n"
    assert json.loads(out)["og"]["locale_alternate"] == ["de_DE"]


@pytest.mark.parametrize("option", ["--hash", "--etag"])
def test_build_digest_options_print_the_payload_digest(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path, option: str
) -> None:
    page = write_page(tmp_path, "hello.json", PAGE)
    payload = api_payload()
    expected = payload.hash() if option == "--hash" else payload.etag()

    code, out, _ = run(capsys, "build", "--config", site, page, option)

    assert (code, out) == (0, expected + "\n")


def test_build_hash_of_several_pages_names_each_page(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path
) -> None:
    first = write_page(tmp_path, "a.json", PAGE)
    second = write_page(tmp_path, "b.json", PAGE)

    code, out, _ = run(capsys, "build", "-c", site, "--hash", first, second)

    digest = api_payload().hash()
    assert (code, out) == (0, f"{digest}  {first}\n{digest}  {second}\n")


def test_build_hash_and_etag_are_mutually_exclusive(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path
) -> None:
    page = write_page(tmp_path, "a.json", PAGE)

    code, out, err = run(capsys, "build", "-c", site, "--hash", "--etag", page)

    assert (code, out) == (2, "")
    assert "not allowed with argument" in err


def test_build_output_file_holds_every_payload(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path
) -> None:
    page = write_page(tmp_path, "a.json", PAGE)
    target = tmp_path / "out" / "payload.json"
    target.parent.mkdir()

    code, out, err = run(capsys, "build", "-c", site, page, "-o", target)

    assert (code, out, err) == (0, "", "")
    assert target.read_text(encoding="utf-8") == api_payload().to_json() + "\n"
    # An ordinary file, not the private mode of the temporary file it was written as.
    umask = os.umask(0)
    os.umask(umask)
    assert target.stat().st_mode & 0o777 == 0o666 & ~umask


def test_build_with_emit_warnings_reports_findings_on_stderr(
    capsys: pytest.CaptureFixture[str], tmp_path: Path
) -> None:
    config = tmp_path / "site.json"
    config.write_text(
        json.dumps(
            {
                "canonical_host": "example.com",
                "public_base_url": "https://example.com",
                "emit_warnings": True,
            }
        ),
        encoding="utf-8",
    )
    page = write_page(tmp_path, "bare.json", {"route": "/x", "entity": {"entity_type": "page"}})

    code, out, err = run(capsys, "build", "-c", config, page, "--hash")

    assert code == 0
    assert len(out.strip()) == 64
    assert err.splitlines() == [
        f"zelko: warning: {page}: [ZELKO101] Title is missing or default (https://example.com/x)",
        f"zelko: warning: {page}: [ZELKO103] Meta description is missing (https://example.com/x)",
        f"zelko: warning: {page}: [ZELKO108] OG image is missing; set default_og_image or an "
        "entity image (https://example.com/x)",
    ]


# --- validate ----------------------------------------------------------------


def bare_site(tmp_path: Path) -> Path:
    path = tmp_path / "bare.toml"
    path.write_text(
        'canonical_host = "example.com"\npublic_base_url = "https://example.com"\n',
        encoding="utf-8",
    )
    return path


def test_validate_of_the_bundled_site_finds_nothing(capsys: pytest.CaptureFixture[str]) -> None:
    code, out, err = run(capsys, "validate", "--config", EXAMPLE_CONFIG, EXAMPLE_PAGES)

    assert (code, out, err) == (0, "No findings in 6 pages.\n", "")


def test_bundled_pages_write_each_schema_org_value_once(
    capsys: pytest.CaptureFixture[str],
) -> None:
    code, out, _ = run(capsys, "build", "--config", EXAMPLE_CONFIG, EXAMPLE_PAGES)
    assert code == 0 and '"availability": "https://schema.org/InStock"' in out
    assert "schema.org/https:" not in out


def test_validate_prints_findings_as_a_table_and_fails(
    capsys: pytest.CaptureFixture[str], tmp_path: Path
) -> None:
    site = bare_site(tmp_path)
    good = write_page(
        tmp_path,
        "good.json",
        {
            "route": "/ok",
            "entity": {"entity_type": "page", "title": "Fine", "excerpt": "Fine."},
            "overrides": {"og_image": {"url": "https://example.com/i.png"}},
        },
    )
    bad = write_page(
        tmp_path,
        "bad.json",
        {
            "route": "/x",
            "entity": {"entity_type": "page"},
            "overrides": {"robots": {"max_image_preview": "huge,all"}},
        },
    )

    code, out, err = run(capsys, "validate", "-c", site, good, bad, "--fail-on", "warning")

    assert (code, err) == (1, "")
    width = len(str(bad))
    assert out.splitlines() == [
        f"RULE      SEVERITY  {'PAGE'.ljust(width)}  MESSAGE",
        f"ZELKO101  warning   {bad}  Title is missing or default",
        f"ZELKO103  warning   {bad}  Meta description is missing",
        f"ZELKO108  warning   {bad}  OG image is missing; set default_og_image or an entity image",
        f"ZELKO107  warning   {bad}  Invalid robots directive: 'all'",
        "4 findings in 1 of 2 pages.",
    ]


@pytest.mark.parametrize(
    ("options", "code"),
    [
        (["--fail-on", "info"], 1),
        (["--fail-on", "warning"], 1),
        (["--fail-on", "error"], 0),
        (["--fail-on", "never"], 0),
        ([], 0),  # error by default, as for zelko check
        (["--format", "table"], 0),  # the earlier name of text
    ],
)
def test_validate_exit_code_follows_fail_on(
    capsys: pytest.CaptureFixture[str], tmp_path: Path, options: list[str], code: int
) -> None:
    page = write_page(tmp_path, "bare.json", {"route": "/x", "entity": {"entity_type": "page"}})

    result, out, _ = run(capsys, "validate", "-c", bare_site(tmp_path), page, *options)

    assert result == code
    assert out.endswith("3 findings in 1 of 1 page.\n")


def test_validate_json_format_for_ci(capsys: pytest.CaptureFixture[str], tmp_path: Path) -> None:
    page = write_page(
        tmp_path,
        "long.json",
        {"route": "/x", "entity": {"entity_type": "page", "title": "T" * 61, "excerpt": "Ok."}},
    )

    code, out, _ = run(
        capsys, "validate", "-c", bare_site(tmp_path), page, "--format", "json", "--fail-on", "info"
    )

    assert code == 1
    assert json.loads(out) == {
        "pages": 1,
        "findings": [
            {
                "page": str(page),
                "rule_id": "ZELKO102",
                "severity": "warning",
                "message": "Title is 61 characters (recommended max 60)",
                "url": "https://example.com/x",
                "details": {"length": 61},
            },
            {
                "page": str(page),
                "rule_id": "ZELKO108",
                "severity": "warning",
                "message": "OG image is missing; set default_og_image or an entity image",
                "url": "https://example.com/x",
                "details": {},
            },
        ],
    }


# A page that passes the eight rules, to which each case adds one thing.
FINE_ENTITY = {"entity_type": "page", "title": "Fine", "excerpt": "Fine."}
FINE_OVERRIDES = {"og_image": {"url": "https://example.com/i.png"}}


@pytest.mark.parametrize(
    ("entity", "route", "overrides", "found"),
    [
        ({"status": "publised"}, "/x", {}, [("ZELKO109", "entity.status")]),
        ({"status": "live"}, "/x", {}, [("ZELKO109", "entity.status")]),
        ({"status": ""}, "/x", {}, [("ZELKO109", "entity.status")]),
        ({"status": "PUBLISHED"}, "/x", {}, []),
        ({"status": "Draft"}, "/x", {}, []),
        ({"status": "archived"}, "/x", {}, []),
        # Indexed all the same by its robots override: nothing is lost.
        ({"status": "live"}, "/x", {"robots": {"index": True}}, []),
        ({"updated_at": "2024-05-01T09:30:00"}, "/x", {}, [("ZELKO110", "entity.updated_at")]),
        ({"published_at": "2024-02-29", "updated_at": "2024-05-01T09:30Z"}, "/x", {}, []),
        ({}, "/a/../b", {}, [("ZELKO111", "canonical")]),
        (
            {},
            "/x",
            {"canonical_url": "https://example.com/a/%2E%2E/b"},
            [("ZELKO111", "canonical")],
        ),
        ({}, "/x", {"canonical_url": "https://example.com/a/./b"}, [("ZELKO111", "canonical")]),
        ({}, "/x", {"canonical_url": "https://example.com/a\tb"}, [("ZELKO111", "canonical")]),
        ({}, "/x", {"canonical_url": "https://example.com/a/..b/.c"}, []),
    ],
)
def test_validate_warns_about_what_the_page_file_gets_wrong(
    capsys: pytest.CaptureFixture[str],
    tmp_path: Path,
    entity: dict[str, str],
    route: str,
    overrides: dict[str, Any],
    found: list[tuple[str, str]],
) -> None:
    page = write_page(
        tmp_path,
        "page.json",
        {
            "route": route,
            "entity": {**FINE_ENTITY, **entity},
            "overrides": {**FINE_OVERRIDES, **overrides},
        },
    )
    code, out, _ = run(
        capsys,
        "validate",
        "-c",
        bare_site(tmp_path),
        page,
        "--format",
        "json",
        "--fail-on",
        "warning",
    )
    findings = json.loads(out)["findings"]
    assert [(f["rule_id"], f["details"]["field"]) for f in findings] == found
    assert code == (1 if found else 0)
    assert all(f["severity"] == "warning" for f in findings)


def test_an_unknown_status_names_itself_and_leaves_the_payload_alone(
    capsys: pytest.CaptureFixture[str], tmp_path: Path
) -> None:
    page = write_page(
        tmp_path,
        "typo.json",
        {
            "route": "/x",
            "entity": {**FINE_ENTITY, "status": "publised"},
            "overrides": FINE_OVERRIDES,
        },
    )
    code, out, _ = run(capsys, "validate", "-c", bare_site(tmp_path), page, "--fail-on", "warning")
    assert code == 1 and "status 'publised' is neither 'published'" in out
    assert "the page will not be indexed" in out
    assert run(capsys, "build", "-c", bare_site(tmp_path), page)[0] == 0


def test_validate_walks_directories_in_sorted_order(
    capsys: pytest.CaptureFixture[str], tmp_path: Path
) -> None:
    pages = tmp_path / "pages"
    for name in ("b.json", "a.json", "nested/c.json"):
        write_page(pages, name, {"route": "/x", "entity": {"entity_type": "page"}})
    (pages / "notes.txt").write_text("not a page", encoding="utf-8")

    code, out, _ = run(
        capsys,
        "validate",
        "-c",
        bare_site(tmp_path),
        pages,
        "--format",
        "json",
        "--fail-on",
        "warning",
    )

    assert code == 1
    report = json.loads(out)
    assert report["pages"] == 3
    order = list(dict.fromkeys(finding["page"] for finding in report["findings"]))
    assert order == [str(pages / "a.json"), str(pages / "b.json"), str(pages / "nested" / "c.json")]


def test_directory_shows_a_progress_bar_on_a_terminal(
    capsys: pytest.CaptureFixture[str], monkeypatch: pytest.MonkeyPatch
) -> None:
    terminal = Terminal()
    monkeypatch.setattr(sys, "stderr", terminal)

    code = main(["validate", "-c", EXAMPLE_CONFIG, str(EXAMPLE_PAGES)])

    assert code == 0
    drawn = terminal.getvalue()
    assert drawn.startswith("\rvalidating [")
    assert "] 1/6" in drawn
    assert drawn.endswith(f"\rvalidating [{'#' * 30}] 6/6\r\x1b[K")
    assert capsys.readouterr().out == "No findings in 6 pages.\n"


def test_no_progress_bar_when_stderr_is_not_a_terminal(
    capsys: pytest.CaptureFixture[str],
) -> None:
    code, _, err = run(capsys, "render", "-c", EXAMPLE_CONFIG, EXAMPLE_PAGES)

    assert (code, err) == (0, "")


def test_empty_directory_is_an_input_error(
    capsys: pytest.CaptureFixture[str], tmp_path: Path
) -> None:
    empty = tmp_path / "empty"
    empty.mkdir()

    code, out, err = run(capsys, "validate", "-c", bare_site(tmp_path), empty)

    assert (code, out) == (2, "")
    assert err == f"zelko: {empty}: no page files (*.json) in this directory\n"


# --- contract ----------------------------------------------------------------


def test_contract_prints_its_hash_and_writes_the_file(
    capsys: pytest.CaptureFixture[str], tmp_path: Path
) -> None:
    target = tmp_path / "seo-contract.json"

    code, out, err = run(capsys, "contract", EXAMPLE / "contract.toml", "-o", target)

    assert (code, err) == (0, "")
    data = target.read_bytes()
    assert out == hashlib.sha256(data).hexdigest() + "\n"
    contract = json.loads(data)
    assert contract["site"] == {"canonical_host": "www.kestrel-coffee.example", "scheme": "https"}
    assert [rule["match"] for rule in contract["rules"]] == ["/blog/*", "/shop/*"]
    assert contract["rules"][0]["severity"] == "Warning"
    assert contract["exceptions"] == {"/search": {"indexable": False}}
    assert contract["defaults"]["title"] == {"max_length": 60}


def test_contract_matches_the_python_api(
    capsys: pytest.CaptureFixture[str], tmp_path: Path
) -> None:
    source = tmp_path / "contract.json"
    source.write_text(
        json.dumps(
            {
                "canonical_host": "site-host",
                "rules": [
                    {
                        "match": "/blog/*",
                        "severity": "warning",
                        "expect": {"indexable": True, "title": {"max_length": 60}},
                    }
                ],
            }
        ),
        encoding="utf-8",
    )
    contract = zelko.build_seo_contract(
        zelko.SEOContractConfig(
            "site-host",
            rules=[
                zelko.SEOContractRule(
                    "/blog/*",
                    zelko.SEOExpectation(indexable=True, title=zelko.SEOExpectation(max_length=60)),
                    severity="warning",
                )
            ],
        )
    )

    assert run(capsys, "contract", source) == (0, contract.hash() + "\n", "")
    assert run(capsys, "contract", source, "--json") == (0, contract.to_json() + "\n", "")


# --- url ---------------------------------------------------------------------


@pytest.mark.parametrize(
    ("argv", "expected"),
    [
        (
            ["/Blog//Hello/?utm_source=x&page=2"],
            "https://www.kestrel-coffee.example/blog/hello?page=2\n",
        ),
        (["--path", "/Blog//Hello/"], "/blog/hello\n"),
        (
            ["/a", "/b"],
            "https://www.kestrel-coffee.example/a\nhttps://www.kestrel-coffee.example/b\n",
        ),
    ],
    ids=["public-url", "path", "several"],
)
def test_url_normalizes_under_the_configuration(
    capsys: pytest.CaptureFixture[str], argv: list[str], expected: str
) -> None:
    assert run(capsys, "url", "--config", EXAMPLE_CONFIG, *argv) == (0, expected, "")


def test_url_clean_removes_tracking_parameters(capsys: pytest.CaptureFixture[str]) -> None:
    url = "https://example.com/a?utm_source=news&id=7&fbclid=abc"
    expected = zelko.clean_url_fn(url)

    assert run(capsys, "url", "--clean", url) == (0, expected["url"] + "\n", "")
    code, out, _ = run(capsys, "url", "--clean", url, "--format", "json")
    assert (code, json.loads(out)) == (0, expected)
    assert sorted(expected["removed_params"]) == ["fbclid", "utm_source"]


def test_url_without_config_or_clean_is_a_usage_error(capsys: pytest.CaptureFixture[str]) -> None:
    code, out, err = run(capsys, "url", "/a")

    assert (code, out) == (2, "")
    assert err.splitlines()[-1] == "zelko: error: url: --config is required unless --clean is given"


def test_url_reports_an_unusable_value_on_one_line(capsys: pytest.CaptureFixture[str]) -> None:
    code, out, err = run(capsys, "url", "-c", EXAMPLE_CONFIG, "/fine", " ")

    assert (code, out) == (2, "")
    assert err == "zelko: argument ' ': invalid URL: url_or_path must be a non-empty string\n"


# --- Bad input ---------------------------------------------------------------

ENTITY_TYPES = "home/post/page/video/taxonomy/search/other/product/organization/local_business/faq"


@pytest.mark.parametrize(
    ("site_text", "page", "blame", "message"),
    [
        pytest.param(
            None,
            {"route": "/x", "entity": {"entity_type": "blog"}},
            "page",
            f"entity.entity_type: must be one of {ENTITY_TYPES}, got 'blog'",
            id="unknown-entity-type",
        ),
        pytest.param(
            'public_base_url = "https://example.com"\n',
            None,
            "site",
            "canonical_host: required field is missing",
            id="missing-canonical-host",
        ),
        pytest.param(
            'canonical_host = "https://example.com"\npublic_base_url = "https://example.com"\n',
            None,
            "site",
            "canonical_host: must be host-only (no scheme/path/query)",
            id="canonical-host-with-scheme",
        ),
        pytest.param(
            'canonical_host = "example.com"\npublic_base_url = "https://example.com"\n'
            '[url_policy]\ntrailing_slash = "Always"\n',
            None,
            "site",
            "url_policy.trailing_slash: invalid trailing_slash: Always",
            id="invalid-trailing-slash",
        ),
        pytest.param(
            'canonical_host = "example.com"\npublic_base_url = "https://example.com"\n'
            'title_template = "{Title} | Site"\n',
            None,
            "site",
            "title_template: must include '{title}' placeholder",
            id="template-without-placeholder",
        ),
        pytest.param(
            'canonical_host = "example.com"\npublic_base_url = "https://example.com"\n'
            'sitename = "Example"\n',
            None,
            "site",
            "sitename: unknown field; did you mean 'site_name'? (expected one of: "
            "auto_generate_schema, canonical_host, "
            "default_og_image, default_robots, emit_warnings, locale, locale_alternate, "
            "public_base_url, publisher_logo, publisher_name, schema_type_map, search_robots, "
            "search_url_template, site_name, title_template, twitter_site, url_policy)",
            id="unknown-config-key",
        ),
        pytest.param(
            'canonical_host = "example.com"\npublic_base_url = "https://example.com"\n'
            '[default_og_image]\nurl = "https://example.com/og.png"\nwidth = -1\n',
            None,
            "site",
            "default_og_image.width: must be between 0 and 4294967295, got -1",
            id="negative-image-width",
        ),
        pytest.param(
            'canonical_host = "example.com"\npublic_base_url = "https://example.com"\n'
            "emit_warnings = 1\n",
            None,
            "site",
            "emit_warnings: expected a boolean, got an integer",
            id="integer-flag",
        ),
        pytest.param(
            'canonical_host = "example.com"\npublic_base_url = "not a url"\n',
            None,
            "site",
            "public_base_url: invalid public_base_url: ",
            id="unparsable-public-base-url",
        ),
        pytest.param(
            None,
            {"route": "/x", "entity": {"entity_type": "post", "titel": "Hello"}},
            "page",
            "entity.titel: unknown field; did you mean 'title'? (expected one of: ",
            id="unknown-entity-key",
        ),
        pytest.param(
            None,
            {
                "route": "/x",
                "entity": {
                    "entity_type": "post",
                    "breadcrumbs": [{"name": "Home", "url": "/"}, {"name": "B"}],
                },
            },
            "page",
            "entity.breadcrumbs[1].url: required field is missing",
            id="breadcrumb-without-url",
        ),
        pytest.param(
            None,
            {
                "route": "/x",
                "entity": {"entity_type": "post", "featured_image": {"url": "u", "width": "1200"}},
            },
            "page",
            "entity.featured_image.width: expected an integer, got a string",
            id="string-image-width",
        ),
        pytest.param(
            None,
            {"route": "/x", "entity": {"entity_type": "post", "same_as": "https://x.example"}},
            "page",
            "entity.same_as: expected an array of strings, got a string",
            id="string-instead-of-list",
        ),
        pytest.param(
            None,
            {"entity": {"entity_type": "post"}},
            "page",
            "route: required field is missing",
            id="missing-route",
        ),
        pytest.param(
            None,
            {"route": "  ", "entity": {"entity_type": "post"}},
            "page",
            "route: must be a non-empty path or URL",
            id="blank-route",
        ),
        pytest.param(
            None,
            ["not", "a", "page"],
            "page",
            "expected a table, got an array",
            id="page-not-an-object",
        ),
        pytest.param(
            None,
            {
                "route": "/x",
                "entity": {"entity_type": "post"},
                "overrides": {"canonical_url": "ftp://example.com/x"},
            },
            "page",
            "overrides.canonical_url: canonical_url override must use http or https",
            id="canonical-url-override-scheme",
        ),
        pytest.param(
            None,
            {
                "route": "/x",
                "entity": {"entity_type": "post"},
                "overrides": {"robots": {"index": "no"}},
            },
            "page",
            "overrides.robots.index: expected a boolean, got a string",
            id="string-robots-flag",
        ),
    ],
)
def test_bad_input_gives_one_line_naming_file_and_field(
    capsys: pytest.CaptureFixture[str],
    tmp_path: Path,
    site_text: str | None,
    page: object,
    blame: str,
    message: str,
) -> None:
    site_path = tmp_path / "site.toml"
    site_path.write_text(SITE_TOML if site_text is None else site_text, encoding="utf-8")
    page_path = write_page(tmp_path, "page.json", PAGE if page is None else page)

    for command in ("render", "build", "validate"):
        code, out, err = run(capsys, command, "--config", site_path, page_path)

        blamed = site_path if blame == "site" else page_path
        assert (code, out) == (2, "")
        assert err.startswith(f"zelko: {blamed}: {message}")
        assert err.endswith("\n") and err.count("\n") == 1
        assert "Traceback" not in err


@pytest.mark.parametrize(
    ("name", "text", "message"),
    [
        ("site.toml", 'canonical_host = "example.com\n', "invalid TOML: "),
        (
            "site.toml",
            'canonical_host = "a"\npublic_base_url = "b"\n[default_robots]\nmax_snippet = inf\n',
            "default_robots.max_snippet: expected an integer, got a float",
        ),
        (
            "site.json",
            '{"canonical_host": "example.com",}',
            "invalid JSON: Expecting property name",
        ),
        (
            "site.yaml",
            "canonical_host: example.com\n",
            "unsupported file type (expected .toml or .json)",
        ),
        (
            "site.json",
            '{"canonical_host": "a", "canonical_host": "b"}',
            "invalid JSON: duplicate key 'canonical_host'",
        ),
        ("site.toml", b"\xff\xfe", "not UTF-8 text: invalid start byte"),
    ],
    ids=[
        "toml-syntax",
        "toml-float-for-integer",
        "json-syntax",
        "unknown-extension",
        "duplicate-key",
        "not-utf8",
    ],
)
def test_malformed_configuration_files(
    capsys: pytest.CaptureFixture[str], tmp_path: Path, name: str, text: str | bytes, message: str
) -> None:
    path = tmp_path / name
    if isinstance(text, bytes):
        path.write_bytes(text)
    else:
        path.write_text(text, encoding="utf-8")
    page = write_page(tmp_path, "page.json", PAGE)

    code, out, err = run(capsys, "render", "--config", path, page)

    assert (code, out) == (2, "")
    assert err.startswith(f"zelko: {path}: {message}")
    assert err.count("\n") == 1


@pytest.mark.parametrize(
    ("text", "message"),
    [
        (
            '{"route": "/x", "entity": {"entity_type": "post", "title": NaN}}',
            "invalid JSON: NaN is not valid JSON",
        ),
        (
            '{"route": "/x",\n "entity": }',
            "invalid JSON: Expecting value: line 2 column 12 (char 27)",
        ),
        ("", "invalid JSON: Expecting value: line 1 column 1 (char 0)"),
    ],
    ids=["nan", "syntax", "empty"],
)
def test_malformed_page_files(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path, text: str, message: str
) -> None:
    page = tmp_path / "page.json"
    page.write_text(text, encoding="utf-8")

    code, out, err = run(capsys, "build", "--config", site, page)

    assert (code, out) == (2, "")
    assert err == f"zelko: {page}: {message}\n"


def test_missing_files_are_reported_by_name(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path
) -> None:
    missing = tmp_path / "nope.json"

    assert run(capsys, "render", "-c", site, missing) == (
        2,
        "",
        f"zelko: {missing}: cannot read: No such file or directory\n",
    )
    assert run(capsys, "contract", tmp_path / "nope.toml") == (
        2,
        "",
        f"zelko: {tmp_path / 'nope.toml'}: cannot read: No such file or directory\n",
    )


def test_bad_contract_file_names_the_field(
    capsys: pytest.CaptureFixture[str], tmp_path: Path
) -> None:
    source = tmp_path / "contract.toml"
    source.write_text(
        'canonical_host = "example.com"\n[[rules]]\nmatch = "/blog/*"\n'
        "[rules.expect]\ntitle = { max_lenght = 60 }\n",
        encoding="utf-8",
    )

    code, out, err = run(capsys, "contract", source, "-o", tmp_path / "out.json")

    assert (code, out) == (2, "")
    assert err.startswith(f"zelko: {source}: rules[0].expect.title.max_lenght: unknown field")
    assert not (tmp_path / "out.json").exists()


def test_a_run_failing_midway_writes_nothing(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path
) -> None:
    pages = tmp_path / "pages"
    write_page(pages, "a.json", PAGE)
    write_page(pages, "b.json", {"route": "/x", "entity": {"entity_type": "blog"}})
    write_page(pages, "c.json", PAGE)
    target = tmp_path / "out.json"
    target.write_text("previous run\n", encoding="utf-8")

    code, out, err = run(capsys, "build", "-c", site, pages, "-o", target)

    assert (code, out) == (2, "")
    assert err.startswith(f"zelko: {pages / 'b.json'}: entity.entity_type: ")
    assert target.read_text(encoding="utf-8") == "previous run\n"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["out.json", "pages", "site.toml"]


def test_a_failing_run_prints_nothing_on_stdout(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path
) -> None:
    good = write_page(tmp_path, "a.json", PAGE)
    bad = write_page(tmp_path, "b.json", {"route": "/x"})

    code, out, err = run(capsys, "render", "-c", site, good, bad)

    assert (code, out) == (2, "")
    assert err == f"zelko: {bad}: entity: required field is missing\n"


@pytest.mark.parametrize("command", ["render", "contract"])
def test_output_into_a_missing_directory_is_reported(
    capsys: pytest.CaptureFixture[str], site: Path, tmp_path: Path, command: str
) -> None:
    page = write_page(tmp_path, "a.json", PAGE)
    target = tmp_path / "missing" / "out.json"
    inputs = ["-c", site, page] if command == "render" else [EXAMPLE / "contract.toml"]

    code, out, err = run(capsys, command, *inputs, "-o", target)

    assert (code, out) == (2, "")
    assert err == f"zelko: {target}: cannot write: No such file or directory\n"


@pytest.mark.parametrize(
    "argv",
    [
        [],
        ["render"],
        ["render", "page.json"],
        ["frobnicate"],
        ["validate", "-c", "s", "p", "--fail-on", "fatal"],
        ["batch", "-c", "s", "-", "--jobs", "0"],
        ["check", "--contract", "c", "--site", ".", "--jobs", "x"],
        ["check", "--contract", "c", "--site", ".", "--timeout", "nan"],
    ],
    ids=[
        "no-command",
        "no-config",
        "no-config-with-page",
        "unknown-command",
        "bad-choice",
        "no-jobs",
        "jobs-not-a-number",
        "timeout-not-a-duration",
    ],
)
def test_usage_errors_exit_with_two(capsys: pytest.CaptureFixture[str], argv: list[str]) -> None:
    code, out, err = run(capsys, *argv)

    assert (code, out) == (2, "")
    assert err.splitlines()[-1].startswith("zelko")
    assert "Traceback" not in err


def test_an_unexpected_fault_is_reported_on_one_line(
    capsys: pytest.CaptureFixture[str], monkeypatch: pytest.MonkeyPatch
) -> None:
    def explode(path: object) -> None:
        raise RuntimeError("boom")

    monkeypatch.setattr(zelko.cli.render, "load_site", explode)

    assert run(capsys, "render", "-c", EXAMPLE_CONFIG, EXAMPLE_PAGES / "post.json") == (
        70,
        "",
        "zelko: internal error: RuntimeError: boom\n",
    )


def test_help_and_version_exit_with_zero(capsys: pytest.CaptureFixture[str]) -> None:
    code, out, _ = run(capsys, "--help")
    assert code == 0
    for command in ("render", "build", "validate", "contract", "url"):
        assert command in out

    release = zelko.structured_data.vocabulary_release()
    assert run(capsys, "--version") == (
        0,
        f"zelko {zelko.__version__}\nschema.org vocabulary {release} (CC BY-SA 4.0)\n",
        "",
    )


def test_python_dash_m_zelko_runs_the_command_line() -> None:
    result = subprocess.run(
        [
            sys.executable,
            "-m",
            "zelko",
            "build",
            "--hash",
            "-c",
            EXAMPLE_CONFIG,
            str(EXAMPLE_PAGES / "home.json"),
        ],
        capture_output=True,
        text=True,
        check=False,
    )

    assert (result.returncode, result.stderr) == (0, "")
    assert len(result.stdout) == 65 and result.stdout.endswith("\n")
