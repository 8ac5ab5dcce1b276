"""The pages and their SEO payloads."""

from __future__ import annotations

import json
from collections.abc import Iterator
from functools import cache
from pathlib import Path
from typing import Any
from urllib.parse import urlsplit

from django.conf import settings
from django.http import Http404, HttpRequest, HttpResponse, HttpResponseBase
from django.shortcuts import render

import zelko
from zelko.django import get_config, get_site_head, payload_response


@cache
def read_pages(folder: Path) -> dict[str, dict[str, Any]]:
    """The page files of ``folder`` by the path they are served at, each
    with its language: its own tag among its alternates, else English."""
    pages = [json.loads(path.read_text(encoding="utf-8")) for path in sorted(folder.glob("*.json"))]
    for page in pages:
        own = [tag for tag, route in page.get("alternates", {}).items() if route == page["route"]]
        page["language"] = own[0] if own else "en"
    return {urlsplit(page["route"]).path.lower().rstrip("/") or "/": page for page in pages}


@cache
def language_config(language: str) -> zelko.SEOConfig:
    """A site configuration per language: the German pages' Open Graph locale."""
    if language in settings.ZELKO_LANGUAGES:
        return zelko.load_config(settings.ZELKO_LANGUAGES[language])
    return get_config()


def find(route: str) -> dict[str, Any]:
    page = read_pages(Path(settings.PAGES_DIR)).get("/" + route.lower().rstrip("/"))
    if page is None:
        raise Http404(route)
    return page


def page(request: HttpRequest, route: str) -> HttpResponse:
    page = find(route)
    context = {"page": page, "config": language_config(page["language"])}
    return render(request, "page.html", context)


def build(page: dict[str, Any], route: str) -> zelko.SEOPayload:
    entity = zelko.entity_from_mapping(page["entity"])
    overrides = zelko.overrides_from_mapping(page.get("overrides") or {})
    return zelko.build_seo_payload(entity, route, language_config(page["language"]), overrides)


def build_whole_head(page: dict[str, Any], route: str) -> zelko.SEOHead:
    """The page's head with the site's and the page's extras and its hreflang
    links: what the page's HTML carries."""
    own = zelko.page_head_from_mapping(page["head"]) if page.get("head") else None
    return zelko.build_head(
        zelko.entity_from_mapping(page["entity"]),
        route,
        language_config(page["language"]),
        zelko.overrides_from_mapping(page.get("overrides") or {}),
        site=get_site_head(),
        page=own,
        alternates=page.get("alternates"),
    )


def seo(request: HttpRequest, route: str) -> HttpResponseBase:
    return payload_response(request, build_whole_head(find(route), "/" + route))


def sitemap_entries() -> Iterator[dict[str, Any]]:
    """Each indexable page's entry, as `zelko sitemap` writes it: its
    canonical URL, the date it last changed, its alternates and image."""
    for page in read_pages(Path(settings.PAGES_DIR)).values():
        payload = build(page, page["route"])
        if "noindex" not in payload.robots.split(","):
            entity = page["entity"]
            yield {
                "location": payload.canonical,
                "lastmod": entity.get("updated_at") or entity.get("published_at"),
                "alternates": page.get("alternates", {}),
                "images": [payload.og.image] if payload.og.image else [],
            }
