"""The Django, Flask and FastAPI example apps through each framework's own
test client, the integrations' failure at start-up on a bad setting, and
mypy --strict over the apps' glue."""

from __future__ import annotations

import importlib.util
import json
import os
import re
import subprocess
import sys
from collections.abc import Callable, Iterator
from pathlib import Path
from types import ModuleType
from typing import Any

import jinja2
import pytest
from django.core.management import call_command
from django.core.management.base import SystemCheckError
from django.test import Client, override_settings
from django.utils.html import conditional_escape
from fastapi.testclient import TestClient
from flask import Flask
from starlette.applications import Starlette
from starlette.requests import Request
from starlette.responses import Response
from starlette.routing import Route
from starlette.templating import Jinja2Templates
from web_helpers import setup_django

import zelko
import zelko.flask
import zelko.starlette

REPO = Path(__file__).resolve().parents[2]
EXAMPLES = REPO / "examples"
CONFIG = zelko.load_config(EXAMPLES / "site" / "zelko.toml")
# The example's pages in German have their own configuration.
LANGUAGE_CONFIGS = {"en": CONFIG, "de": zelko.load_config(EXAMPLES / "site" / "zelko.de.toml")}
BAD_SETTING = {**CONFIG.to_dict(), "url_policy": {"trailing_slash": "sometimes"}}

# (status, headers with lower-case names, body) of a GET with these headers.
Get = Callable[[str, dict[str, str]], tuple[int, dict[str, str], str]]


def load_module(name: str, path: Path) -> ModuleType:
    spec = importlib.util.spec_from_file_location(name, path)
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    sys.modules[name] = module  # where Flask looks for the app's folder
    spec.loader.exec_module(module)
    return module


setup_django()
FLASK_APP = load_module("flask_example", EXAMPLES / "flask_app" / "app.py").create_app()
FASTAPI_APP = load_module("fastapi_example", EXAMPLES / "fastapi_app" / "app.py").app


def django_get(path: str, headers: dict[str, str]) -> tuple[int, dict[str, str], str]:
    response = Client().get(path, headers=headers)
    return response.status_code, lower(response.headers), response.content.decode()


def flask_get(path: str, headers: dict[str, str]) -> tuple[int, dict[str, str], str]:
    response = FLASK_APP.test_client().get(path, headers=headers)
    return response.status_code, lower(response.headers), response.get_data(as_text=True)


def fastapi_get(path: str, headers: dict[str, str]) -> tuple[int, dict[str, str], str]:
    response = TestClient(FASTAPI_APP).get(path, headers=headers)
    return response.status_code, lower(response.headers), response.text


def lower(headers: Any) -> dict[str, str]:
    return {str(name).lower(): str(value) for name, value in headers.items()}


APPS: dict[str, Get] = {"django": django_get, "flask": flask_get, "fastapi": fastapi_get}


def bundled_pages() -> list[tuple[str, dict[str, Any]]]:
    """Each bundled page file with the path the example apps serve it at."""
    pages = []
    for path in sorted((EXAMPLES / "site" / "pages").glob("*.json")):
        page = json.loads(path.read_text(encoding="utf-8"))
        route = page["route"].split("?")[0].lower().rstrip("/") or "/"
        pages.append((route, page))
    return pages


def page_language(page: dict[str, Any]) -> str:
    alternates = page.get("alternates", {})
    return next((tag for tag, route in alternates.items() if route == page["route"]), "en")


def expected_payload(page: dict[str, Any], route: str) -> zelko.SEOPayload:
    return zelko.build_seo_payload(
        zelko.entity_from_mapping(page["entity"]),
        route,
        LANGUAGE_CONFIGS[page_language(page)],
        zelko.overrides_from_mapping(page.get("overrides") or {}),
    )


@pytest.mark.parametrize("app", APPS)
@pytest.mark.parametrize(("path", "page"), bundled_pages(), ids=[p for p, _ in bundled_pages()])
def test_the_page_carries_its_head(app: str, path: str, page: dict[str, Any]) -> None:
    # A tracking parameter in the request must not reach the canonical URL.
    status, headers, body = APPS[app](f"{path}?utm_source=feed&page=2", {})

    assert status == 200
    assert headers["content-type"].startswith("text/html")
    config = LANGUAGE_CONFIGS[page_language(page)]
    head = expected_payload(page, f"{path}?utm_source=feed&page=2").render_html()
    head += zelko.render_hreflang(zelko.hreflang_links(config, page.get("alternates", {})))
    assert f'<html lang="{page_language(page)}">\n<head>\n{head}</head>' in body
    assert "utm_source" not in head


@pytest.mark.parametrize("app", APPS)
@pytest.mark.parametrize(
    ("path", "language", "locales"),
    [
        ("/de/besuch", "de", ("de_DE", "en_US")),
        ("/visit", "en", ("en_US", "de_DE")),
        ("/faq", "en", ("en_US", "de_DE")),
    ],
)
def test_a_page_speaks_its_own_language(
    app: str, path: str, language: str, locales: tuple[str, str]
) -> None:
    _, _, body = APPS[app](path, {})

    assert f'<html lang="{language}">' in body
    assert f'<meta property="og:locale" content="{locales[0]}">' in body
    assert f'<meta property="og:locale:alternate" content="{locales[1]}">' in body
    hreflang = re.findall(r'<link rel="alternate" hreflang="([^"]+)" href="([^"]+)">', body)
    base = "https://www.kestrel-coffee.example"
    alternates = {"de": "/de/besuch", "en": "/visit", "x-default": "/visit"}
    expected = [(tag, base + route) for tag, route in alternates.items()]
    assert hreflang == ([] if path == "/faq" else expected)


def test_the_language_configurations_differ_only_in_language() -> None:
    english, german = (LANGUAGE_CONFIGS[tag].to_dict() for tag in ("en", "de"))
    for settings in (english, german):
        del settings["locale"], settings["locale_alternate"]
        settings["default_og_image"].pop("alt")
    assert english == german


@pytest.mark.parametrize("app", APPS)
@pytest.mark.parametrize("index", [2, 4], ids=["no alternates", "alternates"])
def test_the_endpoint_serves_the_whole_head_and_answers_304_to_its_etag(
    app: str, index: int
) -> None:
    get = APPS[app]
    route, page = bundled_pages()[index]
    config = LANGUAGE_CONFIGS[page_language(page)]
    payload = expected_payload(page, route)
    head = zelko.build_head(
        zelko.entity_from_mapping(page["entity"]),
        route,
        config,
        zelko.overrides_from_mapping(page.get("overrides") or {}),
        alternates=page.get("alternates"),
    )
    assert (index == 4) == bool(page.get("alternates"))

    status, headers, body = get(f"/api/seo{route}", {})
    assert (status, headers["etag"], json.loads(body)) == (200, head.etag(), head.to_dict())
    assert json.loads(body)["title"] == payload.title
    assert headers["content-type"].startswith("application/json")
    for matching in (head.etag(), f"W/{head.etag()}", f'"other", {head.etag()}', "*"):
        status, headers, body = get(f"/api/seo{route}", {"If-None-Match": matching})
        assert (status, headers["etag"], body) == (304, head.etag(), "")
    assert get(f"/api/seo{route}", {"If-None-Match": payload.etag()})[0] == 200


# --- A bad setting stops the application at start -------------------------------


def test_django_check_names_the_bad_field() -> None:
    call_command("check")  # the example's own setting is sound
    for setting, field in ((BAD_SETTING, "url_policy.trailing_slash"), (None, "")):
        with override_settings(ZELKO=setting), pytest.raises(SystemCheckError) as caught:
            call_command("check")
        assert "zelko.E001" in str(caught.value)
        assert f"settings.ZELKO: {field}" in str(caught.value)


def test_flask_extension_refuses_a_bad_setting() -> None:
    app = Flask("bad")
    app.config["ZELKO"] = BAD_SETTING
    with pytest.raises(zelko.InputError) as caught:
        zelko.flask.Zelko(app)
    assert (caught.value.source, caught.value.field) == (
        'app.config["ZELKO"]',
        "url_policy.trailing_slash",
    )


def test_starlette_templates_refuse_a_bad_setting(tmp_path: Path) -> None:
    with pytest.raises(zelko.InputError) as caught:
        zelko.starlette.add_seo_head(Jinja2Templates(directory=tmp_path), BAD_SETTING)
    assert caught.value.field == "url_policy.trailing_slash"


# --- Template engines and conditional responses ---------------------------------


def test_template_engines_insert_the_payload_unescaped() -> None:
    payload = expected_payload(bundled_pages()[2][1], "/blog")
    html = payload.render_html()
    assert "&#x27;" in html  # escaped once by the engine, never twice
    assert jinja2.Environment(autoescape=True).from_string("{{ seo }}").render(seo=payload) == html
    assert conditional_escape(payload) == html
    from django.template import Context, Template

    tag = Template("{% load zelko %}{% seo_head seo %}").render(Context({"seo": payload}))
    assert tag == html


@pytest.fixture
def starlette_client() -> Iterator[TestClient]:
    payload = expected_payload(bundled_pages()[0][1], "/faq")

    def endpoint(request: Request) -> Response:
        headers = {"Vary": "Accept-Language", "Cache-Control": "max-age=60", "X-Other": "1"}
        return zelko.starlette.payload_response(request, payload, headers=headers)

    app = Starlette(routes=[Route("/seo", endpoint, methods=["GET", "POST"])])
    with TestClient(app) as client:
        yield client


def test_starlette_304_keeps_vary_and_cache_control(starlette_client: TestClient) -> None:
    first = starlette_client.get("/seo")
    etag = first.headers["etag"]
    assert (first.headers["vary"], first.headers["x-other"]) == ("Accept-Language", "1")

    again = starlette_client.get("/seo", headers={"If-None-Match": etag})
    assert again.status_code == 304
    assert {k: v for k, v in again.headers.items() if k != "content-length"} == {
        "vary": "Accept-Language",
        "cache-control": "max-age=60",
        "etag": etag,
    }
    assert starlette_client.post("/seo", headers={"If-None-Match": etag}).status_code == 412


# --- Canonicals from the request-target as received --------------------------------

ENTITY = zelko.SEOEntity("page", title="Any page")
DOTTED = "/blog/..%2f..%2fetc?q=%20a"  # decoded: /blog/../../etc, which a crawler reads as /etc


def flask_head(target: str) -> str:
    app = Flask("dotted")
    app.config["ZELKO"] = CONFIG.to_dict()
    zelko.flask.Zelko(app)

    @app.get("/<path:rest>")
    def page(rest: str) -> str:
        return app.jinja_env.from_string("{{ seo_head(entity) }}").render(entity=ENTITY)

    return str(app.test_client().get(target).get_data(as_text=True))


def starlette_head(target: str) -> str:
    templates = Jinja2Templates(
        env=jinja2.Environment(loader=jinja2.DictLoader({"p.html": "{{ seo_head(entity) }}"}))
    )
    zelko.starlette.add_seo_head(templates, CONFIG)

    def page(request: Request) -> Response:
        return templates.TemplateResponse(request, "p.html", {"entity": ENTITY})

    with TestClient(Starlette(routes=[Route("/{rest:path}", page)])) as client:
        return client.get(target).text


def django_head(target: str) -> str:
    from django.template import Context, Template
    from django.test import RequestFactory

    # gunicorn and uWSGI hand the target over; Django's own test client does not.
    request = RequestFactory().get(target, REQUEST_URI=target)
    return Template("{% load zelko %}{% seo_head entity %}").render(
        Context({"request": request, "entity": ENTITY})
    )


@pytest.mark.parametrize("head", [flask_head, starlette_head, django_head])
def test_the_canonical_is_built_from_the_path_as_received(head: Callable[[str], str]) -> None:
    html = head(DOTTED)
    canonical = zelko.build_seo_payload(ENTITY, DOTTED, CONFIG).canonical
    assert "/../" not in canonical and canonical.lower().endswith("/blog/..%2f..%2fetc")
    assert f'<link rel="canonical" href="{canonical}">' in html


# --- Types ------------------------------------------------------------------------


@pytest.mark.parametrize(
    ("folder", "arguments"),
    [
        ("django_site", ["--config-file", "mypy.ini", "kestrel", "manage.py"]),
        ("flask_app", ["--strict", "app.py"]),
        ("fastapi_app", ["--strict", "app.py"]),
    ],
)
def test_example_glue_passes_mypy_strict(
    folder: str, arguments: list[str], tmp_path_factory: pytest.TempPathFactory
) -> None:
    cache = tmp_path_factory.getbasetemp() / "mypy-cache"
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--cache-dir", str(cache), *arguments],
        cwd=EXAMPLES / folder,
        env={**os.environ, "PYTHONPATH": str(EXAMPLES / folder)},
        capture_output=True,
        text=True,
        check=False,
    )
    assert (result.returncode, result.stderr) == (0, ""), result.stdout
