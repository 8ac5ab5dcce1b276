"""``zelko url``: canonical URLs, route paths, or URLs without tracking parameters."""

from __future__ import annotations

import argparse
import json

from _zelko_native import clean_url_fn, normalize_path_fn, normalize_public_url_fn

from .._files import InputError, is_unicode, load_site
from ._common import EXIT_OK, Output, Streams


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    command = commands.add_parser(
        "url",
        help="Resolve paths and URLs under the site, or clean tracking parameters.",
        description=(
            "Resolve each value to the site's canonical absolute URL, normalize it "
            "as a route path (--path), or strip tracking parameters from it (--clean)."
        ),
    )
    command.add_argument("values", nargs="+", metavar="VALUE", help="a path or a URL")
    command.add_argument("-c", "--config", metavar="SITE", help="site configuration file")
    mode = command.add_mutually_exclusive_group()
    mode.add_argument(
        "--path", action="store_true", help="normalize as a route path under the URL policy"
    )
    mode.add_argument(
        "--clean", action="store_true", help="remove tracking parameters (needs no --config)"
    )
    command.add_argument(
        "--format",
        choices=("text", "json"),
        default="text",
        help="one result per line as text (default) or JSON",
    )
    command.set_defaults(run=run)


def run(args: argparse.Namespace, streams: Streams) -> int:
    for value in args.values:
        _check_text(value)
    as_json: bool = args.format == "json"
    with Output(None, streams.out) as output:
        if args.clean:
            for value in args.values:
                cleaned = clean_url_fn(value)
                line = json.dumps(cleaned, ensure_ascii=False) if as_json else cleaned["url"]
                output.write(f"{line}\n")
            return EXIT_OK
        site = load_site(args.config)
        for value in args.values:
            try:
                if args.path:
                    result = normalize_path_fn(value, site.url_policy)
                else:
                    result = normalize_public_url_fn(value, site.config)
            except ValueError as error:
                raise InputError(f"argument {value!r}", "", str(error)) from None
            output.write((json.dumps(result, ensure_ascii=False) if as_json else result) + "\n")
    return EXIT_OK


def _check_text(value: str) -> None:
    """Refuses an argument that is not valid UTF-8 (the shell passes bytes)."""
    if not is_unicode(value):
        shown = value.encode("utf-8", "backslashreplace").decode("utf-8")
        raise InputError(f"argument '{shown}'", "", "not valid UTF-8 text")
