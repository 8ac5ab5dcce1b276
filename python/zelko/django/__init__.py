"""Django integration: add ``"zelko.django"`` to ``INSTALLED_APPS``.

Settings: ``ZELKO`` is a mapping with the keys of a site file, or the path of
one (TOML or JSON). It is read once, and a system check reports a bad value
with its field when the project starts (``manage.py check``, ``runserver``).

Templates: ``{% load zelko %}`` then ``{% seo_head payload %}``, or
``{% seo_head entity %}`` (optionally followed by overrides) to build for the
current request's path. Views: :func:`payload_response` answers with the
payload's JSON and its ETag, or 304 when the client's copy is current.
"""

from __future__ import annotations

from django.http import HttpRequest, HttpResponse, HttpResponseBase
from django.utils.cache import get_conditional_response

from _zelko_native import SEOPayload

from .config import get_config as get_config

__all__ = ["get_config", "payload_response"]


def payload_response(request: HttpRequest, payload: SEOPayload) -> HttpResponseBase:
    """The payload as a JSON response with its ETag; 304 Not Modified for a
    GET or HEAD whose If-None-Match matches (412 for other methods), through
    Django's own conditional-request handling."""
    response = HttpResponse(payload.to_json(), content_type="application/json")
    response["ETag"] = payload.etag()
    conditional = get_conditional_response(request, etag=payload.etag(), response=response)
    return conditional if conditional is not None else response
