"""``zelko build``: the payload JSON of each page, or its hash or ETag."""

from __future__ import annotations

import argparse
from collections.abc import Callable

from _zelko_native import SEOPayload

from .._files import load_site
from ._common import EXIT_OK, Output, Streams, add_site_command, payloads, several_pages


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    command = add_site_command(commands, "build", "Print the payload JSON of each page.")
    digest = command.add_mutually_exclusive_group()
    digest.add_argument("--hash", action="store_true", help="print the payload hash instead")
    digest.add_argument("--etag", action="store_true", help="print the quoted ETag instead")
    command.set_defaults(run=run)


def run(args: argparse.Namespace, streams: Streams) -> int:
    site = load_site(args.config)
    several = several_pages(args.pages)
    digest: Callable[[SEOPayload], str] | None = None
    if args.hash:
        digest = SEOPayload.hash
    elif args.etag:
        digest = SEOPayload.etag
    with Output(args.output, streams.out) as output:
        for page, payload in payloads(args.pages, site, streams, "building"):
            if digest is None:
                output.write(payload.to_json() + "\n")
            elif several:
                output.write(f"{digest(payload)}  {page.source}\n")
            else:
                output.write(digest(payload) + "\n")
    return EXIT_OK
