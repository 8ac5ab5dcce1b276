"""The ``zelko`` command line.

    zelko render   --config SITE PAGE...        HTML head snippets
    zelko build    --config SITE PAGE...        payload JSON (or --hash, --etag)
    zelko validate --config SITE PAGE|DIR...    the eight rules, as a table or JSON
    zelko contract CONTRACT [-o FILE]           contract JSON and its hash
    zelko url      --config SITE VALUE...       canonical URLs (or --path, --clean)
    zelko sitemap  --config SITE PAGE... --out DIR   the XML sitemap set
    zelko robots   --config SITE [-o FILE]      robots.txt
    zelko batch    --config SITE INPUT.jsonl    one JSON record per line, in parallel
    zelko check    --contract FILE --site DIR   pages against a contract (or --url BASE)
    zelko card     --config SITE PAGE... -o DIR social cards (or --batch RECORDS.jsonl)

A site is a TOML or JSON configuration file, a page a JSON file holding one
entity, its route and optional overrides (see the README). Exit status: 0 on
success, 1 when ``validate`` or ``check`` finds problems at or above ``--fail-on``, 2 for
bad usage or bad input, which is reported on one line naming the file and the
field (70 for a fault of zelko itself, also on one line). Output files are
written whole or not at all.
"""

from __future__ import annotations

import argparse
import os
import re
import sys
from collections.abc import Callable, Sequence
from typing import Any

from .. import __version__
from .._files import InputError
from ..structured_data import vocabulary_release
from . import batch, build, card, check, contract, render, robots, sitemap, url, validate
from ._common import EXIT_INTERNAL, EXIT_OK, EXIT_USAGE, Streams

__all__ = ["main"]

# In the order ``zelko --help`` lists them.
_COMMANDS = (render, build, validate, contract, url, sitemap, robots, batch, check, card)


class _Version(argparse.Action):
    """zelko's version, then the vocabulary's release on a line of its own
    (argparse's own version action would join the lines)."""

    def __init__(self, option_strings: Sequence[str], dest: str, **kwargs: Any) -> None:
        super().__init__(option_strings, dest, nargs=0, **kwargs)

    def __call__(self, parser: argparse.ArgumentParser, *_: object) -> None:
        release = vocabulary_release()
        sys.stdout.write(f"zelko {__version__}\nschema.org vocabulary {release} (CC BY-SA 4.0)\n")
        parser.exit()


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="zelko",
        description="Deterministic SEO metadata: render, build, validate, contracts, URLs.",
    )
    parser.add_argument("--version", action=_Version, help="show the versions and exit")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)
    for command in _COMMANDS:
        command.register(commands)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line with ``argv`` (default: ``sys.argv[1:]``)."""
    streams = Streams(sys.stdout, sys.stderr)
    parser = _parser()
    try:
        args = parser.parse_args(argv)
        if args.command == "url" and not args.clean and args.config is None:
            parser.error("url: --config is required unless --clean is given")
    except SystemExit as exit_request:
        code = exit_request.code
        return code if isinstance(code, int) else EXIT_USAGE
    run: Callable[[argparse.Namespace, Streams], int] = args.run
    try:
        return run(args, streams)
    except InputError as error:
        streams.err.write(f"zelko: {_one_line(str(error))}\n")
        return EXIT_USAGE
    except KeyboardInterrupt:
        streams.err.write("zelko: interrupted\n")
        return 130
    except BrokenPipeError:
        # The reader went away (``zelko build ... | head``); not an error of ours.
        _silence_stdout()
        return EXIT_OK
    except Exception as error:  # noqa: BLE001 - the one-line promise holds for faults too
        text = _one_line(f"{type(error).__name__}: {error}")
        streams.err.write(f"zelko: internal error: {text}\n")
        return EXIT_INTERNAL


# What a message must not carry as it is: controls (a NUL, a CR, an escape
# sequence), the Unicode line separators, and the lone surrogates that stand
# for bytes of an argument that is not UTF-8.
_UNPRINTABLE = re.compile("[\x00-\x1f\x7f-\x9f\u2028\u2029\ud800-\udfff]")
# The user information of a URL ("//user:password@host").
_CREDENTIALS = re.compile(r"//[^/?#@\s]*@")


def _one_line(text: str) -> str:
    """An error message as printed: one line, printable, no credentials."""
    text = _CREDENTIALS.sub("//***@", text)
    return _UNPRINTABLE.sub(lambda match: ascii(match.group())[1:-1], text)


def _silence_stdout() -> None:
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
    except (OSError, ValueError, AttributeError):
        pass
