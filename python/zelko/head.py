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

Social cards: ``SiteHead(cards=CardSettings(...))`` gives every page without
a picture of its own (none, or only the site's ``default_og_image``) its card
(see :mod:`zelko.cards`), and
``PageHead(card=True)`` gives a page its card even when it has a picture,
``card=False`` none at all. The card then stands where the payload's picture
would: ``og:image`` with ``og:image:width``, ``og:image:height``,
``og:image:type`` and ``og:image:alt``, and ``twitter:image`` with
``twitter:image:alt``; the payload's own picture is left out of the head (the
payload itself is untouched; give it in ``PageHead(images=...)`` to keep it
as a further ``og:image``). ``card=True`` on a site without card settings
uses ``CardSettings()``: the default template under ``/og/``. The card is
linked through the store of its settings (:func:`zelko.cards.store.store_for`),
which the framework routes given the same settings serve; the ``cards``
extra draws it.

A site head made with ``jsonld_graph=True`` (and, optionally, an
``identity``: an :class:`Organization` or a :class:`Person`) gives every page
one linked JSON-LD graph, written in place of the payload's JSON-LD scripts;
``SEOHead.jsonld_graph()`` returns it. The payload itself is untouched.
"""

from __future__ import annotations

from collections.abc import Iterable, Mapping, Sequence
from typing import Any, Protocol

from _zelko_native import (
    AppLinks,
    ArticleMeta,
    CardSettings,
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
    SEOPayload,
    SiteHead,
    Verification,
    Video,
    _head_function,
    build_seo_payload,
)

from ._files import InputError

__all__ = [
    "AppLinks",
    "ArticleMeta",
    "CardSettings",
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
    "head_of",
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
    return head_of(
        payload,
        config,
        site=site,
        page=page,
        alternates=pairs,
        entity=entity,
        overrides=overrides,
        route=route,
    )


class _HeadOf(Protocol):
    """The type of :func:`head_of`."""

    def __call__(
        self,
        payload: SEOPayload,
        config: SEOConfig,
        *,
        site: SiteHead | None = None,
        page: PageHead | None = None,
        alternates: Sequence[tuple[str, str]] | None = None,
        entity: SEOEntity | None = None,
        overrides: SEOOverrides | None = None,
        route: str | None = None,
    ) -> SEOHead: ...


def _card_of(
    payload: SEOPayload, config: SEOConfig, site: SiteHead | None, page: PageHead | None
) -> tuple[str, int, int, str, str] | None:
    """The card the head shows, as (url, width, height, type, alt), or None."""
    wanted = page.card if page is not None else None
    settings = site.cards if site is not None else None
    if wanted is False or (
        wanted is None and (settings is None or _has_own_picture(payload, config))
    ):
        return None
    try:
        from .cards.store import store_for  # the cards extra, needed only here
    except ImportError as error:
        raise InputError("head", "card", str(error)) from None
    link = store_for(settings if settings is not None else CardSettings()).link(payload)
    return (link.url, link.width, link.height, link.media_type, link.alt)


def _has_own_picture(payload: SEOPayload, config: SEOConfig) -> bool:
    """Whether the page brings a picture of its own: an Open Graph or Twitter
    image other than the site's default one (which the payload takes as
    given)."""
    default = config.default_og_image
    shared = default.url if default is not None else None
    return any(
        url is not None and url != shared for url in (payload.og.image, payload.twitter.image)
    )


# The whole head of a built payload, its card linked when it shows one (by
# _card_of, asked only when the site or the page says anything about cards);
# a site head asking for the linked JSON-LD graph needs the ``entity`` (and
# the ``overrides`` and ``route``) the payload was built from. Native, so
# that its keywords cost no dict: a head is made for every page served.
head_of: _HeadOf = _head_function(_card_of)
