"""Benchmarks of zelko's public operations, each beside pure-Python floors.

Every figure is the median time per call over several timed rounds (after a
warm-up round), with the garbage collector off while a round runs, as timeit
does. Beside it stand two floors measured in the same run on the same
payload: ``json.loads(payload.to_json())`` and ``hashlib.sha256`` over the
payload's compact JSON bytes (the exact bytes ``hash()`` digests). Ratios to
the floors are what the targets are stated in, because they carry over from
one machine to another far better than absolute times.

    python bench/bench.py                    # the table and the targets
    python bench/bench.py --markdown         # the same as a Markdown table
    python bench/bench.py --memory 1000000   # the flat-RSS check only
"""

from __future__ import annotations

import argparse
import gc
import hashlib
import json
import os
import platform
import resource
import statistics
import sys
import tempfile
import time
import timeit
from collections.abc import Callable, Iterator
from dataclasses import dataclass
from pathlib import Path
from xml.sax.saxutils import escape

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pages as inputs

import zelko


@dataclass(frozen=True)
class Row:
    page: str
    operation: str
    seconds: float
    json_floor: float
    sha_floor: float


@dataclass(frozen=True)
class Target:
    operation: str
    floor: str
    limit: float
    ratio: float

    @property
    def met(self) -> bool:
        return self.ratio <= self.limit


def median_seconds(call: Callable[[], object], rounds: int, min_time: float) -> float:
    """Median time of one call: rounds of `number` calls, each round long
    enough (min_time) for the clock to be far finer than what it measures."""
    timer = timeit.Timer(call)
    number = 1
    while True:
        elapsed = timer.timeit(number)
        if elapsed >= min_time / 4:
            break
        number *= 4
    number = max(1, round(number * min_time / elapsed))
    timer.timeit(number)  # warm-up
    return statistics.median(timer.timeit(number) / number for _ in range(rounds))


def compact_bytes(payload: zelko.SEOPayload) -> bytes:
    """The compact JSON text of the payload in declared key order: what the
    payload hash digests. Checked against hash() before it is used."""
    text = json.dumps(
        json.loads(payload.to_json()), separators=(",", ":"), ensure_ascii=False
    ).encode()
    if hashlib.sha256(text).hexdigest() != payload.hash():
        raise SystemExit("bench: compact bytes do not reproduce payload.hash()")
    return text


def payload_operations(
    page: inputs.Page, config: zelko.SEOConfig
) -> dict[str, Callable[[], object]]:
    entity, route = page.entity, page.route
    payload = zelko.build_seo_payload(entity, route, config)
    return {
        "build_seo_payload": lambda: zelko.build_seo_payload(entity, route, config),
        "build_seo_payload_dict": lambda: zelko.build_seo_payload_dict(entity, route, config),
        "to_dict": payload.to_dict,
        "to_json": payload.to_json,
        "hash": payload.hash,
        "etag": payload.etag,
        "render_html": payload.render_html,
        "validate_payload": lambda: zelko.validate_payload(payload),
    }


def site_operations(post: inputs.Page, config: zelko.SEOConfig) -> dict[str, Callable[[], object]]:
    policy = zelko.URLPolicy(lowercase_paths=True)
    contract_config = inputs.contract_config()
    campaign_url = f"{inputs.BASE_URL}{post.route}?utm_source=feed&utm_medium=rss&ref=home"
    return {
        "normalize_public_url_fn": lambda: zelko.normalize_public_url_fn(post.route, config),
        "normalize_path_fn": lambda: zelko.normalize_path_fn(post.route, policy),
        "clean_url_fn": lambda: zelko.clean_url_fn(campaign_url),
        "SEOEntity(post)": inputs.post_entity,
        "SEOConfig(site)": inputs.site_config,
        "build_seo_contract + to_json": lambda: zelko.build_seo_contract(contract_config).to_json(),
    }


def run(rounds: int, min_time: float, page_names: list[str] | None) -> list[Row]:
    config = inputs.site_config()
    rows: list[Row] = []
    post_floors = (0.0, 0.0)
    for page in inputs.pages():
        if page_names and page.name not in page_names and page.name != "post":
            continue
        payload = zelko.build_seo_payload(page.entity, page.route, config)
        text = payload.to_json()
        compact = compact_bytes(payload)
        json_floor = median_seconds(lambda text=text: json.loads(text), rounds, min_time)
        sha_floor = median_seconds(
            lambda compact=compact: hashlib.sha256(compact).hexdigest(), rounds, min_time
        )
        if page.name == "post":
            post_floors = (json_floor, sha_floor)
        if page_names and page.name not in page_names:
            continue
        for name, call in payload_operations(page, config).items():
            rows.append(
                Row(page.name, name, median_seconds(call, rounds, min_time), json_floor, sha_floor)
            )
    post = next(page for page in inputs.pages() if page.name == "post")
    for name, call in site_operations(post, config).items():
        rows.append(Row("post", name, median_seconds(call, rounds, min_time), *post_floors))
    return rows


def targets(rows: list[Row]) -> list[Target]:
    by_operation = {row.operation: row for row in rows if row.page == "post"}

    def ratio(operation: str, floor: str) -> float:
        row = by_operation[operation]
        return row.seconds / (row.json_floor if floor == "json.loads" else row.sha_floor)

    wanted = [
        ("build_seo_payload", "json.loads", 0.5),
        ("build_seo_payload_dict", "json.loads", 1.0),
        ("hash", "sha256", 3.0),
        ("render_html", "json.loads", 0.5),
    ]
    return [Target(op, floor, limit, ratio(op, floor)) for op, floor, limit in wanted]


def machine() -> str:
    model = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as cpuinfo:
            for line in cpuinfo:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return (
        f"{model}, {os.cpu_count()} CPUs, {platform.system()} {platform.release()}, "
        f"Python {platform.python_version()}, zelko {zelko.__version__}"
    )


def format_time(seconds: float) -> str:
    return f"{seconds * 1e6:.2f} µs"


def table(rows: list[Row], markdown: bool) -> str:
    header = ["page", "operation", "median", "calls/s", "× json.loads floor", "× sha256 floor"]
    body = [
        [
            row.page,
            row.operation,
            format_time(row.seconds),
            f"{1 / row.seconds:,.0f}",
            f"{row.seconds / row.json_floor:.3f}",
            f"{row.seconds / row.sha_floor:.2f}",
        ]
        for row in rows
    ]
    floors: dict[str, tuple[float, float]] = {}
    for row in rows:
        floors.setdefault(row.page, (row.json_floor, row.sha_floor))
    for page, (json_floor, sha_floor) in floors.items():
        body.append(
            [
                page,
                "floor: json.loads(to_json())",
                format_time(json_floor),
                f"{1 / json_floor:,.0f}",
                "1.000",
                f"{json_floor / sha_floor:.2f}",
            ]
        )
        body.append(
            [
                page,
                "floor: sha256(compact)",
                format_time(sha_floor),
                f"{1 / sha_floor:,.0f}",
                f"{sha_floor / json_floor:.3f}",
                "1.00",
            ]
        )
    return render(header, body, markdown, right_from=2)


def target_table(found: list[Target], markdown: bool) -> str:
    header = ["target (post)", "floor", "ratio", "limit", "met"]
    body = [
        [t.operation, t.floor, f"{t.ratio:.3f}", f"≤ {t.limit}", "yes" if t.met else "NO"]
        for t in found
    ]
    return render(header, body, markdown, right_from=2)


def render(header: list[str], body: list[list[str]], markdown: bool, right_from: int) -> str:
    if markdown:
        align = ["---" if i < right_from else "---:" for i in range(len(header))]
        lines = [header, align, *body]
        return "\n".join("| " + " | ".join(line) + " |" for line in lines)
    widths = [max(len(line[i]) for line in [header, *body]) for i in range(len(header))]

    def fmt(line: list[str]) -> str:
        cells = [
            cell.ljust(widths[i]) if i < right_from else cell.rjust(widths[i])
            for i, cell in enumerate(line)
        ]
        return "  ".join(cells).rstrip()

    return "\n".join([fmt(header), "  ".join("-" * w for w in widths), *map(fmt, body)])


def peak_rss_kib() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def memory_check(count: int) -> bool:
    """Builds the post `count` times, with to_dict, render_html, hash and
    validate_payload on each; the peak RSS must stay flat after warm-up."""
    config = inputs.site_config()
    post = next(page for page in inputs.pages() if page.name == "post")
    entity, route = post.entity, post.route
    warmup = min(max(count // 10, 1), 100_000)
    baseline = 0
    started = time.perf_counter()
    for done in range(1, count + 1):
        payload = zelko.build_seo_payload(entity, route, config)
        payload.to_dict()
        payload.render_html()
        payload.hash()
        zelko.validate_payload(payload)
        if done == warmup:
            gc.collect()
            baseline = peak_rss_kib()
    gc.collect()
    final = peak_rss_kib()
    elapsed = time.perf_counter() - started
    growth = final - baseline
    flat = growth < 1024
    print(
        f"memory: {count:,} post builds (to_dict, render_html, hash, validate_payload each) "
        f"in {elapsed:.1f} s; peak RSS {baseline:,} KiB after {warmup:,} warm-up builds, "
        f"{final:,} KiB at the end: growth {growth:,} KiB "
        f"({'flat, under 1 MiB' if flat else 'NOT flat: 1 MiB or more'})"
    )
    return flat


# --- Sitemaps ----------------------------------------------------------------

SITEMAP_HEAD = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9"'
    ' xmlns:xhtml="http://www.w3.org/1999/xhtml"'
    ' xmlns:image="http://www.google.com/schemas/sitemap-image/1.1">\n'
)
XML_ENTITIES = {'"': "&quot;", "'": "&apos;"}


# The dates an application reads with its rows: 336 days of 2024.
SITEMAP_DAYS = tuple(
    f"2024-{month:02d}-{day:02d}" for month in range(1, 13) for day in range(1, 29)
)


def sitemap_inputs(
    count: int, alternates: bool
) -> Iterator[tuple[str, str, dict[str, str] | None]]:
    """Routes as an application has them: made one by one, never a list."""
    for number in range(count):
        route = f"/blog/{number // 1000}/post-{number}"
        lastmod = SITEMAP_DAYS[number % len(SITEMAP_DAYS)]
        links = {"de": f"/de{route}", "x-default": route} if alternates else None
        yield route, lastmod, links


def zelko_sitemap(directory: str, config: zelko.SEOConfig, count: int, alternates: bool) -> None:
    with zelko.SitemapWriter(directory, config) as writer:
        for route, lastmod, links in sitemap_inputs(count, alternates):
            writer.add(route, lastmod=lastmod, alternates=links)


def python_sitemap(directory: str, config: zelko.SEOConfig, count: int, alternates: bool) -> None:
    """The same bytes with f-strings and xml.sax.saxutils.escape; URLs resolved
    by normalize_public_url_fn (the only way to the same canonical URLs)."""
    resolve = zelko.normalize_public_url_fn
    root = resolve("/", config).rstrip("/")
    parts: list[tuple[str, str]] = []
    out = None
    in_part = 0
    latest = ""
    for route, lastmod, links in sitemap_inputs(count, alternates):
        if out is None or in_part == 50000:
            if out is not None:
                out.write("</urlset>\n")
                out.close()
                parts.append((f"sitemap-{len(parts) + 1}.xml", latest))
            out = open(os.path.join(directory, f"sitemap-{len(parts) + 1}.xml"), "w")  # noqa: SIM115
            out.write(SITEMAP_HEAD)
            in_part, latest = 0, ""
        entry = (
            f"<url>\n  <loc>{escape(resolve(route, config), XML_ENTITIES)}</loc>\n"
            f"  <lastmod>{escape(lastmod, XML_ENTITIES)}</lastmod>\n"
        )
        for tag, target in sorted((links or {}).items(), key=lambda i: (i[0] == "x-default", i[0])):
            entry += (
                f'  <xhtml:link rel="alternate" hreflang="{escape(tag, XML_ENTITIES)}" '
                f'href="{escape(resolve(target, config), XML_ENTITIES)}"/>\n'
            )
        out.write(entry + "</url>\n")
        in_part += 1
        latest = max(latest, lastmod)
    assert out is not None
    out.write("</urlset>\n")
    out.close()
    parts.append((f"sitemap-{len(parts) + 1}.xml", latest))
    with open(os.path.join(directory, "sitemap.xml"), "w") as index:
        index.write(
            '<?xml version="1.0" encoding="UTF-8"?>\n'
            '<sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">\n'
        )
        for name, last in parts:
            index.write(
                f"<sitemap>\n  <loc>{escape(f'{root}/{name}', XML_ENTITIES)}</loc>\n"
                f"  <lastmod>{last}</lastmod>\n</sitemap>\n"
            )
        index.write("</sitemapindex>\n")


def same_files(left: str, right: str) -> bool:
    names = sorted(os.listdir(left))
    return names == sorted(os.listdir(right)) and all(
        Path(left, name).read_bytes() == Path(right, name).read_bytes() for name in names
    )


def sitemap_check(count: int) -> bool:
    """Times the sitemap writer beside the plain-Python writer on the same
    routes (with lastmod, then with two alternates each), checks that the two
    wrote the same bytes, and reads the peak RSS around the writer's runs.
    Both times include making the inputs, which is also timed alone."""
    config = inputs.site_config()
    ok = True
    for alternates in (False, True):
        with tempfile.TemporaryDirectory() as ours, tempfile.TemporaryDirectory() as theirs:
            gc.collect()
            before = peak_rss_kib()
            started = time.perf_counter()
            zelko_sitemap(ours, config, count, alternates)
            zelko_seconds = time.perf_counter() - started
            growth = peak_rss_kib() - before
            started = time.perf_counter()
            python_sitemap(theirs, config, count, alternates)
            python_seconds = time.perf_counter() - started
            same = same_files(ours, theirs)
            started = time.perf_counter()
            for _ in sitemap_inputs(count, alternates):
                pass
            inputs_seconds = time.perf_counter() - started
            ratio = zelko_seconds / python_seconds
            ok = ok and same and ratio <= 0.5
            label = "lastmod, 2 alternates" if alternates else "lastmod"
            print(
                f"sitemap: {count:,} URLs ({label}): SitemapWriter {zelko_seconds:.2f} s, "
                f"plain Python {python_seconds:.2f} s, ratio {ratio:.3f} (limit ≤ 0.5; "
                f"making the inputs alone {inputs_seconds:.2f} s); "
                f"{len(os.listdir(ours))} files, same bytes: {'yes' if same else 'NO'}; "
                f"peak RSS growth during the writer {growth:,} KiB"
            )
    return ok


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter
    )
    parser.add_argument(
        "--rounds", type=int, default=7, help="timed rounds per figure (median taken)"
    )
    parser.add_argument("--min-time", type=float, default=0.1, help="seconds per round")
    parser.add_argument(
        "--pages", nargs="*", help="only these pages (home post product faq search)"
    )
    parser.add_argument("--markdown", action="store_true", help="print Markdown tables")
    parser.add_argument("--json", metavar="FILE", help="also write every figure to FILE as JSON")
    parser.add_argument(
        "--memory", type=int, metavar="COUNT", help="run only the memory check, COUNT builds"
    )
    parser.add_argument(
        "--sitemap", type=int, metavar="COUNT", help="run only the sitemap comparison, COUNT URLs"
    )
    parser.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    args = parser.parse_args(argv)

    print(f"machine: {machine()}")
    if args.memory is not None:
        return 0 if memory_check(args.memory) or not args.check else 1
    if args.sitemap is not None:
        return 0 if sitemap_check(args.sitemap) or not args.check else 1

    rows = run(args.rounds, args.min_time, args.pages)
    print(f"rounds: {args.rounds} of ≥{args.min_time} s each, median per call\n")
    print(table(rows, args.markdown))
    found = targets(rows) if any(r.page == "post" and r.operation == "hash" for r in rows) else []
    if found:
        print()
        print(target_table(found, args.markdown))
    if args.json:
        with open(args.json, "w", encoding="utf-8") as out:
            json.dump(
                {
                    "machine": machine(),
                    "rows": [row.__dict__ for row in rows],
                    "targets": [dict(t.__dict__, met=t.met) for t in found],
                },
                out,
                indent=2,
            )
    if args.check and not all(t.met for t in found):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
