"""The pages and their SEO payloads."""

from __future__ import annotations

import json
from functools import cache
from pathlib import Path
from typing import Any
from urllib.parse import urlsplit

from django.conf import settings
from django.http import Http404, HttpRequest, HttpResponse, HttpResponseBase
from django.shortcuts import render

import zelko
from zelko.django import get_config, payload_response


@cache
def read_pages(folder: Path) -> dict[str, dict[str, Any]]:
    """The page files of ``folder`` by the path they are served at."""
    pages = [json.loads(path.read_text(encoding="utf-8")) for path in sorted(folder.glob("*.json"))]
    return {urlsplit(page["route"]).path.lower().rstrip("/") or "/": page for page in pages}


def find(route: str) -> dict[str, Any]:
    page = read_pages(Path(settings.PAGES_DIR)).get("/" + route.lower().rstrip("/"))
    if page is None:
        raise Http404(route)
    return page


def page(request: HttpRequest, route: str) -> HttpResponse:
    return render(request, "page.html", {"page": find(route)})


def seo(request: HttpRequest, route: str) -> HttpResponseBase:
    page = find(route)
    entity = zelko.entity_from_mapping(page["entity"])
    overrides = zelko.overrides_from_mapping(page.get("overrides") or {})
    payload = zelko.build_seo_payload(entity, "/" + route, get_config(), overrides)
    return payload_response(request, payload)
