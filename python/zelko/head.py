"""The whole head of a page: the payload's elements, its hreflang links, and
what sites ship beside them (icons, a manifest, theme colours, verification
tags, feeds, app links, more images, videos, article times and tags,
keywords, crawler-specific robots).

``build_head`` builds the payload exactly as :func:`zelko.build_seo_payload`
does and renders the rest through the engine's escaper, in this order after
the payload's own elements (whose robots meta takes the page's extra
directives):

1. the hreflang links;
2. the site: ``application-name``, ``theme-color`` (one per media), the
   icons, the manifest, the feeds, the verification tags, ``twitter:site:id``,
   the App Links (``al:*``), the site's own meta;
3. the page: ``keywords``, ``googlebot``, ``bingbot``, the further Open Graph
   images (each ``og:image`` followed by its width, height and alt), the
   videos (``og:video`` and its properties), ``article:*`` (times, authors,
   section, tags), the page's own meta.

With neither site, page nor alternates, ``SEOHead.render_html()`` is exactly
``payload.render_html()``.

A site head made with ``jsonld_graph=True`` (and, optionally, an
``identity``: an :class:`Organization` or a :class:`Person`) gives every page
one linked JSON-LD graph, written in place of the payload's JSON-LD scripts;
``SEOHead.jsonld_graph()`` returns it. The payload itself is untouched.
"""

from __future__ import annotations

from collections.abc import Iterable, Mapping
from typing import Any

from _zelko_native import (
    AppLinks,
    ArticleMeta,
    Feed,
    Icon,
    Organization,
    PageHead,
    Person,
    RobotsExtra,
    SEOConfig,
    SEOEntity,
    SEOHead,
    SEOOverrides,
    SiteHead,
    Verification,
    Video,
    _head,
    build_seo_payload,
)

__all__ = [
    "AppLinks",
    "ArticleMeta",
    "Feed",
    "Icon",
    "Organization",
    "PageHead",
    "Person",
    "RobotsExtra",
    "SEOHead",
    "SiteHead",
    "Verification",
    "Video",
    "build_head",
]

Alternates = Mapping[str, str] | Iterable[tuple[str, str]]


def build_head(
    entity: SEOEntity,
    route: str,
    config: SEOConfig,
    overrides: SEOOverrides | None = None,
    *,
    site: SiteHead | Mapping[str, Any] | None = None,
    page: PageHead | Mapping[str, Any] | None = None,
    alternates: Alternates | None = None,
) -> SEOHead:
    """The whole head of a page; ``site`` and ``page`` may be given as
    mappings of their fields."""
    payload = build_seo_payload(entity, route, config, overrides)
    if isinstance(site, Mapping):
        site = SiteHead(**site)
    if isinstance(page, Mapping):
        page = PageHead(**page)
    pairs = list(alternates.items() if isinstance(alternates, Mapping) else alternates or ())
    return _head(
        payload,
        config,
        site=site,
        page=page,
        alternates=pairs,
        entity=entity,
        overrides=overrides,
        route=route,
    )
