"""Batch builds: the engine's page reader agrees with the package's loader, and
zelko batch / build_many keep input order, report bad lines and stream."""

from __future__ import annotations

import contextlib
import json
import os
import signal
import subprocess
import sys
import threading
import time
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import psutil
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _zelko_native as native
import zelko
from zelko import _files, batch
from zelko.batch import build_many, build_records, page_record
from zelko.cli import main

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "site"
SITE = _files.load_site(EXAMPLE / "zelko.toml")
POST = json.loads((EXAMPLE / "pages" / "post.json").read_text())


def page(route: str = "/blog/x", **entity: Any) -> dict[str, Any]:
    return {"route": route, "entity": {"entity_type": "post", "title": "T", **entity}}


def native_record(text: str | bytes) -> str | None:
    record: str | None = native._build_records(SITE.config, [text], 7)[0]
    return record


# --- The engine's reader against the package's loader ------------------------

# Each text is either taken by the engine, and then its record must be exactly
# the loader's, or left to the loader.
READER_CASES = {
    "example post": json.dumps(POST),
    "all entity fields": json.dumps(
        page(
            slug="s",
            excerpt="e",
            body_html="<p>b</p>",
            status="published",
            featured_image={"url": "/i.png", "width": 1, "height": 2**32 - 1, "alt": "a"},
            published_at="2024-01-01",
            updated_at="2024-01-02",
            author_name="A",
            breadcrumbs=[{"name": "Home", "url": "/"}],
            sku="k",
            price="9.50",
            price_currency="EUR",
            availability="InStock",
            same_as=["https://x.example"],
            address="Street 1",
            faq_items=[{"question": "q", "answer": "a"}],
        )
    ),
    "overrides": json.dumps(
        {
            **page(),
            "overrides": {
                "meta_title": "M",
                "robots": {"index": False, "max_snippet": -1, "max_video_preview": 2**31 - 1},
                "og_image": {"url": "https://i.example/o.png"},
                "schema_jsonld": [{"@type": "Thing", "n": [1, -2, 2.5, 1e300, None, True]}],
                "omit_schema": False,
                "skip_title_template": True,
            },
        }
    ),
    "nulls count as absent": json.dumps({**page(title=None), "overrides": {"robots": None}}),
    "unknown key": json.dumps({**page(), "extra": 1}),
    "duplicate key": '{"route": "/a", "route": "/b", "entity": {"entity_type": "page"}}',
    "width out of range": json.dumps(page(featured_image={"url": "/i", "width": 2**32})),
    "negative width": json.dumps(page(featured_image={"url": "/i", "width": -1})),
    "float width": json.dumps(page(featured_image={"url": "/i", "width": 1.0})),
    "max_snippet out of range": json.dumps(
        {**page(), "overrides": {"robots": {"max_snippet": 2**31}}}
    ),
    "flag as number": json.dumps({**page(), "overrides": {"omit_schema": 1}}),
    "unknown entity type": json.dumps({"route": "/", "entity": {"entity_type": "Post"}}),
    "missing entity": json.dumps({"route": "/"}),
    "blank route": json.dumps({"route": " \t", "entity": {"entity_type": "page"}}),
    "unicode-blank route": json.dumps({"route": "\u2003\x1c", "entity": {"entity_type": "page"}}),
    "route with unicode": json.dumps({"route": "/caf\u00e9 ", "entity": {"entity_type": "page"}}),
    "infinite number": json.dumps(page())[:-1] + ', "overrides": {"schema_jsonld": 1e999}}',
    "negative zero": json.dumps(page())[:-1] + ', "overrides": {"schema_jsonld": [-0]}}',
    "lone surrogate": '{"route": "/\\ud800", "entity": {"entity_type": "page"}}',
    "invalid UTF-8": b'{"route": "/\xff", "entity": {"entity_type": "page"}}',
    "not JSON": "{",
    "empty line": "",
    "bad canonical override": json.dumps({**page(), "overrides": {"canonical_url": "notaurl"}}),
}


@pytest.mark.parametrize("text", READER_CASES.values(), ids=READER_CASES.keys())
def test_engine_reader_agrees_with_the_loader(text: str | bytes) -> None:
    expected = page_record(text, 7, SITE.config)
    taken = native_record(text)
    assert taken is None or taken == expected


def test_engine_reader_takes_ordinary_pages() -> None:
    for name in ("example post", "all entity fields", "overrides", "nulls count as absent"):
        assert native_record(READER_CASES[name]) is not None, name


optional_text = st.none() | st.text(max_size=8)
entity_documents = st.fixed_dictionaries(
    {"entity_type": st.sampled_from(["post", "page", "product", "faq", "nope"])},
    optional={
        "title": optional_text,
        "excerpt": optional_text,
        "price": optional_text | st.integers(),
        "featured_image": st.none()
        | st.fixed_dictionaries(
            {"url": st.text(max_size=8)},
            optional={"width": st.none() | st.integers(-1, 2**32)},
        ),
        "breadcrumbs": st.lists(
            st.fixed_dictionaries({"name": st.text(max_size=4), "url": st.text(max_size=6)}),
            max_size=2,
        ),
    },
)


@settings(max_examples=200, deadline=None)
@given(route=st.text(max_size=10), entity=entity_documents)
def test_engine_reader_agrees_with_the_loader_on_generated_pages(
    route: str, entity: dict[str, Any]
) -> None:
    text = json.dumps({"route": route, "entity": entity})
    taken = native_record(text)
    assert taken is None or taken == page_record(text, 7, SITE.config)


# --- build_many and build_records --------------------------------------------


def test_every_kind_of_page_gives_the_same_record() -> None:
    entity = native.SEOEntity("post", title="T")
    mapping = page()
    as_text = json.dumps(mapping)
    records = list(
        build_records([mapping, as_text, as_text.encode(), (entity, "/blog/x", None)], SITE.config)
    )
    bodies = [record.split(",", 1)[1] for record in records]  # without "line"
    assert len(set(bodies)) == 1
    assert [json.loads(record)["line"] for record in records] == [1, 2, 3, 4]


def test_alternates_join_the_record_as_hreflang_links_and_bad_ones_are_reported() -> None:
    alternates = {"de": "/de/x", "x-default": "/x"}
    good, bad = build_many(
        [{**page(), "alternates": alternates}, {**page(), "alternates": {"e_n": "/x"}}],
        SITE.config,
    )
    links = zelko.hreflang_links(SITE.config, alternates)
    assert good["hreflang"] == zelko.render_hreflang(links)
    assert bad["error"]["field"] == "alternates" and "e_n" in bad["error"]["message"]


def test_hooks_take_the_python_path_in_worker_processes() -> None:
    hooks = zelko.HookRegistry()
    hooks.register("post_process", _shout)
    config = native.SEOConfig(
        SITE.config.to_dict()["canonical_host"], "https://www.kestrel-coffee.example", hooks=hooks
    )
    # Built objects cannot travel to a worker: their chunk is built in place.
    built = (native.SEOEntity("post", title="T"), "/p/built", None)
    pages: list[Any] = [page(f"/p/{index}") for index in range(600)]
    pages.insert(300, built)
    serial = list(build_many(pages, config, jobs=1))
    assert list(build_many(pages, config, jobs=2)) == serial
    assert all(record["payload"]["title"] == "T!" for record in serial)
    # A key a hook adds takes its sorted place in the value form.
    assert list(serial[0]["payload"]) == sorted(serial[0]["payload"])
    assert serial[0]["payload"]["note"] == "added by a hook"
    assert [record["line"] for record in serial] == list(range(1, 602))


@pytest.mark.parametrize("jobs", [2, 3])
def test_pages_in_flight_are_bounded_in_bytes_as_well_as_in_lines(
    jobs: int, monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.setattr(batch, "_CHUNK_BYTES", 200_000)
    monkeypatch.setattr(batch, "_BYTES_IN_FLIGHT", 1_000_000)
    line = json.dumps(page(excerpt="x" * 100_000))  # about 100 KB a line
    pulled = 0

    def lines() -> Iterator[str]:
        nonlocal pulled
        for _ in range(200):
            pulled += 1
            yield line

    records = build_records(lines(), SITE.config, jobs=jobs)
    next(records)
    # The budget's lines, the chunk being gathered and one line of slack:
    # without a byte budget, 4 chunks of 256 lines per job would be read.
    assert pulled <= 1_000_000 // len(line) + 200_000 // len(line) + 2
    assert sum(1 for _ in records) == 199


def _shout(payload: dict[str, Any], entity: object, config: object) -> dict[str, Any]:
    payload["title"] += "!"
    payload["note"] = "added by a hook"
    return payload


# --- zelko batch --------------------------------------------------------------


def write_lines(path: Path, count: int) -> list[str]:
    lines = []
    for index in range(count):
        document = json.loads(json.dumps(POST))
        document["route"] = f"/blog/post-{index}"
        lines.append(json.dumps(document))
    lines[count // 2] = '{"route": "/x", "entity": {"entity_type": "nope"}}'
    lines[-1] = "not json"
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")
    return lines


def test_batch_keeps_input_order_and_goes_on_after_bad_lines(tmp_path: Path) -> None:
    source = tmp_path / "pages.jsonl"
    lines = write_lines(source, 1500)
    outputs = {}
    for jobs in (1, 2):
        target = tmp_path / f"out-{jobs}.jsonl"
        argv = ["batch", "-c", str(EXAMPLE / "zelko.toml"), str(source), "-j", str(jobs)]
        assert main([*argv, "-o", str(target)]) == 1
        outputs[jobs] = target.read_bytes()
    assert outputs[1] == outputs[2]
    records = [json.loads(line) for line in outputs[1].splitlines()]
    assert [record["line"] for record in records] == list(range(1, len(lines) + 1))
    bad = {record["line"]: record["error"] for record in records if "error" in record}
    assert bad == {
        751: {
            "field": "entity.entity_type",
            "message": bad[751]["message"],
        },
        1500: {"field": "", "message": bad[1500]["message"]},
    }
    assert bad[1500]["message"].startswith("invalid JSON")
    first = records[0]
    route, entity, *_ = _files._page().build(json.loads(lines[0]), "x", "")
    payload = native.build_seo_payload(entity, route, SITE.config)
    assert (first["route"], first["head"], first["etag"]) == (
        "/blog/post-0",
        payload.render_html(),
        payload.etag(),
    )
    assert first["payload"] == payload.to_dict()
    # The value form: keys sorted at every level, as to_dict has them.
    for table in (first["payload"], first["payload"]["og"], first["payload"]["twitter"]):
        assert list(table) == sorted(table)


def test_batch_reads_standard_input_and_exits_0_when_every_line_built(tmp_path: Path) -> None:
    text = "\n".join(json.dumps(page(f"/p/{index}")) for index in range(3)) + "\n"
    result = subprocess.run(
        [sys.executable, "-m", "zelko", "batch", "-c", str(EXAMPLE / "zelko.toml"), "-"],
        input=text.encode(),
        capture_output=True,
        check=False,
    )
    assert result.returncode == 0, result.stderr
    assert [json.loads(line)["route"] for line in result.stdout.splitlines()] == [
        "/p/0",
        "/p/1",
        "/p/2",
    ]
    assert result.stderr.decode().startswith("zelko: batch: 3 built, 0 bad (engine path")


@pytest.mark.parametrize(
    "argv, message",
    [
        (["-c", "missing.toml", "IN"], "missing.toml: cannot read"),
        (["-c", str(EXAMPLE / "zelko.toml"), "missing.jsonl"], "missing.jsonl: cannot read"),
    ],
)
def test_batch_that_cannot_start_exits_2_and_writes_nothing(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], argv: list[str], message: str
) -> None:
    source = tmp_path / "in.jsonl"
    write_lines(source, 3)
    target = tmp_path / "out.jsonl"
    argv = [str(source) if arg == "IN" else arg for arg in argv]
    assert main(["batch", *argv, "-o", str(target)]) == 2
    assert message in capsys.readouterr().err
    assert not target.exists()


# --- Worker processes ----------------------------------------------------------

WORKER_SCRIPT = """
import sys, threading, time
import zelko
from zelko.batch import build_many

def slow(payload, entity, config):
    time.sleep(0.002)
    return payload

if __name__ == "__main__":
    if sys.argv[1] == "threaded":  # another thread: workers come from a fork server
        threading.Thread(target=time.sleep, args=(120,), daemon=True).start()
    hooks = zelko.HookRegistry()
    hooks.register("post_process", slow)
    config = zelko.SEOConfig("www.example.com", "https://www.example.com", hooks=hooks)
    pages = ({"route": f"/p/{i}", "entity": {"entity_type": "page"}} for i in range(20000))
    for record in build_many(pages, config, jobs=2):
        print(record["line"], flush=True)
"""


@pytest.mark.parametrize("threads", ["single", "threaded"])
@pytest.mark.parametrize("signal_number", [signal.SIGKILL, signal.SIGTERM])
def test_workers_end_when_the_process_that_started_them_is_killed(
    tmp_path: Path, threads: str, signal_number: int
) -> None:
    script = tmp_path / "run_batch.py"
    script.write_text(WORKER_SCRIPT, encoding="utf-8")
    descendants: list[psutil.Process] = []
    with subprocess.Popen(
        [sys.executable, str(script), threads], stdout=subprocess.PIPE, text=True
    ) as runner:
        try:
            assert runner.stdout is not None and runner.stdout.readline() == "1\n"
            descendants = psutil.Process(runner.pid).children(recursive=True)
            assert len(descendants) >= 2  # the workers (and a fork server)
            runner.send_signal(signal_number)
            runner.wait(timeout=30)
            _, alive = psutil.wait_procs(descendants, timeout=15)
            assert alive == []
        finally:
            runner.kill()
            for process in descendants:
                with contextlib.suppress(psutil.Error):
                    process.kill()


def _picklable_hook(payload: dict[str, Any], entity: object, config: object) -> dict[str, Any]:
    return payload


def test_workers_are_not_forked_while_another_thread_runs() -> None:
    hooks = zelko.HookRegistry()
    hooks.register("post_process", _picklable_hook)
    picklable = native.SEOConfig("www.example.com", "https://www.example.com", hooks=hooks)
    unpicklable = zelko.HookRegistry()
    unpicklable.register("post_process", lambda payload, entity, config: payload)
    local = native.SEOConfig("www.example.com", "https://www.example.com", hooks=unpicklable)
    release = threading.Event()
    other = threading.Thread(target=release.wait, args=(30,))
    other.start()
    try:
        context = batch._worker_context(picklable)
        assert context is not None and context.get_start_method() == "forkserver"
        assert batch._worker_context(local) is None  # built in this process instead
        records = list(build_many([page("/a"), page("/b")], local, jobs=2))
        assert [record["line"] for record in records] == [1, 2]
    finally:
        release.set()
        other.join()


def _stuck_hook(payload: dict[str, Any], entity: object, config: object) -> dict[str, Any]:
    time.sleep(60)  # a worker that stops answering (killed long before)
    return payload


def test_a_run_whose_workers_stop_answering_ends_and_stops_them(
    monkeypatch: pytest.MonkeyPatch,
) -> None:
    monkeypatch.setattr(batch, "_WORKER_STALL_SECONDS", 1.0)
    hooks = zelko.HookRegistry()
    hooks.register("post_process", _stuck_hook)
    config = native.SEOConfig("www.example.com", "https://www.example.com", hooks=hooks)
    before = {child.pid for child in psutil.Process().children(recursive=True)}
    with pytest.raises(batch.WorkersStalled, match="no worker process answered for 1 s"):
        list(build_many([page("/a"), page("/b")], config, jobs=2))
    workers = [p for p in psutil.Process().children(recursive=True) if p.pid not in before]
    _, alive = psutil.wait_procs(
        [p for p in workers if "forkserver" not in " ".join(p.cmdline())], timeout=15
    )
    assert alive == []


# --- Output files of killed runs -------------------------------------------------


def open_in(pid: int, directory: Path) -> bool:
    """Whether the process has a file of ``directory`` open (named or not)."""
    try:
        links = [os.readlink(f"/proc/{pid}/fd/{fd}") for fd in os.listdir(f"/proc/{pid}/fd")]
    except OSError:
        return False
    return any(link.startswith(f"{directory}/") for link in links)


@pytest.mark.parametrize("signal_number", [signal.SIGKILL, signal.SIGTERM, signal.SIGHUP])
def test_a_killed_batch_leaves_no_file_behind(tmp_path: Path, signal_number: int) -> None:
    out = tmp_path / "out"
    out.mkdir()
    command = [sys.executable, "-m", "zelko", "batch", "-c", str(EXAMPLE / "zelko.toml")]
    with subprocess.Popen(
        [*command, "-", "-o", str(out / "records.jsonl")], stdin=subprocess.PIPE
    ) as runner:
        assert runner.stdin is not None
        try:
            line = (json.dumps(POST) + "\n").encode()
            for _ in range(200):  # until the output file is open, at most a few seconds
                runner.stdin.write(line * 50)
                runner.stdin.flush()
                if open_in(runner.pid, out):
                    break
                time.sleep(0.02)
            assert open_in(runner.pid, out)
            runner.send_signal(signal_number)
            runner.wait(timeout=30)
        finally:
            runner.kill()
            with contextlib.suppress(BrokenPipeError):
                runner.stdin.close()
    assert list(out.iterdir()) == []


def test_leftovers_of_runs_that_are_gone_are_removed_by_the_next(tmp_path: Path) -> None:
    gone = subprocess.run(
        [sys.executable, "-c", "import os; print(os.getpid())"],
        capture_output=True,
        text=True,
        check=True,
    )
    dead = int(gone.stdout)
    leftovers = {
        f".zelko-{dead}-0.tmp": False,  # a killed run's: removed
        f".zelko-{os.getpid()}-3.tmp": True,  # a live run's: kept
        ".zelko-notapid-0.tmp": True,  # not of the pattern: kept
    }
    for name in leftovers:
        (tmp_path / name).write_text("partial")
    pages = tmp_path / "pages.jsonl"
    pages.write_text(json.dumps(POST) + "\n", encoding="utf-8")
    assert (
        main(
            [
                "batch",
                "-c",
                str(EXAMPLE / "zelko.toml"),
                str(pages),
                "-o",
                str(tmp_path / "records.jsonl"),
            ]
        )
        == 0
    )
    assert {name: (tmp_path / name).exists() for name in leftovers} == leftovers
    assert json.loads((tmp_path / "records.jsonl").read_text())["line"] == 1
