"""Templates of the user's own: an SVG file whose ``<text>`` elements hold
placeholders (``{title}``, ``{description}``, ``{site_name}``, ``{label}``).

resvg draws the template without those elements; zelko then fits and draws
each one's text where the element stood, so that the text is measured and
drawn by the same shaping. A placeholder element takes its place and look
from its own attributes: ``x``, ``y`` (the first baseline), ``font-size``
(the largest size), ``font-weight``, ``fill`` and ``text-anchor``; and, for
fitting, ``data-width`` (the widest a line may be; by default the width
left with the same margin on the other side), ``data-max-lines`` (3 for the
title, 2 for the description, 1 otherwise), ``data-min-font-size`` (60% of
the largest) and ``data-line-height`` (1.2). ``{background}``,
``{foreground}`` and ``{accent}`` anywhere in the file become the theme's
colours. Placeholder text is drawn above the rest of the picture.

Refused, with the field ``template`` named: a file that is not SVG, larger
than 1 MiB or with a document type declaration (entities), references
outside the file (only ``#id`` and ``data:`` links are drawn the same way
everywhere), no ``{title}`` element, unknown placeholders, placeholder
elements under a transform, and a size whose proportions are not the card's.
"""

from __future__ import annotations

import hashlib
import io
import re
import xml.etree.ElementTree as ElementTree
from dataclasses import dataclass
from functools import lru_cache

from PIL import Image, ImageColor

from .._files import InputError
from ._draw import ASCENT, Canvas, rgb
from ._fonts import FontChain
from ._inputs import CardText, read_limited
from ._text import Box, clean

MAX_TEMPLATE_BYTES = 1 << 20
FIELD = "template"
_SVG = "{http://www.w3.org/2000/svg}"
_PLACEHOLDER = re.compile(r"\{([A-Za-z_]+)\}")
_TEXT_PLACEHOLDERS = ("title", "description", "site_name", "label")
_DEFAULT_LINES = {"title": 3, "description": 2}
_NUMBER = re.compile(r"\s*([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)\s*(?:px)?\s*")


@dataclass(frozen=True)
class TextSlot:
    """Where a placeholder element's text goes, in the template's units."""

    content: str
    x: float
    y: float
    font_size: float
    min_font_size: float
    weight: int
    fill: tuple[int, int, int]
    anchor: str
    width: float
    max_lines: int
    line_height: float


@dataclass(frozen=True)
class Template:
    """A checked template: the SVG without its placeholder elements, its
    view box, and the slots."""

    svg: str
    view_box: tuple[float, float, float, float]
    slots: tuple[TextSlot, ...]


def read(path: str) -> bytes:
    if not path.lower().endswith(".svg"):
        raise InputError(path, FIELD, "not an SVG file (a template's name ends in .svg)")
    return read_limited(path, FIELD, MAX_TEMPLATE_BYTES)


def digest(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()


@lru_cache(maxsize=32)
def parse(data: bytes, source: str, theme: tuple[tuple[str, str], ...]) -> Template:
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise InputError(source, FIELD, f"not UTF-8 text: {error.reason}") from None
    if "<!DOCTYPE" in text or "<!ENTITY" in text:
        raise InputError(source, FIELD, "document type declarations are not allowed")
    colours = dict(theme)
    text = re.sub(r"\{(background|foreground|accent)\}", lambda m: colours[m.group(1)], text)
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        raise InputError(source, FIELD, f"not SVG: {error}") from None
    if root.tag != f"{_SVG}svg":
        raise InputError(source, FIELD, f"not SVG: the root element is {root.tag!r}")
    _check_references(root, source)
    view_box = _view_box(root, source)
    slots = tuple(_slots(root, source, view_box, colours))
    if not any("{title}" in slot.content for slot in slots):
        raise InputError(source, FIELD, "no <text> element holds {title}")
    ElementTree.register_namespace("", _SVG[1:-1])
    return Template(ElementTree.tostring(root, encoding="unicode"), view_box, slots)


def _check_references(root: ElementTree.Element, source: str) -> None:
    for element in root.iter():
        for name, value in element.attrib.items():
            if name.endswith("href") and not value.strip().startswith(("#", "data:")):
                raise InputError(
                    source, FIELD, f"reference outside the file ({value!r}): embed it as data:"
                )


def _number(value: str | None, source: str, what: str) -> float | None:
    if value is None:
        return None
    match = _NUMBER.fullmatch(value)
    if match is None:
        raise InputError(source, FIELD, f"{what}: expected a number, got {value!r}")
    return float(match.group(1))


def _view_box(root: ElementTree.Element, source: str) -> tuple[float, float, float, float]:
    box = root.get("viewBox")
    if box is not None:
        parts = box.replace(",", " ").split()
        numbers = [_number(part, source, "viewBox") for part in parts]
        if len(numbers) != 4 or any(number is None for number in numbers):
            raise InputError(source, FIELD, f"viewBox: expected four numbers, got {box!r}")
        left, top, width, height = (float(n) for n in numbers if n is not None)
    else:
        left = top = 0.0
        width = _number(root.get("width"), source, "width") or 0.0
        height = _number(root.get("height"), source, "height") or 0.0
    if not (width > 0 and height > 0):
        raise InputError(source, FIELD, "no size: give the <svg> a viewBox or width and height")
    return left, top, width, height


def _slots(
    root: ElementTree.Element,
    source: str,
    view_box: tuple[float, float, float, float],
    colours: dict[str, str],
) -> list[TextSlot]:
    parents = {child: parent for parent in root.iter() for child in parent}
    slots = []
    for element in list(root.iter(f"{_SVG}text")):
        content = "".join(element.itertext())
        names = _PLACEHOLDER.findall(content)
        if not names:
            continue
        unknown = sorted(set(names) - set(_TEXT_PLACEHOLDERS))
        if unknown:
            raise InputError(
                source, FIELD, f"unknown placeholder {{{unknown[0]}}} in a <text> element"
            )
        ancestor: ElementTree.Element | None = element
        while ancestor is not None:
            if ancestor.get("transform"):
                raise InputError(
                    source, FIELD, "a placeholder <text> element must not be under a transform"
                )
            ancestor = parents.get(ancestor)
        slots.append(_slot(element, content, names[0], source, view_box, colours))
        parents[element].remove(element)
    return slots


def _slot(
    element: ElementTree.Element,
    content: str,
    first: str,
    source: str,
    view_box: tuple[float, float, float, float],
    colours: dict[str, str],
) -> TextSlot:
    left, _, width, _ = view_box
    x = _number(element.get("x", "0"), source, "x") or 0.0
    y = _number(element.get("y", "0"), source, "y") or 0.0
    size = _number(element.get("font-size", "48"), source, "font-size") or 48.0
    anchor = element.get("text-anchor", "start")
    if anchor not in ("start", "middle", "end"):
        raise InputError(
            source, FIELD, f"text-anchor: expected start, middle or end, got {anchor!r}"
        )
    before, after = x - left, left + width - x
    margin_width = {
        "start": after - before,
        "middle": 2 * min(before, after),
        "end": before - after,
    }
    box_width = _number(element.get("data-width"), source, "data-width") or margin_width[anchor]
    if box_width <= 0 or size <= 0:
        raise InputError(source, FIELD, f"the {{{first}}} element has no room: give it data-width")
    lines = element.get("data-max-lines", str(_DEFAULT_LINES.get(first, 1)))
    if not lines.isdigit() or not 1 <= int(lines) <= 6:
        raise InputError(source, FIELD, f"data-max-lines: expected 1 to 6, got {lines!r}")
    minimum = _number(element.get("data-min-font-size"), source, "data-min-font-size")
    line_height = _number(element.get("data-line-height"), source, "data-line-height") or 1.2
    return TextSlot(
        content=content,
        x=x,
        y=y,
        font_size=size,
        min_font_size=min(size, minimum if minimum and minimum > 0 else size * 0.6),
        weight=_weight(element.get("font-weight", "400"), source),
        fill=_colour(element.get("fill"), colours["foreground"], source),
        anchor=anchor,
        width=box_width,
        max_lines=int(lines),
        line_height=line_height,
    )


def _weight(value: str, source: str) -> int:
    named = {"normal": 400, "bold": 700}
    if value in named:
        return named[value]
    if value.isdigit() and 1 <= int(value) <= 1000:
        return int(value)
    raise InputError(source, FIELD, f"font-weight: expected a number or bold, got {value!r}")


def _colour(value: str | None, default: str, source: str) -> tuple[int, int, int]:
    if value is None:
        return rgb(default)
    try:
        colour = ImageColor.getrgb(value)
    except ValueError:
        raise InputError(source, FIELD, f"fill: not a colour: {value!r}") from None
    return colour[0], colour[1], colour[2]


def check_proportions(template: Template, size: tuple[int, int], source: str) -> None:
    """The template must have the card's proportions (to within 1%): it is
    scaled, never stretched or cropped."""
    _, _, width, height = template.view_box
    if abs((width / height) / (size[0] / size[1]) - 1) > 0.01:
        raise InputError(
            source,
            FIELD,
            f"its size ({width:g}x{height:g}) does not have the card's proportions "
            f"({size[0]}x{size[1]})",
        )


def renderer_version() -> str:
    import resvg_py

    return f"resvg-py {resvg_py.__version__}, resvg {resvg_py.__resvg_version__}"


@lru_cache(maxsize=8)
def _background(
    template: Template, size: tuple[int, int], background: str, fonts: tuple[str, ...]
) -> Image.Image:
    import resvg_py

    png = resvg_py.svg_to_bytes(
        svg_string=template.svg,
        width=size[0],
        height=size[1],
        skip_system_fonts=True,
        font_files=list(fonts),
        font_family="Inter",
        sans_serif_family="Inter",
    )
    drawn = Image.open(io.BytesIO(bytes(png))).convert("RGBA")
    if drawn.size != size:
        drawn = drawn.resize(size, Image.Resampling.LANCZOS)
    image = Image.new("RGBA", size, (*rgb(background), 255))
    image.alpha_composite(drawn)
    return image.convert("RGB")


def draw(
    template: Template,
    text: CardText,
    theme: dict[str, str],
    size: tuple[int, int],
    chain: FontChain,
) -> Image.Image:
    fonts = tuple(font.path for font in chain.fonts)
    image = _background(template, size, theme["background"], fonts).copy()
    canvas = Canvas(image, chain)
    left, top, width, _ = template.view_box
    scale = size[0] / width
    values = {name: getattr(text, name) for name in _TEXT_PLACEHOLDERS}
    for slot in template.slots:
        names = _PLACEHOLDER.findall(slot.content)
        if any(not values[name] for name in names):
            continue  # a field the page does not have: the element goes
        content = clean(_PLACEHOLDER.sub(lambda m: values[m.group(1)], slot.content))
        box = Box(
            slot.width * scale,
            slot.max_lines,
            max(1, round(slot.font_size * scale)),
            max(1, round(slot.min_font_size * scale)),
            slot.weight,
            slot.line_height,
            step=1,
        )
        block = canvas.fit(content, box)
        x = (slot.x - left) * scale
        start = {"start": x, "middle": x - box.width / 2, "end": x - box.width}[slot.anchor]
        first_top = (slot.y - top) * scale - block.size * ASCENT
        canvas.text(block, start, first_top, slot.fill, slot.anchor, box.width)
    return image
