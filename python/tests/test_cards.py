"""Social cards: deterministic bytes and names, text fitting, font fallback,
refusals naming their field, the command line and the framework routes."""

from __future__ import annotations

import hashlib
import io
import json
import struct
import subprocess
import sys
import types
import zlib
from pathlib import Path
from typing import Any

import pytest
from PIL import Image

import zelko
from zelko.cards import _fonts, _text, card_link, card_options, copied_rows, plan, social_card
from zelko.cards.store import CardStore, card_response
from zelko.cli import main

REPO = Path(__file__).resolve().parents[2]
SITE = REPO / "examples" / "site"
FALLBACK = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"
POST = {
    "title": "Brewing the perfect pour-over at home, step by step",
    "description": "Grind size, water temperature and a slow, even pour.",
    "site_name": "Kestrel Coffee",
    "label": "2024-03-18",
}
SVG = """<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 600 315">
<rect width="600" height="315" fill="{background}"/>
<text x="40" y="120" font-size="40" font-weight="700" fill="{accent}">{title}</text>
<text x="40" y="280" font-size="16">by {site_name}</text>
</svg>"""


def picture(size: tuple[int, int] = (64, 48), mode: str = "RGB") -> bytes:
    out = io.BytesIO()
    Image.new(mode, size, "orange" if mode == "RGB" else 0).save(out, "PNG")
    return out.getvalue()


@pytest.fixture
def template(tmp_path: Path) -> Path:
    path = tmp_path / "card.svg"
    path.write_text(SVG, encoding="utf-8")
    return path


# --- Determinism and names ------------------------------------------------------

DRAW_SCRIPT = """
import hashlib, json, sys
from zelko.cards import social_card
cases = json.loads(sys.argv[1])
for case in cases:
    source = dict(case["source"])
    if "image" in source:
        source["image"] = bytes.fromhex(source["image"])
    card = social_card(source, **case["options"])
    print(card.name, hashlib.sha256(card.png).hexdigest())
"""


def test_the_same_cards_come_out_byte_for_byte_in_two_fresh_processes(template: Path) -> None:
    cases = [
        {"source": POST, "options": {}},
        {"source": POST, "options": {"template": "minimal", "width": 800, "height": 420}},
        {"source": {**POST, "image": picture().hex()}, "options": {"template": "image"}},
        {"source": POST, "options": {"template": str(template)}},
        {"source": {"title": "社交卡片 Ελληνικά"}, "options": {"fonts": [FALLBACK]}},
    ]
    runs = [
        subprocess.run(
            [sys.executable, "-c", DRAW_SCRIPT, json.dumps(cases)],
            check=True,
            capture_output=True,
            text=True,
        ).stdout
        for _ in range(2)
    ]
    assert runs[0] == runs[1]
    lines = runs[0].splitlines()
    assert len(lines) == len(cases) and len({line.split()[0] for line in lines}) == len(cases)
    here = social_card(POST)
    assert lines[0] == f"{here.name} {hashlib.sha256(here.png).hexdigest()}"


@pytest.mark.parametrize(
    ("change", "options"),
    [
        ({"title": POST["title"] + "!"}, {}),
        ({"description": ""}, {}),
        ({"label": "2024-03-19"}, {}),
        ({"image": picture()}, {}),
        ({"logo": picture((10, 10))}, {}),
        ({}, {"theme": {"accent": "#ff0000"}}),
        ({}, {"template": "minimal"}),
        ({}, {"width": 1201}),
        ({}, {"fonts": [FALLBACK]}),
    ],
)
def test_the_name_follows_everything_that_decides_the_pixels(
    change: dict[str, Any], options: dict[str, Any]
) -> None:
    base = card_link(POST)
    changed = card_link({**POST, **change}, **options)
    assert changed.name != base.name
    assert card_link(dict(reversed(list(POST.items())))).name == base.name  # key order: no
    assert card_link(POST, theme={"accent": "#38BDF8"}).name == base.name  # the default, spelt up


def test_a_card_is_a_png_of_its_size_under_its_name_and_link() -> None:
    card = social_card(POST, width=1000, height=525)
    image = Image.open(io.BytesIO(card.png))
    assert (image.format, image.size) == ("PNG", (1000, 525))
    assert card.png.startswith(b"\x89PNG") and card.media_type == "image/png"
    link = card_link(POST, "https://cdn.example.com/og", width=1000, height=525)
    assert link.url == f"https://cdn.example.com/og/{card.name}"
    assert (link.width, link.height, link.alt) == (1000, 525, POST["title"])
    assert zelko.social_card is social_card and zelko.SocialCard is type(card)
    # The rows are compressed straight from Pillow's padded buffer: the same
    # stream as rows copied one by one, and the pixels drawn.
    (idat,) = [chunk for chunk in _chunks(card.png) if chunk[0] == b"IDAT"]
    assert zlib.decompress(idat[1]) == copied_rows(image.convert("RGB"))


def _chunks(png: bytes) -> list[tuple[bytes, bytes]]:
    chunks, at = [], 8
    while at < len(png):
        (length,) = struct.unpack(">I", png[at : at + 4])
        chunks.append((png[at + 4 : at + 8], png[at + 8 : at + 8 + length]))
        at += 12 + length
    return chunks


def test_a_payload_gives_its_open_graph_title_without_the_site_suffix() -> None:
    site = zelko.load_config(SITE / "zelko.toml")
    page = json.loads((SITE / "pages" / "post.json").read_text(encoding="utf-8"))
    payload = zelko.build_seo_payload(
        zelko.entity_from_mapping(page["entity"]), page["route"], site
    )
    text = plan(payload, card_options()).text
    assert payload["og"]["title"].startswith(text.title + " ")
    assert text.site_name == payload["og"]["site_name"] and text.site_name not in text.title
    assert text.label == "2024-03-18"
    options = card_options()
    # The batch records' form names the same card.
    assert plan(payload.to_dict(), options).name == plan(payload, options).name


# --- Fitting ---------------------------------------------------------------------

CHAIN = _fonts.FontChain.of([])
BOX = _text.Box(width=900, max_lines=3, max_size=72, min_size=40, weight=700)


@pytest.mark.parametrize("words", [1, 3, 8, 14, 20, 30, 60, 400])
def test_titles_wrap_on_words_shrink_then_end_in_an_ellipsis(words: int) -> None:
    text = " ".join(f"word{index % 7}" for index in range(words))
    block = _text.fit(text, BOX, CHAIN)
    assert 1 <= len(block.lines) <= BOX.max_lines
    assert BOX.min_size <= block.size <= BOX.max_size
    assert all(CHAIN.width(line, block.size, BOX.weight) <= BOX.width for line in block.lines)
    joined = " ".join(block.lines)
    if joined == text:
        if block.size < BOX.max_size:  # shrunk: one size up would not have fitted
            bigger = _text.Box(900, 3, block.size + BOX.step, block.size + BOX.step, 700)
            assert _text.fit(text, bigger, CHAIN).lines[-1].endswith(_text.ELLIPSIS)
    else:
        assert block.size == BOX.min_size and joined.endswith(_text.ELLIPSIS)
        assert text.startswith(joined[:-1].rstrip())


def test_a_word_longer_than_a_line_is_broken_and_text_without_spaces_wraps() -> None:
    long_word = _text.fit("x" * 300, BOX, CHAIN)
    assert len(long_word.lines) == 3 and long_word.lines[-1].endswith(_text.ELLIPSIS)
    cjk = _fonts.FontChain.of([FALLBACK])
    block = _text.fit("中文标题的社交卡片测试" * 3, BOX, cjk)
    assert len(block.lines) > 1 and "".join(block.lines) == "中文标题的社交卡片测试" * 3


def test_widths_are_shaped_with_kerning_and_match_what_pillow_draws() -> None:
    # "AV" kerns: the pair is narrower than its letters apart.
    assert CHAIN.width("AV", 72, 700) < CHAIN.width("A", 72, 700) + CHAIN.width("V", 72, 700)
    for text in ("Brewing the perfect pour-over", "AVATAR office", "Кириллица Ελληνικά"):
        drawn = _fonts.face(str(_fonts.BUNDLED), 64, 700).getlength(text)
        assert CHAIN.width(text, 64, 700) == pytest.approx(drawn, abs=0.5)


def test_a_character_goes_to_the_first_font_that_has_it() -> None:
    chain = _fonts.FontChain.of([FALLBACK])
    runs = chain.runs("中文 Ελληνικά")
    assert runs == [(FALLBACK, "中文 "), (str(_fonts.BUNDLED), "Ελληνικά")]
    without = social_card({"title": "中文"})
    assert social_card({"title": "中文"}, fonts=[FALLBACK]).png != without.png


# --- Refusals --------------------------------------------------------------------


def refusal_cases(tmp_path: Path) -> list[tuple[dict[str, Any], dict[str, Any], str]]:
    garbage = tmp_path / "garbage.ttf"
    garbage.write_bytes(b"\0\1\0\0" + b"not a font" * 100)
    text_file = tmp_path / "card.txt"
    text_file.write_text(SVG, encoding="utf-8")
    no_title = tmp_path / "no-title.svg"
    no_title.write_text(SVG.replace("{title}", "Title"), encoding="utf-8")
    doctype = tmp_path / "doctype.svg"
    doctype.write_text('<!DOCTYPE svg [<!ENTITY a "aaaa">]>' + SVG, encoding="utf-8")
    outside = tmp_path / "outside.svg"
    outside.write_text(SVG.replace("<rect", '<image href="/etc/hostname"/><rect'), "utf-8")
    not_svg = tmp_path / "html.svg"
    not_svg.write_text("<html><body>{title}</body></html>", encoding="utf-8")
    square = tmp_path / "square.svg"
    square.write_text(SVG.replace("0 0 600 315", "0 0 600 600"), encoding="utf-8")
    bomb = io.BytesIO()
    Image.new("1", (10_000, 5_000)).save(bomb, "PNG")
    return [
        ({"title": ""}, {}, "title"),
        ({"title": " \n\t "}, {}, "title"),
        ({"titel": "x"}, {}, "titel"),
        ({"title": 5}, {}, "title"),
        ({"title": "x", "image": b"not a picture"}, {}, "image"),
        ({"title": "x", "image": bomb.getvalue()}, {}, "image"),
        ({"title": "x", "logo": str(tmp_path / "missing.png")}, {}, "logo"),
        ({"title": "x"}, {"fonts": [str(garbage)]}, "fonts[0]"),
        ({"title": "x"}, {"fonts": [FALLBACK, str(tmp_path / "none.ttf")]}, "fonts[1]"),
        ({"title": "x"}, {"fonts": FALLBACK}, "fonts"),
        ({"title": "x"}, {"template": str(text_file)}, "template"),
        ({"title": "x"}, {"template": str(no_title)}, "template"),
        ({"title": "x"}, {"template": str(doctype)}, "template"),
        ({"title": "x"}, {"template": str(outside)}, "template"),
        ({"title": "x"}, {"template": str(not_svg)}, "template"),
        ({"title": "x"}, {"template": str(square)}, "template"),
        ({"title": "x"}, {"template": "fancy"}, "template"),
        ({"title": "x"}, {"theme": {"accent": "red"}}, "theme.accent"),
        ({"title": "x"}, {"theme": {"border": "#000000"}}, "theme.border"),
        ({"title": "x"}, {"width": 50_000}, "width"),
        ({"title": "x"}, {"height": 630.0}, "height"),
    ]


def test_bad_input_is_refused_naming_the_field(tmp_path: Path) -> None:
    for source, options, field in refusal_cases(tmp_path):
        with pytest.raises(zelko.InputError) as caught:
            social_card(source, **options)
        assert caught.value.field == field, (source, options, str(caught.value))
        assert caught.value.message


def test_import_zelko_needs_no_card_libraries() -> None:
    script = (
        "import sys; sys.modules['PIL'] = None; sys.modules['uharfbuzz'] = None\n"
        "import zelko\n"
        "assert zelko.build_seo_payload\n"
        "try:\n    zelko.social_card\nexcept ImportError as error:\n    print(error)\n"
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert "zelko[cards]" in done.stdout


# --- Command line ------------------------------------------------------------------


def test_cli_draws_each_page_once_and_keeps_existing_cards(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    out = tmp_path / "og"
    arguments = ["card", "--config", str(SITE / "zelko.toml"), str(SITE / "pages"), "-o", str(out)]
    assert main([*arguments, "--jobs", "1"]) == 0
    first = capsys.readouterr()
    files = sorted(out.iterdir())
    assert len(files) == len(list((SITE / "pages").glob("*.json"))) and "6 drawn" in first.err
    stamps = {path.name: path.stat().st_mtime_ns for path in files}
    assert main([*arguments, "--jobs", "2"]) == 0
    again = capsys.readouterr()
    assert "0 drawn, 6 already there" in again.err and again.out == first.out
    assert {path.name: path.stat().st_mtime_ns for path in out.iterdir()} == stamps


def test_cli_reads_batch_records_and_counts_the_bad_ones(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    pages = [
        json.loads(path.read_text("utf-8")) for path in sorted((SITE / "pages").glob("*.json"))
    ]
    lines = tmp_path / "pages.jsonl"
    lines.write_text("".join(json.dumps(page) + "\n" for page in pages) + '{"route": "/x"}\n')
    records = tmp_path / "records.jsonl"
    main(["batch", "--config", str(SITE / "zelko.toml"), str(lines), "-o", str(records)])
    with records.open("a") as handle:
        handle.write('not json\n["a list"]\n{"line": 9}\n')
    capsys.readouterr()
    for jobs in ("1", "2"):
        out = tmp_path / f"og-{jobs}"
        assert main(["card", "--batch", str(records), "-o", str(out), "--jobs", jobs]) == 1
        result = capsys.readouterr()
        assert f"{len(pages)} drawn" in result.err and "4 bad" in result.err
        assert f"{records}:{len(pages) + 1}: error: the page was not built" in result.err
        assert f"{records}:{len(pages) + 4}: payload: missing" in result.err
        assert not [path for path in out.iterdir() if not path.name.endswith(".png")]
    assert sorted(p.name for p in (tmp_path / "og-1").iterdir()) == sorted(
        p.name for p in (tmp_path / "og-2").iterdir()
    )


def test_cli_refuses_a_bad_option_before_drawing(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    page = str(SITE / "pages" / "post.json")
    out = tmp_path / "og"
    arguments = ["card", "-c", str(SITE / "zelko.toml"), page, "-o", str(out)]
    assert main([*arguments, "--accent", "blue"]) == 2
    assert "theme.accent" in capsys.readouterr().err and not out.exists()


# --- Serving -------------------------------------------------------------------------


def test_a_store_draws_a_linked_card_once_and_refuses_altered_recipes(tmp_path: Path) -> None:
    store = CardStore(tmp_path, template="minimal")
    link = store.link(POST)
    assert link.url == f"/og/{link.name}" and not (tmp_path / link.name).exists()
    fresh = CardStore(tmp_path, template="minimal")  # another process of the site
    assert fresh.png(link.name) == social_card(POST, template="minimal").png
    assert (tmp_path / link.name).is_file()
    other = store.link({"title": "Another page"})
    recipe = tmp_path / (other.name[:-4] + ".json")
    recipe.write_text(json.dumps({"title": "Something else"}))
    assert CardStore(tmp_path, template="minimal").png(other.name) is None
    for name in ("../etc/passwd", "og-123.png", other.name.upper(), ""):
        assert card_response(store, name).status == 404


def serve_with_flask(store: CardStore) -> Any:
    from flask import Flask

    import zelko.flask

    app = Flask("cards")
    zelko.flask.add_card_route(app, store)
    client = app.test_client()
    return lambda path, headers: _answer(client.get(path, headers=headers), "data")


def serve_with_starlette(store: CardStore) -> Any:
    from starlette.applications import Starlette
    from starlette.testclient import TestClient

    import zelko.starlette

    client = TestClient(Starlette(routes=[zelko.starlette.card_route(store)]))
    return lambda path, headers: _answer(client.get(path, headers=headers), "content")


def serve_with_django(store: CardStore) -> Any:
    from django.test import Client, override_settings
    from web_helpers import setup_django

    setup_django()
    from zelko.django.cards import card_path

    urls = types.ModuleType("zelko_card_urls")
    urls.urlpatterns = [card_path(store)]  # type: ignore[attr-defined]
    sys.modules[urls.__name__] = urls

    def get(path: str, headers: dict[str, str]) -> tuple[int, dict[str, str], bytes]:
        with override_settings(ROOT_URLCONF=urls.__name__):
            return _answer(Client().get(path, headers=headers), "content")

    return get


def _answer(response: Any, body: str) -> tuple[int, dict[str, str], bytes]:
    headers = {str(key).lower(): str(value) for key, value in response.headers.items()}
    code = getattr(response, "status_code", None)
    return code, headers, getattr(response, body)


@pytest.mark.parametrize("serve", [serve_with_flask, serve_with_starlette, serve_with_django])
def test_frameworks_serve_cards_drawn_on_first_request(serve: Any, tmp_path: Path) -> None:
    store = CardStore(tmp_path / "og")
    get = serve(store)
    link = store.link(POST)
    status, headers, body = get(link.url, {})
    assert status == 200 and body == social_card(POST).png
    assert headers["content-type"] == "image/png"
    assert headers["etag"] == f'"{link.name[:-4]}"'
    assert headers["cache-control"] == "public, max-age=31536000, immutable"
    status, headers, body = get(link.url, {"If-None-Match": f'"x", W/{headers["etag"]}'})
    assert (status, body) == (304, b"") and headers["etag"] == f'"{link.name[:-4]}"'
    assert get("/og/og-0000000000000000.png", {})[0] == 404
    assert get("/og/..%2F..%2Fetc%2Fpasswd", {})[0] == 404
