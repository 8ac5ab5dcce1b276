"""robots.txt and the sitemap set served by the framework integrations,
through each framework's own test client: the example apps serve what
`zelko robots` and `zelko sitemap` write, and a site past 50,000 URLs gets
an index whose parts are served where it says."""

from __future__ import annotations

import gzip
import importlib.util
import re
import sys
import xml.etree.ElementTree as ElementTree
from collections.abc import Callable, Iterable
from pathlib import Path
from types import ModuleType
from urllib.parse import urlsplit

import pytest
from django.test import Client, override_settings
from fastapi import FastAPI
from fastapi.testclient import TestClient
from flask import Flask
from web_helpers import setup_django

import zelko
import zelko.django
from zelko.cli import main
from zelko.flask import Zelko, add_crawl_routes
from zelko.starlette import crawl_routes

REPO = Path(__file__).resolve().parents[2]
SITE = REPO / "examples" / "site"
CONFIG = {"canonical_host": "shop.example", "public_base_url": "https://shop.example"}
NS = {"s": "http://www.sitemaps.org/schemas/sitemap/0.9"}

# (status, content type, body) of a GET of a path.
Get = Callable[[str], tuple[int, str, bytes]]


def load_module(name: str, path: Path) -> ModuleType:
    spec = importlib.util.spec_from_file_location(name, path)
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    sys.modules[name] = module
    spec.loader.exec_module(module)
    return module


def flask_client(app: Flask) -> Get:
    def get(path: str) -> tuple[int, str, bytes]:
        response = app.test_client().get(path)
        return response.status_code, response.content_type or "", response.get_data()

    return get


def starlette_client(app: FastAPI) -> Get:
    def get(path: str) -> tuple[int, str, bytes]:
        response = TestClient(app).get(path)
        return response.status_code, response.headers.get("content-type", ""), response.content

    return get


def django_get(path: str) -> tuple[int, str, bytes]:
    response = Client().get(path)
    body = b"".join(response.streaming_content) if response.streaming else response.content
    return response.status_code, response.get("Content-Type", ""), body


setup_django()
EXAMPLE_APPS: dict[str, Get] = {
    "django": django_get,
    "flask": flask_client(
        load_module("flask_crawl_example", REPO / "examples" / "flask_app" / "app.py").create_app()
    ),
    "fastapi": starlette_client(
        load_module("fastapi_crawl_example", REPO / "examples" / "fastapi_app" / "app.py").app
    ),
}


def cli_output(tmp_path: Path, capsys: pytest.CaptureFixture[str]) -> tuple[str, bytes]:
    """What `zelko robots` and `zelko sitemap` write for the bundled site."""
    config = str(SITE / "zelko.toml")
    assert main(["robots", "--config", config]) == 0
    robots = capsys.readouterr().out
    assert main(["sitemap", "--config", config, str(SITE / "pages"), "--out", str(tmp_path)]) == 0
    capsys.readouterr()
    return robots, (tmp_path / "sitemap.xml").read_bytes()


@pytest.mark.parametrize("app", EXAMPLE_APPS)
def test_example_app_serves_what_the_command_line_writes(
    app: str, tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    robots, sitemap = cli_output(tmp_path, capsys)
    get = EXAMPLE_APPS[app]

    status, kind, body = get("/robots.txt")
    assert (status, kind.split(";")[0], body.decode()) == (200, "text/plain", robots)
    status, kind, body = get("/sitemap.xml")
    assert (status, kind, body) == (200, "application/xml; charset=utf-8", sitemap)
    # One file holds six URLs: there are no parts, and nothing else is a
    # sitemap, nor a way out of the directory the set is written to.
    missing = ["/sitemap-1.xml", "/sitemap-0.xml", "/sitemap.xml.gz", "/sitemaps.xml"]
    missing += [
        "/sitemap..%2F..%2Fzelko.toml",
        "/sitemap-1.xml%00",
        "/sitemap-9" + "9" * 30 + ".xml",
    ]
    for path in missing:
        assert get(path)[0] == 404, path


# --- Past 50,000 URLs: the index and its parts --------------------------------


def many_routes(count: int) -> Callable[[], Iterable[str]]:
    return lambda: (f"/item/{number}" for number in range(count))


def flask_app(count: int, **options: object) -> Get:
    app = Flask(__name__)
    app.config["ZELKO"] = CONFIG
    Zelko(app)
    add_crawl_routes(app, many_routes(count), **options)  # type: ignore[arg-type]
    return flask_client(app)


def starlette_app(count: int, **options: object) -> Get:
    return starlette_client(FastAPI(routes=crawl_routes(CONFIG, many_routes(count), **options)))  # type: ignore[arg-type]


def django_app(count: int, **options: object) -> Get:
    # A URLconf of these routes alone.
    module = ModuleType("crawl_views_urls")
    module.urlpatterns = zelko.django.crawl_urls(many_routes(count), **options)  # type: ignore[attr-defined,arg-type]
    sys.modules[module.__name__] = module

    def get(path: str) -> tuple[int, str, bytes]:
        with override_settings(ROOT_URLCONF=module.__name__, ZELKO=CONFIG):
            return django_get(path)

    return get


FRAMEWORKS = {"django": django_app, "flask": flask_app, "starlette": starlette_app}


def locations(body: bytes) -> list[str]:
    return [node.text or "" for node in ElementTree.fromstring(body).findall(".//s:loc", NS)]


@pytest.mark.parametrize("framework", FRAMEWORKS)
@pytest.mark.parametrize(
    ("count", "options", "part_sizes"),
    [
        (50001, {}, [50000, 1]),  # the protocol's ceiling, the default
        (5, {"max_urls": 2, "gzip": True}, [2, 2, 1]),
    ],
    ids=["past-50000", "gzip-parts"],
)
def test_a_large_site_gets_an_index_whose_parts_are_served(
    framework: str, count: int, options: dict[str, object], part_sizes: list[int]
) -> None:
    get = FRAMEWORKS[framework](count, **options)

    status, kind, index = get("/sitemap.xml")
    assert (status, kind) == (200, "application/xml; charset=utf-8")
    assert ElementTree.fromstring(index).tag == f"{{{NS['s']}}}sitemapindex"
    suffix = ".xml.gz" if options.get("gzip") else ".xml"
    parts = locations(index)
    assert [re.sub("-[0-9a-f]{12}[.]", ".", part) for part in parts] == [
        f"https://shop.example/sitemap-{number}{suffix}" for number in range(1, len(part_sizes) + 1)
    ]
    served: list[str] = []
    for part, size in zip(parts, part_sizes, strict=True):
        status, kind, body = get(urlsplit(part).path)
        assert status == 200
        if options.get("gzip"):
            assert kind == "application/gzip"
            body = gzip.decompress(body)
        urls = locations(body)
        assert len(urls) == size
        served += urls
    assert served == [f"https://shop.example/item/{number}" for number in range(count)]
    missing = urlsplit(parts[0]).path.replace("sitemap-1-", f"sitemap-{len(part_sizes) + 1}-")
    assert get(missing)[0] == 404


@pytest.mark.parametrize("framework", FRAMEWORKS)
def test_robots_without_a_site_file_lets_every_crawler_in(framework: str) -> None:
    status, _, body = FRAMEWORKS[framework](1)("/robots.txt")
    assert (status, body.decode()) == (
        200,
        "User-agent: *\nDisallow:\n\nSitemap: https://shop.example/sitemap.xml\n",
    )
