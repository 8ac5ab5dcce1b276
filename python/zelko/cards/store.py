"""Serving cards: :class:`CardStore` links a page to its card and draws the
card when it is first asked for; :func:`card_response` answers a request for
one, as the framework integrations do.

A store remembers, for each card it linked, what the card is drawn from (in
memory, at most ``max_remembered`` of them). With a ``directory`` it also
writes that down beside the cards (``og-....json``) and keeps the drawn
PNGs there, so that any process of the site can draw a card another one
linked, and a card is drawn once however often it is asked for. A recipe
read back is drawn only when it gives the name asked for: a file that was
altered is not served.
"""

from __future__ import annotations

import base64
import binascii
import json
import os
import re
import tempfile
import threading
from collections import OrderedDict
from collections.abc import Mapping, Sequence
from contextlib import suppress
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from .._files import InputError
from ..etags import etag_matches
from . import CardLink, Plan, Source, Template, card_options, draw, link_of, plan

__all__ = [
    "CACHE_CONTROL",
    "CardResponse",
    "CardStore",
    "card_response",
    "is_card_name",
    "store_for",
]

CACHE_CONTROL = "public, max-age=31536000, immutable"
_NAME = re.compile(r"og-[0-9a-f]{16}\.png")
# Drawn cards kept in memory by a store without a directory.
_MEMORY_CARDS = 256


def is_card_name(name: str) -> bool:
    """Whether ``name`` is a card's file name (nothing else is looked up)."""
    return _NAME.fullmatch(name) is not None


class CardStore:
    """Links pages to their cards and draws each card once, on demand.

    The drawing options (``template``, ``width``, ``height``, ``theme``,
    ``fonts``) are those of :func:`zelko.cards.social_card` and hold for
    every card of the store; ``base_path`` is where the cards are served
    (``/og/``).
    """

    def __init__(
        self,
        directory: str | os.PathLike[str] | None = None,
        *,
        base_path: str = "/og/",
        template: Template = "default",
        width: int = 1200,
        height: int = 630,
        theme: Mapping[str, str] | None = None,
        fonts: Sequence[str | os.PathLike[str]] | None = None,
        max_remembered: int = 10_000,
    ) -> None:
        if not base_path.startswith("/") or not base_path.endswith("/"):
            raise InputError("CardStore", "base_path", f"expected /path/, got {base_path!r}")
        self.base_path = base_path
        self.directory = Path(directory) if directory is not None else None
        if self.directory is not None:
            self.directory.mkdir(parents=True, exist_ok=True)
        # Checked once: a bad option fails here, not per page.
        self._options = card_options(
            template=template,
            width=width,
            height=height,
            theme=dict(theme) if theme is not None else None,
            fonts=list(fonts) if fonts is not None else None,
        )
        self._max_remembered = max_remembered
        self._plans: OrderedDict[str, Plan] = OrderedDict()
        self._drawn: OrderedDict[str, bytes] = OrderedDict()
        self._lock = threading.Lock()

    def link(self, source: Source) -> CardLink:
        """The URL, size, type and alt text of the card of ``source``, which
        the store will draw when it is asked for."""
        made = plan(source, self._options)
        with self._lock:
            self._plans[made.name] = made
            self._plans.move_to_end(made.name)
            while len(self._plans) > self._max_remembered:
                self._plans.popitem(last=False)
        if self.directory is not None:
            recipe = self.directory / (made.name[:-4] + ".json")
            if not recipe.exists():
                _write_atomically(recipe, _recipe(made))
        return link_of(made, self.base_path)

    def png(self, name: str) -> bytes | None:
        """The card named ``name``, drawn now if it was linked but not drawn;
        None for a name the store does not know."""
        if not is_card_name(name):
            return None
        if self.directory is not None:
            with suppress(OSError):
                return (self.directory / name).read_bytes()
        with self._lock:
            if name in self._drawn:
                return self._drawn[name]
            made = self._plans.get(name)
        if made is None:
            made = self._read_recipe(name)
            if made is None:
                return None
        data = draw(made).png
        if self.directory is not None:
            _write_atomically(self.directory / name, data)
        else:
            with self._lock:
                self._drawn[name] = data
                while len(self._drawn) > _MEMORY_CARDS:
                    self._drawn.popitem(last=False)
        return data

    def knows(self, name: str) -> bool:
        """Whether the store can answer for ``name`` without drawing it."""
        if not is_card_name(name):
            return False
        if name in self._plans or name in self._drawn:
            return True
        return self.directory is not None and (
            (self.directory / name).is_file() or (self.directory / (name[:-4] + ".json")).is_file()
        )

    def _read_recipe(self, name: str) -> Plan | None:
        if self.directory is None:
            return None
        try:
            fields = json.loads((self.directory / (name[:-4] + ".json")).read_text("utf-8"))
            for picture in ("image", "logo"):
                if isinstance(fields.get(picture), str):
                    fields[picture] = base64.b64decode(fields[picture], validate=True)
            made = plan(fields, self._options)
        except (OSError, ValueError, TypeError, AttributeError, binascii.Error):
            return None
        return made if made.name == name else None


# The stores of the card settings this process has seen: a head linking a
# card and the route serving it find the same store through their settings.
_SITE_STORES: OrderedDict[tuple[Any, ...], CardStore] = OrderedDict()
_SITE_STORES_LOCK = threading.Lock()
_MAX_SITE_STORES = 16


def store_for(settings: Any) -> CardStore:
    """The store of a site's card settings (a :class:`zelko.CardSettings`, as
    ``SiteHead(cards=...)`` holds them), one per distinct settings in this
    process: the head links its cards through it and the framework routes
    given the same settings serve them. Settings with a ``directory`` share
    their cards with the site's other processes."""
    key = (
        settings.path,
        settings.template,
        tuple(settings.theme),
        settings.width,
        settings.height,
        tuple(settings.fonts),
        settings.directory,
    )
    with _SITE_STORES_LOCK:
        store = _SITE_STORES.get(key)
        if store is not None:
            _SITE_STORES.move_to_end(key)
            return store
    made = CardStore(
        settings.directory,
        base_path=settings.path,
        template=settings.template,
        width=settings.width,
        height=settings.height,
        theme=dict(settings.theme),
        fonts=list(settings.fonts),
    )
    with _SITE_STORES_LOCK:
        store = _SITE_STORES.setdefault(key, made)
        while len(_SITE_STORES) > _MAX_SITE_STORES:
            _SITE_STORES.popitem(last=False)
    return store


def as_store(cards: Any) -> CardStore:
    """A store as given, or the store of card settings."""
    return cards if isinstance(cards, CardStore) else store_for(cards)


def _recipe(made: Plan) -> bytes:
    text = made.text
    fields: dict[str, str] = {
        key: value
        for key, value in (
            ("title", text.title),
            ("description", text.description),
            ("site_name", text.site_name),
            ("label", text.label),
        )
        if value
    }
    for key, picture in (("image", text.image), ("logo", text.logo)):
        if picture is not None:
            fields[key] = base64.b64encode(picture.data).decode("ascii")
    return json.dumps(fields, ensure_ascii=False, sort_keys=True).encode("utf-8")


def _write_atomically(target: Path, data: bytes) -> None:
    """Writes ``data`` whole under ``target`` (a temporary file renamed over
    it), or leaves nothing behind."""
    handle = tempfile.NamedTemporaryFile(  # noqa: SIM115 - removed below on failure
        dir=target.parent, prefix=".zelko-", suffix=".tmp", delete=False
    )
    try:
        with handle:
            handle.write(data)
        os.chmod(handle.name, 0o644)
        os.replace(handle.name, target)
    except BaseException:
        with suppress(OSError):
            os.unlink(handle.name)
        raise


@dataclass(frozen=True)
class CardResponse:
    """What to answer a request for a card with."""

    status: int
    headers: dict[str, str]
    body: bytes


def card_response(
    store: CardStore, name: str, method: str = "GET", if_none_match: str | None = None
) -> CardResponse:
    """The answer to ``GET`` (or ``HEAD``) of ``base_path + name``: the PNG with
    a strong ETag (the card's name, a digest of all that decides its bytes)
    and a year-long immutable ``Cache-Control``; 304 when If-None-Match
    holds that tag; 404 for a name the store does not know; 405 for other
    methods."""
    if method not in ("GET", "HEAD"):
        return CardResponse(405, {"Allow": "GET, HEAD"}, b"")
    if not store.knows(name):
        return CardResponse(404, {"Content-Type": "text/plain; charset=utf-8"}, b"no such card\n")
    etag = f'"{name[:-4]}"'
    headers = {"ETag": etag, "Cache-Control": CACHE_CONTROL}
    if etag_matches(if_none_match, etag):
        return CardResponse(304, headers, b"")
    data = store.png(name)
    if data is None:
        return CardResponse(404, {"Content-Type": "text/plain; charset=utf-8"}, b"no such card\n")
    headers["Content-Type"] = "image/png"
    headers["Content-Length"] = str(len(data))
    return CardResponse(200, headers, b"" if method == "HEAD" else data)
