"""``zelko card``: the social card of each page, drawn into a directory.

    zelko card --config SITE PAGE... -o DIR
    zelko card --batch RECORDS.jsonl -o DIR --jobs N

Each card is written whole under its name (``og-<digest>.png``); a card
whose file is already there is not drawn again. With ``--batch``, the input
is what ``zelko batch`` writes: a record with an ``error`` is skipped and
counted as bad, as is a line that is not a record. With ``--config``, the
site file's ``[head.cards]`` settings draw the cards (an option given on the
command line wins), so that they are the cards its pages' heads link to.
"""

from __future__ import annotations

import argparse
import json
import multiprocessing
import os
from collections import deque
from collections.abc import Iterator
from concurrent.futures import Executor, Future, ProcessPoolExecutor
from typing import Any, BinaryIO

from .._files import InputError, Site, load_site
from ..batch import default_jobs
from ..head import CardSettings
from ._common import (
    EXIT_FINDINGS,
    EXIT_OK,
    Streams,
    payloads,
    positive_int,
    write_atomically,
)

# Lines of a records file longer than this are refused unread.
_MAX_LINE = 16 << 20
# Cards in flight per job: enough to keep every job busy, few enough that
# memory does not grow with the input.
_IN_FLIGHT_PER_JOB = 8

_Item = tuple[str, "dict[str, Any] | InputError"]
_Result = tuple[str, str, str]  # (source, outcome, name or message)


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    command = commands.add_parser(
        "card",
        help="Draw the social card (Open Graph picture) of each page into a directory.",
        description=(
            "Draw the social card of each page (from page files with --config, or from the "
            "records of zelko batch with --batch) into DIR, each under its name, "
            "og-<digest>.png. A card already in DIR is not drawn again."
        ),
    )
    source = command.add_mutually_exclusive_group(required=True)
    source.add_argument("-c", "--config", metavar="SITE", help="site configuration file")
    source.add_argument("--batch", metavar="RECORDS", help="JSON Lines output of zelko batch")
    command.add_argument("pages", nargs="*", metavar="PAGE", help="page file, or a directory")
    command.add_argument("-o", "--output", required=True, metavar="DIR", help="directory")
    command.add_argument(
        "-j",
        "--jobs",
        type=positive_int,
        default=default_jobs(),
        metavar="N",
        help="cards drawn in parallel (default: one per core)",
    )
    command.add_argument(
        "--template",
        help="default, minimal, image, or an SVG file (default: the site's [head.cards], "
        "else default)",
    )
    command.add_argument("--width", type=positive_int, help="pixels (1200)")
    command.add_argument("--height", type=positive_int, help="pixels (630)")
    for colour in ("background", "foreground", "accent"):
        command.add_argument(f"--{colour}", metavar="#RRGGBB", help=f"the theme's {colour}")
    command.add_argument(
        "--font",
        action="append",
        dest="fonts",
        metavar="FILE",
        help="a font to use before the bundled one (repeatable)",
    )
    command.set_defaults(run=run)


def run(args: argparse.Namespace, streams: Streams) -> int:
    if args.config is not None and not args.pages:
        raise InputError("card", "PAGE", "--config needs at least one page file")
    if args.batch is not None and args.pages:
        raise InputError("card", "PAGE", "page files are not read with --batch")
    from .. import cards  # the cards extra, needed by this command alone

    site = load_site(args.config) if args.config is not None else None
    options = _options(args, site.head.cards if site is not None and site.head else None)
    cards.card_options(**options)  # a bad option stops the run at once
    directory = args.output
    try:
        os.makedirs(directory, exist_ok=True)
    except OSError as error:
        raise InputError(directory, "", f"cannot make the directory: {error.strerror}") from None
    items = _pages(args, site, streams) if site is not None else _records(args.batch)
    counts = {"drawn": 0, "kept": 0, "bad": 0}
    for source, outcome, detail in _results(items, options, directory, args.jobs):
        counts[outcome] += 1
        if outcome == "bad":
            streams.err.write(f"zelko: {source}: {detail}\n")
        else:
            streams.out.write(f"{os.path.join(directory, detail)}\t{source}\n")
    streams.err.write(
        f"zelko: card: {counts['drawn']} drawn, {counts['kept']} already there, "
        f"{counts['bad']} bad\n"
    )
    return EXIT_FINDINGS if counts["bad"] else EXIT_OK


def _options(args: argparse.Namespace, cards: CardSettings | None) -> dict[str, Any]:
    """The drawing options: each given on the command line, else the site's
    card settings (so that the cards drawn are those its heads link to),
    else the defaults."""
    settings = cards if cards is not None else CardSettings()
    theme = dict(settings.theme)
    theme.update(
        (key, getattr(args, key))
        for key in ("background", "foreground", "accent")
        if getattr(args, key) is not None
    )
    return {
        "template": args.template if args.template is not None else settings.template,
        "width": args.width if args.width is not None else settings.width,
        "height": args.height if args.height is not None else settings.height,
        "theme": theme or None,
        "fonts": args.fonts if args.fonts is not None else list(settings.fonts) or None,
    }


def _pages(args: argparse.Namespace, site: Site, streams: Streams) -> Iterator[_Item]:
    for page, payload in payloads(args.pages, site, streams, "drawing"):
        yield page.source, payload.to_dict()


def _records(name: str) -> Iterator[_Item]:
    """The payloads of a records file, each with ``file:line``; a line that
    cannot be drawn from comes as the error that says why."""
    try:
        handle: BinaryIO = open(name, "rb")  # noqa: SIM115 - closed below
    except (OSError, ValueError) as error:
        reason = error.strerror if isinstance(error, OSError) else None
        raise InputError(name, "", f"cannot read: {reason or error}") from None
    with handle:
        number = 0
        while line := handle.readline(_MAX_LINE + 1):
            number += 1
            source = f"{name}:{number}"
            if len(line) > _MAX_LINE and not line.endswith(b"\n"):
                while (rest := handle.readline(_MAX_LINE)) and not rest.endswith(b"\n"):
                    pass
                yield source, InputError(source, "", f"line longer than {_MAX_LINE >> 20} MiB")
                continue
            if line.strip():
                yield source, _record_payload(line, source)


def _record_payload(line: bytes, source: str) -> dict[str, Any] | InputError:
    try:
        record = json.loads(line)
    except (ValueError, RecursionError) as error:
        return InputError(source, "", f"not a JSON record: {error}")
    if not isinstance(record, dict):
        return InputError(source, "", "not a record (a JSON object)")
    if isinstance(record.get("error"), dict):
        failed = record["error"]
        return InputError(
            source,
            "error",
            f"the page was not built: {failed.get('field')}: {failed.get('message')}",
        )
    payload = record.get("payload")
    if not isinstance(payload, dict):
        return InputError(source, "payload", "missing: not a record of zelko batch")
    return payload


# --- Drawing, here or in worker processes --------------------------------------

_worker: tuple[Any, str] | None = None


def _set_worker(options: dict[str, Any], directory: str) -> None:
    """Checks the options once per worker (fonts and templates read once)."""
    global _worker
    from .. import cards

    _worker = (cards.card_options(**options), directory)


def _draw_one(item: _Item) -> _Result:
    assert _worker is not None
    options, directory = _worker
    source, payload = item
    if isinstance(payload, InputError):
        return source, "bad", _message(payload)
    from .. import cards

    try:
        made = cards.plan(payload, options)
        target = os.path.join(directory, made.name)
        if os.path.exists(target):
            return source, "kept", made.name
        write_atomically(target, cards.draw(made).png)
    except InputError as error:
        return source, "bad", _message(error)
    return source, "drawn", made.name


def _message(error: InputError) -> str:
    return f"{error.field}: {error.message}" if error.field else error.message


def _results(
    items: Iterator[_Item], options: dict[str, Any], directory: str, jobs: int
) -> Iterator[_Result]:
    if jobs == 1:
        _set_worker(options, directory)
        yield from map(_draw_one, items)
        return
    methods = multiprocessing.get_all_start_methods()
    context = multiprocessing.get_context("fork" if "fork" in methods else "spawn")
    with ProcessPoolExecutor(
        max_workers=jobs,
        mp_context=context,
        initializer=_set_worker,
        initargs=(options, directory),
    ) as pool:
        yield from _in_order(pool, items, jobs * _IN_FLIGHT_PER_JOB)


def _in_order(pool: Executor, items: Iterator[_Item], most: int) -> Iterator[_Result]:
    pending: deque[Future[_Result]] = deque()
    for item in items:
        pending.append(pool.submit(_draw_one, item))
        if len(pending) >= most:
            yield pending.popleft().result()
    while pending:
        yield pending.popleft().result()
