"""``zelko robots``: robots.txt from the site file's ``[robots]`` table."""

from __future__ import annotations

import argparse

from .._files import InputError, load_site
from ..crawl import robots_txt, sitemap_url
from ._common import EXIT_OK, Output, Streams

# A site file without groups lets every crawler everywhere.
_ALLOW_ALL = {"user_agents": ["*"], "allow": [], "disallow": []}


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    help_text = "Print the site's robots.txt."
    command = commands.add_parser("robots", help=help_text, description=help_text)
    command.add_argument(
        "-c", "--config", required=True, metavar="SITE", help="site configuration file"
    )
    command.add_argument(
        "-o",
        "--output",
        metavar="FILE",
        help="write to FILE instead of standard output (only if the run succeeds)",
    )
    command.set_defaults(run=run)


def run(args: argparse.Namespace, streams: Streams) -> int:
    site = load_site(args.config)
    groups = list(site.robots.groups) or [_ALLOW_ALL]
    sitemaps = list(site.robots.sitemaps) or [sitemap_url(site.config)]
    try:
        text = robots_txt(groups, sitemaps=sitemaps, config=site.config)
    except ValueError as error:
        raise InputError(site.source, "robots", str(error)) from None
    with Output(args.output, streams.out) as output:
        output.write(text)
    return EXIT_OK
