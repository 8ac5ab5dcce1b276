"""What the framework integrations' robots.txt and sitemap views share.

The sitemap views write the set with the engine's writer, as ``zelko
sitemap`` does, into a fresh temporary directory, and stream the requested
file from it: memory stays flat however many URLs the site has, and past
50,000 URLs (or 50 MB) ``sitemap.xml`` is the index of the parts
``sitemap-N-<digest>.xml``, each served at the address the index names.
"""

from __future__ import annotations

import os
import re
import tempfile
from collections.abc import Callable, Iterable, Iterator, Mapping
from typing import IO, Any

from _zelko_native import SEOConfig

from . import _files
from .crawl import SitemapWriter, robots_txt, sitemap_url

# A route, or a mapping of SitemapWriter.add's arguments: "location" and
# optionally "lastmod", "alternates", "images".
SitemapEntry = str | Mapping[str, Any]
SitemapEntries = Callable[[], Iterable[SitemapEntry]]

# The names a sitemap set is written under.
# The index and its parts, named by their number and a digest of their bytes.
SITEMAP_FILE = re.compile(r"sitemap(?:-[1-9][0-9]*-[0-9a-f]{12})?\.xml(?:\.gz)?")

_ALLOW_ALL = {"user_agents": ["*"], "allow": [], "disallow": []}
_CHUNK = 64 * 1024


def robots_text(config: SEOConfig, source: object) -> str:
    """robots.txt as ``zelko robots`` writes it: the ``[robots]`` table when
    ``source`` is the path of a site file, else every crawler allowed; the
    site's ``/sitemap.xml`` when the table names no sitemaps."""
    groups: list[Any] = []
    sitemaps: list[str] = []
    if isinstance(source, (str, os.PathLike)):
        table = _files.load_site(source).robots
        groups, sitemaps = list(table.groups), list(table.sitemaps)
    return robots_txt(
        groups or [_ALLOW_ALL], sitemaps=sitemaps or [sitemap_url(config)], config=config
    )


def open_sitemap_file(
    name: str,
    config: SEOConfig,
    entries: Iterable[SitemapEntry],
    *,
    max_urls: int = 50000,
    gzip: bool = False,
) -> IO[bytes] | None:
    """The file ``name`` of the sitemap set of ``entries``, open for reading,
    or None when the set has no such file. The set is written into a
    temporary directory that is gone when this returns; the open file stays
    readable until it is closed."""
    if SITEMAP_FILE.fullmatch(name) is None:
        return None
    with tempfile.TemporaryDirectory(prefix="zelko-sitemap-") as directory:
        with SitemapWriter(directory, config, max_urls=max_urls, gzip=gzip) as writer:
            for entry in entries:
                _add(writer, entry)
        if name not in writer.files:
            return None
        return open(os.path.join(directory, name), "rb")


def _add(writer: SitemapWriter, entry: SitemapEntry) -> None:
    if isinstance(entry, str):
        writer.add(entry)
        return
    options = dict(entry)
    writer.add(options.pop("location"), **options)


def file_chunks(handle: IO[bytes]) -> Iterator[bytes]:
    """The file's bytes in chunks; the file is closed at the end or when the
    response stops early."""
    with handle:
        while chunk := handle.read(_CHUNK):
            yield chunk


def sitemap_media_type(name: str) -> str:
    return "application/gzip" if name.endswith(".gz") else "application/xml; charset=utf-8"
