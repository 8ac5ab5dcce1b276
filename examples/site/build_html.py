"""Builds the bundled example site as a static-site generator would: one
HTML file per page at its canonical path (``/`` is ``index.html``,
``/faq`` is ``faq.html``), the payload's head and hreflang links in each,
and the site's ``sitemap.xml``. ``public/`` beside this file is its output,
which ``zelko check`` checks against ``seo-contract.json``:

    python examples/site/build_html.py examples/site/public
"""

from __future__ import annotations

import html
import json
import sys
from collections.abc import Iterable, Mapping
from pathlib import Path
from typing import Any
from urllib.parse import urlsplit

import zelko

HERE = Path(__file__).resolve().parent
SITE = HERE / "zelko.toml"
# The site configuration of each language other than the site file's.
LANGUAGES = {"de": HERE / "zelko.de.toml"}
PAGES = sorted((HERE / "pages").glob("*.json"))

TEMPLATE = """<!doctype html>
<html lang="{language}">
<head>
<meta charset="utf-8">
{head}</head>
<body><h1>{heading}</h1>
{body}</body>
</html>
"""


def example_pages() -> list[dict[str, Any]]:
    return [json.loads(path.read_text(encoding="utf-8")) for path in PAGES]


def page_path(canonical: str) -> str:
    """Where a page with this canonical URL lives in the built site."""
    path = urlsplit(canonical).path
    return path.lstrip("/") + "index.html" if path.endswith("/") else path.lstrip("/") + ".html"


def render_page(page: Mapping[str, Any], config: zelko.SEOConfig) -> tuple[str, str]:
    """A page's canonical URL and its whole HTML document; a page in a
    language of ``LANGUAGES`` is built with that language's configuration."""
    alternates = page.get("alternates") or {}
    language = next((tag for tag, route in alternates.items() if route == page["route"]), "en")
    if language in LANGUAGES:
        config = zelko.load_config(LANGUAGES[language])
    entity = zelko.entity_from_mapping(page["entity"])
    overrides = zelko.overrides_from_mapping(page.get("overrides") or {})
    payload = zelko.build_seo_payload(entity, page["route"], config, overrides)
    head = payload.render_html() + zelko.render_hreflang(zelko.hreflang_links(config, alternates))
    heading = html.escape(entity.title or "")
    body = page["entity"].get("body_html") or ""
    document = TEMPLATE.format(language=language, head=head, heading=heading, body=body)
    return payload.canonical, document


def build_site(
    out: Path,
    pages: Iterable[Mapping[str, Any]],
    config: zelko.SEOConfig,
    *,
    sitemap: bool = True,
    **sitemap_options: Any,
) -> int:
    """Writes every page (and the sitemap set, with the options of
    ``zelko.SitemapWriter``) under ``out``; returns the number of pages."""
    count = 0
    urls = []
    for page in pages:
        canonical, document = render_page(page, config)
        target = out / page_path(canonical)
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_text(document, encoding="utf-8")
        urls.append((canonical, page.get("alternates") or {}))
        count += 1
    if sitemap:
        with zelko.SitemapWriter(str(out), config, **sitemap_options) as writer:
            for canonical, alternates in urls:
                writer.add(canonical, alternates=alternates)
    return count


def main(arguments: list[str]) -> int:
    if len(arguments) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    build_site(Path(arguments[0]), example_pages(), zelko.load_config(str(SITE)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
