"""Starlette and FastAPI integration: :func:`payload_response` and
:func:`add_seo_head` for ``Jinja2Templates``."""

from __future__ import annotations

from collections.abc import Mapping
from typing import TYPE_CHECKING, Any

import jinja2
from markupsafe import Markup
from starlette.requests import Request
from starlette.responses import Response
from starlette.routing import Route
from starlette.templating import Jinja2Templates

from _zelko_native import SEOConfig, SEOEntity, SEOOverrides, SEOPayload

from ._web import config_from_setting, page_payload, request_target
from .etags import etag_matches
from .inputs import ConfigSource

if TYPE_CHECKING:
    from .cards.store import CardStore

__all__ = ["add_seo_head", "payload_response"]

# The headers that a 304 repeats from the 200 it stands for (RFC 9110, 15.4.5).
_NOT_MODIFIED_HEADERS = frozenset(
    {"cache-control", "content-location", "date", "etag", "expires", "vary"}
)


def payload_response(
    request: Request, payload: SEOPayload, *, headers: Mapping[str, str] | None = None
) -> Response:
    """The payload's JSON with its ``ETag`` and ``headers``; for a GET or HEAD
    whose If-None-Match matches, 304 Not Modified carrying the ETag and the
    ``Vary``/``Cache-Control`` of ``headers`` (412 for other methods)."""
    etag = payload.etag()
    all_headers = {**(headers or {}), "ETag": etag}
    if etag_matches(", ".join(request.headers.getlist("if-none-match")), etag):
        if request.method not in ("GET", "HEAD"):
            return Response(status_code=412)
        kept = {
            key: value for key, value in all_headers.items() if key.lower() in _NOT_MODIFIED_HEADERS
        }
        return Response(status_code=304, headers=kept)
    return Response(payload.to_json(), media_type="application/json", headers=all_headers)


def add_seo_head(templates: Jinja2Templates, config: ConfigSource | SEOConfig) -> SEOConfig:
    """Adds the template global ``seo_head(subject, overrides=None)`` to
    ``templates`` and returns the site configuration it uses.

    ``config`` is read at once (``InputError`` names a bad field). In a
    template rendered with the request in its context (``TemplateResponse``
    puts it there), ``{{ seo_head(entity) }}`` builds for that request's
    path and query; ``{{ seo_head(payload) }}`` renders a finished payload.
    """
    site = config_from_setting(config, "config")

    @jinja2.pass_context
    def seo_head(
        context: jinja2.runtime.Context,
        subject: SEOPayload | SEOEntity | Mapping[str, Any],
        overrides: SEOOverrides | Mapping[str, Any] | None = None,
    ) -> Markup:
        request = context.get("request")
        route = "/"
        if isinstance(request, Request):
            # The ASGI path is decoded and, for a mounted app, already holds
            # the mount point.
            route = request_target(request.scope["path"], request.scope.get("query_string", b""))
        elif not isinstance(subject, SEOPayload):
            raise TypeError("seo_head with an entity needs the request in the template context")
        return Markup(page_payload(subject, route, site, overrides).render_html())

    templates.env.globals["seo_head"] = seo_head
    return site


# --- Social cards --------------------------------------------------------------


def card_route(store: CardStore, *, name: str = "zelko_card") -> Route:
    """A route serving the cards of ``store`` at ``store.base_path +
    "{name}"`` (``/og/og-....png``), each drawn on its first request (in the
    thread pool, away from the event loop), with a strong ETag and a
    year-long immutable ``Cache-Control`` (304 when the client's copy is
    current). Add it to the application's routes."""
    from starlette.concurrency import run_in_threadpool

    from .cards.store import card_response

    async def card(request: Request) -> Response:
        conditional = ", ".join(request.headers.getlist("if-none-match"))
        answer = await run_in_threadpool(
            card_response, store, request.path_params["name"], request.method, conditional
        )
        return Response(answer.body, status_code=answer.status, headers=answer.headers)

    return Route(store.base_path + "{name}", card, methods=["GET", "HEAD"], name=name)


__all__ += ["card_route"]
