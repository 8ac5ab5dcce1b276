"""``zelko check``: pages against an SEO contract, from a directory of built
HTML or a running site, reported as text, JSON or JUnit XML."""

from __future__ import annotations

import argparse
import importlib.util
import os
from collections.abc import Collection, Mapping, Sequence

from .._files import InputError
from ..check.contract import Contract, load_contract
from ..check.findings import CheckFinding
from ..check.page import EXTRA_HINT, PageFacts
from ..check.report import REPORTS, Run, Summary
from ..check.rules import check_facts
from ..check.sources import (
    Fetcher,
    SitemapReader,
    check_base_url,
    read_page_file,
    route_file,
    site_routes,
    sitemap_routes,
)
from ._common import EXIT_FINDINGS, EXIT_OK, EXIT_USAGE, Output, Progress, Streams

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
        "--jobs", type=_positive(int), default=8, metavar="N", help="pages fetched at once (8)"
    )
    command.add_argument(
        "--timeout",
        type=_positive(float),
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


def _positive(kind: type[int] | type[float]) -> type[int] | type[float]:
    def convert(text: str) -> int | float:
        value = kind(text)
        if value <= 0:
            raise ValueError(text)
        return value

    convert.__name__ = kind.__name__  # argparse names the type in its message
    return convert  # type: ignore[return-value]


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
    files = site_routes(args.site) if args.site is not None else {}
    routes = explicit or _all_routes(files, contract, sitemap)
    run = _check_routes(args, origin, files, contract, routes, sitemap, streams)
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


def _all_routes(
    files: Mapping[str, str], contract: Contract, sitemap: Collection[str] | None
) -> list[str]:
    """Every page of the site (its files, or else its sitemap's URLs) and
    every route the contract makes an exception for."""
    found = list(files) if files else sitemap_routes(set(sitemap or ()))
    return sorted({*found, *contract.exceptions})


def _check_routes(
    args: argparse.Namespace,
    origin: str,
    files: Mapping[str, str],
    contract: Contract,
    routes: Sequence[str],
    sitemap: Collection[str] | None,
    streams: Streams,
) -> Run:
    findings: dict[int, list[CheckFinding]] = {}
    progress = Progress(len(routes), streams.err, "checking")

    def handle(index: int, facts: PageFacts) -> None:
        found = check_facts(contract, routes[index], facts, sitemap)
        if found:
            findings[index] = found
        progress.advance()

    try:
        if args.site is not None:
            for index, route in enumerate(routes):
                path = files[route] if route in files else route_file(origin, route)
                handle(index, read_page_file(path))
        else:
            Fetcher(origin, args.jobs, args.timeout).fetch_all(routes, handle)
    finally:
        progress.clear()
    return Run(routes, findings)
