"""The extras of a page's head that a contract can ask for.

A contract's ``head.required`` lists keys, each counted in the page's head;
a plain key asks for at least one element, ``KEY:count>=N`` (or ``<=``,
``==``) for a number of them:

    "icon", "manifest", "verification.google", "article.published_time",
    "og:image:count>=2"
"""

from __future__ import annotations

import re
from collections.abc import Callable, Mapping
from dataclasses import dataclass

from _zelko_native import _head_extra_keys

from .._files import InputError

# Each key: the elements it counts, as (what kind of element, its name):
# a link by one of its rel tokens, a feed link by its type, a meta by name
# (or property), any meta whose name starts with a prefix. The engine holds
# the table, as it counts them in pages it reads.
KEYS: dict[str, tuple[str, str]] = {key: (kind, name) for key, kind, name in _head_extra_keys()}
_COUNTED = re.compile(r"(?P<key>.+):count(?P<op>>=|<=|==)(?P<count>[0-9]{1,6})")
_COMPARE: dict[str, tuple[Callable[[int, int], bool], str]] = {
    ">=": (lambda have, want: have >= want, "at least"),
    "<=": (lambda have, want: have <= want, "at most"),
    "==": (lambda have, want: have == want, "exactly"),
}


@dataclass(frozen=True)
class HeadRequirement:
    """One key of ``head.required``: how many of its elements a head holds."""

    text: str  # as the contract spells it
    key: str
    op: str = ">="
    count: int = 1

    def failure(self, counts: Mapping[str, int]) -> str | None:
        """Why a head with ``counts`` misses this requirement, or ``None``."""
        have = counts.get(self.key, 0)
        passes, words = _COMPARE[self.op]
        if passes(have, self.count):
            return None
        if self.text == self.key:
            return f"no {self.key} in the head"
        return f"{have} {self.key} in the head, expected {words} {self.count}"


def read_requirement(text: str, source: str, path: str) -> HeadRequirement:
    """A key of ``head.required``; an unknown key is refused, naming it."""
    counted = _COUNTED.fullmatch(text)
    key = counted["key"] if counted else text
    if key not in KEYS:
        known = ", ".join(KEYS)
        raise InputError(source, path, f"unknown head key {key!r} (expected one of: {known})")
    if counted is None:
        return HeadRequirement(text, key)
    return HeadRequirement(text, key, counted["op"], int(counted["count"]))


def payload_extras(payload: Mapping[str, object]) -> dict[str, int]:
    """The counts of a payload's dictionary, and of its ``head`` when it is a
    whole head's (``SEOHead.to_dict()``): what its rendered head holds."""
    counts: dict[str, int] = {}

    def add(key: str, number: int) -> None:
        if number:
            counts[key] = counts.get(key, 0) + number

    og = payload.get("og")
    add("og:image", 1 if isinstance(og, Mapping) and og.get("image") else 0)
    head = payload.get("head")
    if not isinstance(head, Mapping):
        return counts
    site = head.get("site")
    if isinstance(site, Mapping):
        for icon in _items(site.get("icons")):
            rel = str(icon.get("rel") or "icon")
            add("icon" if rel in ("icon", "shortcut icon") else rel, 1)
        add("manifest", 1 if site.get("manifest") else 0)
        add("feed", len(_items(site.get("feeds"))))
        add("theme-color", len(_items(site.get("theme_color"))))
        add("application-name", 1 if site.get("application_name") else 0)
        add("twitter:site:id", 1 if site.get("twitter_site_id") else 0)
        verification = site.get("verification")
        if isinstance(verification, Mapping):
            for name, content in verification.items():
                add(f"verification.{name}", 1 if name != "other" and content else 0)
        app_links = site.get("app_links")
        add(
            "app_links",
            sum(1 for v in app_links.values() if v) if isinstance(app_links, Mapping) else 0,
        )
    page = head.get("page")
    if isinstance(page, Mapping):
        add("keywords", 1 if page.get("keywords") else 0)
        add("og:image", len(_items(page.get("images"))))
        add("og:video", len(_items(page.get("videos"))))
        for crawler in ("googlebot", "bingbot"):
            add(crawler, 1 if page.get(crawler) else 0)
        article = page.get("article")
        if isinstance(article, Mapping):
            for name in ("published_time", "modified_time", "expiration_time", "section"):
                add(f"article.{name}", 1 if article.get(name) else 0)
            add("article.author", len(_list(article.get("authors"))))
            add("article.tag", len(_list(article.get("tags"))))
    return counts


def _list(value: object) -> list[object]:
    return value if isinstance(value, list) else []


def _items(value: object) -> list[Mapping[str, object]]:
    return [item for item in _list(value) if isinstance(item, Mapping)]
