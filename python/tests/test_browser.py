"""A real browser reads the pages of the Flask example app: what headless
Chromium builds from the head (title, every meta and link element, each
JSON-LD script parsed) must be exactly the payload, also for inputs full of
hostile text. The app and the browser run on 127.0.0.1 only, and the browser
is told to resolve no other host."""

from __future__ import annotations

import importlib.util
import itertools
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import pytest
import websocket
from werkzeug.serving import make_server

import zelko

REPO = Path(__file__).resolve().parents[2]
EXAMPLES = REPO / "examples"
CONFIG = zelko.load_config(EXAMPLES / "site" / "zelko.toml")
# The example's German pages have their own configuration (og:locale).
LANGUAGE_CONFIGS = {"en": CONFIG, "de": zelko.load_config(EXAMPLES / "site" / "zelko.de.toml")}
STARTUP_SECONDS = 90  # a cold Chromium on a busy two-core machine
PAGE_SECONDS = 60

HOSTILE = "\"double\" 'single' &amp; <b>bold</b> \u2028 --> </script><!--<script>"
HOSTILE_PAGE = {
    "route": "/hostile",
    "entity": {
        "entity_type": "post",
        "title": f"Title {HOSTILE}",
        "excerpt": f"Excerpt {HOSTILE} </title></head><body>",
        "author_name": f"Author {HOSTILE}",
        "featured_image": {
            "url": "javascript:alert(1)",
            "alt": f'"><script>alert(2)</script>{HOSTILE}',
        },
        "breadcrumbs": [{"name": f"Crumb {HOSTILE}", "url": "javascript:alert(3)"}],
        "same_as": ["javascript:alert(4)"],
    },
    "overrides": {
        "twitter_creator": f"@x {HOSTILE}",
        "og_title": f"OG {HOSTILE}",
    },
}


def chromium() -> str:
    path = shutil.which("chromium")
    if path is None:
        pytest.fail(
            "chromium is not installed; tools/test.sh installs Debian's chromium (run it as root)"
        )
    return path


# --- The app ------------------------------------------------------------------------


@pytest.fixture(scope="module")
def base_url(tmp_path_factory: pytest.TempPathFactory) -> Iterator[str]:
    """The Flask example app with the bundled pages and the hostile one, served
    on an ephemeral port of 127.0.0.1 for the module's tests."""
    pages = tmp_path_factory.mktemp("pages")
    for page in (EXAMPLES / "site" / "pages").glob("*.json"):
        shutil.copy(page, pages)
    (pages / "hostile.json").write_text(json.dumps(HOSTILE_PAGE), encoding="utf-8")
    spec = importlib.util.spec_from_file_location(
        "flask_browser_example", EXAMPLES / "flask_app" / "app.py"
    )
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    sys.modules[spec.name] = module
    spec.loader.exec_module(module)
    server = make_server("127.0.0.1", 0, module.create_app(pages), threaded=True)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_port}"
    finally:
        server.shutdown()
        thread.join(timeout=30)


# --- The browser, through the DevTools protocol ---------------------------------


class Browser:
    """One headless Chromium and a page in it, driven over a websocket."""

    def __init__(self, profile: Path) -> None:
        self._log = (profile.parent / "chromium.log").open("wb")
        arguments = [
            chromium(),
            "--headless",
            "--disable-gpu",
            f"--user-data-dir={profile}",
            "--remote-debugging-port=0",
            "--remote-debugging-address=127.0.0.1",
            # Nothing but the app on 127.0.0.1 is ever reached.
            "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
            "--no-proxy-server",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--disable-default-apps",
            "--disable-extensions",
            "--no-first-run",
            "--no-default-browser-check",
            "about:blank",
        ]
        if hasattr(os, "geteuid") and os.geteuid() == 0:
            arguments.insert(2, "--no-sandbox")  # Chromium refuses its sandbox as root
        # The sanitizer run preloads its runtimes for Python's sake, not the browser's.
        environment = {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}
        self._process = subprocess.Popen(
            arguments, stdout=self._log, stderr=self._log, env=environment
        )
        self._ids = itertools.count(1)
        self._socket: websocket.WebSocket | None = None
        try:
            self._socket = websocket.create_connection(
                self._endpoint(profile), timeout=PAGE_SECONDS, suppress_origin=True
            )
            target = self._call("Target.createTarget", {"url": "about:blank"})["targetId"]
            attached = self._call("Target.attachToTarget", {"targetId": target, "flatten": True})
            self._session: str = attached["sessionId"]
        except BaseException:
            self.close()
            raise

    def _endpoint(self, profile: Path) -> str:
        """Chromium writes its port and path to DevToolsActivePort once it listens."""
        active = profile / "DevToolsActivePort"
        deadline = time.monotonic() + STARTUP_SECONDS
        while time.monotonic() < deadline:
            if self._process.poll() is not None:
                pytest.fail(
                    f"chromium exited with {self._process.returncode}; see {self._log.name}"
                )
            lines = active.read_text().split() if active.exists() else []
            if len(lines) == 2:
                return f"ws://127.0.0.1:{lines[0]}{lines[1]}"
            time.sleep(0.2)
        pytest.fail(f"chromium did not open its DevTools port in {STARTUP_SECONDS} s")

    def _call(self, method: str, params: dict[str, Any], session: str | None = None) -> Any:
        message: dict[str, Any] = {"id": next(self._ids), "method": method, "params": params}
        if session is not None:
            message["sessionId"] = session
        assert self._socket is not None
        self._socket.send(json.dumps(message))
        deadline = time.monotonic() + PAGE_SECONDS
        while time.monotonic() < deadline:  # events come in between the replies
            reply = json.loads(self._socket.recv())
            if reply.get("id") == message["id"]:
                assert "error" not in reply, reply
                return reply["result"]
        pytest.fail(f"no reply to {method} in {PAGE_SECONDS} s")

    def evaluate(self, expression: str) -> Any:
        result = self._call(
            "Runtime.evaluate", {"expression": expression, "returnByValue": True}, self._session
        )
        assert "exceptionDetails" not in result, result
        return result["result"].get("value")

    def open(self, url: str) -> None:
        self._call("Page.navigate", {"url": url}, self._session)
        deadline = time.monotonic() + PAGE_SECONDS
        while time.monotonic() < deadline:
            if self.evaluate(
                f"location.href === {json.dumps(url)} && document.readyState === 'complete'"
            ):
                return
            time.sleep(0.1)
        pytest.fail(f"{url} did not load in {PAGE_SECONDS} s")

    def close(self) -> None:
        if self._socket is not None:
            self._socket.close()
        self._process.terminate()
        try:
            self._process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait(timeout=30)
        self._log.close()


@pytest.fixture(scope="module")
def browser(tmp_path_factory: pytest.TempPathFactory) -> Iterator[Browser]:
    instance = Browser(tmp_path_factory.mktemp("chromium") / "profile")
    try:
        yield instance
    finally:
        instance.close()


# What the page's DOM holds: every element of head and body with its
# attributes, the title as the browser reports it, each JSON-LD script parsed.
READ_DOM = """JSON.stringify({
  lang: document.documentElement.lang,
  title: document.title,
  head: Array.from(document.head.children, element => ({
    tag: element.localName,
    attributes: Array.from(element.attributes, attribute => [attribute.name, attribute.value]),
    text: element.localName === "title" ? element.textContent : null,
  })),
  jsonld: Array.from(
    document.querySelectorAll('script[type="application/ld+json"]'),
    script => JSON.parse(script.textContent)),
  body: Array.from(document.body.children, element => [element.localName, element.textContent]),
  elements: document.getElementsByTagName("*").length,
})"""


# The payload's Open Graph and Twitter fields in the order of the head, and
# the names their elements carry where they are not prefix + field name.
OG_FIELDS = "type title description url image image_width image_height image_alt site_name locale"
OG_FIELDS += " locale_alternate audio video"
TWITTER_FIELDS = "card title description image image_alt site creator"
RENAMED = {"image_width": "image:width", "image_height": "image:height", "image_alt": "image:alt"}
RENAMED["locale_alternate"] = "locale:alternate"


def expected_head(payload: zelko.SEOPayload) -> list[dict[str, Any]]:
    """The head elements the payload stands for, in the order of the head."""

    def meta(kind: str, key: str, value: object) -> dict[str, Any]:
        return {"tag": "meta", "attributes": [[kind, key], ["content", str(value)]], "text": None}

    head = [{"tag": "title", "attributes": [], "text": payload.title}]
    if payload.description:
        head.append(meta("name", "description", payload.description))
    canonical = [["rel", "canonical"], ["href", payload.canonical]]
    head += [{"tag": "link", "attributes": canonical, "text": None}]
    head.append(meta("name", "robots", payload.robots))
    for kind, prefix, part, fields in (
        ("property", "og:", payload["og"], OG_FIELDS),
        ("name", "twitter:", payload["twitter"], TWITTER_FIELDS),
    ):
        for field in fields.split():
            values = part.get(field)
            for value in values if isinstance(values, list) else [values] * (values is not None):
                head.append(meta(kind, prefix + RENAMED.get(field, field), value))
    if payload.schema_jsonld is not None:
        ld_json = [["type", "application/ld+json"]]
        head.append({"tag": "script", "attributes": ld_json, "text": None})
    return head


def browser_title(title: str) -> str:
    """document.title: the text with ASCII whitespace stripped and collapsed."""
    return re.sub(r"[\t\n\f\r ]+", " ", title).strip("\t\n\f\r ")


def page_files() -> list[dict[str, Any]]:
    bundled = [
        json.loads(path.read_text(encoding="utf-8"))
        for path in sorted((EXAMPLES / "site" / "pages").glob("*.json"))
    ]
    return [*bundled, HOSTILE_PAGE]


@pytest.mark.parametrize("page", page_files(), ids=lambda page: page["route"].split("?")[0])
def test_the_browser_sees_exactly_the_payload(
    browser: Browser, base_url: str, page: dict[str, Any]
) -> None:
    path = page["route"].split("?")[0].lower().rstrip("/") or "/"
    browser.open(f"{base_url}{path}")
    dom = json.loads(browser.evaluate(READ_DOM))

    alternates = page.get("alternates", {})
    language = next((tag for tag, route in alternates.items() if route == page["route"]), "en")
    config = LANGUAGE_CONFIGS[language]
    payload = zelko.build_seo_payload(
        zelko.entity_from_mapping(page["entity"]),
        path,
        config,
        zelko.overrides_from_mapping(page.get("overrides") or {}),
    )
    hreflang = [
        {"tag": "link", "attributes": attributes, "text": None}
        for attributes in (
            [["rel", "alternate"], ["hreflang", tag], ["href", url]]
            for tag, url in zelko.hreflang_links(config, alternates)
        )
    ]
    assert dom["lang"] == language
    assert dom["head"] == expected_head(payload) + hreflang
    assert dom["title"] == browser_title(payload.title)
    assert dom["jsonld"] == ([] if payload.schema_jsonld is None else [payload.schema_jsonld])
    assert dom["body"] == [["h1", page["entity"]["title"]]]
    # html, head, body, h1 and the head's elements: nothing else was made.
    assert dom["elements"] == 4 + len(dom["head"])
