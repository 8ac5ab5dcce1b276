"""The crawl surface beside the payload: hreflang links, sitemaps, robots.txt.

Everything here resolves routes by the same rules as canonical URLs (one
host, one trailing-slash policy, tracking parameters stripped), so a site's
links, sitemaps and robots.txt agree with the payloads it serves. The
sitemap writer and the hreflang resolution run in the engine.
"""

from __future__ import annotations

import math
import os
import re
from collections.abc import Iterable, Mapping, Sequence
from types import TracebackType
from typing import Any
from urllib.parse import urlsplit

import _zelko_native
from _zelko_native import SEOConfig, normalize_public_url_fn

__all__ = ["SitemapWriter", "hreflang_links", "render_hreflang", "robots_txt", "sitemap_url"]


def hreflang_links(config: SEOConfig, alternates: Mapping[str, str]) -> list[tuple[str, str]]:
    """The ``(tag, url)`` pairs of a page's language alternates.

    ``alternates`` maps a BCP 47 tag (``"en-GB"``, ``"zh-Hant-TW"``) or
    ``"x-default"`` to a route or absolute URL. Tags come back in canonical
    case, sorted without regard to case, ``"x-default"`` last; routes are
    resolved as canonical URLs, URLs on other hosts kept as serialized.
    Raises ``ValueError`` naming the tag or value for an invalid or duplicate
    tag or a URL that does not parse.
    """
    return _zelko_native._hreflang_links(config, alternates)


def render_hreflang(links: Iterable[tuple[str, str]]) -> str:
    """One ``<link rel="alternate" hreflang=... href=...>`` line per link."""
    return _zelko_native._render_hreflang([(tag, url) for tag, url in links])


def sitemap_url(config: SEOConfig, name: str = "sitemap.xml") -> str:
    """The absolute URL of a file served at the root of ``public_base_url``."""
    root = normalize_public_url_fn("/", config).rstrip("/")
    return f"{root}/{name.lstrip('/')}"


class SitemapWriter(_zelko_native._SitemapWriter):
    """Writes a sitemap set into ``directory``, streaming, as URLs are added.

    ``SitemapWriter(directory, config, *, max_urls=50000, max_bytes=52428800,
    gzip=False)``. ``add(location, *, lastmod=None, alternates=None,
    images=())`` takes a route or a URL on the site's host (refused with
    ``ValueError`` otherwise, or when added twice; the writer stays usable),
    ``lastmod`` as an ISO 8601 ``str``, a ``datetime.date`` or an aware
    ``datetime.datetime``, ``alternates`` as for :func:`hreflang_links` and
    image URLs. ``close()``, or leaving the ``with`` block normally, renames
    the files into place and returns their names (also kept in ``files``):
    ``["sitemap.xml"]`` while everything fits one file, else the parts
    ``sitemap-N-<digest>.xml`` (``.xml.gz`` with ``gzip``; the digest is the
    start of the part's SHA-256) and ``sitemap.xml`` as their index. The new
    parts never take the names of the set being served, and the index is
    renamed last: a reader sees the old set or the new one, whole. Parts
    that the new index does not list are then removed, and so are the
    temporary files of writers killed midway. Leaving the block by an
    exception writes nothing.
    """

    files: list[str]

    def __new__(
        cls,
        directory: str | os.PathLike[str],
        config: SEOConfig,
        *,
        max_urls: int = 50000,
        max_bytes: int = 52428800,
        gzip: bool = False,
    ) -> SitemapWriter:
        writer = super().__new__(
            cls, directory, config, max_urls=max_urls, max_bytes=max_bytes, gzip=gzip
        )
        writer.files = []
        return writer

    def close(self) -> list[str]:
        self.files = super().close()
        return list(self.files)

    def __enter__(self) -> SitemapWriter:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        if kind is not None:
            self.discard()
        elif not self.closed:
            self.close()


# --- robots.txt --------------------------------------------------------------

_GROUP_KEYS = frozenset({"user_agents", "allow", "disallow", "crawl_delay"})


def robots_txt(
    groups: Sequence[Mapping[str, Any]],
    *,
    sitemaps: Sequence[str] = (),
    config: SEOConfig | None = None,
) -> str:
    """robots.txt text by RFC 9309 from groups of rules and sitemap locations.

    Each group is a mapping with ``user_agents`` (a non-empty list), ``allow``
    and ``disallow`` (lists of paths beginning with "/" or "*") and an
    optional ``crawl_delay``. A sitemap given as a route is made absolute
    under ``public_base_url`` (``config`` is then required). Raises
    ``ValueError`` naming the group and field of a bad value.
    """
    blocks = [_group_lines(index, group) for index, group in enumerate(groups)]
    lines = [line for block in _between(blocks, [""]) for line in block]
    urls = [_sitemap_location(index, value, config) for index, value in enumerate(sitemaps)]
    if urls and lines:
        lines.append("")
    lines += [f"Sitemap: {url}" for url in urls]
    return "".join(f"{line}\n" for line in lines)


def _between(blocks: list[list[str]], separator: list[str]) -> Iterable[list[str]]:
    for index, block in enumerate(blocks):
        if index:
            yield separator
        yield block


def _group_lines(index: int, group: Mapping[str, Any]) -> list[str]:
    where = f"group {index}"
    if not isinstance(group, Mapping):
        raise ValueError(f"{where}: expected a mapping, got {type(group).__name__}")
    unknown = sorted(set(group) - _GROUP_KEYS)
    if unknown:
        raise ValueError(f"{where}: {unknown[0]}: unknown field")
    agents = _texts(where, "user_agents", group.get("user_agents"))
    if not agents:
        raise ValueError(f"{where}: user_agents: must name at least one user agent")
    lines = [f"User-agent: {_agent(where, i, agent)}" for i, agent in enumerate(agents)]
    rules = 0
    for field, directive in (("allow", "Allow"), ("disallow", "Disallow")):
        paths = _texts(where, field, group.get(field, []))
        lines += [f"{directive}: {_path(where, field, i, p)}" for i, p in enumerate(paths)]
        rules += len(paths)
    if rules == 0:
        # An empty rule keeps the group its own: without any rule, its
        # user-agent lines would join the next group's.
        lines.append("Disallow:")
    delay = group.get("crawl_delay")
    if delay is not None:
        lines.append(f"Crawl-delay: {_delay(where, delay)}")
    return lines


def _texts(where: str, field: str, value: object) -> list[str]:
    if isinstance(value, str) or not isinstance(value, Sequence):
        raise ValueError(f"{where}: {field}: expected a list of strings")
    if not all(isinstance(item, str) for item in value):
        raise ValueError(f"{where}: {field}: expected a list of strings")
    return list(value)


# C0 and C1 controls, DEL and the Unicode line and paragraph separators: a
# reader that splits lines the way str.splitlines() does (U+0085, U+2028 and
# U+2029 included) would take what follows one of them for a rule of its own.
_NOT_IN_A_LINE = re.compile("[\x00-\x1f\x7f-\x9f\u2028\u2029#]")


def _check_characters(where: str, field: str, value: str) -> str:
    if _NOT_IN_A_LINE.search(value):
        raise ValueError(f"{where}: {field}: control character or '#' in {value!r}")
    return value


def _agent(where: str, index: int, agent: str) -> str:
    field = f"user_agents[{index}]"
    _check_characters(where, field, agent)
    if not agent.strip() or ":" in agent:
        raise ValueError(f"{where}: {field}: not a user agent: {agent!r}")
    return agent.strip()


def _path(where: str, field: str, index: int, path: str) -> str:
    name = f"{field}[{index}]"
    if not path.startswith(("/", "*")):
        raise ValueError(f"{where}: {name}: must begin with '/' or '*': {path!r}")
    return _check_characters(where, name, path)


def _delay(where: str, delay: object) -> str:
    if isinstance(delay, bool) or not isinstance(delay, (int, float)):
        raise ValueError(f"{where}: crawl_delay: expected a number")
    if not math.isfinite(delay) or delay < 0:
        raise ValueError(f"{where}: crawl_delay: must be a finite number >= 0, got {delay!r}")
    return str(int(delay)) if float(delay).is_integer() else repr(float(delay))


# Where URLs are parsed when no site is given: a host no URL can have (the
# .invalid name is reserved), so every URL is another host's, kept as written.
_NO_SITE = SEOConfig("zelko.invalid", "https://zelko.invalid")


def _checked_url(field: str, value: str, config: SEOConfig | None) -> str:
    """An absolute URL parsed and written out by the engine, as the URLs of
    hreflang links are: one on the site's host resolved like its pages."""
    try:
        url = _zelko_native._resolve_url(config or _NO_SITE, value)
    except ValueError as error:
        raise ValueError(f"{field}: {error}") from None
    if urlsplit(url).netloc.rpartition("@")[0]:
        raise ValueError(f"{field}: a sitemap URL is public: no user information in {value!r}")
    return url


def _sitemap_location(index: int, value: object, config: SEOConfig | None) -> str:
    field = f"sitemaps[{index}]"
    if not isinstance(value, str) or not value.strip():
        raise ValueError(f"{field}: expected a route or an absolute URL")
    _check_characters("sitemaps", field, value)
    if not value.startswith("/"):
        parts = urlsplit(value)
        if parts.scheme not in ("http", "https") or not parts.netloc:
            raise ValueError(f"{field}: expected a route or an absolute http(s) URL: {value!r}")
        return _checked_url(field, value, config)
    if config is None:
        raise ValueError(f"{field}: the route {value!r} needs config to become a URL")
    return sitemap_url(config, value)
