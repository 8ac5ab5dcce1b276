"""The ``zelko`` command line.

    zelko render   --config SITE PAGE...        HTML head snippets
    zelko build    --config SITE PAGE...        payload JSON (or --hash, --etag)
    zelko validate --config SITE PAGE|DIR...    the eight rules, as a table or JSON
    zelko contract CONTRACT [-o FILE]           contract JSON and its hash
    zelko url      --config SITE VALUE...       canonical URLs (or --path, --clean)

A site is a TOML or JSON configuration file, a page a JSON file holding one
entity, its route and optional overrides (see the README). Exit status: 0 on
success, 1 when ``validate`` finds problems at or above ``--fail-on``, 2 for
bad usage or bad input, which is reported on one line naming the file and the
field (70 for a fault of zelko itself, also on one line). Output files are
written whole or not at all.
"""

from __future__ import annotations

import argparse
import contextlib
import json
import os
import sys
import tempfile
import warnings
from collections.abc import Callable, Iterator, Sequence
from dataclasses import dataclass
from pathlib import Path
from types import TracebackType
from typing import TextIO

from _zelko_native import (
    ConfigurationError,
    InvalidUrlError,
    SEOIssue,
    SEOPayload,
    build_seo_contract,
    build_seo_payload,
    clean_url_fn,
    normalize_path_fn,
    normalize_public_url_fn,
    validate_payload,
)

from . import __version__
from ._files import InputError, Page, Site, load_contract_config, load_page, load_site

__all__ = ["main"]

EXIT_OK = 0
EXIT_FINDINGS = 1
EXIT_USAGE = 2
EXIT_INTERNAL = 70

_SEVERITY_RANK = {"info": 0, "warning": 1, "error": 2}


@dataclass(frozen=True)
class _Streams:
    out: TextIO
    err: TextIO


# --- Output ------------------------------------------------------------------


class _Output:
    """Holds a command's output and delivers it only when the command succeeds.

    Delivery writes the text to standard output, or, with a path, replaces
    that file atomically (see ``write_atomically``). A command that fails
    midway delivers nothing, so a half-done run never passes for a whole one.
    """

    def __init__(self, path: str | None, stdout: TextIO) -> None:
        self._path = path
        self._stdout = stdout
        self._parts: list[str] = []

    def write(self, text: str) -> None:
        self._parts.append(text)

    def __enter__(self) -> _Output:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        if kind is None:
            self._deliver()

    def _deliver(self) -> None:
        text = "".join(self._parts)
        if self._path is None:
            self._stdout.write(text)
            self._stdout.flush()
        else:
            write_atomically(self._path, text.encode("utf-8"))


def write_atomically(path: str, data: bytes) -> None:
    """Replaces the file at ``path`` with ``data`` in a single rename."""
    target = Path(path)
    try:
        # Closed by the `with handle:` below; opened apart because only a
        # failure after it exists leaves a temporary file to remove.
        handle = tempfile.NamedTemporaryFile(  # noqa: SIM115
            dir=target.parent, prefix=f".{target.name}.", suffix=".tmp", delete=False
        )
    except OSError as error:
        raise InputError(path, "", f"cannot write: {error.strerror or error}") from None
    try:
        with handle:
            handle.write(data)
            handle.flush()
            os.fsync(handle.fileno())
        os.chmod(handle.name, _file_mode(target))
        os.replace(handle.name, target)
    except OSError as error:
        _remove_quietly(handle.name)
        raise InputError(path, "", f"cannot write: {error.strerror or error}") from None
    except BaseException:
        _remove_quietly(handle.name)
        raise


def _file_mode(target: Path) -> int:
    """The mode an ordinary new file would get, or the one the target has."""
    try:
        return target.stat().st_mode & 0o777
    except OSError:
        umask = os.umask(0)
        os.umask(umask)
        return 0o666 & ~umask


def _remove_quietly(name: str) -> None:
    with contextlib.suppress(OSError):
        os.unlink(name)


# --- Progress ----------------------------------------------------------------


class _Progress:
    """A one-line progress bar on a terminal; silent anywhere else."""

    _WIDTH = 30

    def __init__(self, total: int, stream: TextIO, label: str) -> None:
        self._total = total
        self._stream = stream
        self._label = label
        self._done = 0
        self._enabled = total > 1 and _is_terminal(stream)
        # About two hundred redraws per run, however many pages it has.
        self._step = max(1, total // 200)

    def advance(self) -> None:
        self._done += 1
        if self._enabled and (self._done % self._step == 0 or self._done == self._total):
            filled = self._WIDTH * self._done // self._total
            bar = "#" * filled + "." * (self._WIDTH - filled)
            self._stream.write(f"\r{self._label} [{bar}] {self._done}/{self._total}")
            self._stream.flush()

    def clear(self) -> None:
        if self._enabled and self._done:
            self._stream.write("\r\x1b[K")
            self._stream.flush()


def _is_terminal(stream: TextIO) -> bool:
    try:
        return stream.isatty()
    except (AttributeError, ValueError):
        return False


# --- Pages -------------------------------------------------------------------


def _expand_pages(arguments: Sequence[str]) -> list[str]:
    """Turns page arguments into page files; a directory gives its ``*.json``."""
    pages: list[str] = []
    for argument in arguments:
        if os.path.isdir(argument):
            found = sorted(str(path) for path in Path(argument).rglob("*.json") if path.is_file())
            if not found:
                raise InputError(argument, "", "no page files (*.json) in this directory")
            pages.extend(found)
        else:
            pages.append(argument)
    return pages


def _build(page: Page, site: Site, streams: _Streams) -> SEOPayload:
    try:
        if not site.emit_warnings:
            return build_seo_payload(page.entity, page.route, site.config, page.overrides)
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            payload = build_seo_payload(page.entity, page.route, site.config, page.overrides)
        for warning in caught:
            streams.err.write(f"zelko: warning: {page.source}: {warning.message}\n")
        return payload
    except ValueError as error:
        raise _build_error(error, page, site) from None


def _build_error(error: ValueError, page: Page, site: Site) -> InputError:
    """Blames the file and field behind an engine refusal, as far as it shows."""
    message = str(error)
    if isinstance(error, InvalidUrlError) and message.startswith("canonical_url override"):
        return InputError(page.source, "overrides.canonical_url", message)
    if isinstance(error, ConfigurationError) and message.startswith("invalid public_base_url"):
        return InputError(site.source, "public_base_url", message)
    return InputError(page.source, "", message)


def _payloads(
    arguments: Sequence[str], site: Site, streams: _Streams, label: str
) -> Iterator[tuple[Page, SEOPayload]]:
    """Loads and builds every page in order, with a progress bar on a terminal."""
    paths = _expand_pages(arguments)
    progress = _Progress(len(paths), streams.err, label)
    try:
        for path in paths:
            page = load_page(path)
            yield page, _build(page, site, streams)
            progress.advance()
    finally:
        progress.clear()


# --- Commands ----------------------------------------------------------------


def _render(args: argparse.Namespace, streams: _Streams) -> int:
    site = load_site(args.config)
    several = len(args.pages) > 1 or any(os.path.isdir(p) for p in args.pages)
    with _Output(args.output, streams.out) as output:
        for page, payload in _payloads(args.pages, site, streams, "rendering"):
            if several:
                output.write(f"<!-- {page.source} -->\n")
            output.write(payload.render_html())
    return EXIT_OK


def _build_command(args: argparse.Namespace, streams: _Streams) -> int:
    site = load_site(args.config)
    several = len(args.pages) > 1 or any(os.path.isdir(p) for p in args.pages)
    digest: Callable[[SEOPayload], str] | None = None
    if args.hash:
        digest = SEOPayload.hash
    elif args.etag:
        digest = SEOPayload.etag
    with _Output(args.output, streams.out) as output:
        for page, payload in _payloads(args.pages, site, streams, "building"):
            if digest is None:
                output.write(payload.to_json() + "\n")
            elif several:
                output.write(f"{digest(payload)}  {page.source}\n")
            else:
                output.write(digest(payload) + "\n")
    return EXIT_OK


@dataclass(frozen=True)
class _Finding:
    page: str
    issue: SEOIssue


def _validate(args: argparse.Namespace, streams: _Streams) -> int:
    site = load_site(args.config)
    findings: list[_Finding] = []
    pages = 0
    for page, payload in _payloads(args.pages, site, streams, "validating"):
        pages += 1
        findings.extend(_Finding(page.source, issue) for issue in validate_payload(payload))
    with _Output(args.output, streams.out) as output:
        if args.format == "json":
            output.write(_findings_json(findings, pages))
        else:
            output.write(_findings_table(findings, pages))
    threshold = _SEVERITY_RANK.get(args.fail_on)
    failing = threshold is not None and any(
        _SEVERITY_RANK.get(finding.issue.severity, 2) >= threshold for finding in findings
    )
    return EXIT_FINDINGS if failing else EXIT_OK


def _findings_table(findings: Sequence[_Finding], pages: int) -> str:
    rows = [("RULE", "SEVERITY", "PAGE", "MESSAGE")]
    rows += [(f.issue.rule_id, f.issue.severity, f.page, f.issue.message) for f in findings]
    lines = []
    if findings:
        widths = [max(len(row[column]) for row in rows) for column in range(3)]
        for row in rows:
            # Three padded columns; the message (the fourth) is not padded.
            cells = [cell.ljust(width) for cell, width in zip(row, widths, strict=False)]
            lines.append("  ".join([*cells, row[3]]))
    lines.append(_summary(findings, pages))
    return "\n".join(lines) + "\n"


def _summary(findings: Sequence[_Finding], pages: int) -> str:
    page_word = _plural(pages, "page")
    if not findings:
        return f"No findings in {page_word}."
    affected = len({finding.page for finding in findings})
    return f"{_plural(len(findings), 'finding')} in {affected} of {page_word}."


def _plural(count: int, noun: str) -> str:
    return f"{count} {noun}" if count == 1 else f"{count} {noun}s"


def _findings_json(findings: Sequence[_Finding], pages: int) -> str:
    document = {
        "pages": pages,
        "findings": [
            {
                "page": finding.page,
                "rule_id": finding.issue.rule_id,
                "severity": finding.issue.severity,
                "message": finding.issue.message,
                "url": finding.issue.url,
                "details": finding.issue.details,
            }
            for finding in findings
        ],
    }
    return json.dumps(document, indent=2, ensure_ascii=False) + "\n"


def _contract(args: argparse.Namespace, streams: _Streams) -> int:
    contract = build_seo_contract(load_contract_config(args.contract))
    text = contract.to_json()
    # The file holds exactly the hashed text, so its SHA-256 is the hash shown.
    if args.output is not None:
        write_atomically(args.output, text.encode("utf-8"))
    streams.out.write((text if args.json else contract.hash()) + "\n")
    return EXIT_OK


def _url(args: argparse.Namespace, streams: _Streams) -> int:
    as_json: bool = args.format == "json"
    with _Output(None, streams.out) as output:
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


# --- Arguments ---------------------------------------------------------------


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="zelko",
        description="Deterministic SEO metadata: render, build, validate, contracts, URLs.",
    )
    parser.add_argument("--version", action="version", version=f"zelko {__version__}")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    def site_command(name: str, help_text: str) -> argparse.ArgumentParser:
        command = commands.add_parser(name, help=help_text, description=help_text)
        command.add_argument(
            "-c",
            "--config",
            required=True,
            metavar="SITE",
            help="site configuration file (.toml or .json)",
        )
        command.add_argument(
            "pages",
            nargs="+",
            metavar="PAGE",
            help="page file (.json), or a directory searched for *.json",
        )
        command.add_argument(
            "-o",
            "--output",
            metavar="FILE",
            help="write to FILE instead of standard output (only if the run succeeds)",
        )
        return command

    render = site_command("render", "Print the HTML head snippet of each page.")
    render.set_defaults(run=_render)

    build = site_command("build", "Print the payload JSON of each page.")
    digest = build.add_mutually_exclusive_group()
    digest.add_argument("--hash", action="store_true", help="print the payload hash instead")
    digest.add_argument("--etag", action="store_true", help="print the quoted ETag instead")
    build.set_defaults(run=_build_command)

    validate = site_command("validate", "Check pages against the eight built-in rules.")
    validate.add_argument(
        "--fail-on",
        choices=("info", "warning", "error", "never"),
        default="warning",
        help="exit with status 1 when a finding is at least this severe (default: warning)",
    )
    validate.add_argument(
        "--format",
        choices=("table", "json"),
        default="table",
        help="report as a readable table (default) or as JSON",
    )
    validate.set_defaults(run=_validate)

    contract = commands.add_parser(
        "contract",
        help="Build an SEO contract and print its hash.",
        description="Build an SEO contract from a contract file and print its hash.",
    )
    contract.add_argument("contract", metavar="CONTRACT", help="contract file (.toml or .json)")
    contract.add_argument("-o", "--output", metavar="FILE", help="write the contract JSON to FILE")
    contract.add_argument(
        "--json", action="store_true", help="print the contract JSON instead of its hash"
    )
    contract.set_defaults(run=_contract)

    url = commands.add_parser(
        "url",
        help="Resolve paths and URLs under the site, or clean tracking parameters.",
        description=(
            "Resolve each value to the site's canonical absolute URL, normalize it "
            "as a route path (--path), or strip tracking parameters from it (--clean)."
        ),
    )
    url.add_argument("values", nargs="+", metavar="VALUE", help="a path or a URL")
    url.add_argument("-c", "--config", metavar="SITE", help="site configuration file")
    mode = url.add_mutually_exclusive_group()
    mode.add_argument(
        "--path", action="store_true", help="normalize as a route path under the URL policy"
    )
    mode.add_argument(
        "--clean", action="store_true", help="remove tracking parameters (needs no --config)"
    )
    url.add_argument(
        "--format",
        choices=("text", "json"),
        default="text",
        help="one result per line as text (default) or JSON",
    )
    url.set_defaults(run=_url)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line with ``argv`` (default: ``sys.argv[1:]``)."""
    streams = _Streams(sys.stdout, sys.stderr)
    parser = _parser()
    try:
        args = parser.parse_args(argv)
        if args.command == "url" and not args.clean and args.config is None:
            parser.error("url: --config is required unless --clean is given")
    except SystemExit as exit_request:
        code = exit_request.code
        return code if isinstance(code, int) else EXIT_USAGE
    run: Callable[[argparse.Namespace, _Streams], int] = args.run
    try:
        return run(args, streams)
    except InputError as error:
        streams.err.write(f"zelko: {error}\n")
        return EXIT_USAGE
    except KeyboardInterrupt:
        streams.err.write("zelko: interrupted\n")
        return 130
    except BrokenPipeError:
        # The reader went away (``zelko build ... | head``); not an error of ours.
        _silence_stdout()
        return EXIT_OK
    except Exception as error:  # noqa: BLE001 - the one-line promise holds for faults too
        streams.err.write(f"zelko: internal error: {type(error).__name__}: {error}\n")
        return EXIT_INTERNAL


def _silence_stdout() -> None:
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
    except (OSError, ValueError, AttributeError):
        pass
