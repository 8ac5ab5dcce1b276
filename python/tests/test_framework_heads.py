"""The whole head in the Django, Flask and Starlette integrations, through
each framework's own test client: the setting's site head (a site file's
[head] table, a mapping's head table, a SiteHead), a page head per call, and
the payload endpoint serving a head with the head's ETag."""

from __future__ import annotations

import json
import sys
from collections.abc import Callable
from pathlib import Path
from types import ModuleType
from typing import Any

import jinja2
import pytest
from django.core.management import call_command
from django.core.management.base import SystemCheckError
from django.http import HttpRequest, HttpResponse, HttpResponseBase
from django.template import engines
from django.test import Client, override_settings
from django.urls import path
from fastapi.testclient import TestClient
from flask import Flask, render_template_string
from starlette.applications import Starlette
from starlette.requests import Request
from starlette.responses import Response
from starlette.routing import Route
from starlette.templating import Jinja2Templates
from web_helpers import setup_django

import zelko
import zelko.django
import zelko.flask
import zelko.starlette

setup_django()

SITE_TOML = """\
canonical_host = "shop.example"
public_base_url = "https://shop.example"
site_name = "Shop"

[head]
manifest = "/site.webmanifest"
theme_color = [{ color = "#ffffff" }, { color = "#000000", media = "(prefers-color-scheme: dark)" }]
verification = { google = "g-123", bing = "b-456" }

[[head.icons]]
href = "/favicon.ico"
sizes = "32x32"

[[head.icons]]
href = "/apple-touch-icon.png"
rel = "apple-touch-icon"

[[head.feeds]]
href = "/feed.xml?format=rss"
title = "Shop news"
"""
CONFIG = zelko.load_config(
    {
        "canonical_host": "shop.example",
        "public_base_url": "https://shop.example",
        "site_name": "Shop",
    }
)
HEAD_TABLE: dict[str, Any] = {
    "manifest": "/site.webmanifest",
    "theme_color": [
        {"color": "#ffffff"},
        {"color": "#000000", "media": "(prefers-color-scheme: dark)"},
    ],
    "verification": {"google": "g-123", "bing": "b-456"},
    "icons": [
        {"href": "/favicon.ico", "sizes": "32x32"},
        {"href": "/apple-touch-icon.png", "rel": "apple-touch-icon"},
    ],
    "feeds": [{"href": "/feed.xml?format=rss", "title": "Shop news"}],
}
SITE_HEAD = zelko.SiteHead(
    icons=[
        zelko.Icon("/favicon.ico", sizes="32x32"),
        zelko.Icon("/apple-touch-icon.png", rel="apple-touch-icon"),
    ],
    manifest="/site.webmanifest",
    theme_color=[("#ffffff", None), ("#000000", "(prefers-color-scheme: dark)")],
    verification={"google": "g-123", "bing": "b-456"},
    feeds=[zelko.Feed("/feed.xml?format=rss", title="Shop news")],
)
ENTITY = zelko.SEOEntity("post", title="Brewing <guide>", excerpt="How & why")
# A page file's "head" object, as a template receives it from page data.
PAGE_TABLE: dict[str, Any] = {
    "article": {"published_time": "2024-05-01T08:00:00+00:00", "tags": ["coffee", "<b>"]},
    "keywords": ["brew", "grind"],
    "googlebot": {"index": False, "noarchive": True},
}
PAGE_HEAD = zelko.PageHead(
    article=zelko.ArticleMeta(published_time="2024-05-01T08:00:00+00:00", tags=["coffee", "<b>"]),
    keywords=["brew", "grind"],
    googlebot=(zelko.Robots(index=False), zelko.RobotsExtra(noarchive=True)),
)
ROUTE = "/guides/brewing"


def setting(form: str, tmp_path: Path) -> object:
    """The ZELKO setting in one of the forms it takes, each with the same head."""
    if form == "site file":
        site_file = tmp_path / "site.toml"
        site_file.write_text(SITE_TOML, encoding="utf-8")
        return str(site_file)
    head = HEAD_TABLE if form == "head table" else SITE_HEAD
    return {**CONFIG.to_dict(), "head": head}


# An app per framework: GET /page renders seo_head(entity, page=...) (the page
# head from the request's ?page= form), GET /api serves build_head's head.
# Each returns get(path, headers) -> (status, lower-case headers, body).
Get = Callable[[str, dict[str, str]], tuple[int, dict[str, str], str]]


def lower(headers: Any) -> dict[str, str]:
    return {str(name).lower(): str(value) for name, value in headers.items()}


def page_head_of(form: str | None) -> object:
    return {"table": PAGE_TABLE, "object": PAGE_HEAD}.get(form or "")


def api_head(config: zelko.SEOConfig, site_head: zelko.SiteHead | None) -> zelko.SEOHead:
    return zelko.build_head(ENTITY, ROUTE, config, site=site_head, page=PAGE_HEAD)


def flask_app(value: object) -> Get:
    app = Flask("heads")
    app.config["ZELKO"] = value
    zelko.flask.Zelko(app)

    @app.get("/guides/brewing")
    def page() -> str:
        from flask import request

        head = page_head_of(request.args.get("page"))
        return render_template_string("{{ seo_head(entity, page=head) }}", entity=ENTITY, head=head)

    @app.get("/api")
    def api() -> Any:
        head = api_head(zelko.flask.Zelko.config(app), zelko.flask.Zelko.site_head(app))
        return zelko.flask.payload_response(head)

    def get(target: str, headers: dict[str, str]) -> tuple[int, dict[str, str], str]:
        response = app.test_client().get(target, headers=headers)
        return response.status_code, lower(response.headers), response.get_data(as_text=True)

    return get


def starlette_app(value: object) -> Get:
    templates = Jinja2Templates(
        env=jinja2.Environment(
            loader=jinja2.DictLoader({"p.html": "{{ seo_head(entity, page=head) }}"}),
            autoescape=True,
        )
    )
    config = zelko.starlette.add_seo_head(templates, value)  # type: ignore[arg-type]

    def page(request: Request) -> Response:
        head = page_head_of(request.query_params.get("page"))
        return templates.TemplateResponse(request, "p.html", {"entity": ENTITY, "head": head})

    def api(request: Request) -> Response:
        return zelko.starlette.payload_response(request, api_head(config, SITE_HEAD))

    routes = [Route(ROUTE, page), Route("/api", api)]

    def get(target: str, headers: dict[str, str]) -> tuple[int, dict[str, str], str]:
        with TestClient(Starlette(routes=routes)) as client:
            response = client.get(target, headers=headers)
        return response.status_code, lower(response.headers), response.text

    return get


def django_app(value: object) -> Get:
    template = engines["django"].from_string("{% load zelko %}{% seo_head entity page=head %}")

    def page(request: HttpRequest) -> HttpResponse:
        head = page_head_of(request.GET.get("page"))
        context = {"entity": ENTITY, "head": head or ""}
        return HttpResponse(template.render(context, request))

    def api(request: HttpRequest) -> HttpResponseBase:
        head = api_head(zelko.django.get_config(), zelko.django.get_site_head())
        return zelko.django.payload_response(request, head)

    module = ModuleType("framework_heads_urls")
    module.urlpatterns = [path(ROUTE.lstrip("/"), page), path("api", api)]  # type: ignore[attr-defined]
    sys.modules[module.__name__] = module

    def get(target: str, headers: dict[str, str]) -> tuple[int, dict[str, str], str]:
        with override_settings(ROOT_URLCONF=module.__name__, ZELKO=value):
            response = Client().get(target, headers=headers)
        return response.status_code, lower(response.headers), response.content.decode()

    return get


FRAMEWORKS: dict[str, Callable[[object], Get]] = {
    "django": django_app,
    "flask": flask_app,
    "starlette": starlette_app,
}
SETTING_FORMS = ["site file", "head table", "SiteHead"]


@pytest.mark.parametrize("framework", FRAMEWORKS)
@pytest.mark.parametrize("form", SETTING_FORMS)
@pytest.mark.parametrize("page_form", [None, "table", "object"])
def test_the_template_renders_the_whole_head(
    framework: str, form: str, page_form: str | None, tmp_path: Path
) -> None:
    get = FRAMEWORKS[framework](setting(form, tmp_path))
    target = ROUTE if page_form is None else f"{ROUTE}?page={page_form}"

    status, _, body = get(target, {})

    page = None if page_form is None else PAGE_HEAD
    # The canonical drops the query the page was asked with.
    expected = zelko.build_head(ENTITY, target, CONFIG, site=SITE_HEAD, page=page).render_html()
    assert status == 200
    assert body == expected
    assert '<link rel="manifest" href="https://shop.example/site.webmanifest">' in body
    assert ("article:published_time" in body) == (page_form is not None)


@pytest.mark.parametrize("framework", FRAMEWORKS)
@pytest.mark.parametrize("form", SETTING_FORMS)
def test_the_endpoint_serves_the_head_with_its_etag(
    framework: str, form: str, tmp_path: Path
) -> None:
    get = FRAMEWORKS[framework](setting(form, tmp_path))
    head = zelko.build_head(ENTITY, ROUTE, CONFIG, site=SITE_HEAD, page=PAGE_HEAD)

    status, headers, body = get("/api", {})

    assert (status, headers["etag"]) == (200, head.etag())
    assert head.etag() != head.payload.etag()
    assert json.loads(body) == head.to_dict()
    for matching in (head.etag(), f"W/{head.etag()}", f'"other", {head.etag()}', "*"):
        status, headers, body = get("/api", {"If-None-Match": matching})
        assert (status, headers["etag"], body) == (304, head.etag(), "")
    # The payload's own tag names another representation.
    assert get("/api", {"If-None-Match": head.payload.etag()})[0] == 200


# --- A bad head stops the application at start ------------------------------------

BAD_HEADS = [
    ({"icons": [{"href": "/f.ico", "rel": "favicon"}]}, "head.icons[0].rel"),
    ({"verification": {"altavista": "x"}}, "head.verification.altavista"),
    ({"manifest": "javascript:alert(1)"}, "head.manifest"),
    ("not a table", "head"),
]


def start_flask(value: object) -> None:
    app = Flask("bad")
    app.config["ZELKO"] = value
    zelko.flask.Zelko(app)


def start_starlette(value: object) -> None:
    zelko.starlette.add_seo_head(Jinja2Templates(env=jinja2.Environment()), value)  # type: ignore[arg-type]


@pytest.mark.parametrize(("head", "field"), BAD_HEADS)
@pytest.mark.parametrize(
    ("start", "source"),
    [(start_flask, 'app.config["ZELKO"]'), (start_starlette, "config")],
    ids=["flask", "starlette"],
)
def test_a_bad_site_head_is_refused_naming_its_field(
    start: Callable[[object], None], source: str, head: object, field: str
) -> None:
    with pytest.raises(zelko.InputError) as caught:
        start({**CONFIG.to_dict(), "head": head})
    assert (caught.value.source, caught.value.field) == (source, field)


@pytest.mark.parametrize(("head", "field"), BAD_HEADS)
def test_django_check_names_the_bad_head_field(head: object, field: str) -> None:
    with (
        override_settings(ZELKO={**CONFIG.to_dict(), "head": head}),
        pytest.raises(SystemCheckError) as caught,
    ):
        call_command("check")
    assert f"settings.ZELKO: {field}: " in str(caught.value)


def test_a_site_file_head_is_refused_naming_the_file(tmp_path: Path) -> None:
    site_file = tmp_path / "site.toml"
    site_file.write_text(SITE_TOML.replace('sizes = "32x32"', 'rel = "favicon"'), encoding="utf-8")
    with pytest.raises(zelko.InputError) as caught:
        start_flask(str(site_file))
    assert (caught.value.source, caught.value.field) == (str(site_file), "head.icons[0].rel")


@pytest.mark.parametrize("framework", FRAMEWORKS)
def test_a_site_head_with_the_linked_graph_renders_it_from_the_entity(framework: str) -> None:
    linked = zelko.SiteHead(
        identity=zelko.Organization("Shop", logo="/logo.png"), jsonld_graph=True
    )
    get = FRAMEWORKS[framework]({**CONFIG.to_dict(), "head": linked})

    status, _, body = get(ROUTE, {})

    expected = zelko.build_head(ENTITY, ROUTE, CONFIG, site=linked).render_html()
    assert status == 200
    assert body == expected
    assert '"@graph"' in body
