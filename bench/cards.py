"""Social cards: zelko's drawing beside headless Chromium drawing the same
card as an HTML page, the PNG's size, and memory over a long batch.

Figures, measured in one run:

- the median time of ``zelko.cards.social_card`` for the default 1200x630
  card of the bundled blog post, on one core (the process is pinned to one
  CPU); target: at most 50 ms;
- the same card laid out as an HTML page (the same font, sizes, colours and
  places) in Debian's headless Chromium, kept running and driven over the
  DevTools protocol: load the page (a new title each time, so nothing is
  reused), wait for its fonts, take a 1200x630 PNG screenshot; the median
  time per card; target: zelko at least 10 times faster;
- beside it, for reference, a new Chromium process per card (``chromium
  --headless --screenshot``), as where no browser is kept running;
- the size of the default card's PNG; target: at most 150 KB;
- the peak RSS of ``zelko card --batch RECORDS -o DIR --jobs 2`` as its own
  process (the largest of it and its workers) over 1,000 and over 10,000
  records of ``zelko batch``, every card new; target: flat (the second
  within 10% of the first).

    python bench/cards.py                  # every figure
    python bench/cards.py --skip-memory    # the time and size figures only
"""

from __future__ import annotations

import argparse
import html
import itertools
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Any

import websocket

import zelko
from zelko.cards import social_card
from zelko.cards._fonts import BUNDLED

ROOT = Path(__file__).resolve().parents[1]
SITE = ROOT / "examples" / "site" / "zelko.toml"
POST_PAGE = json.loads((ROOT / "examples" / "site" / "pages" / "post.json").read_text())
TIMEOUT = 30.0


def post_card_source() -> dict[str, str]:
    config = zelko.load_config(SITE)
    payload = zelko.build_seo_payload(
        zelko.entity_from_mapping(POST_PAGE["entity"]), POST_PAGE["route"], config
    )
    from zelko.cards import card_options, plan

    text = plan(payload, card_options()).text
    return {
        "title": text.title,
        "description": text.description,
        "site_name": text.site_name,
        "label": text.label,
    }


# --- zelko ------------------------------------------------------------------------


def time_zelko(source: dict[str, str], rounds: int, cpu: list[float]) -> list[float]:
    """Wall-clock times; the CPU times go to ``cpu``."""
    social_card(source)  # fonts loaded, caches warm: a running site's state
    times = []
    for index in range(rounds):
        card = {**source, "title": f"{source['title']} {index}"}  # a new card every time
        start, start_cpu = time.perf_counter(), time.process_time()
        social_card(card)
        times.append(time.perf_counter() - start)
        cpu.append(time.process_time() - start_cpu)
    return times


# --- Chromium ---------------------------------------------------------------------

PAGE = """<!doctype html>
<html><head><meta charset="utf-8"><style>
@font-face {{ font-family: Inter; src: url("{font}"); font-weight: 100 900; }}
html, body {{ margin: 0; width: 1200px; height: 630px; overflow: hidden; }}
body {{ background: #0f172a; color: #f8fafc; font-family: Inter; position: relative; }}
.label {{ position: absolute; left: 80px; top: 72px; font: 600 28px/1.2 Inter; color: #38bdf8; }}
.text {{ position: absolute; left: 80px; right: 80px; top: 130px; }}
h1 {{ margin: 0 0 24px; font: 700 72px/1.12 Inter; display: -webkit-box;
      -webkit-line-clamp: 3; -webkit-box-orient: vertical; overflow: hidden; }}
p {{ margin: 0; font: 400 32px/1.3 Inter; color: #b8bcc6; display: -webkit-box;
     -webkit-line-clamp: 2; -webkit-box-orient: vertical; overflow: hidden; }}
.site {{ position: absolute; left: 80px; bottom: 72px; height: 56px; line-height: 56px;
         font: 600 30px/56px Inter; }}
.bar {{ position: absolute; left: 0; right: 0; bottom: 0; height: 12px; background: #38bdf8; }}
</style></head><body>
<div class="label">{label}</div>
<div class="text"><h1>{title}</h1><p>{description}</p></div>
<div class="site">{site_name}</div><div class="bar"></div>
<script>document.fonts.ready.then(() => {{ document.title = "ready"; }});</script>
</body></html>
"""


class Chromium:
    """Headless Chromium with one page, driven over the DevTools protocol."""

    def __init__(self, work: Path) -> None:
        profile = work / "profile"
        arguments = [
            shutil.which("chromium") or "chromium",
            "--headless",
            "--disable-gpu",
            f"--user-data-dir={profile}",
            "--remote-debugging-port=0",
            "--remote-debugging-address=127.0.0.1",
            "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
            "--no-proxy-server",
            "--disable-background-networking",
            "--disable-component-update",
            "--no-first-run",
            "--hide-scrollbars",
            "--allow-file-access-from-files",
            "about:blank",
        ]
        if os.geteuid() == 0:
            arguments.insert(2, "--no-sandbox")
        self._process = subprocess.Popen(
            arguments, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL
        )
        self._ids = itertools.count(1)
        active = profile / "DevToolsActivePort"
        deadline = time.monotonic() + TIMEOUT
        while not (active.exists() and len(active.read_text().split()) == 2):
            if time.monotonic() > deadline or self._process.poll() is not None:
                self.close()
                sys.exit("chromium did not start")
            time.sleep(0.1)
        port, path = active.read_text().split()
        self._socket = websocket.create_connection(
            f"ws://127.0.0.1:{port}{path}", timeout=TIMEOUT, suppress_origin=True
        )
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        attached = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})
        self._session = attached["sessionId"]
        self.call(
            "Emulation.setDeviceMetricsOverride",
            {"width": 1200, "height": 630, "deviceScaleFactor": 1, "mobile": False},
            self._session,
        )

    def call(self, method: str, params: dict[str, Any], session: str | None = None) -> Any:
        message: dict[str, Any] = {"id": next(self._ids), "method": method, "params": params}
        if session is not None:
            message["sessionId"] = session
        self._socket.send(json.dumps(message))
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            reply = json.loads(self._socket.recv())
            if reply.get("id") == message["id"]:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]
        raise RuntimeError(f"no reply to {method}")

    def screenshot(self, url: str) -> bytes:
        import base64

        self.call("Page.navigate", {"url": url}, self._session)
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            result = self.call(
                "Runtime.evaluate",
                {"expression": "document.title", "returnByValue": True},
                self._session,
            )
            if result["result"].get("value") == "ready":
                break
            time.sleep(0.002)
        shot = self.call(
            "Page.captureScreenshot",
            {"format": "png", "clip": {"x": 0, "y": 0, "width": 1200, "height": 630, "scale": 1}},
            self._session,
        )
        return base64.b64decode(shot["data"])

    def close(self) -> None:
        if getattr(self, "_socket", None) is not None:
            self._socket.close()
        self._process.terminate()
        try:
            self._process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait(timeout=30)


def time_chromium(source: dict[str, str], rounds: int, work: Path) -> tuple[list[float], bytes]:
    browser = Chromium(work)
    try:
        pages = []
        for index in range(rounds + 1):
            page = work / f"card-{index}.html"
            fields = {key: html.escape(value) for key, value in source.items()}
            fields["title"] = html.escape(f"{source['title']} {index}")
            page.write_text(PAGE.format(font=BUNDLED.as_uri(), **fields), encoding="utf-8")
            pages.append(page.as_uri())
        first = browser.screenshot(pages[0])  # warm-up: the browser is running already
        times = []
        for url in pages[1:]:
            start = time.perf_counter()
            browser.screenshot(url)
            times.append(time.perf_counter() - start)
        return times, first
    finally:
        browser.close()


def time_chromium_cold(source: dict[str, str], rounds: int, work: Path) -> list[float]:
    """A new browser for each card, as a command-line screenshot: what a
    first render costs where no browser is kept running."""
    times = []
    for index in range(rounds):
        page = work / f"cold-{index}.html"
        fields = {key: html.escape(value) for key, value in source.items()}
        page.write_text(PAGE.format(font=BUNDLED.as_uri(), **fields), encoding="utf-8")
        command = [
            shutil.which("chromium") or "chromium",
            "--headless",
            "--disable-gpu",
            f"--user-data-dir={work / f'cold-profile-{index}'}",
            "--hide-scrollbars",
            "--window-size=1200,630",
            "--virtual-time-budget=1000",
            f"--screenshot={work / f'cold-{index}.png'}",
            page.as_uri(),
        ]
        if os.geteuid() == 0:
            command.insert(2, "--no-sandbox")
        start = time.perf_counter()
        subprocess.run(
            command, check=True, timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL
        )
        times.append(time.perf_counter() - start)
    return times


# --- Memory -----------------------------------------------------------------------


def peak_rss_of_batch(count: int, work: Path) -> int:
    """KiB: the largest peak RSS of `zelko card --batch` and its workers."""
    lines = work / f"pages-{count}.jsonl"
    with lines.open("w") as handle:
        for index in range(count):
            page = json.loads(json.dumps(POST_PAGE))
            page["route"] = f"/blog/post-{index}"
            page["entity"]["title"] = f"{POST_PAGE['entity']['title']} number {index}"
            handle.write(json.dumps(page) + "\n")
    records = work / f"records-{count}.jsonl"
    zelko_command = [sys.executable, "-m", "zelko"]
    subprocess.run(
        [*zelko_command, "batch", "--config", str(SITE), str(lines), "-o", str(records)],
        check=True,
        stderr=subprocess.DEVNULL,
    )
    out = work / f"cards-{count}"
    script = (
        "import resource, subprocess, sys\n"
        "subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)\n"
        "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"
    )
    command = [*zelko_command, "card", "--batch", str(records), "-o", str(out), "--jobs", "2"]
    done = subprocess.run(
        [sys.executable, "-c", script, *command], check=True, capture_output=True, text=True
    )
    drawn = len(list(out.glob("og-*.png")))
    if drawn != count:
        sys.exit(f"memory run: {drawn} cards drawn of {count}")
    return int(done.stdout.split()[-1])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=41, help="cards timed each way (41)")
    parser.add_argument("--skip-memory", action="store_true")
    args = parser.parse_args()
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})  # zelko on one core
    source = post_card_source()
    card = social_card(source)
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        # Side by side: half of zelko's rounds, Chromium's, then the other half.
        half = args.rounds // 2
        cpu: list[float] = []
        ours = time_zelko(source, half, cpu)
        os.sched_setaffinity(0, set(range(os.cpu_count() or 1)))  # the browser as it likes
        theirs, screenshot = time_chromium(source, args.rounds, work)
        os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
        ours += time_zelko(source, args.rounds - half, cpu)
        (ROOT / "build").mkdir(exist_ok=True)
        (ROOT / "build" / "bench-card-zelko.png").write_bytes(card.png)
        (ROOT / "build" / "bench-card-chromium.png").write_bytes(screenshot)
        zelko_ms = statistics.median(ours) * 1000
        chromium_ms = statistics.median(theirs) * 1000
        ratio = chromium_ms / zelko_ms
        print(f"zelko social_card, default 1200x630, one core: median {zelko_ms:.1f} ms "
              f"(target ≤ 50 ms: {'met' if zelko_ms <= 50 else 'missed'}); "
              f"CPU time {statistics.median(cpu) * 1000:.1f} ms; "
              f"load average {os.getloadavg()[0]:.1f}")  # fmt: skip
        print(f"headless Chromium, HTML page + screenshot: median {chromium_ms:.1f} ms; "
              f"zelko {ratio:.1f}× faster "
              f"(target ≥ 10×: {'met' if ratio >= 10 else 'missed'})")  # fmt: skip
        cold_ms = statistics.median(time_chromium_cold(source, 5, work)) * 1000
        print(f"headless Chromium started for each card (chromium --screenshot): median "
              f"{cold_ms:.0f} ms; zelko {cold_ms / zelko_ms:.0f}× faster")  # fmt: skip
        size = len(card.png)
        print(f"PNG of the default card: {size / 1000:.1f} KB "
              f"(target ≤ 150 KB: {'met' if size <= 150_000 else 'missed'})")  # fmt: skip
        if not args.skip_memory:
            os.sched_setaffinity(0, set(range(os.cpu_count() or 1)))
            small = peak_rss_of_batch(1_000, work)
            large = peak_rss_of_batch(10_000, work)
            growth = large / small
            print(f"zelko card --batch --jobs 2: peak RSS {small / 1024:.1f} MiB over 1,000 "
                  f"cards, {large / 1024:.1f} MiB over 10,000: ×{growth:.2f} "
                  f"(target ≤ 1.10: {'met' if growth <= 1.10 else 'missed'})")  # fmt: skip


if __name__ == "__main__":
    main()
