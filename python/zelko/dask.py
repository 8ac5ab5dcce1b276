"""Batch builds on Dask, for catalogues that outgrow one machine.

``build_pages(bag, config)`` turns a ``dask.bag.Bag`` of page mappings into a
Bag of the records ``zelko batch`` writes (compact JSON text, one per page,
numbered through the whole Bag in its order)::

    records = zelko.dask.build_pages(pages, config)
    records.to_textfiles("out/*.jsonl")

The configuration enters the graph once, as its own key: each worker receives
it once and every partition it builds shares it. Each partition is built by
:func:`build_partition`, a plain function (page mappings in, record texts
out), which is all another engine (Spark's ``mapPartitions``, Ray Data's
``map_batches``) needs.

Needs the ``dask`` extra: ``pip install 'zelko[dask]'``.
"""

from __future__ import annotations

import itertools
from collections.abc import Iterable
from typing import Any

import dask.bag
from dask.delayed import delayed

from _zelko_native import SEOConfig, SiteHead

from .batch import Page, build_records

__all__ = ["build_pages", "build_partition"]


def build_pages(
    bag: dask.bag.Bag, config: SEOConfig, *, site: SiteHead | None = None
) -> dask.bag.Bag:
    """The records of every page of ``bag``, partition for partition; with
    ``site``, each record's head is the whole head (as ``zelko batch`` writes
    it for a site file with a ``[head]`` table).

    Line numbers count from 1 over the whole Bag: each partition's first
    number comes from the lengths of the partitions before it, counted in the
    same computation.
    """
    # Dask's bag functions carry no annotations.
    partitions = bag.map_partitions(_as_list).to_delayed()  # type: ignore[no-untyped-call]
    shared_config = delayed(config, traverse=False)
    shared_site = delayed(site, traverse=False)
    counts = [delayed(len, pure=True)(partition) for partition in partitions]
    first_lines = delayed(_first_lines, pure=True)(counts)
    built = [
        delayed(build_partition, pure=True)(
            partition, shared_config, first_lines[index], shared_site
        )
        for index, partition in enumerate(partitions)
    ]
    records: dask.bag.Bag = dask.bag.from_delayed(built)  # type: ignore[no-untyped-call]
    return records


def build_partition(
    pages: Iterable[Page], config: SEOConfig, first_line: int = 1, site: SiteHead | None = None
) -> list[str]:
    """The records of consecutive pages, the first numbered ``first_line``."""
    return list(build_records(pages, config, first_line=first_line, site=site))


def _as_list(partition: Iterable[Any]) -> list[Any]:
    # Partitions may be iterators; each is read twice (counted, then built).
    return partition if isinstance(partition, list) else list(partition)


def _first_lines(counts: list[int]) -> list[int]:
    return list(itertools.accumulate(counts[:-1], initial=1))
