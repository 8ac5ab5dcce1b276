"""Where pages come from: a directory of built HTML, a running site over
HTTP(S), and the site's sitemap (an index followed to its parts)."""

from __future__ import annotations

import asyncio
import os
import re
import zlib
from collections.abc import Callable, Iterator, Sequence
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any
from urllib.parse import SplitResult, unquote, urljoin, urlsplit, urlunsplit

from .._files import InputError
from .contract import route_path
from .page import EXTRA_HINT, GONE, PageFacts, missing_page, page_facts

HTML_SUFFIXES = (".html", ".htm")

# --- A directory of built pages ------------------------------------------------


def site_pages(root: str) -> Iterator[tuple[str, str]]:
    """Every HTML file under ``root`` with its route, directory by directory
    in name order, one at a time: ``a/b.html`` is "/a/b", ``a/index.html``
    "/a/", ``index.html`` "/" (of ``a.html`` and ``a.htm``, the first)."""
    for directory, subdirectories, files in os.walk(root):
        subdirectories.sort()
        relative = os.path.relpath(directory, root).replace(os.sep, "/")
        folder = "/" if relative == "." else f"/{relative}/"
        seen = set()
        for name in sorted(files):
            stem, suffix = os.path.splitext(name)
            route = folder if stem == "index" else folder + stem
            if suffix.lower() in HTML_SUFFIXES and route not in seen:
                seen.add(route)
                yield route, os.path.join(directory, name)


def route_file(root: str, route: str) -> str | None:
    """The file of a route, or ``None`` when it has none (or would lie
    outside the directory)."""
    path = route_path(route)
    if not path.startswith("/") or "\0" in path or ".." in path.split("/"):
        return None
    stem = path + "index" if path.endswith("/") else path
    for suffix in HTML_SUFFIXES:
        candidate = os.path.join(root, stem.lstrip("/") + suffix)
        if os.path.isfile(candidate):
            return candidate
    return None


def read_page_file(path: str | None, *, links: bool = False) -> PageFacts:
    data = read_page_bytes(path)
    return missing_page() if data is None else page_facts(data, links=links)


def read_page_bytes(path: str | None) -> bytes | None:
    """A built page's bytes; ``None`` when there is no file."""
    if path is None:
        return None
    try:
        with open(path, "rb") as handle:
            return handle.read()
    except OSError as error:
        raise InputError(path, "", f"cannot read: {error.strerror or error}") from None


# --- A running site --------------------------------------------------------------


def http_module() -> Any:
    """The HTTP client library, imported when first needed (an optional extra)."""
    try:
        import httpx2
    except ImportError:
        raise ModuleNotFoundError(EXTRA_HINT) from None
    return httpx2


# (scheme, host, port): what a URL must share with the site to be on it.
Origin = tuple[str, str, int]

_DEFAULT_PORTS = {"http": 80, "https": 443}
# Controls (C0, DEL, C1) and the line and paragraph separators: a URL or a
# route holding one is refused, never sent, never echoed as it is.
_UNSAFE = re.compile("[\x00-\x1f\x7f-\x9f\u2028\u2029\ud800-\udfff]")
_UNSAFE_TEXT = "holds a control character or bytes that are not UTF-8"


def url_origin(url: str) -> Origin | None:
    """The origin of an http(s) URL, or ``None`` when it is not one."""
    if _UNSAFE.search(url):
        return None
    try:
        parts = urlsplit(url)
        port = parts.port
    except ValueError:  # a bad port or an unclosed "[" of an IPv6 host
        return None
    if parts.scheme not in _DEFAULT_PORTS or not parts.hostname:
        return None
    return parts.scheme, parts.hostname, port or _DEFAULT_PORTS[parts.scheme]


def unsafe_route(route: str) -> str | None:
    """Why a route cannot be requested, or ``None`` when it can."""
    if not route.startswith("/"):
        return "a route starts with '/'"
    if _UNSAFE.search(route):
        return _UNSAFE_TEXT
    return None


@dataclass(frozen=True)
class SiteURL:
    """The base URL of a running site. Its user information goes into
    ``auth`` and never into ``url``, so no message can show a password."""

    url: str  # without user information, query or final "/"
    origin: Origin
    auth: tuple[str, str] | None = None

    def same_origin_auth(self, url: str) -> tuple[str, str] | None:
        """The credentials to send with ``url``: only to the site itself."""
        return self.auth if url_origin(url) == self.origin else None


def check_base_url(base: str) -> SiteURL:
    if _UNSAFE.search(base):
        raise InputError("--url", "", _UNSAFE_TEXT)
    try:
        parts = urlsplit(base)
        port = parts.port
    except ValueError as error:  # a port out of range, an unclosed "[" of an IPv6 host
        raise InputError("--url", "", f"not a valid URL: {error}") from None
    if parts.scheme not in _DEFAULT_PORTS or not parts.hostname:
        raise InputError("--url", "", f"expected an http:// or https:// URL, got {_shown(base)}")
    if parts.query or parts.fragment:
        raise InputError("--url", "", "the base URL takes no query or fragment")
    host = parts.netloc.rpartition("@")[2]
    url = urlunsplit((parts.scheme, host, parts.path.rstrip("/"), "", ""))
    try:
        http_module().URL(url)
    except Exception as error:  # noqa: BLE001 - the client's own refusal, named
        raise InputError("--url", "", f"not a valid URL: {error}") from None
    auth = None
    if parts.username is not None or parts.password is not None:
        auth = (unquote(parts.username or ""), unquote(parts.password or ""))
    origin = (parts.scheme, parts.hostname, port or _DEFAULT_PORTS[parts.scheme])
    return SiteURL(url, origin, auth)


def _split(url: str) -> SplitResult | None:
    if _UNSAFE.search(url):
        return None
    try:
        return urlsplit(url)
    except ValueError:
        return None


def _shown(text: str) -> str:
    """A value as a message may show it: printable, without user information."""
    return ascii(_CREDENTIALS.sub("//***@", text))


_CREDENTIALS = re.compile(r"//[^/?#@\s]*@")


@dataclass(frozen=True)
class Fetcher:
    site: SiteURL
    jobs: int
    timeout: float
    links: bool = False  # read each page's <a href> links too

    def fetch_many(self, routes: Sequence[str]) -> list[PageFacts]:
        """The facts of each route, in the order given."""
        found: dict[int, PageFacts] = {}
        self.fetch_all(routes, found.__setitem__)
        return [found[index] for index in range(len(routes))]

    def fetch_all(self, routes: Sequence[str], handle: Callable[[int, PageFacts], None]) -> None:
        """Fetches every route, at most ``jobs`` at a time, and hands each
        page's facts over as it arrives (with its index in ``routes``)."""
        asyncio.run(self._fetch_all(routes, handle))

    async def _fetch_all(
        self, routes: Sequence[str], handle: Callable[[int, PageFacts], None]
    ) -> None:
        httpx = http_module()
        pending = iter(enumerate(routes))
        limits = httpx.Limits(max_connections=self.jobs, max_keepalive_connections=self.jobs)
        async with httpx.AsyncClient(
            timeout=self.timeout, follow_redirects=False, limits=limits, auth=self.site.auth
        ) as client:

            async def worker() -> None:
                # Workers take routes one by one, so only `jobs` pages are
                # ever in memory, however many routes there are.
                for index, route in pending:
                    handle(index, await self._fetch(client, route))

            workers = [asyncio.ensure_future(worker()) for _ in range(self.jobs)]
            try:
                await asyncio.gather(*workers)
            finally:
                for task in workers:
                    task.cancel()

    async def _fetch(self, client: Any, route: str) -> PageFacts:
        httpx = http_module()
        retried = (
            httpx.ConnectError,
            httpx.ConnectTimeout,
            httpx.ReadError,
            httpx.RemoteProtocolError,
        )
        if unsafe_route(route) is not None:
            return missing_page(0, f"not requested: {unsafe_route(route)}")
        url = self.site.url + route
        for attempt in (1, 2):
            try:
                # The client's timeout bounds each read; a server that drips a
                # byte at a time passes every one of those, so the request as
                # a whole has the same limit.
                response, body = await asyncio.wait_for(self._get(client, url), self.timeout)
            except retried as error:
                if attempt == 1:
                    continue
                if isinstance(error, (httpx.ConnectError, httpx.ConnectTimeout)):
                    raise InputError(
                        self.site.url, "", f"cannot reach the site: {_reason(error)}"
                    ) from None
                return missing_page(0, _reason(error))
            except (asyncio.TimeoutError, httpx.TimeoutException):
                return missing_page(0, f"no complete answer within {self.timeout:g} s")
            except (httpx.HTTPError, httpx.InvalidURL) as error:
                return missing_page(0, _reason(error))
            if body is None:
                return missing_page(0, f"the page is larger than {MAX_PAGE_BYTES:,} bytes")
            text = body.decode(response.encoding or "utf-8", errors="replace")
            headers = response.headers.multi_items()
            return page_facts(text, response.status_code, headers, links=self.links)
        raise AssertionError("unreachable")  # pragma: no cover

    @staticmethod
    async def _get(client: Any, url: str) -> tuple[Any, bytes | None]:
        async with client.stream("GET", url) as response:
            return response, await _bounded_body(response, MAX_PAGE_BYTES)


# A page is read whole before it is parsed; a server that sends without end
# must not take the checker's memory with it.
MAX_PAGE_BYTES = 16 * 1024 * 1024


async def _bounded_body(response: Any, limit: int) -> bytes | None:
    """The response's body, or ``None`` once it passes ``limit`` bytes."""
    data = bytearray()
    async for chunk in response.aiter_bytes():
        data += chunk
        if len(data) > limit:
            return None
    return bytes(data)


def _reason(error: Exception) -> str:
    text = _CREDENTIALS.sub("//***@", str(error))
    return f"{type(error).__name__}: {text}" if text else type(error).__name__


def fetch_robots(site: SiteURL, timeout: float, limit: int) -> bytes | None:
    """The site's robots.txt (its first ``limit`` bytes), ``None`` when it
    has none (404 or 410); any other failure names the URL."""
    return asyncio.run(_fetch_robots(site, timeout, limit))


async def _fetch_robots(site: SiteURL, timeout: float, limit: int) -> bytes | None:
    httpx = http_module()
    url = f"{site.url}/robots.txt"

    async def get(client: Any) -> bytes | None:
        async with client.stream("GET", url) as response:
            if response.status_code in GONE:
                return None
            if response.status_code != 200:
                raise InputError(url, "", f"cannot fetch: status {response.status_code}")
            data = bytearray()
            async for chunk in response.aiter_bytes():
                data += chunk
                if len(data) >= limit:
                    break
            return bytes(data[:limit])

    async with httpx.AsyncClient(timeout=timeout, follow_redirects=False, auth=site.auth) as client:
        try:
            return await asyncio.wait_for(get(client), timeout)
        except (asyncio.TimeoutError, httpx.TimeoutException):
            raise InputError(
                url, "", f"cannot fetch: no complete answer within {timeout:g} s"
            ) from None
        except (httpx.HTTPError, httpx.InvalidURL) as error:
            raise InputError(url, "", f"cannot fetch: {_reason(error)}") from None


# --- Sitemaps ----------------------------------------------------------------------

MAX_SITEMAP_FILES = 1000
MAX_SITEMAP_DEPTH = 3
MAX_SITEMAP_BYTES = 50 * 1024 * 1024  # the protocol's limit, uncompressed


class SitemapMissing(InputError):
    """A sitemap that is not there at all (no file, or 404 or 410)."""


@dataclass(frozen=True)
class SitemapReader:
    """Reads a sitemap, local or over HTTP, following an index to its parts.

    An index names its parts on the production host, while the copy under
    check may be elsewhere: a part is looked for by its path on the server
    the index came from, or for a local index in the site directory (when
    the index lies in it) or beside the index.

    A listed URL (page or part) whose origin is not one of ``origins`` is
    not used: it goes into ``skipped`` with the sitemap that lists it.
    """

    site: str | None = None
    timeout: float = 10.0
    base: SiteURL | None = None
    origins: frozenset[Origin] = frozenset()
    skipped: list[tuple[str, str]] = field(default_factory=list)

    def urls_if_present(self, location: str) -> set[str] | None:
        """The URLs of a sitemap that may not exist (``None`` when it does not)."""
        try:
            return self.urls(location)
        except SitemapMissing as missing:
            if missing.source != location:
                raise  # a part named by the index is missing: the index is wrong
            return None

    def urls(self, location: str) -> set[str]:
        return asyncio.run(self._urls(location))

    async def _urls(self, location: str) -> set[str]:
        found: set[str] = set()
        budget = [MAX_SITEMAP_FILES]
        if not is_url(location):
            # A local index names local parts only: no client (and none of
            # the memory its TLS context takes) is needed.
            await self._read(None, location, found, budget, depth=1)
            return found
        async with http_module().AsyncClient(
            timeout=self.timeout, follow_redirects=False
        ) as client:
            await self._read(client, location, found, budget, depth=1)
        return found

    async def _read(
        self, client: Any, location: str, found: set[str], budget: list[int], depth: int
    ) -> None:
        budget[0] -= 1
        if budget[0] < 0:
            raise InputError(location, "", f"more than {MAX_SITEMAP_FILES} sitemap files")
        kind, locations = parse_sitemap(await self._load(client, location), location)
        locations = [loc for loc in locations if self._on_site(location, loc)]
        if kind == "urlset":
            found.update(locations)
            return
        if depth >= MAX_SITEMAP_DEPTH:
            raise InputError(
                location, "", f"sitemap indexes nested deeper than {MAX_SITEMAP_DEPTH}"
            )
        for part in locations:
            await self._read(client, self._part(location, part), found, budget, depth + 1)

    def _on_site(self, source: str, loc: str) -> bool:
        if not self.origins or url_origin(loc) in self.origins:
            return True
        self.skipped.append((source, loc))
        return False

    def _part(self, index: str, loc: str) -> str:
        parts = _split(loc)
        if parts is None:
            raise InputError(index, "", f"not a sitemap URL: {_shown(loc)}")
        if is_url(index):
            path = parts.path + (f"?{parts.query}" if parts.query else "")
            return urljoin(index, "/" + path.lstrip("/"))
        if self.site is not None and _inside(index, self.site):
            local = os.path.join(self.site, parts.path.lstrip("/"))
            if not _inside(local, self.site):  # "/../x" in the index
                raise InputError(index, "", f"sitemap part outside the site directory: {loc}")
            return local
        return os.path.join(os.path.dirname(index), os.path.basename(parts.path))

    async def _load(self, client: Any, location: str) -> bytes:
        if is_url(location):
            data = await self._fetch(client, location)
        else:
            data = self._read_file(location)
        return _decompressed(data, location)

    def _read_file(self, location: str) -> bytes:
        try:
            with open(location, "rb") as handle:
                return handle.read(MAX_SITEMAP_BYTES + 1)
        except FileNotFoundError:
            raise SitemapMissing(location, "", "cannot read: no such file") from None
        except (OSError, ValueError) as error:
            reason = error.strerror if isinstance(error, OSError) else None
            raise InputError(location, "", f"cannot read: {reason or error}") from None

    async def _fetch(self, client: Any, location: str) -> bytes:
        httpx = http_module()
        try:
            # As for pages, the whole request is bounded, not only each read.
            return await asyncio.wait_for(self._get(client, location), self.timeout)
        except (asyncio.TimeoutError, httpx.TimeoutException):
            message = f"cannot fetch: no complete answer within {self.timeout:g} s"
            raise InputError(location, "", message) from None
        except (httpx.HTTPError, httpx.InvalidURL) as error:
            raise InputError(location, "", f"cannot fetch: {_reason(error)}") from None

    async def _get(self, client: Any, location: str) -> bytes:
        auth = self.base.same_origin_auth(location) if self.base is not None else None
        async with client.stream("GET", location, auth=auth) as response:
            status = response.status_code
            if status in GONE:
                raise SitemapMissing(location, "", f"cannot fetch: status {status}")
            if status != 200:
                raise InputError(location, "", f"cannot fetch: status {status}")
            # Read no further than the size limit: the rest is refused anyway.
            data = bytearray()
            async for chunk in response.aiter_bytes():
                data += chunk
                if len(data) > MAX_SITEMAP_BYTES:
                    break
            return bytes(data)


def _inside(path: str, directory: str) -> bool:
    try:
        return Path(path).resolve().is_relative_to(Path(directory).resolve())
    except (OSError, ValueError):
        return False


def is_url(location: str) -> bool:
    """Whether a location names an http(s) URL (valid or not) rather than a file."""
    return re.match(r"(?i)https?://", location) is not None


def _decompressed(data: bytes, location: str) -> bytes:
    if data[:2] == b"\x1f\x8b":
        try:
            inflater = zlib.decompressobj(16 + zlib.MAX_WBITS)
            data = inflater.decompress(data, MAX_SITEMAP_BYTES + 1)
        except zlib.error as error:
            raise InputError(location, "", f"invalid gzip data: {error}") from None
    if len(data) > MAX_SITEMAP_BYTES:
        raise InputError(location, "", "sitemap larger than 50 MB")
    return data


def parse_sitemap(data: bytes, source: str) -> tuple[str, list[str]]:
    """The kind of a sitemap document ("urlset" or "sitemapindex") and the
    locations it lists. No entity is expanded and nothing is fetched."""
    try:
        from lxml import etree
    except ImportError:
        raise ModuleNotFoundError(EXTRA_HINT) from None
    parser = etree.XMLParser(
        resolve_entities=False, no_network=True, load_dtd=False, huge_tree=False
    )
    try:
        root = etree.fromstring(data, parser)
    except etree.XMLSyntaxError as error:
        raise InputError(source, "", f"invalid sitemap XML: {error}") from None
    kind = etree.QName(root).localname
    if kind not in ("urlset", "sitemapindex"):
        raise InputError(source, "", f"not a sitemap: the root element is <{kind}>")
    return kind, list(_locations(root, etree))


def _locations(root: Any, etree: Any) -> Iterator[str]:
    for entry in root:
        if not isinstance(entry.tag, str):
            continue  # comments and processing instructions
        for child in entry:
            if isinstance(child.tag, str) and etree.QName(child).localname == "loc":
                text = (child.text or "").strip()
                if text:
                    yield text


def sitemap_routes(urls: set[str]) -> list[str]:
    """The routes (path and query) of the URLs a sitemap lists, sorted."""
    routes = set()
    for url in urls:
        parts = _split(url)
        if parts is None:
            continue
        routes.add((parts.path or "/") + (f"?{parts.query}" if parts.query else ""))
    return sorted(routes)


__all__ = [
    "Fetcher",
    "Origin",
    "SiteURL",
    "SitemapReader",
    "check_base_url",
    "fetch_robots",
    "is_url",
    "read_page_bytes",
    "read_page_file",
    "route_file",
    "site_pages",
    "sitemap_routes",
    "unsafe_route",
    "url_origin",
]
