"""Checking structured data against the schema.org vocabulary, beside json.loads.

For each page of ``bench/pages.py`` (and one large ``@graph`` document), in
one run:

- ``zelko.check_structured_data(payload)``: the payload's JSON-LD, read in
  place by the engine, checked against the vocabulary and the rich-result
  rules;
- ``zelko.check_structured_data(text)``: the same JSON-LD given as JSON text
  (the engine parses it first);
- ``json.loads(text)``: the floor, the standard library's C parser reading
  the same JSON text; target: checking the payload takes at most as long.

The floor and the payload's check take turns, one round each at a time, and
the ratio shown is the median of the rounds' ratios, so that other work on
the machine weighs on both alike; the times are the medians.

And once: the vocabulary table's size in the built extension (the sections
of its object file; target at most 1 MB) and the time of the first check in
a fresh interpreter after ``import zelko`` (the table is constant data, so
this is what loading it costs; target under 5 ms).

    python bench/structured_data.py
    python bench/structured_data.py --check    # exit 1 when a target is missed
"""

from __future__ import annotations

import argparse
import json
import pathlib
import statistics
import subprocess
import sys

import pages as inputs

import zelko
from bench import median_seconds

ROOT = pathlib.Path(__file__).resolve().parents[1]
FIRST_CHECK = (
    "import time, zelko; start = time.perf_counter(); "
    "zelko.check_structured_data({'@type': 'Product', 'name': 'x'}); "
    "print(time.perf_counter() - start)"
)


def graph_document(nodes: int) -> dict[str, object]:
    """An @graph of products whose offers are @id references."""
    graph: list[dict[str, object]] = []
    for number in range(nodes):
        graph.append(
            {
                "@type": "Product",
                "@id": f"#p{number}",
                "name": f"Product {number}",
                "image": f"https://www.example.com/p/{number}.jpg",
                "description": "A product of the benchmark catalogue.",
                "offers": {"@id": f"#o{number}"},
            }
        )
        graph.append(
            {
                "@type": "Offer",
                "@id": f"#o{number}",
                "price": f"{number}.50",
                "priceCurrency": "EUR",
                "availability": "https://schema.org/InStock",
                "priceValidUntil": "2026-12-31",
            }
        )
    return {"@context": "https://schema.org", "@graph": graph}


def table_object_bytes() -> int | None:
    """Bytes of the vocabulary table's object file sections (text and data),
    from the newest build tree that has it."""
    found = sorted(
        ROOT.glob("build/*/core/CMakeFiles/zelko_core.dir/__/generated/vocabulary_table.cpp.o"),
        key=lambda path: path.stat().st_mtime,
    )
    if not found:
        return None
    out = subprocess.run(["size", "-A", str(found[-1])], capture_output=True, text=True).stdout
    total = 0
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 2 and parts[0].startswith((".text", ".rodata", ".data")):
            total += int(parts[1])
    return total


def first_check_seconds(runs: int) -> float:
    times = [
        float(subprocess.run([sys.executable, "-c", FIRST_CHECK], capture_output=True,
                             text=True, check=True).stdout)
        for _ in range(runs)
    ]  # fmt: skip
    return statistics.median(times)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--min-time", type=float, default=0.1)
    parser.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    args = parser.parse_args()
    config = inputs.site_config()
    cases: list[tuple[str, zelko.SEOPayload]] = [
        (page.name, zelko.build_seo_payload(page.entity, page.route, config))
        for page in inputs.pages()
    ]
    graph = zelko.build_seo_payload(
        zelko.SEOEntity("page", title="Catalogue"),
        "/catalogue",
        config,
        zelko.SEOOverrides(schema_jsonld=graph_document(50)),
    )
    cases.append(("graph of 100 nodes", graph))
    met = True
    print(f"{'JSON-LD':<20} {'bytes':>7} {'json.loads':>11} {'check payload':>14} "
          f"{'ratio':>6} {'check text':>11}")  # fmt: skip
    for name, payload in cases:
        text = json.dumps(payload["schema_jsonld"])
        pairs = [
            (
                median_seconds(lambda text=text: json.loads(text), 1, args.min_time),
                median_seconds(
                    lambda payload=payload: zelko.check_structured_data(payload),
                    1,
                    args.min_time,
                ),
            )
            for _ in range(args.rounds)
        ]
        loads = statistics.median(floor for floor, _ in pairs)
        check = statistics.median(ours for _, ours in pairs)
        ratio = statistics.median(ours / floor for floor, ours in pairs)
        check_text = median_seconds(
            lambda text=text: zelko.check_structured_data(text), args.rounds, args.min_time
        )
        met = met and ratio <= 1.0
        print(
            f"{name:<20} {len(text):>7} {loads * 1e6:>9.2f}µs {check * 1e6:>12.2f}µs "
            f"{ratio:>6.2f} {check_text * 1e6:>9.2f}µs"
        )
    size = table_object_bytes()
    first = first_check_seconds(5)
    print(f"vocabulary table: {size if size is not None else 'no build tree'} bytes (limit 1 MB)")
    print(f"first check after import, fresh interpreter: {first * 1e3:.2f} ms (limit 5 ms)")
    met = met and (size is None or size <= 1_000_000) and first < 0.005
    return 0 if met or not args.check else 1


if __name__ == "__main__":
    sys.exit(main())
