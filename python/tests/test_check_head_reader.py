"""The engine reads a page's head from the parser's serialization of it; the
tree walk it replaces stays as the fallback. On any head, hostile markup
included, both must read the same facts."""

from __future__ import annotations

import html
from typing import Any

from hypothesis import given, settings
from hypothesis import strategies as st

from _zelko_native import _head_facts
from zelko.check.page import _HeadReader, html_parser, page_facts

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
others = st.sampled_from(
    [
        "<title>A &amp; b\xa0 c</title>",
        "<title>  second\t title </title>",
        "<noscript><meta name=robots content=noindex></noscript>",
        '<script type=application/ld+json>{"a": "</b>"}</script>',
        "<style>a > b {}</style>",
        "<!-- <meta name=description content=comment> -->",
        "<template><meta name=description content=template></template>",
        "<base href=/>",
        "text that ends the head",
        "<div>",
        "<meta name=description content=unquoted&amp;>",
    ]
)
heads = st.lists(st.one_of(metas, links, others), max_size=12)


def read_both(document: str) -> tuple[_HeadReader | None, _HeadReader]:
    tree = html_parser()(document)
    walked = _HeadReader(set())
    walked.walk(tree.head)
    read = _head_facts(tree.head.html)
    if read is None:
        return None, walked
    engine = _HeadReader(set())
    engine.take(*read)
    return engine, walked


FIELDS = (
    "title",
    "description",
    "canonical",
    "robots",
    "open_graph",
    "twitter",
    "hreflang",
    "head",
)


@settings(max_examples=400, deadline=None)
@given(heads)
def test_the_engine_reads_what_the_tree_walk_reads(elements: list[str]) -> None:
    document = "<!doctype html><html><head>" + "".join(elements) + "</head><body></body></html>"
    engine, walked = read_both(document)
    if engine is None:
        # Only a template is left to the tree walk.
        assert "<template>" in document
        return
    for name in FIELDS:
        assert getattr(engine, name) == getattr(walked, name), name


def test_page_facts_read_a_template_head_through_the_tree() -> None:
    facts = page_facts(
        "<head><template><p></template><title>T</title>"
        '<meta name="description" content="d"><link rel="canonical" href=" /c "></head>'
    )
    assert (facts.title, facts.description, facts.canonical) == ("T", "d", "/c")
