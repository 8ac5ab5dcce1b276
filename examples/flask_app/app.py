"""Kestrel Coffee on Flask: the bundled example pages, each with its SEO head,
and their payloads as JSON with ETags.

Run: .venv/bin/python examples/flask_app/app.py   (then open http://127.0.0.1:8000/)
"""

from __future__ import annotations

import json
import sys
from pathlib import Path
from typing import Any
from urllib.parse import urlsplit

from flask import Flask, abort, render_template
from flask.wrappers import Response

import zelko
from zelko.flask import Zelko, payload_response

SITE = Path(__file__).resolve().parents[1] / "site"


def read_pages(folder: Path) -> dict[str, dict[str, Any]]:
    """The page files of ``folder`` by the path they are served at."""
    pages = [json.loads(path.read_text(encoding="utf-8")) for path in sorted(folder.glob("*.json"))]
    return {urlsplit(page["route"]).path.lower().rstrip("/") or "/": page for page in pages}


def create_app(pages_folder: Path = SITE / "pages") -> Flask:
    app = Flask(__name__)
    app.config["ZELKO"] = str(SITE / "zelko.toml")
    Zelko(app)
    pages = read_pages(pages_folder)

    def find(path: str) -> dict[str, Any]:
        return pages.get("/" + path.lower().rstrip("/")) or abort(404)

    @app.get("/", defaults={"path": ""})
    @app.get("/<path:path>")
    def page(path: str) -> str:
        return render_template("page.html", page=find(path))

    @app.get("/api/seo/", defaults={"path": ""})
    @app.get("/api/seo/<path:path>")
    def seo(path: str) -> Response:
        page = find(path)
        entity = zelko.entity_from_mapping(page["entity"])
        overrides = zelko.overrides_from_mapping(page.get("overrides") or {})
        payload = zelko.build_seo_payload(entity, "/" + path, Zelko.config(), overrides)
        return payload_response(payload)

    return app


if __name__ == "__main__":
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 8000
    create_app().run(host="127.0.0.1", port=port)
