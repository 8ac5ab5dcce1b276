"""``{% load zelko %}``: the ``seo_head`` tag."""

from __future__ import annotations

from collections.abc import Mapping
from typing import Any

from django import template
from django.http import HttpRequest
from django.utils.safestring import SafeString, mark_safe

from _zelko_native import (
    PageHead,
    SEOConfig,
    SEOEntity,
    SEOHead,
    SEOOverrides,
    SEOPayload,
    SiteHead,
)

from ..._web import chosen_config, chosen_site_head, page_head_html, received_target
from ..config import get_config, get_site_head

register = template.Library()


@register.simple_tag(takes_context=True)
def seo_head(
    context: template.Context,
    subject: SEOHead | SEOPayload | SEOEntity | Mapping[str, Any],
    overrides: SEOOverrides | Mapping[str, Any] | None = None,
    *,
    alternates: Mapping[str, str] | None = None,
    config: SEOConfig | None = None,
    page: PageHead | Mapping[str, Any] | None = None,
    site: SiteHead | Mapping[str, Any] | None = None,
) -> SafeString:
    """``{% seo_head payload %}`` renders a payload; ``{% seo_head entity %}``
    (an ``SEOEntity`` or an entity mapping, optionally followed by overrides)
    builds for the current request's path and query, which needs ``request``
    in the context (the ``request`` context processor puts it there). The
    snippet is escaped already. ``alternates=`` (tag -> route or URL) adds
    the page's hreflang links; ``config=`` replaces the ``ZELKO`` setting's
    configuration for this page (a page in another language has its own),
    ``site=`` the setting's site head. ``page=`` (a ``PageHead`` or a page
    file's ``"head"`` object) adds the page's own extras after the site's.
    An ``SEOHead`` is rendered as it is."""
    if isinstance(subject, SEOHead):
        return mark_safe(subject.render_html())
    site_config = chosen_config(config, get_config())
    site_head = chosen_site_head(site, get_site_head())
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
    return mark_safe(
        page_head_html(
            subject, route, site_config, overrides, alternates, site=site_head, page=page
        )
    )
