"""Kestrel Coffee on Flask: the bundled example pages, each with its whole SEO
head (the site file's [head] table and a page file's "head" object, when they
have them), and their heads as JSON with ETags.

Run: .venv/bin/python examples/flask_app/app.py   (then open http://127.0.0.1:8000/)
"""

from __future__ import annotations

import json
import sys
from collections.abc import Iterator
from pathlib import Path
from typing import Any
from urllib.parse import urlsplit

from flask import Flask, abort, render_template
from flask.wrappers import Response

import zelko
from zelko.flask import Zelko, add_crawl_routes, payload_response

SITE = Path(__file__).resolve().parents[1] / "site"


def read_pages(folder: Path) -> dict[str, dict[str, Any]]:
    """The page files of ``folder`` by the path they are served at, each
    with its language: its own tag among its alternates, else English."""
    pages = [json.loads(path.read_text(encoding="utf-8")) for path in sorted(folder.glob("*.json"))]
    for page in pages:
        own = [tag for tag, route in page.get("alternates", {}).items() if route == page["route"]]
        page["language"] = own[0] if own else "en"
    return {urlsplit(page["route"]).path.lower().rstrip("/") or "/": page for page in pages}


def create_app(pages_folder: Path = SITE / "pages", site_file: Path = SITE / "zelko.toml") -> Flask:
    app = Flask(__name__)
    app.config["ZELKO"] = str(site_file)
    Zelko(app)
    # A site configuration per language: the German pages' Open Graph locale.
    configs = {"en": Zelko.config(app), "de": zelko.load_config(SITE / "zelko.de.toml")}
    pages = read_pages(pages_folder)

    def find(path: str) -> dict[str, Any]:
        return pages.get("/" + path.lower().rstrip("/")) or abort(404)

    def build(page: dict[str, Any], route: str) -> zelko.SEOPayload:
        entity = zelko.entity_from_mapping(page["entity"])
        overrides = zelko.overrides_from_mapping(page.get("overrides") or {})
        return zelko.build_seo_payload(entity, route, configs[page["language"]], overrides)

    def build_whole_head(page: dict[str, Any], route: str) -> zelko.SEOHead:
        """The page's head with the site's and the page's extras and its
        hreflang links: what the page's HTML carries."""
        own = zelko.page_head_from_mapping(page["head"]) if page.get("head") else None
        return zelko.build_head(
            zelko.entity_from_mapping(page["entity"]),
            route,
            configs[page["language"]],
            zelko.overrides_from_mapping(page.get("overrides") or {}),
            site=Zelko.site_head(app),
            page=own,
            alternates=page.get("alternates"),
        )

    def sitemap_entries() -> Iterator[dict[str, Any]]:
        """Each indexable page's entry, as `zelko sitemap` writes it: its
        canonical URL, the date it last changed, its alternates and image."""
        for page in pages.values():
            payload = build(page, page["route"])
            if "noindex" not in payload.robots.split(","):
                entity = page["entity"]
                yield {
                    "location": payload.canonical,
                    "lastmod": entity.get("updated_at") or entity.get("published_at"),
                    "alternates": page.get("alternates", {}),
                    "images": [payload.og.image] if payload.og.image else [],
                }

    add_crawl_routes(app, sitemap_entries)  # /robots.txt, /sitemap.xml and its parts

    @app.get("/", defaults={"path": ""})
    @app.get("/<path:path>")
    def page(path: str) -> str:
        page = find(path)
        return render_template("page.html", page=page, config=configs[page["language"]])

    @app.get("/api/seo/", defaults={"path": ""})
    @app.get("/api/seo/<path:path>")
    def seo(path: str) -> Response:
        return payload_response(build_whole_head(find(path), "/" + path))

    return app


if __name__ == "__main__":
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 8000
    create_app().run(host="127.0.0.1", port=port)
