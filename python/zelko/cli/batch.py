"""``zelko batch``: one output record per input line, built in parallel."""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Iterator
from contextlib import ExitStack
from typing import BinaryIO, Protocol

from .._files import InputError, load_site
from ..batch import build_records, default_jobs, is_error_record, path_for
from ._common import (
    EXIT_FINDINGS,
    EXIT_OK,
    Progress,
    Streams,
    is_terminal,
    positive_int,
    replacing,
)

# Bytes read at a time when counting the lines of an input file.
_COUNT_BLOCK = 1 << 20


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    command = commands.add_parser(
        "batch",
        help="Build every page of a JSON Lines file, one output record per line.",
        description=(
            "Build every page of a JSON Lines file (one page per line, in the page-file "
            "schema) and write one JSON record per line, in input order: the payload, its "
            "head snippet, ETag and findings, or the error of a bad line."
        ),
    )
    command.add_argument(
        "-c", "--config", required=True, metavar="SITE", help="site configuration file"
    )
    command.add_argument("input", metavar="INPUT", help="JSON Lines file, or - for standard input")
    command.add_argument(
        "-j",
        "--jobs",
        type=positive_int,
        default=default_jobs(),
        metavar="N",
        help="pages built in parallel (default: one per core)",
    )
    command.add_argument(
        "-o",
        "--output",
        default="-",
        metavar="FILE",
        help="output file, replaced when the run ends (default: - for standard output)",
    )
    command.set_defaults(run=run)


def run(args: argparse.Namespace, streams: Streams) -> int:
    site = load_site(args.config)
    path = path_for(site.config, args.jobs)
    bad = built = 0
    with ExitStack() as stack:
        source = _open_input(args.input, stack)
        sink = _open_output(args.output, streams, stack)
        total = _count_lines(args.input) if is_terminal(streams.err) else 0
        progress = Progress(total, streams.err, "building")
        stack.callback(progress.clear)
        for record in build_records(_lines(source), site.config, jobs=args.jobs, site=site.head):
            sink.write(record.encode("utf-8") + b"\n")
            if is_error_record(record):
                bad += 1
            else:
                built += 1
            progress.advance()
    streams.err.write(f"zelko: batch: {built} built, {bad} bad ({path})\n")
    return EXIT_FINDINGS if bad else EXIT_OK


def _open_input(name: str, stack: ExitStack) -> BinaryIO:
    if name == "-":
        return sys.stdin.buffer
    try:
        return stack.enter_context(open(name, "rb"))
    except (OSError, ValueError) as error:  # ValueError: a NUL in the name
        reason = error.strerror if isinstance(error, OSError) else None
        raise InputError(name, "", f"cannot read: {reason or error}") from None


class _Sink(Protocol):
    def write(self, data: bytes, /) -> int: ...


def _open_output(name: str, streams: Streams, stack: ExitStack) -> _Sink:
    if name == "-":
        return _StdoutBytes(streams)
    return stack.enter_context(replacing(name))


class _StdoutBytes:
    """Standard output for records: the text stream's buffer when it has one."""

    def __init__(self, streams: Streams) -> None:
        self._text = streams.out
        self._buffer: BinaryIO | None = getattr(streams.out, "buffer", None)

    def write(self, data: bytes) -> int:
        if self._buffer is not None:
            return self._buffer.write(data)
        return self._text.write(data.decode("utf-8"))


def _lines(source: BinaryIO) -> Iterator[bytes]:
    for line in source:
        yield line.rstrip(b"\r\n")


def _count_lines(name: str) -> int:
    """The number of lines of an input file, for the progress bar (0: unknown)."""
    if name == "-" or not os.path.isfile(name):
        return 0
    count = 0
    last = b"\n"
    with open(name, "rb") as handle:
        while block := handle.read(_COUNT_BLOCK):
            count += block.count(b"\n")
            last = block[-1:]
    return count + (last != b"\n")
