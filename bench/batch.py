"""Batch builds beside a plain Python loop, and their memory over a long run.

The input is the bundled example's blog post as JSON Lines (one line per
page, each with its own route). Three figures, measured in one run:

- ``zelko batch`` with one job (``zelko.batch.build_records`` over the lines
  in this process) beside a plain loop doing the same work through the public
  API: ``json.loads`` of the line, ``SEOEntity`` and its images and
  breadcrumbs from it, ``build_seo_payload``, ``render_html``, ``etag``,
  ``validate_payload`` and ``json.dumps`` of the record; target: at least
  1.5 times the loop's pages per second;
- two jobs beside one job; target: at least 1.7 times on two cores;
- the peak RSS of ``zelko batch`` run as a process over 100,000 and over
  1,000,000 lines fed through a pipe; target: flat (the second within 10% of
  the first).

    python bench/batch.py                 # the three figures
    python bench/batch.py --lines 20000   # lines per timed run (default 20,000)
"""

from __future__ import annotations

import argparse
import gc
import json
import subprocess
import sys
import threading
import time
from collections.abc import Callable, Iterable
from pathlib import Path

import zelko
from zelko import _files
from zelko.batch import build_records

ROOT = Path(__file__).resolve().parents[1]
SITE = ROOT / "examples" / "site" / "zelko.toml"
POST = json.loads((ROOT / "examples" / "site" / "pages" / "post.json").read_text())


def page_lines(count: int) -> Iterable[bytes]:
    for index in range(count):
        POST["route"] = f"/blog/post-{index}"
        yield json.dumps(POST).encode()


def plain_loop(lines: list[bytes], config: zelko.SEOConfig) -> list[str]:
    records = []
    for number, line in enumerate(lines, start=1):
        document = json.loads(line)
        fields = dict(document["entity"])
        entity_type = fields.pop("entity_type")
        if "featured_image" in fields:
            fields["featured_image"] = zelko.SEOImage(**fields["featured_image"])
        if "breadcrumbs" in fields:
            fields["breadcrumbs"] = [zelko.Breadcrumb(**crumb) for crumb in fields["breadcrumbs"]]
        entity = zelko.SEOEntity(entity_type, **fields)
        overrides = zelko.SEOOverrides(**document["overrides"]) if "overrides" in document else None
        payload = zelko.build_seo_payload(entity, document["route"], config, overrides)
        findings = [
            {
                "rule_id": issue.rule_id,
                "severity": issue.severity,
                "message": issue.message,
                "url": issue.url,
                "details": issue.details,
            }
            for issue in zelko.validate_payload(payload)
        ]
        record = {
            "line": number,
            "route": document["route"],
            "payload": payload.to_dict(),
            "head": payload.render_html(),
            "etag": payload.etag(),
            "findings": findings,
        }
        records.append(json.dumps(record, ensure_ascii=False, separators=(",", ":")))
    return records


def best_seconds(run: Callable[[], object], rounds: int = 5) -> float:
    """The fastest of a few rounds, with the collector off, as timeit does."""
    times = []
    for _ in range(rounds):
        gc.collect()
        gc.disable()
        try:
            start = time.perf_counter()
            run()
            times.append(time.perf_counter() - start)
        finally:
            gc.enable()
    return min(times)


# Runs the command line and then reports the process's own high-water mark
# (VmHWM), which, unlike ru_maxrss, does not carry over the size of the
# process that started it.
_MEASURED_BATCH = """
import sys
from zelko.cli import main
code = main(sys.argv[1:])
with open("/proc/self/status") as status:
    peak = next(line.split()[1] for line in status if line.startswith("VmHWM:"))
sys.stderr.write(f"peak {peak}\\n")
sys.exit(code)
"""


def peak_rss_kib(lines: int) -> int:
    """Runs ``zelko batch`` over ``lines`` lines fed through a pipe, output
    discarded, and returns its peak RSS."""
    command = [sys.executable, "-c", _MEASURED_BATCH, "batch", "-c", str(SITE), "-", "-j", "2"]
    process = subprocess.Popen(
        command, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE
    )
    assert process.stdin is not None and process.stderr is not None
    stdin = process.stdin

    def feed() -> None:
        with stdin:
            for line in page_lines(lines):
                stdin.write(line + b"\n")

    feeder = threading.Thread(target=feed)
    feeder.start()
    report = process.stderr.read().decode()
    feeder.join()
    if process.wait() != 0:
        raise SystemExit(f"zelko batch exited with {process.returncode}: {report}")
    return int(report.rsplit("peak ", 1)[1])


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lines", type=int, default=20_000, help="lines per timed run")
    parser.add_argument("--skip-memory", action="store_true", help="leave out the RSS runs")
    args = parser.parse_args(argv)

    config = _files.load_site(SITE).config
    lines = list(page_lines(args.lines))
    same = plain_loop(lines[:50], config) == list(build_records(lines[:50], config))
    loop = best_seconds(lambda: plain_loop(lines, config))
    one = best_seconds(lambda: list(build_records(lines, config, jobs=1)))
    two = best_seconds(lambda: list(build_records(lines, config, jobs=2)))

    def rate(seconds: float) -> str:
        return f"{args.lines / seconds:,.0f} pages/s"

    print(f"{args.lines:,} lines of the blog post; same records as the loop: {same}")
    print(f"plain loop       {rate(loop)}")
    print(f"batch, 1 job     {rate(one)}   {loop / one:.2f}x the loop (target >= 1.5)")
    print(f"batch, 2 jobs    {rate(two)}   {one / two:.2f}x 1 job (target >= 1.7)")
    if not args.skip_memory:
        small, large = peak_rss_kib(100_000), peak_rss_kib(1_000_000)
        print(
            f"peak RSS: 100,000 lines {small:,} KiB, 1,000,000 lines {large:,} KiB "
            f"({large / small:.2f}x; target flat, <= 1.10)"
        )
    return 0


if __name__ == "__main__":
    sys.exit(main())
