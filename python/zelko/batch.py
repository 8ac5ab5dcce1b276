"""Batch builds: many pages, one output record each, in input order.

A page is a mapping in the page-file schema (``route``, ``entity`` and
optional ``overrides``), or JSON text of one. Its record holds the payload's
value form, its head snippet, its ETag and its findings::

    {"line": 1, "route": "/blog/x", "payload": {...}, "head": "<title>...",
     "etag": "\\"...\\"", "findings": [...]}

with ``"hreflang"`` (its ``<link rel="alternate">`` lines) last when the page
lists ``alternates``. With a site head, or a page's own ``"head"``, the
record's ``"head"`` is the page's whole head (``SEOHead.render_html()``),
with its ETag as ``"head_etag"`` after the payload's ``"etag"``. A
page that cannot be built gets ``{"line": N, "error": {"field": ...,
"message": ...}}`` and the other pages are built all the same.

Two paths build them. Without hooks or a schema registry on the configuration,
the engine reads, builds and writes each page with the interpreter lock
released, so ``jobs`` threads build side by side; a page the engine's reader
does not take on its own goes through the package's page loader, which builds
it or names what is wrong. With hooks or a registry, which are Python code,
every page takes the package's path, in ``jobs`` worker processes: forked
while this process runs no other thread, so that hooks and registries need
not be picklable; otherwise from a fork server (or started fresh), with the
configuration pickled once per worker (and built in this process when its
hooks cannot be pickled). Workers end with the process that started them,
and a run whose workers all stop answering ends with WorkersStalled.
"""

from __future__ import annotations

import ctypes
import json
import multiprocessing
import os
import pickle
import select
import signal
import sys
import threading
import time
import warnings
from collections import deque
from collections.abc import Callable, Iterable, Iterator, Mapping
from concurrent.futures import (
    FIRST_COMPLETED,
    Executor,
    Future,
    ProcessPoolExecutor,
    ThreadPoolExecutor,
    wait,
)
from contextlib import suppress
from dataclasses import dataclass
from typing import Any, TypeAlias

from _zelko_native import (
    PageHead,
    SEOConfig,
    SEOEntity,
    SEOOverrides,
    SiteHead,
    _build_records,
    _page_record,
    build_seo_payload,
)

from ._files import InputError, _page, _parse_json
from .crawl import hreflang_links, render_hreflang
from .head import head_of

__all__ = [
    "BatchPath",
    "WorkersStalled",
    "build_many",
    "build_records",
    "default_jobs",
    "is_error_record",
    "path_for",
]

#: A page: a mapping in the page-file schema, its JSON text (str or bytes), or
#: an ``(entity, route, overrides)`` tuple of built objects.
Page: TypeAlias = "Mapping[str, Any] | str | bytes | tuple[SEOEntity, str, SEOOverrides | None]"

# Lines handed to the engine at a time, and chunks in flight per job: enough
# to keep every job busy, few enough that memory does not grow with the input.
_CHUNK = 256
_CHUNKS_PER_JOB = 4
# Lines are counted in bytes too: a chunk ends once it holds _CHUNK_BYTES,
# and no chunk is handed out while _BYTES_IN_FLIGHT are out (one chunk always
# may be), so the pages in memory stay within the budget plus the largest
# line, however long the lines are.
_CHUNK_BYTES = 4 * 1024 * 1024
_BYTES_IN_FLIGHT = 64 * 1024 * 1024
# What a page that is not text is counted as: built objects and mappings are
# small next to the lines that make the budget matter.
_OBJECT_BYTES = 1024


@dataclass(frozen=True)
class BatchPath:
    """Which path a run takes, for the user to see."""

    native: bool
    jobs: int

    def __str__(self) -> str:
        if self.native:
            return f"engine path, {self.jobs} thread{'s' if self.jobs != 1 else ''}"
        workers = f"{self.jobs} worker process{'es' if self.jobs != 1 else ''}"
        return f"Python path (hooks or schema registry), {workers}"


def path_for(config: SEOConfig, jobs: int) -> BatchPath:
    """The path a batch with ``config`` takes."""
    if jobs < 1:
        raise ValueError(f"jobs must be at least 1, got {jobs}")
    native = config.hooks is None and config.schema_registry is None
    return BatchPath(native, jobs)


def build_records(
    pages: Iterable[Page],
    config: SEOConfig,
    *,
    jobs: int = 1,
    first_line: int = 1,
    site: SiteHead | None = None,
) -> Iterator[str]:
    """Yields the record of each page as compact JSON text, in input order;
    the first page's record has the line number ``first_line``. With a site
    head (``site``) or a page's own (its ``"head"``), the record's ``head``
    is the page's whole head.

    Streams: at most a few chunks of pages per job are in flight, whatever
    the input's length.
    """
    path = path_for(config, jobs)
    numbered = enumerate(pages, start=first_line)
    if path.native:
        yield from _native_records(numbered, config, jobs, site)
    else:
        yield from _python_records(numbered, config, jobs, site)


def build_many(
    pages: Iterable[Page], config: SEOConfig, *, jobs: int = 1, site: SiteHead | None = None
) -> Iterator[dict[str, Any]]:
    """Yields the record of each page as a dict, in input order (see the module)."""
    for record in build_records(pages, config, jobs=jobs, site=site):
        yield json.loads(record)


# --- One page, the package's way ---------------------------------------------


def page_record(page: Page, line: int, config: SEOConfig, site: SiteHead | None = None) -> str:
    """The record of one page, built through the package's loader and stages."""
    try:
        route, entity, overrides, alternates, extras = _read(page, line)
        with warnings.catch_warnings():
            # Findings are part of the record; they need not be warnings too.
            warnings.simplefilter("ignore")
            payload = build_seo_payload(entity, route, config, overrides)
    except InputError as error:
        return _error_record(line, error.field, error.message)
    except ValueError as error:
        return _error_record(line, getattr(error, "field", None) or "", str(error))
    try:
        links = hreflang_links(config, dict(alternates)) if alternates else []
    except ValueError as error:
        return _error_record(line, "alternates", str(error))
    whole_head = None
    if extras is not None or site is not None:
        # Rendering resolves the extras' URLs, which may fail: the line's error.
        try:
            head = head_of(
                payload,
                config,
                site=site,
                page=extras,
                alternates=list(alternates),
                entity=entity,
                overrides=overrides,
                route=route,
            )
            whole_head = head.render_html()
        except ValueError as error:
            return _error_record(line, "head", str(error))
    record: str = _page_record(line, route, payload, whole_head)
    if links:
        # The record is one JSON object: the hreflang links join it as a member.
        hreflang = json.dumps(render_hreflang(links), ensure_ascii=False)
        return f'{record[:-1]},"hreflang":{hreflang}}}'
    return record


_Read: TypeAlias = (
    "tuple[str, SEOEntity, SEOOverrides | None, tuple[tuple[str, str], ...], PageHead | None]"
)


def _read(page: Page, line: int) -> _Read:
    if isinstance(page, tuple):
        entity, route, overrides = page
        return route, entity, overrides, (), None
    source = f"line {line}"
    document: object = page
    if isinstance(page, bytes):
        try:
            page = page.decode("utf-8")
        except UnicodeDecodeError as error:
            raise InputError(source, "", f"not UTF-8 text: {error.reason}") from None
    if isinstance(page, str):
        document = _parse_json(page, source)
    built: _Read = _page().build(document, source, "")
    return built


def is_error_record(record: str) -> bool:
    """Whether a record (as build_records yields it) is the error of its page."""
    return record.startswith('{"line":') and record[8:].lstrip("0123456789").startswith(',"error":')


def _error_record(line: int, field: str, message: str) -> str:
    record = {"line": line, "error": {"field": field, "message": message}}
    return json.dumps(record, ensure_ascii=False, separators=(",", ":"))


# --- The engine path ---------------------------------------------------------


def _native_records(
    numbered: Iterable[tuple[int, Page]], config: SEOConfig, jobs: int, site: SiteHead | None
) -> Iterator[str]:
    chunks = _chunks(numbered)
    if jobs == 1:
        for chunk, _ in chunks:
            yield from _native_chunk(chunk, (config, site))
        return
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        yield from _in_order(pool, chunks, _native_chunk, (config, site), jobs)


def _native_chunk(
    chunk: list[tuple[int, Page]], settings: tuple[SEOConfig, SiteHead | None]
) -> list[str]:
    """Records of consecutive pages; the engine takes the text ones it can."""
    config, site = settings
    first = chunk[0][0]
    texts = [_as_text(page) for _, page in chunk]
    built: list[str | None] = _build_records(config, texts, first, site)
    return [
        record if record is not None else page_record(page, line, config, site)
        for (line, page), record in zip(chunk, built, strict=True)
    ]


def _as_text(page: Page) -> str | bytes:
    """The JSON text of a page for the engine; b"" (which it never takes) for
    what only the package reads: built objects, and mappings holding values
    JSON does not have, such as dates."""
    if isinstance(page, (str, bytes)):
        return page
    if isinstance(page, Mapping):
        try:
            return json.dumps(page, ensure_ascii=False, allow_nan=False)
        except (TypeError, ValueError):
            return b""
    return b""


# --- The Python path ---------------------------------------------------------

_worker_config: SEOConfig | None = None
_worker_site: SiteHead | None = None


def _python_records(
    numbered: Iterable[tuple[int, Page]], config: SEOConfig, jobs: int, site: SiteHead | None
) -> Iterator[str]:
    context = _worker_context(config) if jobs > 1 else None
    if context is None:
        for line, page in numbered:
            yield page_record(page, line, config, site)
        return
    # Each worker receives the configuration once, when it starts: forked
    # workers inherit it (hooks and registry included, picklable or not),
    # others unpickle it. Pages, built objects included, travel with their
    # chunk; records come back as text.
    pool = ProcessPoolExecutor(
        max_workers=jobs,
        mp_context=context,
        initializer=_start_worker,
        initargs=(config, os.getpid(), site),
    )
    try:
        yield from _in_order(
            pool, _chunks(numbered), _python_chunk, None, jobs, stall=_WORKER_STALL_SECONDS
        )
    except BaseException:
        _stop_workers(pool)
        raise
    pool.shutdown()


# How long the workers may all stay silent (no chunk finished) before the
# run gives up on them: far more than any chunk of hooks should take, and a
# bound on a worker stuck for good (a lock inherited in a held state).
_WORKER_STALL_SECONDS = 600.0


class WorkersStalled(RuntimeError):
    """No worker process finished a chunk of pages in the time allowed."""


def _stop_workers(pool: ProcessPoolExecutor) -> None:
    """Ends the workers at once: a stuck one would never take the shutdown."""
    processes = dict(getattr(pool, "_processes", None) or {})
    for process in processes.values():
        with suppress(OSError, ValueError, AttributeError):
            process.kill()
    pool.shutdown(wait=True, cancel_futures=True)


def _worker_context(config: SEOConfig) -> multiprocessing.context.BaseContext | None:
    """Where worker processes come from: forked while this process runs no
    other thread, so that hooks and registries need not be picklable. A
    fork copies only the thread that calls it, with every lock as it was:
    one that another thread held (the allocator's, the import lock) would
    stay held in the worker for good. With other threads running, or where
    there is no fork, workers come from a fork server or a fresh interpreter,
    provided the configuration can be pickled (None: build in this process)."""
    methods = multiprocessing.get_all_start_methods()
    if "fork" in methods and not _other_threads_run():
        return multiprocessing.get_context("fork")
    try:
        pickle.dumps(config)
    except (pickle.PicklingError, TypeError, AttributeError):
        return None
    return multiprocessing.get_context("forkserver" if "forkserver" in methods else "spawn")


def _other_threads_run() -> bool:
    """Whether any thread but this one runs, the interpreter's own or not."""
    try:
        return len(os.listdir("/proc/self/task")) > 1
    except OSError:
        return threading.active_count() > 1


def _start_worker(config: SEOConfig, owner: int, site: SiteHead | None = None) -> None:
    _end_with(owner)
    global _worker_config, _worker_site
    _worker_config = config
    _worker_site = site


def _end_with(owner: int) -> None:
    """Makes this worker end when ``owner``, the process running the batch,
    does, even by SIGKILL: the pool's own shutdown never reaches an orphan.
    A forked or spawned worker is the owner's child; one from a fork server
    is the server's, and the server lives as long as its children do."""
    if os.getppid() == owner and sys.platform.startswith("linux"):
        with suppress(OSError, AttributeError):
            libc = ctypes.CDLL(None, use_errno=True)
            pr_set_pdeathsig = 1
            if libc.prctl(pr_set_pdeathsig, signal.SIGKILL, 0, 0, 0) == 0:
                if os.getppid() != owner:  # the owner died before the call
                    os._exit(1)
                return
    try:
        handle: int | None = os.pidfd_open(owner)
    except ProcessLookupError:
        os._exit(1)
    except (AttributeError, OSError):
        handle = None
    threading.Thread(target=_watch_owner, args=(owner, handle), daemon=True).start()


def _watch_owner(owner: int, handle: int | None) -> None:
    if handle is not None:
        select.select([handle], [], [])  # readable once the owner has ended
        os._exit(1)
    while True:
        try:
            os.kill(owner, 0)
        except ProcessLookupError:
            os._exit(1)
        except PermissionError:
            pass
        time.sleep(1.0)


def _python_chunk(chunk: list[tuple[int, Page]], config: SEOConfig | None) -> list[str]:
    config = config if config is not None else _worker_config
    assert config is not None
    return [page_record(page, line, config, _worker_site) for line, page in chunk]


# --- Shared ------------------------------------------------------------------


_Chunk: TypeAlias = "list[tuple[int, Page]]"


def _chunks(numbered: Iterable[tuple[int, Page]]) -> Iterator[tuple[_Chunk, int]]:
    """Consecutive pages, with their size in bytes, by count and by size."""
    chunk: _Chunk = []
    size = 0
    for item in numbered:
        chunk.append(item)
        size += _page_bytes(item[1])
        if len(chunk) == _CHUNK or size >= _CHUNK_BYTES:
            yield chunk, size
            chunk, size = [], 0
    if chunk:
        yield chunk, size


def _page_bytes(page: Page) -> int:
    return len(page) if isinstance(page, (str, bytes)) else _OBJECT_BYTES


def _in_order(
    pool: Executor,
    chunks: Iterator[tuple[_Chunk, int]],
    work: Callable[[_Chunk, Any], list[str]],
    argument: Any,
    jobs: int,
    stall: float | None = None,
) -> Iterator[str]:
    """Runs ``work`` on each chunk in ``pool``, yielding in input order with a
    bounded number of chunks, and of bytes, in flight. With ``stall``, the
    run ends with WorkersStalled when no chunk finishes for that long."""
    pending: deque[tuple[Future[list[str]], int, int]] = deque()
    in_flight = 0

    def oldest() -> list[str]:
        nonlocal in_flight
        future, size, first = pending.popleft()
        in_flight -= size
        while stall is not None and not future.done():
            running = [item for item in (future, *(item[0] for item in pending)) if not item.done()]
            done, _ = wait(running, stall, FIRST_COMPLETED)
            if not done:
                raise WorkersStalled(
                    f"no worker process answered for {stall:g} s (lines from {first} on)"
                )
        return future.result()

    for chunk, size in chunks:
        while pending and (
            len(pending) >= jobs * _CHUNKS_PER_JOB or in_flight + size > _BYTES_IN_FLIGHT
        ):
            yield from oldest()
        pending.append((pool.submit(work, chunk, argument), size, chunk[0][0]))
        in_flight += size
    while pending:
        yield from oldest()


def default_jobs() -> int:
    """One job per core this process may use."""
    try:
        return max(1, len(os.sched_getaffinity(0)))
    except AttributeError:  # not on Linux
        return max(1, os.cpu_count() or 1)
