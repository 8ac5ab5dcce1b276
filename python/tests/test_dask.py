"""Batch builds on a real Dask cluster (two worker processes on 127.0.0.1):
record for record what a single-process zelko batch writes."""

from __future__ import annotations

import json
import logging
import os
import runpy
import sys
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import dask.bag as dask_bag
import distributed
import pytest

import zelko
from zelko import _files
from zelko.batch import build_records
from zelko.cli import main
from zelko.dask import build_pages

REPO = Path(__file__).resolve().parents[2]
EXAMPLE = REPO / "examples" / "site"
CONFIG = _files.load_site(EXAMPLE / "zelko.toml").config
EXAMPLE_LINES = (EXAMPLE / "pages.jsonl").read_text(encoding="utf-8").splitlines()


@pytest.fixture(scope="module")
def client() -> Iterator[Any]:
    with (
        distributed.LocalCluster(
            n_workers=2,
            threads_per_worker=1,
            processes=True,
            host="127.0.0.1",
            # Its HTTP endpoints on a free port: no dashboard, no clash.
            dashboard_address=":0",
            scheduler_kwargs={"dashboard": False},
            silence_logs=logging.ERROR,
        ) as cluster,
        distributed.Client(cluster) as connected,
    ):
        yield connected


def mixed_pages() -> list[Any]:
    """The example pages several times over, with bad pages among them."""
    pages: list[Any] = [json.loads(line) for line in EXAMPLE_LINES] * 4
    pages.insert(3, {"entity": {"entity_type": "post"}})  # no route
    pages.insert(10, {"route": "/x", "entity": {"entity_type": "poster"}})
    pages.append({"route": "/d", "entity": {"entity_type": "post", "title": "T"}, "when": 1})
    return pages


def batch_output(pages: list[Any], tmp_path: Path, config_path: Path) -> list[str]:
    source, out = tmp_path / "pages.jsonl", tmp_path / "records.jsonl"
    source.write_text("".join(json.dumps(page) + "\n" for page in pages), encoding="utf-8")
    assert main(["batch", "--config", str(config_path), str(source), "-o", str(out)]) == 1
    return out.read_text(encoding="utf-8").splitlines()


@pytest.mark.parametrize("partitions", [1, 3, 7])
def test_cluster_writes_what_zelko_batch_writes(
    client: Any, partitions: int, tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    pages = mixed_pages()
    expected = batch_output(pages, tmp_path, EXAMPLE / "zelko.toml")
    assert "3 bad" in capsys.readouterr().err

    bag = dask_bag.from_sequence(pages, npartitions=partitions)
    records = build_pages(bag, CONFIG).compute()

    assert records == expected


class Stamp:
    """A post-process hook that notes each process it is unpickled in: the
    configuration carrying it must reach each worker once, not once per
    partition."""

    def __init__(self, arrivals: str) -> None:
        self.arrivals = arrivals

    def __call__(self, payload: dict[str, Any], entity: Any, config: Any) -> dict[str, Any]:
        payload["title"] = "stamped " + payload["title"]
        return payload

    def __reduce__(self) -> tuple[Any, tuple[str]]:
        return (arrive, (self.arrivals,))


def arrive(arrivals: str) -> Stamp:
    with open(arrivals, "a", encoding="utf-8") as file:
        file.write(f"{os.getpid()}\n")
    return Stamp(arrivals)


def test_configuration_reaches_each_worker_once(client: Any, tmp_path: Path) -> None:
    arrivals = tmp_path / "arrivals"
    arrivals.touch()
    hooks = zelko.HookRegistry()
    hooks.register("post_process", Stamp(str(arrivals)))
    config = zelko.load_config(EXAMPLE / "zelko.toml")
    config.hooks = hooks
    pages = [json.loads(line) for line in EXAMPLE_LINES] * 20
    worker_pids = set(client.run(os.getpid).values())

    records = build_pages(dask_bag.from_sequence(pages, npartitions=12), config).compute()

    assert records == list(build_records(pages, config))
    assert all(json.loads(record)["payload"]["title"].startswith("stamped ") for record in records)
    seen = [int(pid) for pid in arrivals.read_text().split()]
    on_workers = [pid for pid in seen if pid in worker_pids]
    assert on_workers and len(on_workers) == len(set(on_workers)) <= 2


def test_example_script_writes_partitioned_records_in_page_order(
    client: Any, tmp_path: Path, monkeypatch: pytest.MonkeyPatch, capsys: pytest.CaptureFixture[str]
) -> None:
    out = tmp_path / "records"
    script = REPO / "examples" / "dask" / "build_catalogue.py"
    address = client.scheduler.address
    arguments = ["--scheduler", address, "--pages", "2500", "--per-partition", "400"]
    monkeypatch.setattr(sys, "argv", [str(script), *arguments, "--out", str(out)])

    with pytest.raises(SystemExit) as exit_info:
        runpy.run_path(str(script), run_name="__main__")

    assert exit_info.value.code == 0
    assert "2500 pages in" in capsys.readouterr().out
    parts = sorted(out.glob("*.jsonl"))
    assert len(parts) == 7
    records = [json.loads(line) for part in parts for line in part.read_text().splitlines()]
    assert [record["line"] for record in records] == list(range(1, 2501))
    assert [record["route"] for record in records] == [f"/shop/mugs/{n}" for n in range(2500)]
    assert all("error" not in record for record in records)
