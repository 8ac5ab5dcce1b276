"""The built-in templates: ``default``, ``minimal`` and ``image``.

Each is laid out for 1200x630 and scaled to the card's size: a margin, a
label line in the accent colour, the title (bold, up to three lines), the
description (up to two lines, muted), and the site name with its logo at the
bottom. ``minimal`` centres the title alone; ``image`` puts the page's
picture on the right, or an accent panel with the logo when it has none.
"""

from __future__ import annotations

from collections.abc import Callable

from PIL import Image, ImageDraw

from ._draw import Canvas, mix, rgb
from ._fonts import FontChain
from ._inputs import CardText
from ._text import Box

NAMES = ("default", "minimal", "image")


def draw(
    name: str, text: CardText, theme: dict[str, str], size: tuple[int, int], chain: FontChain
) -> Image.Image:
    image = Image.new("RGB", size, rgb(theme["background"]))
    canvas = Canvas(image, chain)
    scale = min(size[0] / 1200, size[1] / 630)
    _TEMPLATES[name](canvas, text, theme, scale)
    return image


def _default(canvas: Canvas, text: CardText, theme: dict[str, str], scale: float) -> None:
    width, _height = canvas.image.size
    _accent_bar(canvas, theme, scale)
    _column(canvas, text, theme, scale, left=round(80 * scale), right=width - round(80 * scale))


def _image(canvas: Canvas, text: CardText, theme: dict[str, str], scale: float) -> None:
    width, height = canvas.image.size
    panel = (width - round(460 * scale), 0, width, height)
    if text.image is not None:
        canvas.cover(text.image.decoded((panel[2] - panel[0], height)), panel)
    else:
        ImageDraw.Draw(canvas.image).rectangle(panel, fill=rgb(theme["accent"]))
        if text.logo is not None:
            inset = round(150 * scale)
            middle = (panel[0] + panel[2]) // 2, height // 2
            logo_box = (middle[0] - inset, middle[1] - inset, middle[0] + inset, middle[1] + inset)
            canvas.contain(text.logo.decoded(), logo_box)
    _accent_bar(canvas, theme, scale, right=panel[0])
    _column(
        canvas, text, theme, scale, left=round(64 * scale), right=panel[0] - round(56 * scale),
        title_sizes=(64, 36),
    )  # fmt: skip


def _minimal(canvas: Canvas, text: CardText, theme: dict[str, str], scale: float) -> None:
    width, height = canvas.image.size
    margin = round(100 * scale)
    box = Box(width - 2 * margin, 3, round(80 * scale), round(44 * scale), 700, 1.15)
    title = canvas.fit(text.title, box)
    footer = 0
    site = None
    if text.site_name:
        site = canvas.fit(
            text.site_name, Box(box.width, 1, round(30 * scale), round(24 * scale), 600)
        )
        footer = site.height + round(28 * scale)
    top = (height - title.height - footer) / 2
    canvas.text(title, margin, top, rgb(theme["foreground"]), "middle", box.width)
    if site is not None:
        canvas.text(
            site,
            margin,
            top + title.height + round(28 * scale),
            rgb(theme["accent"]),
            "middle",
            box.width,
        )


def _accent_bar(
    canvas: Canvas, theme: dict[str, str], scale: float, right: int | None = None
) -> None:
    width, height = canvas.image.size
    bar = (0, height - round(12 * scale), width if right is None else right, height)
    ImageDraw.Draw(canvas.image).rectangle(bar, fill=rgb(theme["accent"]))


def _column(
    canvas: Canvas,
    text: CardText,
    theme: dict[str, str],
    scale: float,
    left: int,
    right: int,
    title_sizes: tuple[int, int] = (72, 40),
) -> None:
    """Label, title and description from the top; site name and logo at the
    bottom. The description takes what room the title leaves, or none."""
    height = canvas.image.height
    span = right - left
    top = round(72 * scale)
    bottom = height - round(72 * scale)
    foreground = rgb(theme["foreground"])

    footer_top = bottom
    if text.site_name or text.logo:
        logo_size = round(56 * scale)
        footer_top = bottom - logo_size
        name_left = left
        if text.logo is not None:
            canvas.contain(text.logo.decoded(), (left, footer_top, left + logo_size, bottom))
            name_left = left + logo_size + round(20 * scale)
        if text.site_name:
            site = canvas.fit(
                text.site_name, Box(right - name_left, 1, round(30 * scale), round(24 * scale), 600)
            )
            site_top = footer_top + (logo_size - site.height) / 2
            canvas.text(site, name_left, site_top, foreground)
    room_bottom = footer_top - round(36 * scale)

    if text.label:
        label = canvas.fit(text.label, Box(span, 1, round(28 * scale), round(22 * scale), 600))
        canvas.text(label, left, top, rgb(theme["accent"]))
        top += label.height + round(24 * scale)

    largest, smallest = (round(size * scale) for size in title_sizes)
    title = canvas.fit(text.title, Box(span, 3, largest, smallest, 700, 1.12))
    canvas.text(title, left, top, foreground)
    top += title.height + round(24 * scale)

    if text.description:
        size = round(32 * scale)
        lines = min(2, int((room_bottom - top) // (size * 1.3)))
        if lines >= 1:
            box = Box(span, lines, size, round(28 * scale), 400, 1.3)
            description = canvas.fit(text.description, box)
            muted = mix(theme["foreground"], theme["background"], 0.72)
            canvas.text(description, left, top, muted)


_TEMPLATES: dict[str, Callable[[Canvas, CardText, dict[str, str], float], None]] = {
    "default": _default,
    "minimal": _minimal,
    "image": _image,
}
