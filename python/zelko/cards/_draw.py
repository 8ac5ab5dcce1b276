"""Drawing on a card: fitted text blocks, pictures cropped or fitted to a
box, colours mixed from the theme."""

from __future__ import annotations

from dataclasses import dataclass

from PIL import Image, ImageDraw, ImageOps

from ._fonts import FontChain, advance, face
from ._text import Block, Box, fit

# Where the first baseline sits below the top of a line box, in ems (Inter's
# ascender is 0.97 em; lines are spaced by the block's line height).
ASCENT = 0.93


def rgb(colour: str) -> tuple[int, int, int]:
    return int(colour[1:3], 16), int(colour[3:5], 16), int(colour[5:7], 16)


def mix(first: str, second: str, share: float) -> tuple[int, int, int]:
    """``share`` of ``first`` and the rest of ``second``."""
    a, b = rgb(first), rgb(second)
    return tuple(round(x * share + y * (1 - share)) for x, y in zip(a, b, strict=True))  # type: ignore[return-value]


@dataclass
class Canvas:
    image: Image.Image
    chain: FontChain

    @property
    def draw(self) -> ImageDraw.ImageDraw:
        return ImageDraw.Draw(self.image)

    def fit(self, text: str, box: Box) -> Block:
        return fit(text, box, self.chain)

    def text(
        self,
        block: Block,
        x: float,
        top: float,
        fill: tuple[int, int, int],
        align: str = "start",
        width: float = 0.0,
    ) -> None:
        """Draws ``block`` with its first line box at ``top``; ``align``
        "middle" or "end" place each line within ``width`` from ``x``."""
        draw = ImageDraw.Draw(self.image)
        for index, line in enumerate(block.lines):
            baseline = top + block.size * (index * block.line_height + ASCENT)
            runs = self.chain.runs(line)
            start = x
            if align != "start":
                extent = self.chain.width(line, block.size, block.weight)
                start = x + (width - extent) / (2 if align == "middle" else 1)
            for path, piece in runs:
                font = face(path, block.size, block.weight)
                draw.text((start, baseline), piece, font=font, fill=fill, anchor="ls")
                start += advance(path, piece, block.size, block.weight)

    def cover(self, picture: Image.Image, box: tuple[int, int, int, int]) -> None:
        """``picture`` cropped to fill ``box`` (left, top, right, bottom)."""
        size = (box[2] - box[0], box[3] - box[1])
        fitted = ImageOps.fit(picture, size, Image.Resampling.LANCZOS)
        self._paste(fitted, box[:2])

    def contain(self, picture: Image.Image, box: tuple[int, int, int, int]) -> None:
        """``picture`` scaled to fit inside ``box``, centred in it."""
        size = (box[2] - box[0], box[3] - box[1])
        fitted = ImageOps.contain(picture, size, Image.Resampling.LANCZOS)
        left = box[0] + (size[0] - fitted.width) // 2
        top = box[1] + (size[1] - fitted.height) // 2
        self._paste(fitted, (left, top))

    def _paste(self, picture: Image.Image, where: tuple[int, int]) -> None:
        if picture.mode == "RGBA":
            self.image.paste(picture, where, picture)
        else:
            self.image.paste(picture.convert("RGB"), where)
