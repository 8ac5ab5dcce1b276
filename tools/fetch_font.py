#!/usr/bin/env python3
"""Obtain the pinned Inter font that social cards draw with (zelko.cards).

The `fontpkg-inter` wheel on the Python package index carries Inter's
variable font unmodified from the upstream release, with its SIL Open Font
Licence; tools/fetch_pinned.py downloads, checks and extracts them.
"""

from __future__ import annotations

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fetch_pinned import Pinned, main

FONT = Pinned(
    tool="fetch_font",
    package="fontpkg-inter",
    version="4.1.post1",
    archive="fontpkg_inter-4.1.post1-py3-none-any.whl",
    archive_sha256="b1105c8b368787112e9352ba657fe4fd32feb0722cc3046a308f65962298ddf8",
    override_variable="ZELKO_FONT_WHEEL",
    files={
        "Inter.ttf": (
            "fontpkg_inter/files/Inter[opsz,wght].ttf",
            "29160a80ff49ddcab2c97711247e08b1fab27a484a329ce8b813d820dc559031",
        ),
        "Inter-LICENSE.txt": (
            "fontpkg_inter/LICENSE",
            "5b9321a4298cfeb6b34354164a1c3afc3db114569984c502b9b35d988fd58c57",
        ),
    },
)

if __name__ == "__main__":
    main(FONT, __doc__.splitlines()[0])
