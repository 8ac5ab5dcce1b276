"""``zelko render``: the HTML head snippet of each page."""

from __future__ import annotations

import argparse

from .._files import load_site
from ..crawl import render_hreflang
from ._common import (
    EXIT_OK,
    Output,
    Streams,
    add_site_command,
    page_hreflang,
    payloads,
    several_pages,
    whole_head,
)


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    command = add_site_command(commands, "render", "Print the HTML head snippet of each page.")
    command.set_defaults(run=run)


def run(args: argparse.Namespace, streams: Streams) -> int:
    site = load_site(args.config)
    several = several_pages(args.pages)
    with Output(args.output, streams.out) as output:
        for page, payload in payloads(args.pages, site, streams, "rendering"):
            if several:
                output.write(f"<!-- {page.source} -->\n")
            head = whole_head(page, site, payload)
            if head is not None:
                output.write(head.render_html())  # the hreflang links included
                continue
            output.write(payload.render_html())
            output.write(render_hreflang(page_hreflang(page, site)))
    return EXIT_OK
