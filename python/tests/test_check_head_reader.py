"""The engine parses a page with lexbor and walks its tree; selectolax parses
with the same lexbor, so a walk over selectolax's tree (the reader the engine
replaced) is the reference. On any document, hostile markup included, both
must read the same facts."""

from __future__ import annotations

import html
from collections.abc import Iterable, Iterator, Mapping
from pathlib import Path
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from selectolax.lexbor import LexborHTMLParser

from zelko.check import check_page
from zelko.check.head import KEYS
from zelko.check.page import PageFacts, _HeadReader, page_facts, robots_directives, title_text

Attributes = Mapping[str, str]
EXAMPLE_CONTRACT = Path(__file__).resolve().parents[2] / "examples" / "site" / "seo-contract.json"

# The reference's count of the head's extras, by the engine's key table.
_LINK, _META, _PREFIX = "link", "meta", "prefix"
_FEED_TYPES = frozenset({"application/rss+xml", "application/atom+xml", "application/feed+json"})
_METAS = {name: key for key, (kind, name) in KEYS.items() if kind == _META}
_LINKS = {name: key for key, (kind, name) in KEYS.items() if kind == _LINK}
_PREFIXES = {name: key for key, (kind, name) in KEYS.items() if kind == _PREFIX}

# HTML's white space and case folding: rel tokens are split on the one,
# names compared under the other (what a Unicode-aware split or lower()
# would do differently, a browser does not).
HTML_SPACE = " \t\n\f\r"
_ASCII_LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")
_SPACES = str.maketrans("\t\n\f\r", "    ")


def ascii_lower(text: str) -> str:
    return text.translate(_ASCII_LOWER)


def html_tokens(text: str) -> list[str]:
    return [token for token in text.translate(_SPACES).split(" ") if token]


def count_extras(metas: Iterable[Attributes], links: Iterable[Attributes]) -> dict[str, int]:
    """How many elements of each key a head's meta and link elements hold."""
    counts: dict[str, int] = {}
    for attributes in metas:
        if attributes.get("content") is None:
            continue
        name = ascii_lower(
            (attributes.get("property") or attributes.get("name") or "").strip(HTML_SPACE)
        )
        key = _METAS.get(name) or next(
            (key for prefix, key in _PREFIXES.items() if name.startswith(prefix)), None
        )
        if key is not None:
            counts[key] = counts.get(key, 0) + 1
    for attributes in links:
        if not attributes.get("href"):
            continue
        relations = html_tokens(ascii_lower(attributes.get("rel") or ""))
        for relation in relations:
            key = _LINKS.get(relation)
            if key is not None:
                counts[key] = counts.get(key, 0) + 1
        kind = ascii_lower((attributes.get("type") or "").split(";")[0].strip(HTML_SPACE))
        if "alternate" in relations and kind in _FEED_TYPES:
            counts["feed"] = counts.get("feed", 0) + 1
    return counts


def _present(attributes: Mapping[str, str | None]) -> dict[str, str]:
    # One written without a value is the empty text (the node gives None).
    return {name: value or "" for name, value in attributes.items()}


def _read_metas(reader: _HeadReader, metas: Iterable[Attributes]) -> None:
    for attributes in metas:
        content = attributes.get("content")
        key = attributes.get("property") or attributes.get("name")
        if content is None or not key:
            continue
        if key.startswith("og:"):
            reader.open_graph.setdefault(key, content)
        elif key.startswith("twitter:"):
            reader.twitter.setdefault(key, content)
        else:
            name = ascii_lower(key.strip(HTML_SPACE))
            if name == "description" and reader.description is None:
                reader.description = content
            elif name == "robots":
                reader.robots.update(robots_directives([content]))


def _read_links(reader: _HeadReader, links: Iterable[Attributes]) -> None:
    for attributes in links:
        href = attributes.get("href")
        if href is None:
            continue
        relations = html_tokens(ascii_lower(attributes.get("rel") or ""))
        if "canonical" in relations and reader.canonical is None:
            reader.canonical = href.strip(HTML_SPACE)
        language = attributes.get("hreflang")
        if "alternate" in relations and language is not None:
            reader.hreflang.append((language, href.strip(HTML_SPACE)))


def _is_jsonld(node: Any) -> bool:
    kind = node.attributes.get("type") if node.tag == "script" else None
    return bool(kind) and kind.split(";")[0].strip().lower() == "application/ld+json"


def _ancestors(node: Any) -> Iterator[Any]:
    while (node := node.parent) is not None:
        yield node


def walked_facts(document: str | bytes) -> PageFacts:
    """The facts read from selectolax's tree: the head's own children, the
    document's first title when the head has none, JSON-LD scripts and links
    anywhere."""
    tree = LexborHTMLParser(document)
    reader = _HeadReader(set())
    metas: list[Attributes] = []
    links: list[Attributes] = []
    for node in tree.head.iter() if tree.head is not None else []:
        if node.tag == "meta":
            metas.append(_present(node.attributes))
        elif node.tag == "link":
            links.append(_present(node.attributes))
        elif node.tag == "title" and reader.title is None:
            reader.title = title_text(node.text(deep=True) or "")
    _read_metas(reader, metas)
    _read_links(reader, links)
    reader.head = count_extras(metas, links)
    if reader.title is None:
        for node in tree.tags("title")[:1]:
            reader.title = title_text(node.text(deep=True) or "")
    for node in tree.tags("script"):
        # A script inside a JSON-LD script (SVG and MathML ones hold
        # elements) is part of that script's text only.
        if _is_jsonld(node) and not any(map(_is_jsonld, _ancestors(node))):
            reader.read_jsonld(node.text(deep=True) or "")
    hrefs = [node.attributes.get("href") for node in tree.tags("a")]
    # Each target once, in the order first found.
    reader.links = tuple(dict.fromkeys(href for href in hrefs if href))
    return reader.facts(200, None)


NAMES = [
    "description", " Description\t", "ROBOTS", "robots", "og:title", "og:image", "OG:IMAGE ",
    "twitter:card", "twitter:title", "keywords", "al:ios:url", "googlebot", "msvalidate.01",
    "theme-color", "article:tag", "", "x",
]  # fmt: skip
RELS = [
    "canonical", "Canonical alternate", "alternate", "icon", "shortcut icon", "icon\ticon",
    "apple-touch-icon", "manifest", "mask-icon", "alternate\u3000canonical", "",
]  # fmt: skip
TEXTS = ["", "noindex, nofollow", "a&b", '"q"', "<x>", "\xa0", "é", " /p ", "&amp;", "\u3000"]
FEED_TYPES = ["application/rss+xml", "Application/Atom+XML; charset=utf-8", "text/html"]
SCRIPT_TYPES = [
    "application/ld+json", " APPLICATION/LD+JSON ", "application/ld+json; charset=utf-8",
    "application/ld+json\xa0", "\u2003application/ld+json\u3000", "\x1fapplication/ld+json",
    "application/ld+json\u200b", "application/ld+jsonx", "application/json", "text/ld+json",
    "applİcation/ld+json", ";application/ld+json", "",
]  # fmt: skip
SCRIPT_TEXTS = [
    '{"@type": "Thing", "name": "a"}', '[{"@type": "A"}, {"@graph": [{"@type": "B"}]}]',
    "{bad", "", '"</b>"', '{"a": "</script>"}', "<!--", '{"a": 1} <p>', "[[[[[[1]]]]]]",
]  # fmt: skip

text = st.one_of(st.sampled_from(TEXTS), st.text(max_size=6))
# An attribute left out (None), written bare (...), or with a value.
value = st.one_of(st.none(), st.just(...), text)


def attribute(name: str, content: Any) -> str:
    if content is None:
        return ""
    if content is ...:
        return f" {name}"
    return f' {name}="{html.escape(content, quote=True)}"'


metas = st.builds(
    lambda name, prop, content: (
        f"<meta{attribute('name', name)}{attribute('property', prop)}"
        f"{attribute('content', content)}>"
    ),
    st.one_of(st.none(), st.sampled_from(NAMES)),
    st.one_of(st.none(), st.just(""), st.sampled_from(NAMES)),
    value,
)
links = st.builds(
    lambda rel, href, language, kind: (
        f"<link{attribute('rel', rel)}{attribute('href', href)}"
        f"{attribute('hreflang', language)}{attribute('type', kind)}>"
    ),
    st.sampled_from(RELS),
    value,
    st.one_of(st.none(), st.sampled_from(["en", "de-AT", "x-default", ""])),
    st.one_of(st.none(), st.sampled_from(FEED_TYPES)),
)
scripts = st.builds(
    lambda kind, body: f"<script{attribute('type', kind)}>{body}</script>",
    st.one_of(st.none(), st.just(...), st.sampled_from(SCRIPT_TYPES)),
    st.sampled_from(SCRIPT_TEXTS),
)
anchors = st.builds(
    lambda href, spelling, label: f"<a{attribute(spelling, href)}>{html.escape(label)}</a>",
    value,
    st.sampled_from(["href", "HREF", "xlink:href", "hre"]),
    st.text(max_size=3),
)
others = st.sampled_from(
    [
        "<title>A &amp; b\xa0 c</title>",
        "<title>  second\t title </title>",
        "<noscript><meta name=robots content=noindex><a href=/n>n</a></noscript>",
        "<style>a > b {}</style>",
        "<!-- <meta name=description content=comment> -->",
        "<template><meta name=description content=t><a href=/t>t</a>"
        "<script type=application/ld+json>{}</script><title>t</title></template>",
        "<base href=/>",
        "text that ends the head",
        "<div>",
        "<meta name=description content=unquoted&amp;>",
        "</head>",
        "<body>",
        "</body>",
        "</html>",
        "<html lang=en>",
        "<head>",
        "<svg><title>s<g>v</g>g</title><script type=application/ld+json>[1]</script>"
        "<a href=/svg xlink:href=/x>s</a></svg>",
        "<math><title>m</title></math>",
        "<svg><script type=application/ld+json>[<script type=application/ld+json>1</script>,"
        "<a href=/in>2</a>]</script><script><script type=application/ld+json>3</script>",
        "<math><mi><script type=application/ld+json>{}<svg><script type=application/ld+json>",
        "<table><a href=/table>x</a><tr><td><script type=application/ld+json>{}</script>",
        "<p><b><i>misnested</b></i>",
        "<select><script type=application/ld+json>{}</script><a href=/sel>s</a></select>",
        "<textarea><a href=/ta></textarea>",
        "<frameset>",
        "<iframe><a href=/if></iframe>",
        "<object><a href=/obj></a></object>",
    ]
)
documents = st.builds(
    lambda start, parts: start + "".join(parts),
    st.sampled_from(["", "<!doctype html>", "<!doctype html><html><head>"]),
    st.lists(st.one_of(metas, links, scripts, anchors, others), max_size=16),
)


@settings(max_examples=400, deadline=None)
@given(documents)
def test_the_engine_reads_what_the_tree_walk_reads(document: str) -> None:
    walked = walked_facts(document)
    assert page_facts(document, links=True) == walked
    assert page_facts(document.encode(), links=True) == walked
    assert page_facts(document) == PageFacts(**{**vars(walked), "links": ()})


@pytest.mark.parametrize(
    ("data", "title"),
    [
        # Text is parsed as UTF-8; a lone surrogate, which it cannot hold, is
        # left out (as selectolax encodes text).
        ("<title>a\ud800b</title>", "ab"),
        # Bytes are UTF-8 whatever the page declares; what is not reads as
        # U+FFFD.
        (b"<meta charset=latin-1><title>caf\xe9 \xff</title>", "caf\ufffd \ufffd"),
        (b"<title>a\x00b</title>", "a\ufffdb"),
        ("<head><template><p></template><title>T</title></head>", "T"),
    ],
)
def test_page_bytes_and_text_read_as_the_reference_parser_reads_them(
    data: str | bytes, title: str
) -> None:
    facts = page_facts(data)
    assert facts.title == title
    assert facts == walked_facts(data)


def test_a_page_nested_past_the_limit_is_reported_not_read() -> None:
    # 100,000 nested <div>s cost the parser the square of their depth; past
    # the limit the page is not read further, and the check says why.
    page = "<title>t</title>" + "<div>" * 100_000
    facts = page_facts(page)
    assert (facts.status, facts.title) == (200, None)
    assert facts.failure == "elements nested more than 512 deep"
    (finding,) = check_page(EXAMPLE_CONTRACT, "/deep", page)
    assert (finding.field, finding.severity) == ("status", "error")
    assert finding.message == "page not read: elements nested more than 512 deep"
    assert page_facts("<div>" * 500 + "<title>t</title>").title == "t"
