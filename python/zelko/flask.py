"""Flask integration: ``Zelko(app)``, a ``seo_head`` template global and
:func:`payload_response`.

``app.config["ZELKO"]`` holds the site configuration: a mapping with the keys
of a site file, the path of one, or an ``SEOConfig``. A site file's
``[head]`` table, or a mapping's ``head`` (the same table, or a ``SiteHead``),
goes into every page's head. It is read and checked when the extension is set
up, so a bad field stops the application at start.
"""

from __future__ import annotations

from collections.abc import Mapping
from typing import TYPE_CHECKING, Any

from flask import Flask, abort, current_app, request
from flask.wrappers import Response
from markupsafe import Markup

from _zelko_native import (
    PageHead,
    SEOConfig,
    SEOEntity,
    SEOHead,
    SEOOverrides,
    SEOPayload,
    SiteHead,
)

from ._crawl_web import (
    SitemapEntries,
    file_chunks,
    open_sitemap_file,
    robots_text,
    sitemap_media_type,
)
from ._web import (
    chosen_config,
    chosen_site_head,
    page_head_html,
    received_target,
    request_target,
    response_body,
    site_from_setting,
)

if TYPE_CHECKING:
    from .cards.store import CardStore
    from .head import CardSettings

__all__ = ["Zelko", "add_crawl_routes", "payload_response", "seo_head"]

SETTING = "ZELKO"


class Zelko:
    """The extension; ``Zelko(app)`` or ``Zelko()`` then ``init_app(app)``."""

    def __init__(self, app: Flask | None = None) -> None:
        if app is not None:
            self.init_app(app)

    def init_app(self, app: Flask) -> None:
        """Reads ``app.config["ZELKO"]`` (``InputError`` names a bad field)
        and adds the ``seo_head`` template global."""
        site = site_from_setting(app.config.get(SETTING), f'app.config["{SETTING}"]')
        app.extensions["zelko"] = site.config
        app.extensions["zelko_head"] = site.head
        app.add_template_global(seo_head)

    @staticmethod
    def config(app: Flask | None = None) -> SEOConfig:
        """The site configuration of ``app`` (default: the current app)."""
        config: SEOConfig = (app or current_app).extensions["zelko"]
        return config

    @staticmethod
    def site_head(app: Flask | None = None) -> SiteHead | None:
        """The site head of ``app`` (default: the current app), or ``None``."""
        head: SiteHead | None = (app or current_app).extensions.get("zelko_head")
        return head


def seo_head(
    subject: SEOHead | SEOPayload | SEOEntity | Mapping[str, Any],
    overrides: SEOOverrides | Mapping[str, Any] | None = None,
    *,
    alternates: Mapping[str, str] | None = None,
    config: SEOConfig | None = None,
    page: PageHead | Mapping[str, Any] | None = None,
    site: SiteHead | Mapping[str, Any] | None = None,
) -> Markup:
    """The whole head of a payload, or of an entity built for the current
    request's path and query: the payload's elements, the hreflang links of
    ``alternates`` (tag -> route or URL), the app's site head and the page
    head ``page`` (a ``PageHead`` or a page file's ``"head"`` object).
    Already escaped, so templates insert it as it is
    (``{{ seo_head(entity, page=head) }}``). ``config`` replaces the app's
    configuration for this page (a page in another language has its own),
    ``site`` its site head. An ``SEOHead`` is rendered as it is."""
    if isinstance(subject, SEOHead):
        return Markup(subject.render_html())
    site_head = chosen_site_head(site, Zelko.site_head())
    site_config = chosen_config(config, Zelko.config())
    route = ""  # a finished payload needs no request
    if not isinstance(subject, SEOPayload):
        environ = request.environ
        received = received_target(environ.get("RAW_URI") or environ.get("REQUEST_URI"))
        # A server that keeps the target to itself leaves the decoded path.
        route = received or request_target(request.script_root + request.path, request.query_string)
    return Markup(
        page_head_html(
            subject, route, site_config, overrides, alternates, site=site_head, page=page
        )
    )


def payload_response(payload: SEOPayload | SEOHead) -> Response:
    """The payload's JSON with its ETag, or a whole head's (its dictionary
    and the ETag over everything it renders); 304 Not Modified, through
    werkzeug's conditional responses, when the request's If-None-Match
    matches."""
    text, etag = response_body(payload)
    response = current_app.response_class(text, mimetype="application/json")
    response.set_etag(etag.strip('"'))  # werkzeug quotes it itself
    response.make_conditional(request)
    return response


def add_crawl_routes(
    app: Flask, entries: SitemapEntries, *, max_urls: int = 50000, gzip: bool = False
) -> None:
    """Serves ``/robots.txt`` (as ``zelko robots`` writes it from the
    ``ZELKO`` site file; every crawler allowed for a mapping) and the sitemap
    set of ``entries()`` (routes, or mappings of ``SitemapWriter.add``'s
    arguments with ``"location"``), called per request and streamed from the
    engine's writer: ``/sitemap.xml``, and past ``max_urls`` URLs its parts
    ``/sitemap-N-<digest>.xml`` (``.xml.gz`` with ``gzip``)."""

    def robots_txt() -> Response:
        text = robots_text(Zelko.config(app), app.config.get(SETTING))
        return app.response_class(text, mimetype="text/plain")

    def sitemap(suffix: str) -> Response:
        name = f"sitemap{suffix}"
        handle = open_sitemap_file(name, Zelko.config(app), entries(), max_urls=max_urls, gzip=gzip)
        if handle is None:
            abort(404)
        return app.response_class(file_chunks(handle), content_type=sitemap_media_type(name))

    app.add_url_rule("/robots.txt", "zelko_robots_txt", robots_txt)
    app.add_url_rule("/sitemap<suffix>", "zelko_sitemap", sitemap)


# --- Social cards --------------------------------------------------------------


def add_card_route(
    app: Flask, store: CardStore | CardSettings, *, endpoint: str = "zelko_card"
) -> None:
    """Serves the cards of ``store`` at ``store.base_path + "<name>"``
    (``/og/og-....png``), each drawn on its first request, with a strong
    ETag and a year-long immutable ``Cache-Control`` (304 when the client's
    copy is current). Given a site's ``CardSettings``, it serves the cards
    that heads with those settings link to."""

    from .cards.store import as_store, card_response

    store = as_store(store)

    def card(name: str) -> Response:
        # werkzeug answers HEAD with the headers of GET and no body.
        conditional = ", ".join(request.headers.getlist("If-None-Match"))
        method = "GET" if request.method == "HEAD" else request.method
        answer = card_response(store, name, method, conditional)
        return app.response_class(answer.body, status=answer.status, headers=answer.headers)

    app.add_url_rule(store.base_path + "<name>", endpoint, card, methods=["GET", "HEAD"])


__all__ += ["add_card_route"]
