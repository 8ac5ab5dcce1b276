"""Starlette and FastAPI integration: :func:`payload_response` and
:func:`add_seo_head` for ``Jinja2Templates``."""

from __future__ import annotations

from collections.abc import Mapping
from typing import TYPE_CHECKING, Any

import jinja2
from markupsafe import Markup
from starlette.exceptions import HTTPException
from starlette.requests import Request
from starlette.responses import PlainTextResponse, Response, StreamingResponse
from starlette.routing import BaseRoute, Route
from starlette.templating import Jinja2Templates

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
    config_from_setting,
    page_head_html,
    received_target,
    request_target,
    response_body,
    site_from_setting,
)
from .etags import etag_matches
from .inputs import ConfigSource

if TYPE_CHECKING:
    from .cards.store import CardStore
    from .head import CardSettings

__all__ = ["add_seo_head", "crawl_routes", "payload_response"]

# The headers that a 304 repeats from the 200 it stands for (RFC 9110, 15.4.5).
_NOT_MODIFIED_HEADERS = frozenset(
    {"cache-control", "content-location", "date", "etag", "expires", "vary"}
)


def payload_response(
    request: Request, payload: SEOPayload | SEOHead, *, headers: Mapping[str, str] | None = None
) -> Response:
    """The payload's JSON with its ``ETag`` and ``headers`` (for a whole
    head, its dictionary and the ETag over everything it renders); for a GET
    or HEAD whose If-None-Match matches, 304 Not Modified carrying the ETag
    and the ``Vary``/``Cache-Control`` of ``headers`` (412 for other
    methods)."""
    text, etag = response_body(payload)
    all_headers = {**(headers or {}), "ETag": etag}
    if etag_matches(", ".join(request.headers.getlist("if-none-match")), etag):
        if request.method not in ("GET", "HEAD"):
            return Response(status_code=412)
        kept = {
            key: value for key, value in all_headers.items() if key.lower() in _NOT_MODIFIED_HEADERS
        }
        return Response(status_code=304, headers=kept)
    return Response(text, media_type="application/json", headers=all_headers)


def add_seo_head(templates: Jinja2Templates, config: ConfigSource | SEOConfig) -> SEOConfig:
    """Adds the template global ``seo_head(subject, overrides=None)`` to
    ``templates`` and returns the site configuration it uses.

    ``config`` is read at once (``InputError`` names a bad field); a site
    file's ``[head]`` table, or a mapping's ``head`` (the same table, or a
    ``SiteHead``), goes into every page's head. In a
    template rendered with the request in its context (``TemplateResponse``
    puts it there), ``{{ seo_head(entity) }}`` builds for that request's
    path and query; ``{{ seo_head(payload) }}`` renders a finished payload.
    ``alternates=`` (tag -> route or URL) adds the page's hreflang links;
    ``config=`` replaces the configuration for one page (a page in another
    language has its own), ``site=`` the site head; ``page=`` (a ``PageHead``
    or a page file's ``"head"`` object) adds the page's own extras. An
    ``SEOHead`` is rendered as it is.
    """
    setting = site_from_setting(config, "config")

    @jinja2.pass_context
    def seo_head(
        context: jinja2.runtime.Context,
        subject: SEOHead | SEOPayload | SEOEntity | Mapping[str, Any],
        overrides: SEOOverrides | Mapping[str, Any] | None = None,
        *,
        alternates: Mapping[str, str] | None = None,
        config: SEOConfig | None = None,
        page: PageHead | Mapping[str, Any] | None = None,
        site: SiteHead | Mapping[str, Any] | None = None,
    ) -> Markup:
        if isinstance(subject, SEOHead):
            return Markup(subject.render_html())
        page_config = chosen_config(config, setting.config)
        site_head = chosen_site_head(site, setting.head)
        request = context.get("request")
        route = "/"
        if isinstance(request, Request):
            # raw_path is the path as received, mount point included; the
            # ASGI path is decoded, which a server may leave as the only one.
            scope = request.scope
            query = scope.get("query_string", b"")
            received = received_target(scope.get("raw_path"), query)
            route = received or request_target(scope["path"], query)
        elif not isinstance(subject, SEOPayload):
            raise TypeError("seo_head with an entity needs the request in the template context")
        return Markup(
            page_head_html(
                subject, route, page_config, overrides, alternates, site=site_head, page=page
            )
        )

    templates.env.globals["seo_head"] = seo_head
    return setting.config


def crawl_routes(
    config: ConfigSource | SEOConfig,
    entries: SitemapEntries,
    *,
    max_urls: int = 50000,
    gzip: bool = False,
) -> list[BaseRoute]:
    """Routes for ``/robots.txt`` (as ``zelko robots`` writes it when
    ``config`` is a site file; every crawler allowed otherwise) and the
    sitemap set of ``entries()`` (routes, or mappings of
    ``SitemapWriter.add``'s arguments with ``"location"``), called per request
    and streamed from the engine's writer: ``/sitemap.xml``, and past
    ``max_urls`` URLs its parts ``/sitemap-N-<digest>.xml`` (``.xml.gz`` with
    ``gzip``). Put them before a catch-all route:
    ``FastAPI(routes=crawl_routes(...))``. ``config`` is read at once."""
    site = config_from_setting(config, "config")
    robots = robots_text(site, config)

    def robots_txt(request: Request) -> Response:
        return PlainTextResponse(robots)

    def sitemap(request: Request) -> Response:
        # Runs in the thread pool: writing the set blocks.
        name = "sitemap" + request.path_params["suffix"]
        handle = open_sitemap_file(name, site, entries(), max_urls=max_urls, gzip=gzip)
        if handle is None:
            raise HTTPException(status_code=404)
        return StreamingResponse(file_chunks(handle), media_type=sitemap_media_type(name))

    return [
        Route("/robots.txt", robots_txt, methods=["GET", "HEAD"]),
        Route("/sitemap{suffix}", sitemap, methods=["GET", "HEAD"]),
    ]


# --- Social cards --------------------------------------------------------------


def card_route(store: CardStore | CardSettings, *, name: str = "zelko_card") -> Route:
    """A route serving the cards of ``store`` at ``store.base_path +
    "{name}"`` (``/og/og-....png``), each drawn on its first request (in the
    thread pool, away from the event loop), with a strong ETag and a
    year-long immutable ``Cache-Control`` (304 when the client's copy is
    current). Add it to the application's routes. Given a site's
    ``CardSettings``, it serves the cards that heads with those settings
    link to."""
    from starlette.concurrency import run_in_threadpool

    from .cards.store import as_store, card_response

    store = as_store(store)

    async def card(request: Request) -> Response:
        conditional = ", ".join(request.headers.getlist("if-none-match"))
        answer = await run_in_threadpool(
            card_response, store, request.path_params["name"], request.method, conditional
        )
        return Response(answer.body, status_code=answer.status, headers=answer.headers)

    return Route(store.base_path + "{name}", card, methods=["GET", "HEAD"], name=name)


__all__ += ["card_route"]
