"""``zelko check``: pages against an SEO contract, from a directory of built
HTML or a running site, reported as text, JSON or JUnit XML."""

from __future__ import annotations

import argparse
import importlib.util
import os
from collections.abc import Collection, Iterator, Sequence

from .._files import InputError
from ..check.contract import Contract, load_contract
from ..check.page import EXTRA_HINT, PageFacts
from ..check.report import REPORTS, Run, Summary
from ..check.rules import check_facts
from ..check.sources import (
    Fetcher,
    SitemapReader,
    check_base_url,
    read_page_file,
    route_file,
    site_pages,
    sitemap_routes,
)
from ._common import (
    EXIT_FINDINGS,
    EXIT_OK,
    EXIT_USAGE,
    Output,
    Progress,
    Streams,
    is_terminal,
    positive_float,
    positive_int,
)

# The libraries of the "check" extra, by import name.
_EXTRA_MODULES = ("selectolax", "httpx2", "lxml")


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
        help="the site's sitemap (default: sitemap.xml at the root of --site or --url)",
    )
    command.add_argument("--format", choices=tuple(REPORTS), default="text", help="report format")
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
        "--fail-on",
        choices=("error", "warning"),
        default="error",
        help="exit with status 1 on findings of this severity or worse (default: error)",
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
    origin = args.site if args.site is not None else check_base_url(args.url)
    explicit = _dedupe([*args.routes, *_routes_file(args.routes_file)])
    for route in explicit:
        if not route.startswith("/"):
            raise InputError(route, "", "a route starts with '/'")
    sitemap = _sitemap(args, origin, contract, needs_routes=not explicit and args.url is not None)
    # Only JUnit lists the pages that pass; the other reports need no more
    # than the findings, so a site of any size is checked in flat memory.
    keep_routes = args.format == "junit"
    if args.site is not None:
        run = _check_files(origin, explicit, contract, sitemap, streams, keep_routes)
    else:
        listed = sitemap_routes(set(sitemap or ()))
        if not explicit and not listed:
            raise InputError(origin, "", "no pages to check: the sitemap lists no URLs")
        routes = explicit or sorted({*listed, *contract.exceptions})
        run = _check_urls(args, origin, routes, contract, sitemap, streams)
    summary = Summary.of(run, args.fail_on)
    with Output(args.output, streams.out) as output:
        output.write(REPORTS[args.format](run, summary))
    return EXIT_FINDINGS if summary.failed else EXIT_OK


def _routes_file(path: str | None) -> list[str]:
    if path is None:
        return []
    try:
        with open(path, encoding="utf-8") as handle:
            lines = handle.read().splitlines()
    except (OSError, UnicodeDecodeError) as error:
        reason = error.strerror if isinstance(error, OSError) else "not UTF-8 text"
        raise InputError(path, "", f"cannot read: {reason}") from None
    routes = []
    for number, line in enumerate(lines, start=1):
        route = line.strip()
        if not route or route.startswith("#"):
            continue
        if not route.startswith("/"):
            raise InputError(path, f"line {number}", f"a route starts with '/', got {route!r}")
        routes.append(route)
    return routes


def _dedupe(routes: Sequence[str]) -> list[str]:
    return list(dict.fromkeys(routes))


def _sitemap(
    args: argparse.Namespace, origin: str, contract: Contract, *, needs_routes: bool
) -> Collection[str] | None:
    """The URLs of the site's sitemap, read only when something needs them."""
    if args.sitemap is None and not needs_routes and not contract.uses("sitemap.required"):
        return None
    reader = SitemapReader(args.site, args.timeout)
    if args.sitemap is not None:
        return reader.urls(args.sitemap)
    default = os.path.join(origin, "sitemap.xml") if args.site else f"{origin}/sitemap.xml"
    urls = reader.urls_if_present(default)
    if urls is None and needs_routes:
        raise InputError(
            default,
            "",
            "no sitemap to take routes from: give ROUTE arguments, --routes or --sitemap",
        )
    return urls


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


def _check_files(
    root: str,
    explicit: Sequence[str],
    contract: Contract,
    sitemap: Collection[str] | None,
    streams: Streams,
    keep_routes: bool,
) -> Run:
    run = Run([] if keep_routes else None)
    total = 0
    if is_terminal(streams.err):  # the bar needs a count: walk the tree once more
        total = sum(1 for _ in _site_pages(root, explicit, contract))
    progress = Progress(total, streams.err, "checking")
    try:
        for index, (route, path) in enumerate(_site_pages(root, explicit, contract)):
            run.add(index, check_facts(contract, route, read_page_file(path), sitemap))
            if run.routes is not None:
                run.routes.append(route)
            progress.advance()
    finally:
        progress.clear()
    return run


def _check_urls(
    args: argparse.Namespace,
    base: str,
    routes: Sequence[str],
    contract: Contract,
    sitemap: Collection[str] | None,
    streams: Streams,
) -> Run:
    run = Run(list(routes))
    progress = Progress(len(routes), streams.err, "checking")

    def handle(index: int, facts: PageFacts) -> None:
        run.add(index, check_facts(contract, routes[index], facts, sitemap))
        progress.advance()

    try:
        Fetcher(base, args.jobs, args.timeout).fetch_all(routes, handle)
    finally:
        progress.clear()
    return run
