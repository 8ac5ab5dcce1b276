"""``{% load zelko %}``: the ``seo_head`` tag."""

from __future__ import annotations

from collections.abc import Mapping
from typing import Any

from django import template
from django.http import HttpRequest
from django.utils.safestring import SafeString, mark_safe

from _zelko_native import SEOConfig, SEOEntity, SEOOverrides, SEOPayload

from ..._web import chosen_config, head_html, page_payload, received_target
from ..config import get_config

register = template.Library()


@register.simple_tag(takes_context=True)
def seo_head(
    context: template.Context,
    subject: SEOPayload | SEOEntity | Mapping[str, Any],
    overrides: SEOOverrides | Mapping[str, Any] | None = None,
    *,
    alternates: Mapping[str, str] | None = None,
    config: SEOConfig | None = None,
) -> SafeString:
    """``{% seo_head payload %}`` renders a payload; ``{% seo_head entity %}``
    (an ``SEOEntity`` or an entity mapping, optionally followed by overrides)
    builds for the current request's path and query, which needs ``request``
    in the context (the ``request`` context processor puts it there). The
    snippet is escaped already. ``alternates=`` (tag -> route or URL) adds
    the page's hreflang links; ``config=`` replaces the ``ZELKO`` setting's
    configuration for this page (a page in another language has its own)."""
    site = chosen_config(config, get_config())
    route = ""
    if not isinstance(subject, SEOPayload):
        request: Any = context.get("request")
        if not isinstance(request, HttpRequest):
            raise template.TemplateSyntaxError(
                "seo_head with an entity needs the request in the context "
                "(add django.template.context_processors.request)"
            )
        # The target as the server received it, where the server tells it
        # (gunicorn, uWSGI, ...): the decoded path loses its escapes.
        meta = request.META
        received = received_target(meta.get("RAW_URI") or meta.get("REQUEST_URI"))
        route = received or request.get_full_path()
    payload = page_payload(subject, route, site, overrides)
    return mark_safe(head_html(payload, site, alternates))
