"""Social cards: the Open Graph picture of a page, drawn from its payload.

:func:`social_card` draws a PNG from a payload (its Open Graph title,
description and site name), a head, or a mapping of the card's fields
(``title``, ``description``, ``site_name``, ``label``, ``image``, ``logo``).
The same inputs give the same bytes in every process, and the card's
:attr:`~SocialCard.name` is a digest of everything that decides its pixels:
the text, the pictures' bytes, the template, the theme, the fonts' bytes,
the size, and the versions of zelko and of the libraries that draw. So a
card can be served under its name for ever.

:func:`card_options` reads and checks the drawing options (template, size,
theme, fonts) once, for any number of cards: :func:`plan` then only reads
what one card shows and names it, and :func:`draw` draws it.

:func:`card_link` gives the URL, size, type and alt text of a card without
drawing it, for a page's head; :class:`CardStore` remembers what each linked
card is drawn from and draws it when it is first asked for (the framework
integrations serve it). Needs the ``cards`` extra: ``pip install zelko[cards]``.
"""

from __future__ import annotations

try:
    import PIL  # noqa: F401
    import uharfbuzz
except ImportError as error:  # pragma: no cover - depends on the environment
    raise ImportError(
        f"zelko.cards needs Pillow and uharfbuzz ({error.name} is missing): "
        "pip install 'zelko[cards]'"
    ) from error

import hashlib
import json
import os
import struct
import zlib
from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from functools import cached_property, lru_cache
from pathlib import Path
from typing import Any

import uharfbuzz
from PIL import Image, features

from .._files import InputError
from . import _builtin, _svg
from ._fonts import RAQM, FontChain
from ._inputs import SOURCE, CardText, card_text, theme_colours

__all__ = ["CardLink", "CardOptions", "SocialCard", "card_link", "card_options", "social_card"]

MEDIA_TYPE = "image/png"
# PNG compression: level 3 takes a third of the time of the usual 6 for a
# card about a third larger (40 KB for the default template).
_PNG_LEVEL = 3
MIN_SIDE, MAX_SIDE = 100, 4096
Source = Any  # an SEOPayload, a head, or a mapping of the card's fields
Template = str | os.PathLike[str]


@dataclass(frozen=True)
class SocialCard:
    """A drawn card: its PNG bytes and the name they are served under."""

    png: bytes
    name: str
    width: int
    height: int
    alt: str
    media_type: str = MEDIA_TYPE

    def __repr__(self) -> str:
        return f"SocialCard({self.name!r}, {self.width}x{self.height}, {len(self.png):,} bytes)"


@dataclass(frozen=True)
class CardLink:
    """What a page's head says of its card: ``og:image`` and its
    ``width``, ``height``, ``type`` and ``alt``."""

    url: str
    name: str
    width: int
    height: int
    alt: str
    media_type: str = MEDIA_TYPE


@dataclass(frozen=True)
class CardOptions:
    """How cards are drawn, checked once: the template (a built-in name or a
    parsed SVG), what identifies it, the theme, the size and the fonts."""

    template: str | _svg.Template
    template_id: str
    theme: dict[str, str]
    size: tuple[int, int]
    chain: FontChain

    @cached_property
    def identity_rest(self) -> str:
        """The JSON of what, beside a card's own text, names it: its keys all
        sort after "card", so a card's identity is ``{"card":...`` and this
        after a comma (encoded once, not once per card)."""
        rest = {
            "template": self.template_id,
            "theme": self.theme,
            "size": self.size,
            "fonts": self.chain.digests,
            "renderer": _renderer(svg=not isinstance(self.template, str)),
        }
        return _json(rest)[1:]


@dataclass(frozen=True)
class Plan:
    """Everything a card is drawn from, checked, and its name."""

    text: CardText
    template: str | _svg.Template
    theme: dict[str, str]
    size: tuple[int, int]
    chain: FontChain
    name: str


def social_card(
    source: Source,
    *,
    template: Template = "default",
    width: int = 1200,
    height: int = 630,
    theme: Mapping[str, str] | None = None,
    fonts: Sequence[str | os.PathLike[str]] | None = None,
) -> SocialCard:
    """Draws the card of ``source`` (see the module). ``InputError`` (a
    ``ValueError``) names the field at fault."""
    chosen = card_options(template=template, width=width, height=height, theme=theme, fonts=fonts)
    return draw(plan(source, chosen))


def card_link(
    source: Source,
    base: str = "/og/",
    *,
    template: Template = "default",
    width: int = 1200,
    height: int = 630,
    theme: Mapping[str, str] | None = None,
    fonts: Sequence[str | os.PathLike[str]] | None = None,
) -> CardLink:
    """Where the card of ``source`` is served under ``base`` (a path such as
    ``/og/`` or an absolute URL ending in ``/``), without drawing it."""
    chosen = card_options(template=template, width=width, height=height, theme=theme, fonts=fonts)
    return link_of(plan(source, chosen), base)


def link_of(made: Plan, base: str) -> CardLink:
    if not base.endswith("/"):
        base += "/"
    return CardLink(base + made.name, made.name, made.size[0], made.size[1], made.text.title)


def card_options(
    *,
    template: Template = "default",
    width: int = 1200,
    height: int = 630,
    theme: Mapping[str, str] | None = None,
    fonts: Sequence[str | os.PathLike[str]] | None = None,
) -> CardOptions:
    """Reads and checks the drawing options once, for any number of cards:
    the size, the theme, the font files and the template."""
    size = (_side(width, "width"), _side(height, "height"))
    colours = theme_colours(theme)
    chain = FontChain.of(fonts)
    if isinstance(template, str) and template in _builtin.NAMES:
        return CardOptions(template, template, colours, size, chain)
    if isinstance(template, (str, os.PathLike)):
        path = os.fspath(template)
        data = _svg.read(path)
        parsed = _svg.parse(data, path, tuple(sorted(colours.items())))
        _svg.check_proportions(parsed, size, path)
        return CardOptions(parsed, f"svg:{_svg.digest(data)}", colours, size, chain)
    raise InputError(SOURCE, "template", f"expected a name or an SVG path, got {template!r}")


def plan(source: Source, options: CardOptions) -> Plan:
    """Reads and checks what the card of ``source`` shows, and names it."""
    text = card_text(source)
    # {"card": ..., "fonts": ..., "renderer": ..., "size": ..., "template": ...,
    # "theme": ...}, the keys sorted, in compact JSON.
    encoded = '{"card":' + _json(text.identity()) + "," + options.identity_rest
    name = f"og-{hashlib.sha256(encoded.encode('utf-8')).hexdigest()[:16]}.png"
    return Plan(text, options.template, options.theme, options.size, options.chain, name)


def draw(made: Plan) -> SocialCard:
    if isinstance(made.template, str):
        image = _builtin.draw(made.template, made.text, made.theme, made.size, made.chain)
    else:
        image = _svg.draw(made.template, made.text, made.theme, made.size, made.chain)
    return SocialCard(encode_png(image), made.name, made.size[0], made.size[1], made.text.title)


def _json(value: object) -> str:
    return json.dumps(value, ensure_ascii=False, sort_keys=True, separators=(",", ":"))


def encode_png(image: Image.Image) -> bytes:
    """The image (RGB) as PNG, every row unfiltered.

    Pillow's encoder tries PNG's five row filters on every row and keeps the
    best: for a card of flat colour and text that costs more than the
    compression itself and gains little, since long runs of one colour
    compress as well unfiltered. The bytes depend on zlib's version, which
    is part of the card's name.
    """
    width, height = image.size
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    return b"".join(
        (
            b"\x89PNG\r\n\x1a\n",
            _chunk(b"IHDR", header),
            _chunk(b"IDAT", _unfiltered_rows(image)),
            _chunk(b"IEND", b""),
        )
    )


def _unfiltered_rows(image: Image.Image) -> bytes:
    """The compressed rows, each led by its filter type, 0."""
    width, height = image.size
    stride = width * 3
    compressor = zlib.compressobj(_PNG_LEVEL)
    # Rows padded to one byte more than their pixels: with a zero before the
    # first row, each row's pad is the next one's filter type, and nothing
    # is copied row by row. The pads are checked, not assumed, to be zero.
    padded = image.tobytes("raw", ("RGB", stride + 1))
    if len(padded) == height * (stride + 1) and padded[stride :: stride + 1].count(0) == height:
        return (
            compressor.compress(b"\0")
            + compressor.compress(memoryview(padded)[:-1])
            + compressor.flush()
        )
    return compressor.compress(copied_rows(image)) + compressor.flush()


def copied_rows(image: Image.Image) -> bytearray:
    """The rows with their filter types, copied one by one."""
    width, height = image.size
    stride = width * 3
    raw = image.tobytes()
    rows = bytearray(height * (stride + 1))
    view = memoryview(raw)
    for row in range(height):
        start = row * (stride + 1) + 1
        rows[start : start + stride] = view[row * stride : (row + 1) * stride]
    return rows


def _chunk(kind: bytes, data: bytes) -> bytes:
    crc = zlib.crc32(data, zlib.crc32(kind))
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)


def _side(value: object, field: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise InputError(SOURCE, field, f"expected a whole number of pixels, got {value!r}")
    if not MIN_SIDE <= value <= MAX_SIDE:
        raise InputError(SOURCE, field, f"expected {MIN_SIDE} to {MAX_SIDE} pixels, got {value}")
    return value


@lru_cache(maxsize=2)
def _renderer(svg: bool) -> dict[str, str | None]:
    """The versions of everything that draws: zelko's own drawing code, and
    Pillow with the libraries it was built with."""
    from .. import __version__

    versions: dict[str, str | None] = {
        "zelko": __version__,
        "pillow": features.version("PIL"),
        "zlib (png)": zlib.ZLIB_RUNTIME_VERSION,
        "layout": "raqm" if RAQM else "basic",
        "harfbuzz (measuring)": uharfbuzz.__version__ + " " + uharfbuzz.version_string(),
    }
    for name in (
        "freetype2",
        "raqm",
        "harfbuzz",
        "fribidi",
        "zlib",
        "zlib_ng",
        "libjpeg_turbo",
        "webp",
    ):
        try:
            versions[name] = features.version(name)
        except ValueError:  # a name this Pillow does not know
            versions[name] = None
    if svg:
        versions["resvg"] = _svg.renderer_version()
    return versions


def bundled_font_path() -> Path:
    """The bundled Inter font file."""
    from ._fonts import BUNDLED

    return BUNDLED
