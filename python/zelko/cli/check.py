"""``zelko check``: pages against an SEO contract, from a directory of built
HTML or a running site, reported as text, JSON or JUnit XML."""

from __future__ import annotations

import argparse
import importlib.util
import os
from collections.abc import Collection, Iterable, Iterator, Sequence
from urllib.parse import urlsplit

from .._files import InputError
from ..check.checker import PageChecker
from ..check.contract import Contract, load_contract
from ..check.findings import ERROR, CheckFinding
from ..check.graph import SiteGraph
from ..check.page import EXTRA_HINT, PageFacts
from ..check.report import REPORTS, Run, Summary
from ..check.site import (
    MAX_ROBOTS_BYTES,
    SiteIndex,
    SiteInputs,
    any_on,
    file_is_missing,
    parse_robots,
    read_robots_file,
    site_findings,
    uses_sitemap,
)
from ..check.sources import (
    Fetcher,
    Origin,
    SitemapReader,
    SiteURL,
    check_base_url,
    fetch_robots,
    is_url,
    read_page_bytes,
    read_page_file,
    route_file,
    site_pages,
    sitemap_routes,
    unsafe_route,
    url_origin,
)
from ._common import (
    EXIT_FINDINGS,
    EXIT_OK,
    EXIT_USAGE,
    Output,
    Progress,
    Streams,
    add_report_options,
    is_terminal,
    positive_float,
    positive_int,
)

# The libraries of the "check" extra, by import name.
_EXTRA_MODULES = ("httpx2", "lxml", "protego")


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    help_text = "Check built pages or a running site against an SEO contract."
    command = commands.add_parser("check", help=help_text, description=help_text)
    command.add_argument(
        "--contract", required=True, metavar="FILE", help="contract JSON (or contract .toml)"
    )
    where = command.add_mutually_exclusive_group(required=True)
    where.add_argument("--site", metavar="DIR", help="directory of built HTML pages")
    where.add_argument("--url", metavar="BASE", help="base URL of a running site")
    command.add_argument(
        "routes", nargs="*", metavar="ROUTE", help="route to check (default: every page)"
    )
    command.add_argument("--routes", dest="routes_file", metavar="FILE", help="routes, one a line")
    command.add_argument(
        "--sitemap",
        metavar="PATH_OR_URL",
        help="the site's sitemap: a file with --site, a route or a URL with --url "
        "(default: sitemap.xml at the root of --site or --url)",
    )
    add_report_options(command, tuple(REPORTS))
    command.add_argument(
        "--jobs", type=positive_int, default=8, metavar="N", help="pages fetched at once (8)"
    )
    command.add_argument(
        "--timeout",
        type=positive_float,
        default=10.0,
        metavar="SECONDS",
        help="time allowed for each request (10)",
    )
    command.add_argument(
        "-o", "--output", metavar="FILE", help="write the report to FILE (only if the run ends)"
    )
    command.set_defaults(run=run)


def run(args: argparse.Namespace, streams: Streams) -> int:
    missing = [name for name in _EXTRA_MODULES if importlib.util.find_spec(name) is None]
    if missing:
        streams.err.write(f"zelko: {EXTRA_HINT} (missing: {', '.join(missing)})\n")
        return EXIT_USAGE
    contract = load_contract(args.contract)
    if args.site is not None and not os.path.isdir(args.site):
        raise InputError(args.site, "", "not a directory")
    site_url = check_base_url(args.url) if args.url is not None else None
    explicit = _dedupe([*map(_argument_route, args.routes), *_routes_file(args.routes_file)])
    reader = SitemapReader(args.site, args.timeout, site_url, _site_origins(contract, site_url))
    needs_routes = not explicit and site_url is not None
    sitemap = _sitemap(args, reader, site_url, contract, needs_routes=needs_routes)
    # Only JUnit lists the pages that pass; the other reports need no more
    # than the findings, so a site of any size is checked in flat memory.
    keep_routes = args.format == "junit"
    index = _site_index(args, contract, site_url)
    if args.site is not None:
        run = _check_files(args.site, explicit, contract, sitemap, streams, keep_routes, index)
    else:
        assert site_url is not None
        listed = sitemap_routes(set(sitemap or ()))
        if not explicit and not listed:
            raise InputError(site_url.url, "", "no pages to check: the sitemap lists no URLs")
        routes = explicit or sorted({*listed, *contract.exceptions})
        run = _check_urls(args, site_url, routes, contract, sitemap, streams, index)
    if index is not None and sitemap is None and uses_sitemap(contract.site_rules):
        # Read after the pages, and only when there is one: the pages come
        # first, and a site without a sitemap is no fault of its pages.
        sitemap = reader.urls_if_present(_default_sitemap(args, site_url))
    run.site_findings.extend(_off_site_findings(reader.skipped))
    if index is not None:
        inputs = SiteInputs(sitemap, _robots(args, contract, site_url, sitemap))
        run.site_findings.extend(site_findings(index, contract.site_rules, inputs))
    summary = Summary.of(run, args.fail_on)
    with Output(args.output, streams.out) as output:
        output.write(REPORTS[args.format](run, summary))
    return EXIT_FINDINGS if summary.failed else EXIT_OK


def _argument_route(route: str) -> str:
    problem = unsafe_route(route)
    if problem is not None:
        raise InputError(route, "", problem)
    return route


def _routes_file(path: str | None) -> list[str]:
    if path is None:
        return []
    try:
        with open(path, "rb") as handle:
            text = handle.read().decode("utf-8")
    except (OSError, UnicodeDecodeError) as error:
        reason = error.strerror if isinstance(error, OSError) else "not UTF-8 text"
        raise InputError(path, "", f"cannot read: {reason}") from None
    routes = []
    # Lines end at LF (CRLF too); any other control character, a CR alone
    # included, is in a route and refused with the line's number.
    for number, line in enumerate(text.split("\n"), start=1):
        route = line.strip(" \t\r")
        if not route or route.startswith("#"):
            continue
        problem = unsafe_route(route)
        if problem is not None:
            raise InputError(path, f"line {number}", f"{problem}, got {route!r}")
        routes.append(route)
    return routes


def _dedupe(routes: Sequence[str]) -> list[str]:
    return list(dict.fromkeys(routes))


def _site_origins(contract: Contract, site_url: SiteURL | None) -> frozenset[Origin]:
    """Where the URLs a sitemap lists may point: the contract's site (a
    copy under check lists its production URLs) and the site under check."""
    origins = {url_origin(contract.page_url("/"))}
    if site_url is not None:
        origins.add(site_url.origin)
    return frozenset(origin for origin in origins if origin is not None)


def _sitemap(
    args: argparse.Namespace,
    reader: SitemapReader,
    site_url: SiteURL | None,
    contract: Contract,
    *,
    needs_routes: bool,
) -> Collection[str] | None:
    """The URLs of the site's sitemap, read only when something needs them."""
    if args.sitemap is None and not needs_routes and not contract.uses("sitemap.required"):
        return None
    if args.sitemap is not None:
        return reader.urls(_sitemap_location(args.sitemap, site_url))
    default = _default_sitemap(args, site_url)
    urls = reader.urls_if_present(default)
    if urls is None and needs_routes:
        raise InputError(
            default,
            "",
            "no sitemap to take routes from: give ROUTE arguments, --routes or --sitemap",
        )
    return urls


def _default_sitemap(args: argparse.Namespace, site_url: SiteURL | None) -> str:
    if site_url is not None:
        return f"{site_url.url}/sitemap.xml"
    return str(os.path.join(args.site, "sitemap.xml"))


def _sitemap_location(given: str, site_url: SiteURL | None) -> str:
    """The sitemap to read: a URL; with --url, a route on the site; with
    --site, a file."""
    if is_url(given):
        parts = urlsplit(given) if url_origin(given) is not None else None
        if parts is None:
            raise InputError("--sitemap", "", "not a valid http:// or https:// URL")
        if parts.username is not None or parts.password is not None:
            raise InputError("--sitemap", "", "credentials go in --url only")
        return given
    if site_url is None:
        return given
    problem = unsafe_route(given)
    if problem is not None:
        raise InputError(
            "--sitemap", "", f"with --url, a sitemap is a URL or a route on the site: {problem}"
        )
    return site_url.url + given


def _site_index(
    args: argparse.Namespace, contract: Contract, site_url: SiteURL | None
) -> SiteIndex | None:
    """Where the pages leave their facts for the site rules (none when every
    rule is off)."""
    if not any_on(contract.site_rules):
        return None
    prefixes = [contract.page_url("")]
    if site_url is not None:
        fetcher = Fetcher(site_url, args.jobs, args.timeout, links=True)
        prefixes.append(site_url.url)
        return SiteIndex(contract.page_url, prefixes, fetcher.fetch_many, None)
    root = args.site

    def reread(routes: Sequence[str]) -> list[PageFacts]:
        return [read_page_file(route_file(root, route), links=True) for route in routes]

    return SiteIndex(contract.page_url, prefixes, reread, file_is_missing(root, route_file))


def _robots(
    args: argparse.Namespace,
    contract: Contract,
    site_url: SiteURL | None,
    sitemap: Collection[str] | None,
) -> object:
    """The site's robots.txt, parsed, when a rule needs it (else ``None``)."""
    if sitemap is None or contract.site_rules.get("sitemap_blocked") is None:
        return None
    if site_url is None:
        return read_robots_file(os.path.join(args.site, "robots.txt"))
    data = fetch_robots(site_url, args.timeout, MAX_ROBOTS_BYTES)
    return None if data is None else parse_robots(data)


# Enough to show what is wrong; the count says the rest.
_MAX_OFF_SITE_SHOWN = 100


def _off_site_findings(skipped: Sequence[tuple[str, str]]) -> list[CheckFinding]:
    findings = [
        CheckFinding(
            source,
            "sitemap.url",
            ERROR,
            f"lists a URL outside the checked site, not checked: {loc!a}",
            loc,
        )
        for source, loc in skipped[:_MAX_OFF_SITE_SHOWN]
    ]
    if len(skipped) > _MAX_OFF_SITE_SHOWN:
        more = len(skipped) - _MAX_OFF_SITE_SHOWN
        findings.append(
            CheckFinding(
                skipped[0][0],
                "sitemap.url",
                ERROR,
                f"{more:,} more URLs outside the checked site, not checked",
                more,
            )
        )
    return findings


def _site_pages(
    root: str, explicit: Sequence[str], contract: Contract
) -> Iterator[tuple[str, str | None]]:
    """The routes given and their files, or every HTML file of the site and
    then every route the contract makes an exception for that has none."""
    if explicit:
        for route in explicit:
            yield route, route_file(root, route)
        return
    seen = set()
    files = 0
    for route, path in site_pages(root):
        files += 1
        if route in contract.exceptions:
            seen.add(route)
        yield route, path
    if files == 0:
        # A pipeline pointed at the wrong directory must not pass for a clean site.
        raise InputError(root, "", "no pages to check: no HTML files in this directory")
    for route in sorted(contract.exceptions):
        if route not in seen:
            yield route, route_file(root, route)


# Pages are read and parsed a few dozen at a time, then checked and indexed
# (see PageChecker.check_pages): at most this many, of at most this many
# bytes in all beyond the last page.
_CHUNK_PAGES = 64
_CHUNK_BYTES = 1 << 20


def _page_chunks(
    pages: Iterable[tuple[str, str | None]],
) -> Iterator[list[tuple[int, str, bytes | None]]]:
    """The pages with their numbers and bytes, a few at a time."""
    chunk: list[tuple[int, str, bytes | None]] = []
    size = 0
    for number, (route, path) in enumerate(pages):
        data = read_page_bytes(path)
        chunk.append((number, route, data))
        size += 0 if data is None else len(data)
        if len(chunk) == _CHUNK_PAGES or size >= _CHUNK_BYTES:
            yield chunk
            chunk, size = [], 0
    if chunk:
        yield chunk


def _check_files(
    root: str,
    explicit: Sequence[str],
    contract: Contract,
    sitemap: Collection[str] | None,
    streams: Streams,
    keep_routes: bool,
    index: SiteIndex | None,
) -> Run:
    run = Run([] if keep_routes else None)
    graph = SiteGraph()
    links = index is not None and contract.site_rules.get("broken_link") is not None
    checker = PageChecker(contract, sitemap, graph, links=links)
    total = 0
    if is_terminal(streams.err):  # the bar needs a count: walk the tree once more
        total = sum(1 for _ in _site_pages(root, explicit, contract))
    progress = Progress(total, streams.err, "checking")
    try:
        for chunk in _page_chunks(_site_pages(root, explicit, contract)):
            for (number, route, _), (findings, facts) in zip(
                chunk, checker.check_pages(chunk), strict=True
            ):
                run.add(number, findings)
                if index is not None:
                    index.add(route, facts)
                if run.routes is not None:
                    run.routes.append(route)
                progress.advance()
    finally:
        progress.clear()
    run.site_findings.extend(graph.findings())
    return run


def _check_urls(
    args: argparse.Namespace,
    site_url: SiteURL,
    routes: Sequence[str],
    contract: Contract,
    sitemap: Collection[str] | None,
    streams: Streams,
    index: SiteIndex | None,
) -> Run:
    run = Run(list(routes))
    graph = SiteGraph()
    progress = Progress(len(routes), streams.err, "checking")
    links = index is not None and contract.site_rules.get("broken_link") is not None
    checker = PageChecker(contract, sitemap, graph, links=links)

    def handle(number: int, facts: PageFacts) -> None:
        run.add(number, checker.check_facts(number, routes[number], facts)[0])
        if index is not None:
            index.add(routes[number], facts)
        progress.advance()

    try:
        Fetcher(site_url, args.jobs, args.timeout, links).fetch_all(routes, handle)
    finally:
        progress.clear()
    run.site_findings.extend(graph.findings())
    return run
