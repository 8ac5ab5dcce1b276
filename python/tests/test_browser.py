"""A real browser reads the pages of the Flask example app: what headless
Chromium builds from the head (title, every meta and link element, each
JSON-LD script parsed) must be exactly the payload, also for inputs full of
hostile text, and for a whole head exactly the values of every extra. The
app and the browser run on 127.0.0.1 only, and the browser is told to
resolve no other host."""

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


# --- The whole head: every extra filled, hostile text in each -------------------

# A head carries no line separator (U+2028); everything else of HOSTILE goes in.
EXTRA = HOSTILE.replace("\u2028 ", "")
# A query the browser would read as entities (&copy, &lt) were it not escaped.
QUERY = "?v=1&copy=2&lt=3"
BASE = "https://www.kestrel-coffee.example"
SITE_HEAD_TABLE: dict[str, Any] = {
    "application_name": f"App {EXTRA}",
    "theme_color": [{"color": f"#fff {EXTRA}"}, {"color": "#000", "media": f"(dark) {EXTRA}"}],
    "icons": [
        {"href": f"/favicon.ico{QUERY}", "sizes": f"32x32 {EXTRA}", "type": f"image/{EXTRA}"},
        {"href": "/mask.svg", "rel": "mask-icon", "color": f"#000 {EXTRA}"},
        {"href": "/touch.png", "rel": "apple-touch-icon", "media": f"(x) {EXTRA}"},
    ],
    "manifest": f"/site.webmanifest{QUERY}",
    "feeds": [{"href": f"/feed.xml{QUERY}", "title": f"Feed {EXTRA}"}],
    "verification": {"google": f"g {EXTRA}", "other": {f"v-{EXTRA}": f"o {EXTRA}"}},
    "twitter_site_id": f"1 {EXTRA}",
    "app_links": {"ios_url": f"app://x {EXTRA}", "web_url": f"{BASE}/web{QUERY}"},
    "meta": {f"site-{EXTRA}": f"s {EXTRA}"},
}
PAGE_HEAD_TABLE: dict[str, Any] = {
    "images": [{"url": f"/img/a.png{QUERY}", "width": 10, "height": 20, "alt": f"Alt {EXTRA}"}],
    "videos": [{"url": f"/v.mp4{QUERY}", "type": f"video/{EXTRA}", "width": 1, "height": 2}],
    "article": {
        "published_time": "2024-05-01T08:00:00Z",
        "modified_time": "2024-05-02",
        "authors": [f"Ann {EXTRA}", "Bo"],
        "section": f"Section {EXTRA}",
        "tags": [f"tag {EXTRA}", "plain"],
    },
    "keywords": [f"key {EXTRA}", "two"],
    "robots": {"noarchive": True},
    "googlebot": {"index": False, "nosnippet": True},
    "bingbot": {"follow": False},
    "meta": {f"page-{EXTRA}": f"p {EXTRA}"},
}
WHOLE_HEAD_PAGE = {
    "route": "/whole-head",
    "entity": {"entity_type": "post", "title": f"Whole {EXTRA}"},
    "head": PAGE_HEAD_TABLE,
}


def toml_value(value: object) -> str:
    """TOML for a JSON-like value: JSON's string escapes are TOML's."""
    if isinstance(value, dict):
        return "{" + ", ".join(f"{json.dumps(k)} = {toml_value(v)}" for k, v in value.items()) + "}"
    if isinstance(value, list):
        return "[" + ", ".join(toml_value(item) for item in value) + "]"
    return json.dumps(value)


def element(tag: str, **attributes: str) -> dict[str, Any]:
    return {"tag": tag, "attributes": dict(attributes), "text": None}


def meta(kind: str, key: str, content: str) -> dict[str, Any]:
    return element("meta", **{kind: key, "content": content})


def expected_extras() -> list[dict[str, Any]]:
    """The elements of the site's and the page's extras, from the values put
    in, in the order of the head."""
    site, page = SITE_HEAD_TABLE, PAGE_HEAD_TABLE
    (plain, dark), (icon, mask, touch) = site["theme_color"], site["icons"]
    article = page["article"]
    return [
        meta("name", "application-name", site["application_name"]),
        meta("name", "theme-color", plain["color"]),
        element("meta", name="theme-color", content=dark["color"], media=dark["media"]),
        element(
            "link", rel="icon", href=BASE + icon["href"], sizes=icon["sizes"], type=icon["type"]
        ),
        element("link", rel="mask-icon", href=BASE + mask["href"], color=mask["color"]),
        element("link", rel="apple-touch-icon", href=BASE + touch["href"], media=touch["media"]),
        element("link", rel="manifest", href=BASE + site["manifest"]),
        element(
            "link",
            rel="alternate",
            type="application/rss+xml",
            title=site["feeds"][0]["title"],
            href=BASE + site["feeds"][0]["href"],
        ),
        meta("name", "google-site-verification", site["verification"]["google"]),
        *(meta("name", k, v) for k, v in site["verification"]["other"].items()),
        meta("name", "twitter:site:id", site["twitter_site_id"]),
        meta("property", "al:ios:url", site["app_links"]["ios_url"]),
        meta("property", "al:web:url", site["app_links"]["web_url"]),
        *(meta("name", k, v) for k, v in site["meta"].items()),
        meta("name", "keywords", ", ".join(page["keywords"])),
        meta("name", "googlebot", "noindex,follow,nosnippet"),
        meta("name", "bingbot", "index,nofollow"),
        meta("property", "og:image", BASE + page["images"][0]["url"]),
        meta("property", "og:image:width", "10"),
        meta("property", "og:image:height", "20"),
        meta("property", "og:image:alt", page["images"][0]["alt"]),
        meta("property", "og:video", BASE + page["videos"][0]["url"]),
        meta("property", "og:video:type", page["videos"][0]["type"]),
        meta("property", "og:video:width", "1"),
        meta("property", "og:video:height", "2"),
        meta("property", "article:published_time", article["published_time"]),
        meta("property", "article:modified_time", article["modified_time"]),
        *(meta("property", "article:author", author) for author in article["authors"]),
        meta("property", "article:section", article["section"]),
        *(meta("property", "article:tag", tag) for tag in article["tags"]),
        *(meta("name", k, v) for k, v in page["meta"].items()),
    ]


@pytest.fixture(scope="module")
def whole_head_url(base_url: str, tmp_path_factory: pytest.TempPathFactory) -> Iterator[str]:
    """The Flask example app (loaded by ``base_url``) with a site file holding
    a [head] table and one page with a head, every value hostile."""
    folder = tmp_path_factory.mktemp("whole-head")
    site_file = folder / "zelko.toml"
    table = "\n".join(f"{json.dumps(k)} = {toml_value(v)}" for k, v in SITE_HEAD_TABLE.items())
    site_text = (EXAMPLES / "site" / "zelko.toml").read_text(encoding="utf-8")
    site_file.write_text(f"{site_text}\n[head]\n{table}\n", encoding="utf-8")
    pages = folder / "pages"
    pages.mkdir()
    (pages / "whole-head.json").write_text(json.dumps(WHOLE_HEAD_PAGE), encoding="utf-8")
    module = sys.modules["flask_browser_example"]
    server = make_server("127.0.0.1", 0, module.create_app(pages, site_file), threaded=True)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_port}"
    finally:
        server.shutdown()
        thread.join(timeout=30)


def by_value(elements: list[dict[str, Any]]) -> list[dict[str, Any]]:
    """Elements with their attributes as a mapping: the values count, not
    the order the renderer writes them in."""
    return [{**item, "attributes": dict(item["attributes"])} for item in elements]


def test_the_browser_sees_exactly_the_whole_head(browser: Browser, whole_head_url: str) -> None:
    browser.open(f"{whole_head_url}/whole-head")
    dom = json.loads(browser.evaluate(READ_DOM))

    payload = zelko.build_seo_payload(
        zelko.entity_from_mapping(WHOLE_HEAD_PAGE["entity"]), "/whole-head", CONFIG
    )
    own = by_value(expected_head(payload))
    robots = next(item for item in own if item["attributes"].get("name") == "robots")
    robots["attributes"]["content"] = f"{payload.robots},noarchive"
    assert by_value(dom["head"]) == own + by_value(expected_extras())
    assert dom["title"] == browser_title(payload.title)
    assert dom["jsonld"] == [payload.schema_jsonld]
    assert dom["elements"] == 4 + len(dom["head"])
