"""Django integration: add ``"zelko.django"`` to ``INSTALLED_APPS``.

Settings: ``ZELKO`` is a mapping with the keys of a site file, or the path of
one (TOML or JSON); the file's ``[head]`` table, or the mapping's ``head``
(the same table, or a ``SiteHead``), goes into every page's head. It is read
once, and a system check reports a bad value with its field when the project
starts (``manage.py check``, ``runserver``).

Templates: ``{% load zelko %}`` then ``{% seo_head payload %}``, or
``{% seo_head entity %}`` (optionally followed by overrides, and
``page=head`` for the page's own extras) to build for the current request's
path. Views: :func:`payload_response` answers with the JSON and the ETag of a
payload or of a whole head, or 304 when the client's copy is current.
"""

from __future__ import annotations

from collections.abc import Callable

from django.conf import settings
from django.http import (
    Http404,
    HttpRequest,
    HttpResponse,
    HttpResponseBase,
    StreamingHttpResponse,
)
from django.urls import URLPattern, path, re_path
from django.utils.cache import get_conditional_response

from _zelko_native import SEOHead, SEOPayload

from .._crawl_web import (
    SITEMAP_FILE,
    SitemapEntries,
    file_chunks,
    open_sitemap_file,
    robots_text,
    sitemap_media_type,
)
from .._web import response_body
from .config import get_config as get_config
from .config import get_site_head as get_site_head

__all__ = ["crawl_urls", "get_config", "payload_response", "robots_txt_view", "sitemap_view"]
__all__ += ["get_site_head"]


def payload_response(request: HttpRequest, payload: SEOPayload | SEOHead) -> HttpResponseBase:
    """The payload as a JSON response with its ETag (a whole head: its
    dictionary and the ETag over everything it renders); 304 Not Modified for
    a GET or HEAD whose If-None-Match matches (412 for other methods), through
    Django's own conditional-request handling."""
    text, etag = response_body(payload)
    response = HttpResponse(text, content_type="application/json")
    response["ETag"] = etag
    conditional = get_conditional_response(request, etag=etag, response=response)
    return conditional if conditional is not None else response


def robots_txt_view(request: HttpRequest) -> HttpResponse:
    """robots.txt as ``zelko robots`` writes it: the ``[robots]`` table of
    the ``ZELKO`` site file (every crawler allowed for a mapping), naming the
    site's ``/sitemap.xml`` unless the table names sitemaps."""
    text = robots_text(get_config(), getattr(settings, "ZELKO", None))
    return HttpResponse(text, content_type="text/plain; charset=utf-8")


def sitemap_view(
    entries: SitemapEntries, *, max_urls: int = 50000, gzip: bool = False
) -> Callable[..., HttpResponseBase]:
    """A view serving the sitemap set of ``entries()`` (routes, or mappings
    of ``SitemapWriter.add``'s arguments with ``"location"``), called per
    request and streamed from the engine's writer: ``sitemap.xml``, and past
    ``max_urls`` URLs its parts ``sitemap-N-<digest>.xml`` (``.xml.gz`` with
    ``gzip``). The view takes the file name as ``name``."""

    def view(request: HttpRequest, name: str = "sitemap.xml") -> HttpResponseBase:
        handle = open_sitemap_file(name, get_config(), entries(), max_urls=max_urls, gzip=gzip)
        if handle is None:
            raise Http404(name)
        return StreamingHttpResponse(file_chunks(handle), content_type=sitemap_media_type(name))

    return view


def crawl_urls(
    entries: SitemapEntries, *, max_urls: int = 50000, gzip: bool = False
) -> list[URLPattern]:
    """URL patterns for ``/robots.txt`` and the sitemap set (see
    :func:`sitemap_view`), to put before a catch-all pattern:
    ``urlpatterns = [*zelko.django.crawl_urls(entries), ...]``."""
    return [
        path("robots.txt", robots_txt_view),
        re_path(
            rf"^(?P<name>{SITEMAP_FILE.pattern})$",
            sitemap_view(entries, max_urls=max_urls, gzip=gzip),
        ),
    ]
