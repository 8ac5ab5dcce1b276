"""What the commands share: streams, all-or-nothing output, atomic file
replacement, the progress bar, and loading and building pages."""

from __future__ import annotations

import argparse
import errno
import os
import re
import stat
import warnings
from collections.abc import Iterator, Sequence
from contextlib import contextmanager, suppress
from dataclasses import dataclass
from pathlib import Path
from types import TracebackType
from typing import IO, ClassVar, TextIO

from _zelko_native import SEOHead, SEOPayload, ZelkoError, build_seo_payload

from .._files import InputError, Page, Site, load_page
from ..check.findings import FAIL_ON
from ..crawl import hreflang_links
from ..head import head_of

EXIT_OK = 0
EXIT_FINDINGS = 1
EXIT_USAGE = 2
EXIT_INTERNAL = 70


@dataclass(frozen=True)
class Streams:
    out: TextIO
    err: TextIO


# --- Output ------------------------------------------------------------------


class Output:
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

    def __enter__(self) -> Output:
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
    with replacing(path) as handle:
        handle.write(data)


@contextmanager
def replacing(path: str) -> Iterator[IO[bytes]]:
    """A binary file that replaces the one at ``path`` in a single rename when
    the block ends normally; when it ends by an exception, nothing changes.

    Where the file system has them, the file is written unnamed (O_TMPFILE)
    and only gets a name at the end, so a run killed midway (SIGKILL
    included) leaves nothing behind. Elsewhere it has a short name of its
    own beside the target, ``.zelko-<pid>-<n>.tmp``, and the leftovers of
    killed runs, whose process is gone, are removed by the next one.
    """
    if "\0" in path:  # the system would cut the name there
        raise InputError(path, "", "cannot write: embedded null byte")
    target = Path(path)
    if _is_special_file(target):
        # /dev/null, a terminal or a pipe: renaming over it would replace the
        # device itself, so it is written to as it is.
        with _opened_for_writing(path) as special:
            yield special
        return
    directory = str(target.parent)
    remove_stale_temporaries(directory)
    try:
        temporary = _Temporary.create(directory)
    except OSError as error:
        raise InputError(path, "", f"cannot write: {_reason(error)}") from None
    try:
        with temporary.handle:
            # An OSError here is the writing failing (a full disk); any other
            # exception is the caller's and goes on as it is.
            yield temporary.handle
            temporary.handle.flush()
            os.fsync(temporary.handle.fileno())
            os.fchmod(temporary.handle.fileno(), _file_mode(target))
            temporary.replace(target)
    except OSError as error:
        temporary.discard()
        raise InputError(path, "", f"cannot write: {_reason(error)}") from None
    except BaseException:
        temporary.discard()
        raise


_TEMPORARY = re.compile(r"\.zelko-(\d{1,9})-\d+\.tmp")


def _temporary_name(directory: str, number: int) -> str:
    return os.path.join(directory, f".zelko-{os.getpid()}-{number}.tmp")


class _Temporary:
    """The file being written: unnamed (``name`` None) or under a name of ours."""

    def __init__(self, handle: IO[bytes], name: str | None, directory: str) -> None:
        self.handle = handle
        self.name = name
        self.directory = directory

    @classmethod
    def create(cls, directory: str) -> _Temporary:
        unnamed = getattr(os, "O_TMPFILE", 0)
        if unnamed:
            try:
                fd = os.open(directory, unnamed | os.O_WRONLY | os.O_CLOEXEC, 0o666)
            except OSError as error:
                if error.errno not in (errno.EISDIR, errno.EOPNOTSUPP, errno.EINVAL):
                    raise
            else:
                return cls(os.fdopen(fd, "wb"), None, directory)
        for number in range(1000):
            name = _temporary_name(directory, number)
            try:
                fd = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
            except FileExistsError:
                continue
            return cls(os.fdopen(fd, "wb"), name, directory)
        raise FileExistsError(errno.EEXIST, os.strerror(errno.EEXIST))

    def replace(self, target: Path) -> None:
        """Puts the file in the target's place (while it is still open)."""
        if self.name is None:
            # An unnamed file gets a name only now, for the instant before
            # the rename: linkat(AT_SYMLINK_FOLLOW) through /proc, as
            # AT_EMPTY_PATH needs a privilege. (A directory descriptor makes
            # os.link call linkat; without one it calls link(), which would
            # try to link the /proc entry itself.)
            descriptors = os.open("/proc/self/fd", os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC)
            try:
                self.name = self._link(str(self.handle.fileno()), descriptors)
            finally:
                os.close(descriptors)
        assert self.name is not None
        os.replace(self.name, target)
        self.name = None

    def _link(self, source: str, source_directory: int) -> str:
        for number in range(1000):
            name = _temporary_name(self.directory, number)
            try:
                os.link(source, name, src_dir_fd=source_directory, follow_symlinks=True)
            except FileExistsError:
                continue
            return name
        raise FileExistsError(errno.EEXIST, os.strerror(errno.EEXIST))

    def discard(self) -> None:
        if self.name is not None:
            _remove_quietly(self.name)
            self.name = None


def remove_stale_temporaries(directory: str) -> None:
    """Removes ``.zelko-<pid>-<n>.tmp`` files whose process is gone: what runs
    killed before they could clean up left behind (best effort)."""
    try:
        names = os.listdir(directory or ".")
    except OSError:
        return
    for name in names:
        match = _TEMPORARY.fullmatch(name)
        if match is not None and not _process_exists(int(match.group(1))):
            _remove_quietly(os.path.join(directory, name))


def _process_exists(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except OSError:  # another user's: alive
        return True
    return True


def _is_special_file(target: Path) -> bool:
    try:
        mode = target.stat().st_mode
    except OSError:
        return False
    return not stat.S_ISREG(mode) and not stat.S_ISDIR(mode)


@contextmanager
def _opened_for_writing(path: str) -> Iterator[IO[bytes]]:
    try:
        handle = open(path, "wb")  # noqa: SIM115 - closed below, errors named
    except OSError as error:
        raise InputError(path, "", f"cannot write: {_reason(error)}") from None
    try:
        with handle:
            yield handle
    except OSError as error:
        raise InputError(path, "", f"cannot write: {_reason(error)}") from None


def _reason(error: OSError) -> str:
    return error.strerror or str(error)


def _file_mode(target: Path) -> int:
    """The mode an ordinary new file would get, or the one the target has."""
    try:
        return target.stat().st_mode & 0o777
    except OSError:
        umask = os.umask(0)
        os.umask(umask)
        return 0o666 & ~umask


def _remove_quietly(name: str) -> None:
    with suppress(OSError):
        os.unlink(name)


# --- Progress ----------------------------------------------------------------


class Progress:
    """A one-line progress bar on a terminal; silent anywhere else."""

    _WIDTH = 30

    def __init__(self, total: int, stream: TextIO, label: str) -> None:
        self._total = total
        self._stream = stream
        self._label = label
        self._done = 0
        self._enabled = total > 1 and is_terminal(stream)
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


def is_terminal(stream: TextIO) -> bool:
    try:
        return stream.isatty()
    except (AttributeError, ValueError):
        return False


# --- Pages -------------------------------------------------------------------


def expand_pages(arguments: Sequence[str]) -> list[str]:
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


def build_payload(page: Page, site: Site, streams: Streams) -> SEOPayload:
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
        raise build_error(error, page, site) from None


def build_error(error: ValueError, page: Page, site: Site) -> InputError:
    """Blames the file and field behind an engine refusal, as far as it shows."""
    message = str(error)
    field = error.field if isinstance(error, ZelkoError) else None
    if field == "canonical_url":
        return InputError(page.source, "overrides.canonical_url", message)
    if field == "public_base_url":
        return InputError(site.source, "public_base_url", message)
    return InputError(page.source, "", message)


def page_hreflang(page: Page, site: Site) -> list[tuple[str, str]]:
    """The resolved hreflang links of a page's alternates (none without)."""
    if not page.alternates:
        return []
    try:
        return hreflang_links(site.config, dict(page.alternates))
    except ValueError as error:
        raise InputError(page.source, "alternates", str(error)) from None


def whole_head(page: Page, site: Site, payload: SEOPayload) -> SEOHead | None:
    """The whole head of a page whose site or page file gives head extras;
    None when neither does."""
    if site.head is None and page.head is None:
        return None
    try:
        return head_of(
            payload,
            site.config,
            site=site.head,
            page=page.head,
            alternates=list(page.alternates),
            entity=page.entity,
            overrides=page.overrides,
            route=page.route,
        )
    except ValueError as error:
        raise InputError(page.source, getattr(error, "field", None) or "head", str(error)) from None


def payloads(
    arguments: Sequence[str], site: Site, streams: Streams, label: str
) -> Iterator[tuple[Page, SEOPayload]]:
    """Loads and builds every page in order, with a progress bar on a terminal."""
    paths = expand_pages(arguments)
    progress = Progress(len(paths), streams.err, label)
    try:
        for path in paths:
            page = load_page(path)
            yield page, build_payload(page, site, streams)
            progress.advance()
    finally:
        progress.clear()


# --- Arguments ---------------------------------------------------------------


class _Format(argparse.Action):
    """--format, its earlier names taken as aliases ("table" for "text")."""

    ALIASES: ClassVar[dict[str, str]] = {"table": "text"}

    def __call__(
        self,
        parser: argparse.ArgumentParser,
        namespace: argparse.Namespace,
        values: object,
        option_string: str | None = None,
    ) -> None:
        setattr(namespace, self.dest, self.ALIASES.get(str(values), values))


def add_report_options(command: argparse.ArgumentParser, formats: tuple[str, ...]) -> None:
    """The options zelko validate and zelko check share, spelt alike: the
    report's format and the severity from which a finding fails the run."""
    command.add_argument(
        "--format",
        action=_Format,
        choices=formats + tuple(_Format.ALIASES),
        default="text",
        help=f"report format: {', '.join(formats)} (default: text)",
    )
    command.add_argument(
        "--fail-on",
        choices=FAIL_ON,
        default="error",
        help="exit with status 1 when a finding is at least this severe (default: error)",
    )


def add_site_command(
    commands: argparse._SubParsersAction[argparse.ArgumentParser], name: str, help_text: str
) -> argparse.ArgumentParser:
    """A command over a site file and page files, with an optional output file."""
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


def several_pages(arguments: Sequence[str]) -> bool:
    """Whether the output needs to say which page each part belongs to."""
    return len(arguments) > 1 or any(os.path.isdir(path) for path in arguments)


# Argument types for counts and durations: argparse prints the message.
def positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, got {value}")
    return value


def positive_float(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
    if not value > 0 or value == float("inf"):
        raise argparse.ArgumentTypeError(f"must be more than 0, got {text}")
    return value
