"""The whole head: the payload's elements unchanged, every extra escaped, in
its order, single-valued tags never twice, and bad values refused by field."""

from __future__ import annotations

import datetime
from collections import Counter
from collections.abc import Callable
from html.parser import HTMLParser
from typing import Any

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import zelko
from native_helpers import make_config, make_post

UTC = datetime.timezone.utc


def site_head(**kwargs: Any) -> zelko.SiteHead:
    fields: dict[str, Any] = {
        "icons": [
            zelko.Icon("/favicon.ico", sizes="32x32"),
            zelko.Icon("/apple.png", rel="apple-touch-icon"),
            zelko.Icon("/mask.svg", rel="mask-icon", color="#5bbad5"),
            zelko.Icon("https://cdn.example.net/i.png?v=3", type="image/png"),
        ],
        "manifest": "/site.webmanifest",
        "theme_color": [("#ffffff", None), ("#000000", "(prefers-color-scheme: dark)")],
        "verification": {"google": "g", "bing": "b", "yandex": "y"},
        "feeds": [zelko.Feed("/feed.xml"), zelko.Feed("/feed.json", type="application/feed+json")],
        "application_name": "Shop",
    }
    fields.update(kwargs)
    return zelko.SiteHead(**fields)


def page_head(**kwargs: Any) -> zelko.PageHead:
    fields: dict[str, Any] = {
        "images": [
            zelko.SEOImage(f"/img/{n}.png?w={n}", width=n, height=n, alt=f"#{n}") for n in (1, 2, 3)
        ],
        "article": zelko.ArticleMeta(
            published_time=datetime.datetime(2024, 5, 1, 8, tzinfo=UTC),
            modified_time="2024-05-02",
            authors=["Ann"],
            section="News",
            tags=["a", "b", "c", "d", "e"],
        ),
    }
    fields.update(kwargs)
    return zelko.PageHead(**fields)


class Elements(HTMLParser):
    """The head's elements as (tag, attributes) pairs, as a parser sees them."""

    def __init__(self) -> None:
        super().__init__(convert_charrefs=True)
        self.elements: list[tuple[str, dict[str, str | None]]] = []

    def handle_starttag(self, tag: str, attrs: list[tuple[str, str | None]]) -> None:
        self.elements.append((tag, dict(attrs)))


def elements(html: str) -> list[tuple[str, dict[str, str | None]]]:
    parser = Elements()
    parser.feed(html)
    return parser.elements


def key_of(tag: str, attributes: dict[str, str | None]) -> str:
    if tag == "meta":
        name = attributes.get("name") or attributes.get("property") or ""
        media = attributes.get("media")
        return f"{name}@{media}" if name == "theme-color" else name
    if tag == "link":
        return f"link:{attributes.get('rel')}:{attributes.get('hreflang', '')}"
    return tag


SINGLE = {
    "title",
    "description",
    "link:canonical:",
    "robots",
    "og:title",
    "og:url",
    "og:type",
    "og:description",
    "twitter:card",
    "google-site-verification",
    "msvalidate.01",
    "yandex-verification",
    "keywords",
    "googlebot",
    "bingbot",
    "application-name",
    "link:manifest:",
}


def test_without_extras_the_head_is_the_payloads() -> None:
    config = make_config()
    for entity_type in ("post", "page", "product", "faq", "home", "search"):
        entity = zelko.SEOEntity(entity_type, title="T", excerpt="E")
        head = zelko.build_head(entity, "/x", config)
        payload = zelko.build_seo_payload(entity, "/x", config)
        assert head.payload == payload
        assert head.payload.to_json() == payload.to_json()
        assert head.render_html() == payload.render_html()
        assert head.to_dict() == {**payload.to_dict(), "head": {"hreflang": []}}


def test_a_full_head_keeps_the_payload_and_adds_everything_once() -> None:
    config = make_config(site_name="Shop")
    entity = make_post()
    head = zelko.build_head(
        entity,
        "/blog/x",
        config,
        site=site_head(),
        page=page_head(robots=zelko.RobotsExtra(noarchive=True)),
        alternates={"de": "/de/blog/x", "x-default": "/blog/x"},
    )
    payload = zelko.build_seo_payload(entity, "/blog/x", config)
    assert head.payload == payload
    assert head.etag() == f'"{head.hash()}"' != payload.etag()
    html = head.render_html()
    assert html.startswith(payload.render_html().split('<meta name="robots"')[0])
    found = elements(html)
    counts = Counter(key_of(tag, attributes) for tag, attributes in found)
    assert {key: counts[key] for key in SINGLE if counts[key] > 1} == {}
    robots = [a["content"] for tag, a in found if a.get("name") == "robots"]
    assert robots == [payload.robots + ",noarchive"]
    # The page's images after the payload's own, each with its properties.
    images = [
        (a["property"], a["content"])
        for _, a in found
        if str(a.get("property", "")).startswith("og:image")
    ]
    extra = images[images.index(("og:image", "https://example.com/img/1.png?w=1")) :]
    assert extra[:4] == [
        ("og:image", "https://example.com/img/1.png?w=1"),
        ("og:image:width", "1"),
        ("og:image:height", "1"),
        ("og:image:alt", "#1"),
    ]
    tags = [a["content"] for _, a in found if a.get("property") == "article:tag"]
    assert tags == ["a", "b", "c", "d", "e"]
    assert head.to_dict()["head"]["hreflang"][0] == {
        "hreflang": "de",
        "href": "https://example.com/de/blog/x",
    }


REFUSED: list[tuple[str, Callable[[], object], type[Exception], str]] = [
    ("unknown rel", lambda: zelko.Icon("/i.png", rel="favicon"), zelko.ConfigurationError, "rel"),
    (
        "unknown feed type",
        lambda: zelko.Feed("/f", type="text/xml"),
        zelko.ConfigurationError,
        "type",
    ),
    ("script URL", lambda: zelko.Icon("javascript:alert(1)"), zelko.ConfigurationError, "href"),
    ("relative URL", lambda: zelko.Feed("feed.xml"), zelko.ConfigurationError, "href"),
    (
        "scheme-relative URL",
        lambda: zelko.Icon("//cdn.example.net/i.png"),
        zelko.ConfigurationError,
        "href",
    ),
    (
        "backslash route",  # the parser reads "/\\host" as "//host"
        lambda: zelko.Icon("/\\cdn.example.net/i.png"),
        zelko.ConfigurationError,
        "href",
    ),
    (
        "control character",
        lambda: zelko.Feed("/f", title="a\x00b"),
        zelko.ConfigurationError,
        "title",
    ),
    (
        "line separator",
        lambda: zelko.PageHead(keywords=["a\u2028b"]),
        zelko.ConfigurationError,
        "keywords",
    ),
    (
        "naive datetime",
        lambda: zelko.ArticleMeta(published_time=datetime.datetime(2024, 1, 1)),
        ValueError,
        "published_time",
    ),
    (
        "date that is no date",
        lambda: zelko.ArticleMeta(modified_time="2024-13-45"),
        zelko.ConfigurationError,
        "modified_time",
    ),
    (
        "time without zone",
        lambda: zelko.RobotsExtra(unavailable_after="2025-01-01T10:00"),
        zelko.ConfigurationError,
        "unavailable_after",
    ),
    (
        "verification key",
        lambda: zelko.SiteHead(verification={"gogle": "x"}),
        TypeError,
        "verification",
    ),
    (
        "meta the head writes",
        lambda: zelko.SiteHead(meta=[("description", "x")]),
        zelko.ConfigurationError,
        "meta",
    ),
    (
        "verification twice",
        lambda: zelko.SiteHead(verification={"other": {"msvalidate.01": "x"}}),
        zelko.ConfigurationError,
        "verification",
    ),
    (
        "two colours for one media",
        lambda: zelko.SiteHead(theme_color=[("#fff", None), ("#000", None)]),
        zelko.ConfigurationError,
        "theme_color",
    ),
    (
        "colour on an icon",
        lambda: (
            zelko.Icon("/i.png", color="#000")
            and zelko.SiteHead(icons=[zelko.Icon("/i.png", color="#000")])
        ),
        zelko.ConfigurationError,
        "icons",
    ),
    (
        "image width",
        lambda: zelko.PageHead(images=[zelko.SEOImage("/i.png", width=-1)]),
        OverflowError,
        "",
    ),
    *[
        (
            f"image {url!r}",
            lambda url=url: zelko.PageHead(images=[zelko.SEOImage("/a.png"), zelko.SEOImage(url)]),
            zelko.ConfigurationError,
            "images[1].url",
        )
        # What the URL parser reads as another scheme, spaces and tabs too.
        for url in (
            "javascript:alert(1)",
            " java\tscript:alert(1)",
            "data:image/png,x",
            "ftp://a/b",
        )
    ],
]


@pytest.mark.parametrize(
    ("call", "error", "field"), [case[1:] for case in REFUSED], ids=[case[0] for case in REFUSED]
)
def test_values_a_head_cannot_carry_are_refused_by_field(
    call: Callable[[], object], error: type[Exception], field: str
) -> None:
    with pytest.raises(error) as caught:
        call()
    if field:
        assert getattr(caught.value, "field", None) == field
    assert "\n" not in str(caught.value)


hostile = st.text(
    st.characters(blacklist_categories=("Cs", "Cc"), blacklist_characters="\u2028\u2029\x85"),
    max_size=12,
)
HOSTILE = st.one_of(
    hostile, st.sampled_from(['"><script>x</script>', "&amp;", "' onload='x", "</head>"])
)
routes = st.builds(lambda text: "/" + text.lstrip("/\\"), hostile)


@st.composite
def heads(draw: st.DrawFn) -> tuple[zelko.SiteHead, zelko.PageHead]:
    site = zelko.SiteHead(
        icons=draw(st.lists(st.builds(zelko.Icon, routes, sizes=st.none() | HOSTILE), max_size=3)),
        theme_color=draw(st.sampled_from(["#fff", [("#fff", None), ("#000", "print")]])),
        verification={
            "google": draw(HOSTILE),
            "other": draw(st.dictionaries(st.sampled_from(["a", "b"]), HOSTILE)),
        },
        feeds=draw(st.lists(st.builds(zelko.Feed, routes, title=st.none() | HOSTILE), max_size=2)),
        meta=draw(st.dictionaries(st.sampled_from(["x-a", "x-b"]), HOSTILE)),
    )
    page = zelko.PageHead(
        images=draw(
            st.lists(st.builds(zelko.SEOImage, routes, alt=st.none() | HOSTILE), max_size=3)
        ),
        keywords=draw(st.lists(HOSTILE, max_size=3)),
        article=zelko.ArticleMeta(
            tags=draw(st.lists(HOSTILE, max_size=3)), section=draw(st.none() | HOSTILE)
        ),
        googlebot=draw(st.none() | st.just(zelko.Robots(index=False))),
    )
    return site, page


@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(heads(), st.dictionaries(st.sampled_from(["en", "de", "x-default"]), routes, max_size=3))
def test_single_valued_tags_never_repeat_and_values_read_back(
    extras: tuple[zelko.SiteHead, zelko.PageHead], alternates: dict[str, str]
) -> None:
    site, page = extras
    head = zelko.build_head(
        make_post(), "/p", make_config(), site=site, page=page, alternates=alternates
    )
    found = elements(head.render_html())
    counts = Counter(key_of(tag, attributes) for tag, attributes in found)
    assert {key: counts[key] for key in SINGLE if counts[key] > 1} == {}
    # Every hostile value comes back whole: nothing escaped the attribute.
    tags = [a["content"] for _, a in found if a.get("property") == "article:tag"]
    assert tags == page.article.tags if page.article else tags == []
    assert all(tag in ("meta", "link", "title", "script") for tag, _ in found)


def test_site_and_page_may_be_given_as_mappings() -> None:
    config = make_config()
    as_objects = zelko.build_head(make_post(), "/p", config, site=site_head(), page=page_head())
    as_mappings = zelko.build_head(
        make_post(),
        "/p",
        config,
        site={
            "manifest": "/site.webmanifest",
            "icons": site_head().icons,
            "theme_color": site_head().theme_color,
            "verification": {"google": "g", "bing": "b", "yandex": "y"},
            "feeds": site_head().feeds,
            "application_name": "Shop",
        },
        page={
            "images": page_head().images,
            "article": {
                "published_time": "2024-05-01T08:00:00+00:00",
                "modified_time": "2024-05-02",
                "authors": ["Ann"],
                "section": "News",
                "tags": ["a", "b", "c", "d", "e"],
            },
        },
    )
    assert as_mappings.render_html() == as_objects.render_html()


def test_site_and_page_files_carry_the_head_to_render_and_build(
    tmp_path: Any, capsys: pytest.CaptureFixture[str]
) -> None:
    from zelko.cli import main

    site = tmp_path / "zelko.toml"
    site.write_text(
        'canonical_host = "example.com"\npublic_base_url = "https://example.com"\n'
        '[head]\nmanifest = "/site.webmanifest"\ntheme_color = [{color = "#fff"}, '
        '{color = "#000", media = "print"}]\nicons = [{href = "/favicon.ico", sizes = "32x32"}]\n'
        '[head.verification]\ngoogle = "g"\n',
        encoding="utf-8",
    )
    page = tmp_path / "post.json"
    page.write_text(
        '{"route": "/p", "entity": {"entity_type": "post", "title": "T"},'
        ' "alternates": {"de": "/de/p"},'
        ' "head": {"keywords": ["a"], "googlebot": {"index": false, "nosnippet": true},'
        ' "article": {"published_time": "2024-05-01"}}}',
        encoding="utf-8",
    )
    config = zelko.SEOConfig("example.com", "https://example.com")
    expected = zelko.build_head(
        zelko.SEOEntity("post", title="T"),
        "/p",
        config,
        site=zelko.SiteHead(
            manifest="/site.webmanifest",
            theme_color=[("#fff", None), ("#000", "print")],
            icons=[zelko.Icon("/favicon.ico", sizes="32x32")],
            verification={"google": "g"},
        ),
        page=zelko.PageHead(
            keywords=["a"],
            googlebot=(zelko.Robots(index=False), zelko.RobotsExtra(nosnippet=True)),
            article={"published_time": "2024-05-01"},
        ),
        alternates={"de": "/de/p"},
    )
    assert main(["render", "-c", str(site), str(page)]) == 0
    assert capsys.readouterr().out == expected.render_html()
    assert main(["build", "--etag", "-c", str(site), str(page)]) == 0
    assert capsys.readouterr().out == expected.etag() + "\n"
    page.write_text(page.read_text().replace('"keywords"', '"keyword"'), encoding="utf-8")
    assert main(["render", "-c", str(site), str(page)]) == 2
    assert "head.keyword: unknown field; did you mean 'keywords'?" in capsys.readouterr().err
