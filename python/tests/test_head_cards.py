"""Social cards in the whole head: which pages show their card, where it
stands, what the settings refuse, the site and page files, and the frameworks
serving exactly the card a head links to."""

from __future__ import annotations

import subprocess
import sys
import types
from collections import Counter
from html.parser import HTMLParser
from pathlib import Path
from typing import Any

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from test_head import SINGLE as HEAD_SINGLE
from test_head import elements, heads, key_of

import zelko
from _zelko_native import _input_fields
from native_helpers import make_config, make_post
from zelko.cards import card_options, plan, social_card
from zelko.cards.store import store_for

pytest.importorskip("PIL")

CONFIG = zelko.SEOConfig("www.example.com", "https://www.example.com")
# A site whose pages share its default picture unless they bring their own.
SHARED = zelko.SEOConfig(
    "www.example.com",
    "https://www.example.com",
    default_og_image=zelko.SEOImage("https://www.example.com/og.png", width=1200, height=630),
)
OWN_TWITTER_IMAGE = zelko.SEOOverrides(twitter_image=zelko.SEOImage("/static/tw.jpg"))
ENTITY = zelko.SEOEntity("post", title="Brewing a pour-over", excerpt="Grind, pour, wait.")
OWN_IMAGE = zelko.SEOOverrides(og_image=zelko.SEOImage("/static/own.jpg", width=640, height=480))
SETTINGS = zelko.CardSettings(width=800, height=420, theme={"accent": "#ff8800"})
# Tags that a head may hold once only.
SINGLE = {
    "og:title",
    "og:url",
    "og:type",
    "og:description",
    "og:image:type",
    "twitter:card",
    "twitter:image",
    "twitter:image:alt",
    "description",
    "robots",
}


class Tags(HTMLParser):
    """Every meta element of a head as (name or property, content)."""

    def __init__(self, html: str) -> None:
        super().__init__()
        self.tags: list[tuple[str, str]] = []
        self.feed(html)

    def handle_starttag(self, tag: str, attrs: list[tuple[str, str | None]]) -> None:
        found = dict(attrs)
        key = found.get("property") or found.get("name")
        if tag == "meta" and key is not None:
            self.tags.append((key, found.get("content") or ""))

    def values(self, key: str) -> list[str]:
        return [content for name, content in self.tags if name == key]


def head(
    overrides: zelko.SEOOverrides | None,
    site_cards: bool,
    card: bool | None,
    config: zelko.SEOConfig = CONFIG,
) -> zelko.SEOHead:
    return zelko.build_head(
        ENTITY,
        "/blog/pour-over",
        config,
        overrides,
        site=zelko.SiteHead(cards=SETTINGS if site_cards else None),
        page=zelko.PageHead(card=card),
    )


@pytest.mark.parametrize(
    ("overrides", "config", "site_cards", "card", "shows_card"),
    [
        (None, CONFIG, True, None, True),  # the site's cards fill in a missing picture
        (None, SHARED, True, None, True),  # and stand in for the site's default one
        (OWN_IMAGE, CONFIG, True, None, False),  # the page's own picture wins
        (OWN_IMAGE, SHARED, True, None, False),
        (OWN_TWITTER_IMAGE, SHARED, True, None, False),
        (OWN_IMAGE, CONFIG, True, True, True),  # unless the page asks for its card
        (OWN_IMAGE, SHARED, False, True, True),  # with the default settings then
        (None, CONFIG, False, True, True),
        (None, CONFIG, True, False, False),  # a page may decline the site's card
        (None, SHARED, True, False, False),
        (None, CONFIG, False, None, False),
        (OWN_IMAGE, CONFIG, False, None, False),
    ],
)
def test_which_pages_show_their_card_and_where_it_stands(
    overrides: zelko.SEOOverrides | None,
    config: zelko.SEOConfig,
    site_cards: bool,
    card: bool | None,
    shows_card: bool,
) -> None:
    built = head(overrides, site_cards, card, config)
    tags = Tags(built.render_html())
    counts = Counter(name for name, _ in tags.tags)
    assert all(counts[name] <= 1 for name in SINGLE), counts
    assert (
        built.payload.render_html()
        == zelko.build_seo_payload(ENTITY, "/blog/pour-over", config, overrides).render_html()
    )  # the payload is untouched
    if not shows_card:
        # No card: the head is what it is without card settings.
        assert built.render_html() == head(overrides, False, None, config).render_html()
        assert "card" not in built.to_dict()["head"]
        return
    settings = SETTINGS if site_cards else zelko.CardSettings()
    link = store_for(settings).link(built.payload)
    url = "https://www.example.com" + link.url
    assert tags.values("og:image") == [url] and tags.values("twitter:image") == [url]
    assert tags.values("og:image:width") == [str(settings.width)]
    assert tags.values("og:image:height") == [str(settings.height)]
    assert tags.values("og:image:type") == ["image/png"]
    assert tags.values("og:image:alt") == tags.values("twitter:image:alt") == [link.alt]
    assert not any(
        picture in content
        for _, content in tags.tags
        for picture in ("/static/own.jpg", "/static/tw.jpg", "/og.png")
    )
    # Its properties follow og:image at once.
    names = [name for name, _ in tags.tags]
    at = names.index("og:image")
    assert names[at : at + 5] == [
        "og:image",
        "og:image:width",
        "og:image:height",
        "og:image:type",
        "og:image:alt",
    ]
    # The same head in a fresh object: the same text, so the same hash.
    again = head(overrides, site_cards, card, config)
    assert again.hash() == built.hash() and again.etag() == f'"{built.hash()}"'
    assert built.to_dict()["head"]["card"]["url"] == link.url


def test_the_card_follows_the_page_and_the_settings() -> None:
    first = Tags(head(None, True, None).render_html()).values("og:image")
    other_page = zelko.build_head(
        zelko.SEOEntity("post", title="Another page"),
        "/blog/pour-over",
        CONFIG,
        site=zelko.SiteHead(cards=SETTINGS),
    )
    other_theme = zelko.build_head(
        ENTITY,
        "/blog/pour-over",
        CONFIG,
        site=zelko.SiteHead(cards=zelko.CardSettings(width=800, height=420)),
    )
    under = zelko.build_head(
        ENTITY,
        "/blog/pour-over",
        CONFIG,
        site=zelko.SiteHead(cards=zelko.CardSettings(path="/static/cards/")),
    )
    urls = {first[0]} | {
        Tags(made.render_html()).values("og:image")[0] for made in (other_page, other_theme, under)
    }
    assert len(urls) == 4
    assert any(url.startswith("https://www.example.com/static/cards/og-") for url in urls)


@pytest.mark.parametrize(
    ("schema", "label"),
    [
        ([{"@type": "BlogPosting", "datePublished": "2024-03-18T08:00:00Z"}], "2024-03-18"),
        (
            zelko.SEOEntity("post", title="Dated", published_at="2021-06-01"),
            "2021-06-01",
        ),
        ([{"@type": "Person"}, {"datePublished": "2023-01-02"}], "2023-01-02"),
        # A single node, as the payload holds one node (even given in a list).
        ({"@type": "BlogPosting", "datePublished": "2022-12-31"}, "2022-12-31"),
        ({"@type": "WebPage"}, ""),
        (None, ""),
    ],
)
def test_a_payloads_card_is_dated_by_its_json_ld(schema: Any, label: str) -> None:
    if isinstance(schema, zelko.SEOEntity):  # the JSON-LD the builder makes of it
        payload = zelko.build_seo_payload(schema, "/blog/dated", CONFIG)
    else:
        overrides = zelko.SEOOverrides(schema_jsonld=schema) if schema is not None else None
        payload = zelko.build_seo_payload(ENTITY, "/blog/pour-over", CONFIG, overrides)
    options = card_options()
    # The payload object and its dictionary give the same card.
    assert plan(payload, options).text.label == label
    assert plan(payload.to_dict(), options).name == plan(payload, options).name


@pytest.mark.parametrize(
    ("fields", "field"),
    [
        ({"path": "og/"}, "path"),
        ({"path": "/og"}, "path"),
        ({"path": "/og/?v=1/"}, "path"),
        ({"path": "//cdn.example/og/"}, "path"),
        ({"path": "/o\ng/"}, "path"),
        ({"template": ""}, "template"),
        ({"width": 99}, "width"),
        ({"height": 4097}, "height"),
        ({"theme": {"border": "#000000"}}, "theme"),
        ({"theme": {"accent": "orange"}}, "theme"),
        ({"theme": {"accent": "#ff880"}}, "theme"),
        ({"theme": [("accent", "#000000"), ("accent", "#ffffff")]}, "theme"),
    ],
)
def test_card_settings_refuse_what_cannot_be_served_or_drawn(
    fields: dict[str, Any], field: str
) -> None:
    with pytest.raises(zelko.ConfigurationError) as caught:
        zelko.CardSettings(**fields)
    assert caught.value.field == field


def test_site_and_page_files_carry_the_card_settings(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    from zelko.cli import main

    site = tmp_path / "zelko.toml"
    site.write_text(
        'canonical_host = "www.example.com"\npublic_base_url = "https://www.example.com"\n'
        '[head.cards]\npath = "/cards/"\nwidth = 800\nheight = 420\n'
        'theme = {accent = "#ff8800"}\n',
        encoding="utf-8",
    )
    page = tmp_path / "post.json"
    page.write_text(
        '{"route": "/blog/pour-over", "entity": {"entity_type": "post", '
        '"title": "Brewing a pour-over", "excerpt": "Grind, pour, wait."},'
        ' "overrides": {"og_image": {"url": "/static/own.jpg", "width": 640, "height": 480}},'
        ' "head": {"card": true}}',
        encoding="utf-8",
    )
    expected = zelko.build_head(
        ENTITY,
        "/blog/pour-over",
        CONFIG,
        OWN_IMAGE,
        site=zelko.SiteHead(cards=zelko.CardSettings(path="/cards/", **_sized())),
        page=zelko.PageHead(card=True),
    )
    assert main(["render", "-c", str(site), str(page)]) == 0
    out = capsys.readouterr().out
    assert out == expected.render_html() and "https://www.example.com/cards/og-" in out
    site.write_text(site.read_text().replace("width = 800", "width = 80"), encoding="utf-8")
    assert main(["render", "-c", str(site), str(page)]) == 2
    assert "head.cards.width" in capsys.readouterr().err


@pytest.mark.parametrize(
    ("flags", "same_as_head"),
    [
        ([], True),  # the site's [head.cards] settings draw the cards
        (["--width", "800"], True),  # a flag equal to the settings changes nothing
        (["--accent", "#00aa00"], False),  # a flag given wins over the settings
    ],
)
def test_zelko_card_draws_the_cards_the_heads_link_to(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], flags: list[str], same_as_head: bool
) -> None:
    from zelko.cli import main

    site = tmp_path / "zelko.toml"
    site.write_text(
        'canonical_host = "www.example.com"\npublic_base_url = "https://www.example.com"\n'
        '[head.cards]\nwidth = 800\nheight = 420\ntheme = {accent = "#ff8800"}\n',
        encoding="utf-8",
    )
    page = tmp_path / "post.json"
    page.write_text(
        '{"route": "/blog/pour-over", "entity": {"entity_type": "post", '
        '"title": "Brewing a pour-over", "excerpt": "Grind, pour, wait."}}',
        encoding="utf-8",
    )
    assert main(["render", "-c", str(site), str(page)]) == 0
    (linked,) = Tags(capsys.readouterr().out).values("og:image")
    out = tmp_path / "og"
    assert main(["card", "-c", str(site), str(page), "-o", str(out), "-j", "1", *flags]) == 0
    capsys.readouterr()
    (drawn,) = out.iterdir()
    assert (linked.rsplit("/", 1)[1] == drawn.name) is same_as_head


def _sized() -> dict[str, Any]:
    return {"width": 800, "height": 420, "theme": {"accent": "#ff8800"}}


# --- The frameworks serve the card the head links to -----------------------------


def page_html() -> str:
    return head(None, True, None).render_html()


def flask_client() -> Any:
    from flask import Flask

    import zelko.flask

    app = Flask("head_cards")
    app.add_url_rule("/blog/pour-over", "page", page_html)
    zelko.flask.add_card_route(app, SETTINGS)
    client = app.test_client()
    return lambda path: _answer(client.get(path), "data")


def starlette_client() -> Any:
    from starlette.applications import Starlette
    from starlette.responses import HTMLResponse
    from starlette.routing import Route
    from starlette.testclient import TestClient

    import zelko.starlette

    async def page(request: Any) -> HTMLResponse:
        return HTMLResponse(page_html())

    routes = [Route("/blog/pour-over", page), zelko.starlette.card_route(SETTINGS)]
    client = TestClient(Starlette(routes=routes))
    return lambda path: _answer(client.get(path), "content")


def django_client() -> Any:
    from django.http import HttpResponse
    from django.test import Client, override_settings
    from django.urls import path as route
    from web_helpers import setup_django

    setup_django()
    from zelko.django.cards import card_path

    urls = types.ModuleType("zelko_head_card_urls")
    urls.urlpatterns = [  # type: ignore[attr-defined]
        route("blog/pour-over", lambda request: HttpResponse(page_html())),
        card_path(SETTINGS),
    ]
    sys.modules[urls.__name__] = urls

    def get(path: str) -> tuple[int, dict[str, str], bytes]:
        with override_settings(ROOT_URLCONF=urls.__name__, ALLOWED_HOSTS=["*"]):
            return _answer(Client().get(path), "content")

    return get


def _answer(response: Any, body: str) -> tuple[int, dict[str, str], bytes]:
    headers = {str(key).lower(): str(value) for key, value in response.headers.items()}
    return response.status_code, headers, getattr(response, body)


@pytest.mark.parametrize("client", [flask_client, starlette_client, django_client])
def test_frameworks_serve_the_card_the_head_links_to(client: Any) -> None:
    get = client()
    status, _, page = get("/blog/pour-over")
    assert status == 200
    (image,) = Tags(page.decode("utf-8")).values("og:image")
    assert image.startswith("https://www.example.com/og/og-")
    status, headers, body = get(image.removeprefix("https://www.example.com"))
    payload = zelko.build_seo_payload(ENTITY, "/blog/pour-over", CONFIG)
    drawn = social_card(payload, width=800, height=420, theme={"accent": "#ff8800"})
    assert status == 200 and body == drawn.png
    assert image.endswith("/" + drawn.name)
    assert headers["etag"] == f'"{drawn.name[:-4]}"' and not headers["etag"].startswith("W/")
    assert headers["cache-control"] == "public, max-age=31536000, immutable"
    assert headers["content-type"] == "image/png"
    options = card_options(width=800, height=420, theme={"accent": "#ff8800"})
    assert plan(payload, options).name == drawn.name


def test_a_head_shared_by_threads_renders_once_to_the_same_text() -> None:
    from concurrent.futures import ThreadPoolExecutor

    shared = head(None, True, None)
    expected = head(None, True, None)
    reference = (expected.render_html(), expected.hash(), expected.etag())

    def read(index: int) -> tuple[str, str, str]:
        # Threads ask in different orders, so that each call may be the first.
        calls = [shared.render_html, shared.hash, shared.etag]
        order = calls[index % 3 :] + calls[: index % 3]
        answers = {call.__name__: call() for call in order}
        return answers["render_html"], answers["hash"], answers["etag"]

    with ThreadPoolExecutor(max_workers=8) as pool:
        assert set(pool.map(read, range(64))) == {reference}


def test_without_the_cards_extra_heads_without_a_card_build_and_a_card_is_refused() -> None:
    script = (
        "import sys; sys.modules['PIL'] = None; sys.modules['uharfbuzz'] = None\n"
        "import zelko\n"
        "config = zelko.SEOConfig('www.example.com', 'https://www.example.com')\n"
        "entity = zelko.SEOEntity('post', title='T')\n"
        "plain = zelko.build_head(entity, '/p', config, page=zelko.PageHead(keywords=['a']))\n"
        "assert 'og:image' not in plain.render_html()\n"
        "try:\n"
        "    zelko.build_head(entity, '/p', config, page=zelko.PageHead(card=True))\n"
        "except zelko.InputError as error:\n"
        "    print(error.field, error)\n"
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("card ") and "zelko[cards]" in done.stdout


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(
    heads(),
    st.none() | st.just(SETTINGS),
    st.sampled_from([None, True, False]),
    st.sampled_from([None, OWN_IMAGE, OWN_TWITTER_IMAGE]),
)
def test_with_cards_single_valued_tags_still_never_repeat(
    extras: tuple[zelko.SiteHead, zelko.PageHead],
    cards: zelko.CardSettings | None,
    card: bool | None,
    overrides: zelko.SEOOverrides | None,
) -> None:
    site, page = (_with(extras[0], cards=cards), _with(extras[1], card=card))
    built = zelko.build_head(make_post(), "/p", make_config(), overrides, site=site, page=page)
    found = elements(built.render_html())
    counts = Counter(key_of(tag, attributes) for tag, attributes in found)
    single = HEAD_SINGLE | {"twitter:image", "twitter:image:alt", "og:image:type"}
    assert {key: counts[key] for key in single if counts[key] > 1} == {}
    # Each og:image is followed by its own properties only: a card's
    # og:image:type never lands after a further image.
    names = [key_of(tag, attributes) for tag, attributes in found]
    if "og:image:type" in names:
        assert names[names.index("og:image:type") - 3] == "og:image"


def _with(record: Any, **more: Any) -> Any:
    """A copy of a head record with some fields set."""
    fields = {key: getattr(record, key) for key, *_ in _input_fields(type(record))}
    return type(record)(**{**fields, **more})
