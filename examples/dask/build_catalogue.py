"""Builds the SEO records of a synthetic catalogue on a Dask cluster.

    python examples/dask/build_catalogue.py                 # 1,000,000 pages, local cluster
    python examples/dask/build_catalogue.py --scheduler tcp://10.0.0.5:8786 --pages 5000000

Without --scheduler, a cluster of worker processes starts on this machine and
stops at the end. The pages are made on the workers (never all in this
process), built with the bundled site's configuration, and written in page
order as partitioned JSON Lines: OUT/000000.jsonl, OUT/000001.jsonl, ...
Each line is a record as ``zelko batch`` writes it.
"""

from __future__ import annotations

import argparse
import sys
import time
from collections.abc import Iterable, Iterator
from pathlib import Path
from typing import Any

import dask.bag
from distributed import Client, LocalCluster

import zelko
import zelko.dask

SITE_CONFIG = Path(__file__).resolve().parents[1] / "site" / "zelko.toml"
PAGES_PER_PARTITION = 20_000
COLOURS = ("Amber", "Cobalt", "Moss", "Slate", "Coral")


def product_page(number: int) -> dict[str, Any]:
    """Page number `number` of the synthetic catalogue."""
    colour = COLOURS[number % len(COLOURS)]
    return {
        "route": f"/shop/mugs/{number}",
        "entity": {
            "entity_type": "product",
            "title": f"{colour} mug no. {number}",
            "excerpt": f"A hand-thrown {colour.lower()} stoneware mug, 350 ml.",
            "sku": f"MUG-{number:07d}",
            "price": f"{18 + number % 7}.00",
            "price_currency": "EUR",
            "availability": "InStock" if number % 11 else "OutOfStock",
            "breadcrumbs": [
                {"name": "Shop", "url": "/shop"},
                {"name": "Mugs", "url": "/shop/mugs"},
            ],
        },
    }


def pages_of(partitions: Iterable[tuple[int, int]]) -> Iterator[dict[str, Any]]:
    """The pages of the given (first, stop) number ranges."""
    for first, stop in partitions:
        yield from (product_page(number) for number in range(first, stop))


def catalogue(pages: int, per_partition: int) -> dask.bag.Bag:
    ranges = [
        (first, min(first + per_partition, pages)) for first in range(0, pages, per_partition)
    ]
    return dask.bag.from_sequence(ranges, npartitions=max(1, len(ranges))).map_partitions(pages_of)


def build(pages: int, per_partition: int, out: Path) -> None:
    config = zelko.load_config(SITE_CONFIG)
    records = zelko.dask.build_pages(catalogue(pages, per_partition), config)
    out.mkdir(parents=True, exist_ok=True)
    records.to_textfiles(
        str(out / "*.jsonl"),
        name_function=lambda index: f"{index:06d}",
        encoding="utf-8",
        last_endline=True,
    )


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--scheduler", help="address of a running scheduler (default: a local cluster)"
    )
    parser.add_argument("--pages", type=int, default=1_000_000)
    parser.add_argument("--per-partition", type=int, default=PAGES_PER_PARTITION)
    parser.add_argument("--out", type=Path, default=Path("catalogue-records"))
    args = parser.parse_args(argv)
    if args.pages < 1 or args.per_partition < 1:
        parser.error("--pages and --per-partition must be at least 1")

    started = time.perf_counter()
    if args.scheduler:
        with Client(args.scheduler):
            build(args.pages, args.per_partition, args.out)
    else:
        with LocalCluster(host="127.0.0.1", dashboard_address=None) as cluster, Client(cluster):
            build(args.pages, args.per_partition, args.out)
    seconds = time.perf_counter() - started
    print(
        f"{args.pages} pages in {seconds:.1f} s ({args.pages / seconds:,.0f} pages/s) -> {args.out}"
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
