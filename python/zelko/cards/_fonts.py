"""Fonts for social cards: the bundled Inter, the user's fonts before it,
which font draws each character, and the widths of shaped text.

A card's text is drawn by a chain of fonts: the ``fonts`` a caller gives,
then the bundled Inter. Each character goes to the first font of the chain
whose character map has it (a space or combining mark stays with the font of
the character before it), so a character no font of the chain has is the
only one drawn as an empty box.

Pillow draws the text, shaped by Raqm (HarfBuzz, with kerning and
ligatures). Widths are measured with HarfBuzz too, through uharfbuzz, whose
font objects keep their shaping plans: a measurement costs microseconds
where Pillow's, which sets HarfBuzz up anew each time, costs a fifth of a
millisecond. Both shape the same font at the same variation, so they agree
to a fraction of a pixel (lines are fitted with half a pixel to spare).
Where Pillow has no Raqm (a system without FriBiDi) it lays text out without
the font's kerning tables, and its own widths are used instead.
"""

from __future__ import annotations

import hashlib
import os
import unicodedata
from collections.abc import Sequence
from dataclasses import dataclass, field
from functools import lru_cache
from pathlib import Path

import uharfbuzz as hb
from PIL import ImageFont

from .._files import InputError

BUNDLED = Path(__file__).resolve().parent / "fonts" / "Inter.ttf"
# Font files larger than this are refused (a CJK collection is about 20 MiB).
MAX_FONT_BYTES = 64 << 20
# Optical size for display text: the card's text is large.
_DISPLAY_OPSZ = 32.0

RAQM = bool(ImageFont.core.HAVE_RAQM)
LAYOUT = ImageFont.Layout.RAQM if RAQM else ImageFont.Layout.BASIC


@dataclass(frozen=True)
class FontFile:
    """A checked font file: where it is, the digest of its bytes, the code
    points it maps."""

    path: str
    sha256: str
    coverage: frozenset[int]


def bundled_font() -> FontFile:
    if not BUNDLED.is_file():
        raise InputError(
            str(BUNDLED), "fonts", "the bundled font is missing: reinstall zelko with zelko[cards]"
        )
    return _font_file(str(BUNDLED), *_stat_key(str(BUNDLED)))


def user_font(path: object, field: str) -> FontFile:
    """A font the caller gave; ``InputError`` names the field when it is not
    a readable TrueType or OpenType font."""
    if not isinstance(path, (str, os.PathLike)):
        raise InputError("social_card", field, "expected a font file path")
    name = os.fspath(path)
    if not isinstance(name, str):
        raise InputError("social_card", field, "expected a font file path")
    try:
        key = _stat_key(name)
    except (OSError, ValueError) as error:
        reason = error.strerror if isinstance(error, OSError) else None
        raise InputError(name, field, f"cannot read: {reason or error}") from None
    if key[1] > MAX_FONT_BYTES:
        raise InputError(name, field, f"font file larger than {MAX_FONT_BYTES >> 20} MiB")
    try:
        return _font_file(name, *key)
    except InputError as error:
        raise InputError(name, field, error.message) from None


def _stat_key(path: str) -> tuple[int, int]:
    status = os.stat(path)
    return status.st_mtime_ns, status.st_size


@lru_cache(maxsize=64)
def _font_file(path: str, mtime_ns: int, size: int) -> FontFile:
    """Read once per version of a file: fonts are large and cards many."""
    try:
        data = Path(path).read_bytes()
    except OSError as error:
        raise InputError(path, "fonts", f"cannot read: {error.strerror or error}") from None
    coverage = frozenset(hb.Face(hb.Blob(data)).unicodes)
    if not coverage:
        raise InputError(path, "fonts", "not a TrueType or OpenType font (no character map)")
    try:
        ImageFont.truetype(path, 12, layout_engine=LAYOUT)
    except (OSError, ValueError) as error:
        raise InputError(path, "fonts", f"not a TrueType or OpenType font: {error}") from None
    return FontFile(path, hashlib.sha256(data).hexdigest(), coverage)


def _variation(axes: list[tuple[str, float, float, float]], weight: int) -> dict[str, float]:
    """Axis values for a weight: (tag, minimum, default, maximum) each."""
    wanted = {"wght": float(weight), "opsz": _DISPLAY_OPSZ}
    return {tag: min(max(wanted.get(tag, default), low), high) for tag, low, default, high in axes}


@lru_cache(maxsize=32)
def _hb_face(path: str) -> tuple[hb.Face, list[tuple[str, float, float, float]]]:
    face = hb.Face(hb.Blob.from_file_path(path))
    axes = [(a.tag, a.min_value, a.default_value, a.max_value) for a in face.axis_infos]
    return face, axes


@lru_cache(maxsize=128)
def _hb_font(path: str, weight: int) -> tuple[hb.Font, int]:
    face, axes = _hb_face(path)
    font = hb.Font(face)
    if axes:
        font.set_variations(_variation(axes, weight))
    return font, face.upem


@lru_cache(maxsize=512)
def face(path: str, size: int, weight: int) -> ImageFont.FreeTypeFont:
    """Pillow's font at a pixel size; a variable font at the weight (and a
    display optical size) asked for, as HarfBuzz measures it."""
    font = ImageFont.truetype(path, size, layout_engine=LAYOUT)
    _, axes = _hb_face(path)
    if axes:
        values = _variation(axes, weight)
        font.set_variation_by_axes([values[tag] for tag, *_ in axes])
    return font


def advance(path: str, text: str, size: int, weight: int) -> float:
    """The shaped advance width of ``text`` in one font, in pixels."""
    if not RAQM:
        return face(path, size, weight).getlength(text)
    font, upem = _hb_font(path, weight)
    buffer = hb.Buffer()
    buffer.add_str(text)
    buffer.guess_segment_properties()
    hb.shape(font, buffer)
    units: int = sum(position.x_advance for position in buffer.glyph_positions)
    return units * size / upem


@dataclass(frozen=True)
class FontChain:
    """The fonts that draw a card's text, first choice first."""

    fonts: tuple[FontFile, ...]
    # Runs of the texts seen lately: the same words are measured at several
    # sizes. Cleared when full.
    _runs: dict[str, list[tuple[str, str]]] = field(
        default_factory=dict, compare=False, hash=False, repr=False
    )

    @classmethod
    def of(cls, given: Sequence[str | os.PathLike[str]] | None) -> FontChain:
        if given is None:
            given = ()
        if isinstance(given, (str, bytes, os.PathLike)) or not isinstance(given, Sequence):
            raise InputError("social_card", "fonts", "expected a sequence of font file paths")
        users = tuple(user_font(path, f"fonts[{index}]") for index, path in enumerate(given))
        return cls((*users, bundled_font()))

    @property
    def digests(self) -> list[str]:
        return [font.sha256 for font in self.fonts]

    def runs(self, text: str) -> list[tuple[str, str]]:
        """``text`` split into (font path, piece) runs, each piece drawn by
        the first font of the chain that has its characters."""
        known = self._runs.get(text)
        if known is None:
            if len(self._runs) >= 4096:
                self._runs.clear()
            known = self._runs[text] = self._split(text)
        return known

    def _split(self, text: str) -> list[tuple[str, str]]:
        runs: list[tuple[str, str]] = []
        current = ""
        start = 0
        for index, char in enumerate(text):
            path = self._font_for(char, current)
            if path != current:
                if index > start:
                    runs.append((current, text[start:index]))
                current, start = path, index
        if start < len(text):
            runs.append((current, text[start:]))
        return runs

    def _font_for(self, char: str, current: str) -> str:
        if current and (char.isspace() or unicodedata.combining(char) or char == "\u200d"):
            return current
        point = ord(char)
        for font in self.fonts:
            if point in font.coverage:
                return font.path
        return current or self.fonts[-1].path

    def width(self, text: str, size: int, weight: int) -> float:
        """The advance width of ``text``, shaped, at a pixel size."""
        return sum(advance(path, piece, size, weight) for path, piece in self.runs(text))
