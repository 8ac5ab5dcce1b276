"""``zelko check`` over a directory of built pages, beside merely parsing them.

The bundled example's six pages are built again and again under routes of
their own (``/blog/post-N``, ``/shop/product-N``, ...), each with a title
and description of its own, into a temporary directory of 10,000 HTML
files, as a static-site generator would, at three sizes: a bare page (the
head and a heading), one with the 2 KB article of ``bench/pages.py`` as its
body, one with eight copies of it (the article links to ``/blog/etags``,
which is built too). They are checked against the example's contract
(``examples/site/seo-contract.json``, every site rule on). Measured in one
run:

- ``zelko check --site DIR`` run in this process (the walk, reading each
  file, parsing it, the checks, the site rules, the report), in pages per
  second, with every site rule on and with all of them off (the same
  contract with a ``site_rules`` object turning each off);
- reading and parsing the same files with selectolax's Lexbor parser and
  nothing else: the floor; target: checking takes at most 1.5 times as long;
- the peak RSS of ``zelko check`` run as a process over 10,000 and 100,000
  pages (with one article each), site rules on and off: what the site rules
  keep per page is the growth with them on less the growth with them off,
  divided by the 90,000 pages between (target: at most 300 bytes).

    python bench/check.py                    # every figure
    python bench/check.py --articles 1 --skip-memory --pages 20000
"""

from __future__ import annotations

import argparse
import gc
import importlib.util
import json
import os
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable
from functools import partial
from pathlib import Path
from typing import Any

from selectolax.lexbor import LexborHTMLParser

import zelko
from zelko.check.site import SITE_RULES
from zelko.cli import main as zelko_main

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pages import post_body_html  # bench/pages.py, found through the line above

ROOT = Path(__file__).resolve().parents[1]
EXAMPLE = ROOT / "examples" / "site"
CONTRACT = EXAMPLE / "seo-contract.json"
SITE_RULE_NAMES = [rule.name for rule in SITE_RULES]

# Where each example page is built again, by its entity type.
ROUTE_PREFIX = {
    "post": "/blog/post",
    "product": "/shop/product",
    "faq": "/help/faq",
    "home": "/home",
    "local_business": "/visit/shop",
}


def load_builder() -> Any:
    spec = importlib.util.spec_from_file_location("build_html", EXAMPLE / "build_html.py")
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def build_pages(directory: Path, count: int, *, articles: int) -> None:
    builder = load_builder()
    examples = builder.example_pages()
    for page in examples:
        page["entity"]["body_html"] = post_body_html() * articles

    def pages() -> Any:
        for index in range(count):
            page = dict(examples[index % len(examples)])
            entity = page["entity"] = dict(page["entity"])
            prefix = ROUTE_PREFIX[entity["entity_type"]]
            page["route"] = f"{prefix}-{index}"
            # Texts of its own: the duplicate rules find nothing to report.
            entity["title"] = f"{entity['title']} {index}"
            entity["excerpt"] = f"{entity.get('excerpt') or ''} {index}"
            # The roastery's fixed meta title gives way to its numbered one.
            page["overrides"] = {
                key: value
                for key, value in (page.get("overrides") or {}).items()
                if key != "meta_title"
            }
            page.pop("alternates", None)
            yield page
        # The page the article links to.
        post = next(page for page in examples if page["entity"]["entity_type"] == "post")
        yield {**post, "route": "/blog/etags", "entity": {**post["entity"], "title": "ETags"}}

    config = zelko.load_config(str(EXAMPLE / "zelko.toml"))
    builder.build_site(directory, pages(), config, sitemap=False)


def parse_only(directory: Path) -> int:
    """The floor: every HTML file read and parsed, nothing looked at."""
    count = 0
    for folder, _, files in os.walk(directory):
        for name in files:
            if name.endswith(".html"):
                LexborHTMLParser(Path(folder, name).read_bytes())
                count += 1
    return count


def contract_without_site_rules(directory: Path) -> Path:
    """The example's contract with every site rule off."""
    document = json.loads(CONTRACT.read_text(encoding="utf-8"))
    document["site_rules"] = dict.fromkeys(SITE_RULE_NAMES, False)
    path = directory / "contract-page-rules-only.json"
    path.write_text(json.dumps(document), encoding="utf-8")
    return path


def check(directory: Path, contract: Path = CONTRACT) -> None:
    arguments = ["check", "--contract", str(contract), "--site", str(directory)]
    code = zelko_main([*arguments, "--format", "json", "--fail-on", "info", "-o", os.devnull])
    if code != 0:
        raise SystemExit(f"zelko check found problems in the built pages (exit {code})")


def best_seconds(
    runs: list[Callable[[], object]], rounds: int, clock: Callable[[], float] = time.perf_counter
) -> list[float]:
    """The fastest of a few rounds of each run, with the collector off, as
    timeit does; the runs take turns, so that other load on the machine
    falls on all of them alike. ``--cpu-time`` counts the CPU time of this
    process instead (user and system), which other work on a shared
    machine does not lengthen."""
    times: list[list[float]] = [[] for _ in runs]
    for _ in range(rounds):
        for run, taken in zip(runs, times, strict=True):
            gc.collect()
            gc.disable()
            try:
                start = clock()
                run()
                taken.append(clock() - start)
            finally:
                gc.enable()
    return [min(taken) for taken in times]


# Runs the command line and then reports the process's own high-water mark
# (VmHWM), which, unlike ru_maxrss, does not carry over the size of the
# process that started it.
_MEASURED_CHECK = """
import sys
from zelko.cli import main
code = main(sys.argv[1:])
with open("/proc/self/status") as status:
    peak = next(line.split()[1] for line in status if line.startswith("VmHWM:"))
sys.stderr.write(f"peak {peak}\\n")
sys.exit(code)
"""


def peak_rss_kib(directory: Path, contract: Path = CONTRACT) -> int:
    command = [sys.executable, "-c", _MEASURED_CHECK, "check", "--contract", str(contract)]
    command += ["--site", str(directory), "--format", "json"]
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
    report = result.stderr.decode()
    if result.returncode != 0:
        raise SystemExit(f"zelko check exited with {result.returncode}: {report}")
    return int(report.rsplit("peak ", 1)[1])


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=(__doc__ or "").split("\n\n")[0])
    parser.add_argument("--pages", type=int, default=10_000, help="built pages (10,000)")
    parser.add_argument("--rounds", type=int, default=5, help="timed rounds of each (5)")
    parser.add_argument(
        "--articles",
        type=int,
        nargs="+",
        default=[0, 1, 8],
        metavar="N",
        help="page sizes to measure: copies of the 2 KB article in each body (0 1 8)",
    )
    parser.add_argument("--skip-memory", action="store_true", help="leave out the RSS runs")
    parser.add_argument(
        "--cpu-time",
        action="store_true",
        help="time by the CPU time of the process, not the wall clock (a busy machine)",
    )
    parser.add_argument(
        "--memory-pages",
        type=int,
        nargs=2,
        default=[10_000, 100_000],
        metavar=("FEW", "MANY"),
        help="the two site sizes of the RSS runs (10,000 100,000)",
    )
    args = parser.parse_args(argv)

    print(f"{args.pages:,} built pages of the example site, against its contract")
    print(
        "| body | page size | read + parse | zelko check --site, site rules on "
        "| check / parse | site rules off | on / off | target |"
    )
    print("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |")
    for articles in args.articles:
        with tempfile.TemporaryDirectory(prefix="zelko-check-bench-") as temporary:
            directory = Path(temporary, "site")
            build_pages(directory, args.pages, articles=articles)
            off = contract_without_site_rules(Path(temporary))
            built = sum(1 for _ in directory.rglob("*.html"))
            size = sum(path.stat().st_size for path in directory.rglob("*.html")) / built
            assert parse_only(directory) == built
            parse, checked, page_rules = best_seconds(
                [
                    partial(parse_only, directory),
                    partial(check, directory),
                    partial(check, directory, off),
                ],
                args.rounds,
                time.process_time if args.cpu_time else time.perf_counter,
            )
            print(
                f"| {articles} × 2 KB article | {size / 1024:.1f} KB "
                f"| {built / parse:,.0f} pages/s | {built / checked:,.0f} pages/s "
                f"| {checked / parse:.2f} | {built / page_rules:,.0f} pages/s "
                f"| {page_rules / checked:.2f} | ≤ 1.50 |"
            )
    if not args.skip_memory:
        few_pages, many_pages = args.memory_pages
        with tempfile.TemporaryDirectory(prefix="zelko-check-bench-") as temporary:
            small, large = Path(temporary, "small"), Path(temporary, "large")
            off = contract_without_site_rules(Path(temporary))
            build_pages(small, few_pages, articles=1)
            build_pages(large, many_pages, articles=1)
            peaks = {
                (rules, size): peak_rss_kib(directory, contract)
                for rules, contract in (("on", CONTRACT), ("off", off))
                for size, directory in (("few", small), ("many", large))
            }
        for rules in ("on", "off"):
            few, many = peaks[rules, "few"], peaks[rules, "many"]
            print(
                f"peak RSS of zelko check, site rules {rules}: {few_pages:,} pages {few:,} KiB, "
                f"{many_pages:,} pages {many:,} KiB ({many / few:.2f}x)"
            )
        growth = (peaks["on", "many"] - peaks["on", "few"]) - (
            peaks["off", "many"] - peaks["off", "few"]
        )
        per_page = growth * 1024 / (many_pages - few_pages)
        print(f"kept by the site rules: {per_page:,.0f} bytes a page (target: at most 300)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
