"""Contracts that ask for the extras of a page's head: each key passes on a
head that holds it and fails on one that does not, read from the built page
and from the head's dictionary; unknown keys are refused, naming them."""

from __future__ import annotations

import json
from pathlib import Path
from typing import Any

import pytest

import zelko
from zelko.check.head import KEYS
from zelko.cli import main

CONFIG = zelko.load_config(
    {
        "canonical_host": "shop.example",
        "public_base_url": "https://shop.example",
        "site_name": "Shop",
        "default_og_image": {"url": "/og.png", "width": 1200, "height": 630},
    }
)
ENTITY = zelko.SEOEntity("post", title="Brewing")
ROUTE = "/guides/brewing"
FULL_SITE = zelko.SiteHead(
    icons=[
        zelko.Icon("/favicon.ico"),
        zelko.Icon("/touch.png", rel="apple-touch-icon"),
        zelko.Icon("/mask.svg", rel="mask-icon", color="#000000"),
    ],
    manifest="/site.webmanifest",
    theme_color="#ffffff",
    verification={
        "google": "g",
        "bing": "b",
        "yandex": "y",
        "pinterest": "p",
        "facebook": "f",
        "baidu": "d",
        "naver": "n",
    },
    feeds=[zelko.Feed("/feed.xml"), zelko.Feed("/feed.json", type="application/feed+json")],
    app_links={"ios_url": "shop://x", "android_package": "example.shop"},
    twitter_site_id="12345",
    application_name="Shop",
)
FULL_PAGE = zelko.PageHead(
    images=[zelko.SEOImage("/a.png"), zelko.SEOImage("/b.png")],
    videos=[zelko.Video("https://shop.example/v.mp4")],
    article=zelko.ArticleMeta(
        published_time="2024-05-01T08:00:00+00:00",
        modified_time="2024-05-02T08:00:00+00:00",
        expiration_time="2025-05-01T08:00:00+00:00",
        authors=["https://shop.example/ann"],
        section="Guides",
        tags=["coffee", "brewing"],
    ),
    keywords=["coffee"],
    googlebot=zelko.Robots(index=False),
    bingbot=zelko.Robots(follow=False),
)
FULL = zelko.build_head(ENTITY, ROUTE, CONFIG, site=FULL_SITE, page=FULL_PAGE)
BARE = zelko.build_head(ENTITY, ROUTE, CONFIG)


def contract(required: list[str]) -> str:
    document = {
        "contract_version": "1",
        "site": {"canonical_host": "shop.example"},
        "defaults": {"head": {"required": required}},
    }
    return json.dumps(document)


def findings(required: list[str], head: zelko.SEOHead, form: str) -> list[Any]:
    if form == "page":
        return zelko.check_page(contract(required), ROUTE, head.render_html())
    return zelko.check_payload(contract(required), ROUTE, head.to_dict())


# (key, what the bare head, the payload alone, holds of it): each key passes
# on the full head and fails on the bare one.
COUNTED = [
    ("og:image:count>=3", "1 og:image in the head, expected at least 3"),
    ("og:image:count==3", "1 og:image in the head, expected exactly 3"),
    ("article.tag:count>=2", "0 article.tag in the head, expected at least 2"),
    ("feed:count==2", "0 feed in the head, expected exactly 2"),
    ("verification.google:count>=1", "0 verification.google in the head, expected at least 1"),
]


@pytest.mark.parametrize("form", ["page", "payload"])
@pytest.mark.parametrize(
    ("key", "message"),
    [(key, f"no {key} in the head") for key in KEYS if key != "og:image"] + COUNTED,
)
def test_each_head_key_passes_when_held_and_fails_when_missing(
    key: str, message: str, form: str
) -> None:
    assert findings([key], FULL, form) == []
    (finding,) = findings([key], BARE, form)
    assert (finding.field, finding.severity, finding.message) == ("head.required", "error", message)


@pytest.mark.parametrize("form", ["page", "payload"])
@pytest.mark.parametrize(
    ("key", "passes_on_full", "passes_on_bare"),
    [
        ("og:image", True, True),  # the payload's own image counts
        ("og:image:count<=1", False, True),
        ("og:image:count>=4", False, False),
        ("article.author:count==1", True, False),
        ("icon:count==1", True, False),  # an apple-touch icon is not an "icon"
    ],
)
def test_counts_compare_as_written(
    key: str, passes_on_full: bool, passes_on_bare: bool, form: str
) -> None:
    assert (findings([key], FULL, form) == []) == passes_on_full
    assert (findings([key], BARE, form) == []) == passes_on_bare


@pytest.mark.parametrize(
    ("required", "field", "named"),
    [
        (["favicon"], "defaults.head.required[0]", "'favicon'"),
        (
            ["icon", "verification.altavista"],
            "defaults.head.required[1]",
            "'verification.altavista'",
        ),
        (["og:image:count>2"], "defaults.head.required[0]", "'og:image:count>2'"),
        (["og:image:count>=x"], "defaults.head.required[0]", "'og:image:count>=x'"),
        ([""], "defaults.head.required[0]", "''"),
        ([3], "defaults.head.required[0]", "expected a string"),
        ("icon", "defaults.head.required", "expected an array"),
    ],
)
def test_unknown_head_keys_are_refused_naming_the_key(
    required: Any, field: str, named: str
) -> None:
    with pytest.raises(zelko.InputError) as caught:
        zelko.check_page(contract(required), ROUTE, FULL.render_html())
    assert caught.value.field == field
    assert named in caught.value.message


def test_a_head_table_with_other_keys_is_refused() -> None:
    document = json.loads(contract(["icon"]))
    document["defaults"]["head"]["forbidden"] = ["icon"]
    with pytest.raises(zelko.InputError) as caught:
        zelko.check_page(json.dumps(document), ROUTE, FULL.render_html())
    assert caught.value.field == "defaults.head.forbidden"


CONTRACT_TOML = """\
canonical_host = "shop.example"

[defaults]
indexable = true

[defaults.head]
required = [
    "icon", "manifest", "verification.google", "article.published_time", "og:image:count>=2",
]

[[rules]]
match = "/plain/*"
expect = { head = { required = ["og:image"] } }
"""


def test_zelko_check_reads_the_extras_of_built_pages(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    contract_file = tmp_path / "contract.toml"
    contract_file.write_text(CONTRACT_TOML, encoding="utf-8")
    assert main(["contract", str(contract_file), "-o", str(tmp_path / "contract.json")]) == 0
    written = json.loads((tmp_path / "contract.json").read_text(encoding="utf-8"))
    assert written["rules"][0]["expect"]["head"] == {"required": ["og:image"]}
    site = tmp_path / "site"
    for route, head in (("/guides/full", FULL_SITE), ("/guides/bare", None), ("/plain/bare", None)):
        built = zelko.build_head(ENTITY, route, CONFIG, site=head, page=FULL_PAGE if head else None)
        page = site / f"{route.lstrip('/')}.html"
        page.parent.mkdir(parents=True, exist_ok=True)
        page.write_text(f"<!doctype html><html><head>{built.render_html()}</head></html>")
    capsys.readouterr()

    code = main(
        ["check", "--contract", str(contract_file), "--site", str(site), "--format", "json"]
    )

    report = json.loads(capsys.readouterr().out)
    failed = {
        (item["route"], item["message"])
        for item in report["findings"]
        if not item["field"].startswith("site.")  # the pages share a title on purpose
    }
    assert code == 1
    assert failed == {
        ("/guides/bare", "no icon in the head"),
        ("/guides/bare", "no manifest in the head"),
        ("/guides/bare", "no verification.google in the head"),
        ("/guides/bare", "no article.published_time in the head"),
        ("/guides/bare", "1 og:image in the head, expected at least 2"),
    }


def test_a_contract_file_refuses_a_bad_head_table(tmp_path: Path) -> None:
    contract_file = tmp_path / "contract.toml"
    contract_file.write_text(CONTRACT_TOML.replace("[defaults.head]", "[defaults.head]\nmin = 1"))
    with pytest.raises(zelko.InputError) as caught:
        zelko.check_page(str(contract_file), ROUTE, FULL.render_html())
    assert caught.value.field == "defaults.head.min"
