"""Kestrel Coffee on FastAPI: the bundled example pages, each with its whole
SEO head (the site file's [head] table and a page file's "head" object, when
they have them), and their heads as JSON with ETags.

Run: .venv/bin/uvicorn --app-dir examples/fastapi_app app:app --port 8000
"""

from __future__ import annotations

import json
from collections.abc import Iterator
from pathlib import Path
from typing import Any
from urllib.parse import urlsplit

from fastapi import FastAPI, HTTPException, Request, Response
from fastapi.responses import HTMLResponse
from fastapi.templating import Jinja2Templates

import zelko
from zelko.starlette import add_seo_head, crawl_routes, payload_response

HERE = Path(__file__).resolve().parent
SITE = HERE.parent / "site"

templates = Jinja2Templates(directory=HERE / "templates")
# A site configuration per language: the German pages' Open Graph locale.
CONFIGS = {
    "en": add_seo_head(templates, SITE / "zelko.toml"),
    "de": zelko.load_config(SITE / "zelko.de.toml"),
}


def read_pages(folder: Path) -> dict[str, dict[str, Any]]:
    """The page files of ``folder`` by the path they are served at, each
    with its language: its own tag among its alternates, else English."""
    pages = [json.loads(path.read_text(encoding="utf-8")) for path in sorted(folder.glob("*.json"))]
    for page in pages:
        own = [tag for tag, route in page.get("alternates", {}).items() if route == page["route"]]
        page["language"] = own[0] if own else "en"
    return {urlsplit(page["route"]).path.lower().rstrip("/") or "/": page for page in pages}


PAGES = read_pages(SITE / "pages")


def find(path: str) -> dict[str, Any]:
    page = PAGES.get("/" + path.lower().rstrip("/"))
    if page is None:
        raise HTTPException(status_code=404)
    return page


def build(page: dict[str, Any], route: str) -> zelko.SEOPayload:
    entity = zelko.entity_from_mapping(page["entity"])
    overrides = zelko.overrides_from_mapping(page.get("overrides") or {})
    return zelko.build_seo_payload(entity, route, CONFIGS[page["language"]], overrides)


SITE_HEAD = zelko.load_site_head(SITE / "zelko.toml")


def build_whole_head(page: dict[str, Any], route: str) -> zelko.SEOHead:
    """The page's head with the site's and the page's extras and its hreflang
    links: what the page's HTML carries."""
    own = zelko.page_head_from_mapping(page["head"]) if page.get("head") else None
    return zelko.build_head(
        zelko.entity_from_mapping(page["entity"]),
        route,
        CONFIGS[page["language"]],
        zelko.overrides_from_mapping(page.get("overrides") or {}),
        site=SITE_HEAD,
        page=own,
        alternates=page.get("alternates"),
    )


def sitemap_entries() -> Iterator[dict[str, Any]]:
    """Each indexable page's entry, as `zelko sitemap` writes it: its
    canonical URL, the date it last changed, its alternates and image."""
    for page in PAGES.values():
        payload = build(page, page["route"])
        if "noindex" not in payload.robots.split(","):
            entity = page["entity"]
            yield {
                "location": payload.canonical,
                "lastmod": entity.get("updated_at") or entity.get("published_at"),
                "alternates": page.get("alternates", {}),
                "images": [payload.og.image] if payload.og.image else [],
            }


# /robots.txt, /sitemap.xml and its parts, before the pages' catch-all route.
app = FastAPI(routes=crawl_routes(SITE / "zelko.toml", sitemap_entries))


@app.get("/api/seo/{path:path}")
def seo(request: Request, path: str) -> Response:
    return payload_response(request, build_whole_head(find(path), "/" + path))


@app.get("/{path:path}", response_class=HTMLResponse)
def page(request: Request, path: str) -> Response:
    page = find(path)
    context = {"page": page, "config": CONFIGS[page["language"]]}
    return templates.TemplateResponse(request, "page.html", context)
