"""What the framework integrations share: the configuration setting (with
its site head), the head of a page, the payload endpoint's body and ETag,
and the request target to build for."""

from __future__ import annotations

import json
import os
from collections.abc import Mapping
from dataclasses import dataclass
from typing import Any
from urllib.parse import quote, urlsplit

from _zelko_native import (
    PageHead,
    SEOConfig,
    SEOEntity,
    SEOHead,
    SEOOverrides,
    SEOPayload,
    SiteHead,
    build_seo_payload,
)

from . import _files
from .crawl import hreflang_links, render_hreflang
from .head import head_of
from .inputs import (
    InputError,
    entity_from_mapping,
    load_config,
    load_site_head,
    overrides_from_mapping,
    page_head_from_mapping,
    site_head_from_mapping,
)

# What a path and a query may keep as they are: the characters RFC 3986
# allows there, and "%" (the framework hands over the raw query, whose
# escapes are the client's).
_PATH_SAFE = "/!$&'()*+,;=:@-._~"
_QUERY_SAFE = _PATH_SAFE + "?%"


@dataclass(frozen=True)
class WebSite:
    """What a framework setting makes: the configuration and the site head
    (``None`` when the setting has no ``head``)."""

    config: SEOConfig
    head: SiteHead | None = None


def site_from_setting(value: object, name: str) -> WebSite:
    """The site of a framework setting: an ``SEOConfig``; a mapping with the
    keys of a site file, whose ``head`` is the ``[head]`` table or a
    ``SiteHead``; or the path of a site file, ``[head]`` table included."""
    if isinstance(value, SEOConfig):
        return WebSite(value)
    if isinstance(value, Mapping):
        table = dict(value)
        table.pop("head", None)
        return WebSite(load_config(table, name=name), load_site_head(value, name=name))
    if isinstance(value, (str, os.PathLike)):
        site = _files.load_site(value)
        return WebSite(site.config, site.head)
    if value is None:
        raise InputError(name, "", "missing: set it to a mapping or a site file path")
    raise InputError(name, "", f"expected a mapping or a file path, got {type(value).__name__}")


def config_from_setting(value: object, name: str) -> SEOConfig:
    """The site configuration of a framework setting (see :func:`site_from_setting`)."""
    return site_from_setting(value, name).config


def request_target(path: str, raw_query: bytes | str = b"") -> str:
    """The route to build for: the decoded request path percent-encoded again
    and the raw query with anything a URL may not hold encoded."""
    target = quote(path, safe=_PATH_SAFE)
    query = quote(raw_query, safe=_QUERY_SAFE)
    return f"{target}?{query}" if query else target


def received_target(target: bytes | str | None, query: bytes | str | None = None) -> str | None:
    """The route to build for, from the request-target as the server received
    it (WSGI's RAW_URI or REQUEST_URI, ASGI's raw_path and query string), or
    ``None`` when the server gave none.

    The decoded path would turn ``/blog/..%2f..%2fetc`` into
    ``/blog/../../etc``, which a crawler resolves to ``/etc``: the escapes of
    the path stay as sent, and what a URL may not hold is encoded.
    """
    raw = _as_bytes(target)
    if not raw:
        return None
    if query is not None:
        raw = raw.split(b"?", 1)[0] + (b"?" + _as_bytes(query) if query else b"")
    raw = raw.split(b"#", 1)[0]
    if not raw.startswith(b"/"):  # the absolute form, from a proxy
        try:
            parts = urlsplit(raw)
        except ValueError:
            return None
        if not parts.scheme or not parts.netloc:
            return None
        raw = (parts.path or b"/") + (b"?" + parts.query if parts.query else b"")
    path, _, raw_query = raw.partition(b"?")
    target_path = quote(path, safe=_PATH_SAFE + "%")
    encoded_query = quote(raw_query, safe=_QUERY_SAFE)
    return f"{target_path}?{encoded_query}" if encoded_query else target_path


def _as_bytes(value: bytes | str | None) -> bytes:
    if value is None:
        return b""
    if isinstance(value, bytes):
        return value
    # A WSGI string holds the bytes received, one character each (PEP 3333).
    return value.encode("latin-1", "backslashreplace")


def _page_inputs(
    subject: SEOEntity | Mapping[str, Any],
    route: str,
    overrides: SEOOverrides | Mapping[str, Any] | None,
) -> tuple[SEOEntity, str, SEOOverrides | None]:
    """The entity, route and overrides a page is built from."""
    entity = entity_from_mapping(subject) if isinstance(subject, Mapping) else subject
    if not isinstance(entity, SEOEntity):
        raise TypeError(f"expected an SEOPayload or an SEOEntity, got {type(subject).__name__}")
    if isinstance(overrides, Mapping):
        overrides = overrides_from_mapping(overrides)
    elif not overrides:
        overrides = None  # a template's missing value: Jinja's Undefined, Django's ""
    return entity, route, overrides


def page_head_html(
    subject: SEOPayload | SEOEntity | Mapping[str, Any],
    route: str,
    config: SEOConfig,
    overrides: SEOOverrides | Mapping[str, Any] | None = None,
    alternates: Mapping[str, str] | None = None,
    *,
    site: SiteHead | None = None,
    page: PageHead | Mapping[str, Any] | None = None,
) -> str:
    """The whole head of a payload as it is, or of one built for ``route``
    from an entity and optional overrides (see :func:`head_html`); a site
    head asking for the linked JSON-LD graph is given what the graph is
    made of."""
    if isinstance(subject, SEOPayload):
        return head_html(subject, config, alternates, site=site, page=page)
    entity, route, built_overrides = _page_inputs(subject, route, overrides)
    payload = build_seo_payload(entity, route, config, built_overrides)
    return head_html(
        payload,
        config,
        alternates,
        site=site,
        page=page,
        source=(entity, built_overrides, route),
    )


def chosen_config(config: object, default: SEOConfig) -> SEOConfig:
    """The configuration a template passed to a head helper (a page in
    another language has its own), or the application's; a template's
    missing value (Jinja's Undefined, Django's "") counts as none."""
    if not config:
        return default
    if not isinstance(config, SEOConfig):
        raise TypeError(f"config: expected an SEOConfig, got {type(config).__name__}")
    return config


def head_html(
    payload: SEOPayload,
    config: SEOConfig,
    alternates: Mapping[str, str] | None = None,
    *,
    site: SiteHead | None = None,
    page: PageHead | Mapping[str, Any] | None = None,
    source: tuple[SEOEntity, SEOOverrides | None, str] | None = None,
) -> str:
    """The payload's head, then the hreflang links of the page's language
    alternates (tag -> route or URL), resolved as canonical URLs, then the
    site's and the page's extras (a page head may be given as the ``"head"``
    object of a page file). A template's missing value (Jinja's Undefined,
    Django's "") counts as no page head."""
    if not page:
        page = None
    elif not isinstance(page, PageHead):
        if not isinstance(page, Mapping):
            raise TypeError(f"page: expected a PageHead or a mapping, got {type(page).__name__}")
        page = page_head_from_mapping(page, name="page")
    if site is None and page is None:
        head = payload.render_html()
        if alternates:
            head += render_hreflang(hreflang_links(config, alternates))
        return head
    pairs = list(alternates.items()) if alternates else []
    entity, overrides, route = source if source is not None else (None, None, None)
    whole = head_of(
        payload,
        config,
        site=site,
        page=page,
        alternates=pairs,
        entity=entity,
        overrides=overrides,
        route=route,
    )
    rendered: str = whole.render_html()
    return rendered


def chosen_site_head(site: object, default: SiteHead | None) -> SiteHead | None:
    """The site head a template passed to a head helper, or the setting's;
    a template's missing value counts as none."""
    if not site:
        return default
    if isinstance(site, Mapping):
        return site_head_from_mapping(site, name="site")
    if not isinstance(site, SiteHead):
        raise TypeError(f"site: expected a SiteHead or a mapping, got {type(site).__name__}")
    return site


def response_body(subject: SEOPayload | SEOHead) -> tuple[str, str]:
    """The JSON and the strong ETag a payload endpoint answers with: the
    payload's own, or for a whole head its dictionary (the payload's with a
    ``head`` key) and the ETag over everything the head renders."""
    if isinstance(subject, SEOHead):
        text = json.dumps(subject.to_dict(), ensure_ascii=False, indent=2)
        return text, subject.etag()
    if not isinstance(subject, SEOPayload):
        raise TypeError(f"expected an SEOPayload or an SEOHead, got {type(subject).__name__}")
    return subject.to_json(), subject.etag()
