"""What the framework integrations share: the configuration setting, the
head of a page, and the request target to build for."""

from __future__ import annotations

import os
from collections.abc import Mapping
from typing import Any
from urllib.parse import quote, urlsplit

from _zelko_native import SEOConfig, SEOEntity, SEOOverrides, SEOPayload, build_seo_payload

from .crawl import hreflang_links, render_hreflang
from .inputs import InputError, entity_from_mapping, load_config, overrides_from_mapping

# What a path and a query may keep as they are: the characters RFC 3986
# allows there, and "%" (the framework hands over the raw query, whose
# escapes are the client's).
_PATH_SAFE = "/!$&'()*+,;=:@-._~"
_QUERY_SAFE = _PATH_SAFE + "?%"


def config_from_setting(value: object, name: str) -> SEOConfig:
    """The site configuration of a framework setting: an ``SEOConfig``, a
    mapping with the keys of a site file, or the path of one."""
    if isinstance(value, SEOConfig):
        return value
    if isinstance(value, Mapping):
        return load_config(value, name=name)
    if isinstance(value, (str, os.PathLike)):
        return load_config(value)
    if value is None:
        raise InputError(name, "", "missing: set it to a mapping or a site file path")
    raise InputError(name, "", f"expected a mapping or a file path, got {type(value).__name__}")


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


def page_payload(
    subject: SEOPayload | SEOEntity | Mapping[str, Any],
    route: str,
    config: SEOConfig,
    overrides: SEOOverrides | Mapping[str, Any] | None = None,
) -> SEOPayload:
    """A payload as it is, or one built for ``route`` from an entity (an
    ``SEOEntity`` or an entity mapping) and optional overrides."""
    if isinstance(subject, SEOPayload):
        return subject
    entity = entity_from_mapping(subject) if isinstance(subject, Mapping) else subject
    if not isinstance(entity, SEOEntity):
        raise TypeError(f"expected an SEOPayload or an SEOEntity, got {type(subject).__name__}")
    if isinstance(overrides, Mapping):
        overrides = overrides_from_mapping(overrides)
    elif not overrides:
        overrides = None  # a template's missing value: Jinja's Undefined, Django's ""
    return build_seo_payload(entity, route, config, overrides)


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
    payload: SEOPayload, config: SEOConfig, alternates: Mapping[str, str] | None = None
) -> str:
    """The payload's head, then the hreflang links of the page's language
    alternates (tag -> route or URL), resolved as canonical URLs."""
    head = payload.render_html()
    if alternates:
        head += render_hreflang(hreflang_links(config, alternates))
    return head
