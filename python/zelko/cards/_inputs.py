"""What a card is drawn from: its text and pictures, read from a payload, a
head or a mapping, and checked; the theme; the pictures themselves."""

from __future__ import annotations

import hashlib
import io
import os
import re
import warnings
from collections.abc import Mapping
from dataclasses import dataclass
from typing import Any

from PIL import Image, ImageOps, UnidentifiedImageError

from _zelko_native import SEOHead, SEOPayload

from .._files import InputError
from ._text import clean

SOURCE = "social_card"
TEXT_FIELDS = ("title", "description", "site_name", "label")
PICTURE_FIELDS = ("image", "logo")
# Pictures: at most this many bytes and pixels (a 4K photograph has 8.3
# million); beyond, a file is refused before it is decoded.
MAX_PICTURE_BYTES = 20 << 20
MAX_PICTURE_PIXELS = 40_000_000
_PICTURE_FORMATS = ("PNG", "JPEG", "WEBP", "GIF")
# Separators a site's title template puts between a page title and the site
# name ("Hello | Example Blog"): the card shows the site name on its own.
_SUFFIX_SEPARATORS = (" | ", " - ", " \u2013 ", " \u2014 ", " \u00b7 ", " :: ")
_COLOUR = re.compile(r"#[0-9a-fA-F]{6}")

DEFAULT_THEME = {"background": "#0f172a", "foreground": "#f8fafc", "accent": "#38bdf8"}


@dataclass(frozen=True)
class Picture:
    """A picture's bytes as given, and their digest."""

    data: bytes
    sha256: str
    field: str
    source: str

    def check(self) -> None:
        """Reads the picture's header: its format and size, not its pixels."""
        self._open().close()

    def _open(self) -> Image.Image:
        with warnings.catch_warnings():
            warnings.simplefilter("error", Image.DecompressionBombWarning)
            try:
                opened = Image.open(io.BytesIO(self.data), formats=_PICTURE_FORMATS)
            except (UnidentifiedImageError, Image.DecompressionBombError) as error:
                raise InputError(self.source, self.field, f"not a picture: {error}") from None
            except (OSError, ValueError, SyntaxError, Image.DecompressionBombWarning) as error:
                raise InputError(self.source, self.field, f"unreadable picture: {error}") from None
        width, height = opened.size
        if width * height > MAX_PICTURE_PIXELS:
            raise InputError(
                self.source,
                self.field,
                f"picture of {width}x{height} pixels, more than {MAX_PICTURE_PIXELS:,} "
                "(a decompression bomb?)",
            )
        return opened

    def decoded(self, size: tuple[int, int] | None = None) -> Image.Image:
        """The picture, upright, in RGBA; ``InputError`` for one that cannot
        be read or that would decode to too many pixels. With ``size``, a
        JPEG may be decoded at a reduced scale no smaller than it."""
        opened = self._open()
        with warnings.catch_warnings():
            warnings.simplefilter("error", Image.DecompressionBombWarning)
            try:
                if size is not None:
                    opened.draft("RGB", size)
                return ImageOps.exif_transpose(opened).convert("RGBA")
            except (OSError, ValueError, SyntaxError, Image.DecompressionBombWarning) as error:
                raise InputError(self.source, self.field, f"unreadable picture: {error}") from None


@dataclass(frozen=True)
class CardText:
    """A card's text, cleaned, and its pictures."""

    title: str
    description: str = ""
    site_name: str = ""
    label: str = ""
    image: Picture | None = None
    logo: Picture | None = None

    def identity(self) -> dict[str, Any]:
        """What of the source decides the pixels."""
        return {
            **{name: getattr(self, name) for name in TEXT_FIELDS},
            "image": self.image.sha256 if self.image else None,
            "logo": self.logo.sha256 if self.logo else None,
        }


def card_text(source: object) -> CardText:
    """The text and pictures of a payload (or its value form, as batch
    records hold it), of a head, or of a mapping with ``title`` and the
    optional fields."""
    if isinstance(source, SEOHead):
        source = source.payload
    if isinstance(source, SEOPayload):
        # Read field by field: the payload's dictionary would convert all of
        # it, JSON-LD included, for four texts and a date.
        og = source.og
        return _payload_text(
            og.title or source.title,
            og.description or source.description,
            og.site_name,
            source.schema_jsonld,
        )
    if isinstance(source, Mapping) and "og" not in source:
        return _from_fields(source)
    if isinstance(source, Mapping):
        return _from_payload(source)
    to_dict = getattr(source, "to_dict", None)
    if callable(to_dict):
        form = to_dict()
        if isinstance(form, Mapping):
            return _from_payload(form if "og" in form else form.get("payload", form))
    raise InputError(
        SOURCE,
        "source",
        f"expected an SEOPayload, a head or a mapping, got {type(source).__name__}",
    )


def _from_fields(fields: Mapping[Any, Any]) -> CardText:
    known = (*TEXT_FIELDS, *PICTURE_FIELDS)
    for key in fields:
        if key not in known:
            raise InputError(SOURCE, str(key), f"unknown field; a card takes {', '.join(known)}")
    text = {name: _text(fields.get(name), name) for name in TEXT_FIELDS}
    if not text["title"]:
        raise InputError(SOURCE, "title", "empty: a card needs a title")
    return CardText(
        text["title"],
        text["description"],
        text["site_name"],
        text["label"],
        _picture(fields.get("image"), "image"),
        _picture(fields.get("logo"), "logo"),
    )


def _from_payload(payload: Mapping[str, Any]) -> CardText:
    og = payload.get("og") or {}
    return _payload_text(
        og.get("title") or payload.get("title"),
        og.get("description") or payload.get("description"),
        og.get("site_name"),
        payload.get("schema_jsonld"),
    )


def _payload_text(title: object, description: object, site_name: object, nodes: object) -> CardText:
    """A payload's card: its Open Graph title without the site name's suffix,
    its description and site name, and the date of its JSON-LD."""
    site = _text(site_name, "og.site_name")
    heading = _without_site_suffix(_text(title, "og.title"), site)
    if not heading:
        raise InputError(SOURCE, "og.title", "empty: a card needs a title")
    return CardText(heading, _text(description, "og.description"), site, _date_label(nodes))


def _without_site_suffix(title: str, site_name: str) -> str:
    if site_name:
        for separator in _SUFFIX_SEPARATORS:
            suffix = separator + site_name
            if title.endswith(suffix) and len(title) > len(suffix):
                return title[: -len(suffix)].rstrip()
    return title


def _date_label(nodes: Any) -> str:
    """The publication date of the page's first JSON-LD node that has one
    (the JSON-LD is a list of nodes, or a single node)."""
    if isinstance(nodes, Mapping):
        nodes = [nodes]
    if not isinstance(nodes, (list, tuple)):
        return ""
    for node in nodes:
        if isinstance(node, Mapping) and isinstance(node.get("datePublished"), str):
            return clean(node["datePublished"])[:10]
    return ""


def _text(value: object, field: str) -> str:
    if value is None:
        return ""
    if not isinstance(value, str):
        raise InputError(SOURCE, field, f"expected text, got {type(value).__name__}")
    return clean(value)


def _picture(value: object, field: str) -> Picture | None:
    if value is None:
        return None
    if isinstance(value, (bytes, bytearray, memoryview)):
        data = bytes(value)
        source = SOURCE
    elif isinstance(value, (str, os.PathLike)):
        source = os.fspath(value)
        data = read_limited(source, field, MAX_PICTURE_BYTES)
    else:
        raise InputError(
            SOURCE, field, f"expected a file path or bytes, got {type(value).__name__}"
        )
    if len(data) > MAX_PICTURE_BYTES:
        raise InputError(source, field, f"picture larger than {MAX_PICTURE_BYTES >> 20} MiB")
    if not data:
        raise InputError(source, field, "empty picture")
    found = Picture(data, hashlib.sha256(data).hexdigest(), field, source)
    found.check()
    return found


def read_limited(path: str, field: str, limit: int) -> bytes:
    """A file's bytes; ``InputError`` when it cannot be read or is larger
    than ``limit`` (read no further than that)."""
    try:
        with open(path, "rb") as handle:
            data = handle.read(limit + 1)
    except (OSError, ValueError) as error:
        reason = error.strerror if isinstance(error, OSError) else None
        raise InputError(path, field, f"cannot read: {reason or error}") from None
    if len(data) > limit:
        raise InputError(path, field, f"larger than {limit >> 20} MiB")
    return data


def theme_colours(theme: Mapping[str, str] | None) -> dict[str, str]:
    """The theme's three colours, lower case, the defaults filling in."""
    if theme is None:
        return dict(DEFAULT_THEME)
    if not isinstance(theme, Mapping):
        raise InputError(SOURCE, "theme", f"expected a mapping, got {type(theme).__name__}")
    colours = dict(DEFAULT_THEME)
    for key, value in theme.items():
        if key not in DEFAULT_THEME:
            raise InputError(
                SOURCE, f"theme.{key}", "unknown colour; a theme has background, foreground, accent"
            )
        if not isinstance(value, str) or not _COLOUR.fullmatch(value):
            raise InputError(SOURCE, f"theme.{key}", f"expected a #rrggbb colour, got {value!r}")
        colours[key] = value.lower()
    return colours
