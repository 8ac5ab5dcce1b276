"""Fitting text into a box: wrap on word boundaries to at most a number of
lines, shrink down to a minimum size, and only then cut with an ellipsis.

Words are measured once at the largest size and scaled for the smaller ones
(advances are unhinted, so they scale with the size); the lines chosen are
measured again whole at their size, shaping across the spaces, and a line
that does not fit after all sends the search one size down. Where a script
writes no spaces (Chinese, Japanese), a break may fall between any two of
its characters; a word too long for a line at the smallest size is broken
between characters.
"""

from __future__ import annotations

import re
from collections import deque
from collections.abc import Callable
from dataclasses import dataclass

from ._fonts import FontChain

ELLIPSIS = "\u2026"
_SPACES = re.compile(r"\s+")
_CONTROLS = re.compile(r"[\x00-\x1f\x7f-\x9f\u2028\u2029]")


def clean(text: str) -> str:
    """One line of text: control characters and runs of white space become
    single spaces; the ends are trimmed."""
    return _SPACES.sub(" ", _CONTROLS.sub(" ", text)).strip()


def _breaks_anywhere(char: str) -> bool:
    """Characters of scripts written without spaces between words."""
    point = ord(char)
    return (
        0x2E80 <= point <= 0x9FFF  # CJK radicals, kana, unified ideographs
        or 0xF900 <= point <= 0xFAFF
        or 0xFF00 <= point <= 0xFFEF  # full-width forms
        or 0x20000 <= point <= 0x3FFFF
    )


def tokens(text: str) -> list[str]:
    """The pieces a line may break between: words, and each character of
    scripts written without spaces. Spaces are not kept: a line joins its
    words with one space, its characters without."""
    pieces: list[str] = []
    for word in text.split(" "):
        if not word:
            continue
        current = ""
        for char in word:
            if _breaks_anywhere(char):
                if current:
                    pieces.append(current)
                    current = ""
                pieces.append(char)
            else:
                current += char
        if current:
            pieces.append(current)
        pieces.append(" ")
    return pieces[:-1]


def join(pieces: list[str]) -> str:
    return "".join(pieces).strip()


@dataclass(frozen=True)
class Block:
    """Text fitted into a box: its lines and the pixel size they are drawn at."""

    lines: tuple[str, ...]
    size: int
    weight: int
    line_height: float

    @property
    def height(self) -> int:
        return round(len(self.lines) * self.size * self.line_height)


@dataclass(frozen=True)
class Box:
    """Where text may go: the widest a line may be, how many lines, and the
    sizes to try, largest first."""

    width: float
    max_lines: int
    max_size: int
    min_size: int
    weight: int = 400
    line_height: float = 1.2
    step: int = 2

    @property
    def room(self) -> float:
        """The width lines are fitted to: half a pixel to spare for the
        rounding of the layout that draws them."""
        return self.width - 0.5


def fit(text: str, box: Box, chain: FontChain) -> Block:
    """Fits ``text`` (already cleaned, not empty) into ``box``."""
    widths = _Widths(chain, box.max_size, box.weight)
    # No glyph of a real font is narrower than a fifth of its size: text
    # beyond this many characters cannot fit, and is not measured.
    limit = int(box.max_lines * box.width / (box.min_size * 0.2)) + 1
    if len(text) > limit:
        return _cut([*tokens(text[:limit]), ELLIPSIS], box, chain, widths)
    pieces = tokens(text)
    size = box.max_size
    while size >= box.min_size:
        lines = _wrap(pieces, widths.at(size), box.room)
        if lines is not None and len(lines) <= box.max_lines:
            texts = [join(line) for line in lines]
            if all(chain.width(line, size, box.weight) <= box.room for line in texts):
                return Block(tuple(texts), size, box.weight, box.line_height)
        size -= box.step
    return _cut(pieces, box, chain, widths)


class _Widths:
    """Widths of pieces, measured once at the largest size and scaled."""

    def __init__(self, chain: FontChain, reference: int, weight: int) -> None:
        self._chain = chain
        self._reference = reference
        self._weight = weight
        self._known: dict[str, float] = {}

    def at(self, size: int) -> Callable[[str], float]:
        scale = size / self._reference

        def width(piece: str) -> float:
            known = self._known.get(piece)
            if known is None:
                known = self._known[piece] = self._chain.width(piece, self._reference, self._weight)
            return known * scale

        return width


def _wrap(
    pieces: list[str], width_of: Callable[[str], float], limit: float
) -> list[list[str]] | None:
    """Greedy lines of pieces; None when one piece alone is wider than a line."""
    lines: list[list[str]] = []
    line: list[str] = []
    used = 0.0
    for piece in pieces:
        extent = width_of(piece)
        if piece == " ":
            if line:
                line.append(piece)
                used += extent
            continue
        if line and used + extent > limit:
            while line and line[-1] == " ":
                line.pop()
            lines.append(line)
            line, used = [], 0.0
        if not line and extent > limit:
            return None
        line.append(piece)
        used += extent
    if line:
        lines.append(line)
    return lines


def _cut(pieces: list[str], box: Box, chain: FontChain, widths: _Widths) -> Block:
    """At the smallest size: as many lines as the box takes, filled word by
    word (a word too long for a line broken between characters), the last
    one ending in an ellipsis when text is left over. A line that measures
    wider whole than its words did fills again with that much less room."""
    size = box.min_size
    limit = box.room
    for _ in range(3):
        lines, left_over = _fill(pieces, box, chain, widths.at(size), limit)
        if left_over:
            lines[-1] = _with_ellipsis(lines[-1], size, box, chain)
        excess = max(chain.width(line, size, box.weight) for line in lines) - box.room
        if excess <= 0:
            break
        limit -= excess
    return Block(tuple(lines), size, box.weight, box.line_height)


def _fill(
    pieces: list[str],
    box: Box,
    chain: FontChain,
    width_of: Callable[[str], float],
    limit: float,
) -> tuple[list[str], bool]:
    queue = deque(pieces)
    lines: list[str] = []
    line: list[str] = []
    used = 0.0
    while queue and len(lines) < box.max_lines:
        piece = queue.popleft()
        extent = width_of(piece)
        if piece == " ":
            if line:
                line.append(piece)
                used += extent
            continue
        if line and used + extent > limit:
            lines.append(join(line))
            line, used = [], 0.0
            queue.appendleft(piece)
            continue
        if not line and extent > limit:
            # One word wider than the line: as many of its characters as fit.
            head = _longest_prefix(piece, box.min_size, box.weight, limit, chain)
            lines.append(head)
            if len(head) < len(piece):
                queue.appendleft(piece[len(head) :])
            continue
        line.append(piece)
        used += extent
    if line and len(lines) < box.max_lines:
        lines.append(join(line))
    return lines, any(piece.strip() for piece in queue)


def _longest_prefix(word: str, size: int, weight: int, limit: float, chain: FontChain) -> str:
    low, high = 1, len(word)  # at least one character, whatever its width
    while low < high:
        middle = (low + high + 1) // 2
        if chain.width(word[:middle], size, weight) <= limit:
            low = middle
        else:
            high = middle - 1
    return word[:low]


def _with_ellipsis(line: str, size: int, box: Box, chain: FontChain) -> str:
    """The line shortened, at a word boundary where one is left, until it
    and the ellipsis fit."""
    trailing = " ,.;:-\u2013\u2014" + ELLIPSIS
    text = line.rstrip(trailing)
    while text:
        if chain.width(text + ELLIPSIS, size, box.weight) <= box.room:
            return text + ELLIPSIS
        cut = text.rfind(" ")
        text = text[:cut] if cut > 0 else text[:-1]
        text = text.rstrip(trailing)
    return ELLIPSIS
