"""``zelko build``: the payload JSON of each page, or its hash or ETag."""

from __future__ import annotations

import argparse
import json
from collections.abc import Callable
from operator import methodcaller

from _zelko_native import SEOHead, SEOPayload

from .._files import load_site
from ._common import (
    EXIT_OK,
    Output,
    Streams,
    add_site_command,
    payloads,
    several_pages,
    whole_head,
)


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    command = add_site_command(commands, "build", "Print the payload JSON of each page.")
    digest = command.add_mutually_exclusive_group()
    digest.add_argument("--hash", action="store_true", help="print the payload hash instead")
    digest.add_argument("--etag", action="store_true", help="print the quoted ETag instead")
    command.set_defaults(run=run)


def run(args: argparse.Namespace, streams: Streams) -> int:
    site = load_site(args.config)
    several = several_pages(args.pages)
    # With head extras, the whole head's hash and ETag, and its dict.
    digest: Callable[[SEOPayload | SEOHead], str] | None = None
    if args.hash or args.etag:
        digest = methodcaller("hash" if args.hash else "etag")
    with Output(args.output, streams.out) as output:
        for page, payload in payloads(args.pages, site, streams, "building"):
            head = whole_head(page, site, payload)
            built: SEOPayload | SEOHead = payload if head is None else head
            if digest is None and head is not None:
                text = json.dumps(head.to_dict(), ensure_ascii=False, separators=(",", ":"))
                output.write(text + "\n")
            elif digest is None:
                output.write(payload.to_json() + "\n")
            elif several:
                output.write(f"{digest(built)}  {page.source}\n")
            else:
                output.write(digest(built) + "\n")
    return EXIT_OK
