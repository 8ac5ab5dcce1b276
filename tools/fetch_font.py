#!/usr/bin/env python3
"""Obtain the pinned Inter font that social cards draw with (zelko.cards).

The `fontpkg-inter` wheel on the Python package index carries Inter's
variable font unmodified from the upstream release, with its SIL Open Font
Licence. This script downloads that pinned wheel with pip (or reuses a cached
copy), checks its SHA-256 and extracts the font and the licence into the
destination directory, each checked against its own SHA-256 too. A
destination that already holds the checked files (an unpacked zelko sdist
carries them) needs no download. Nothing third-party is committed.
"""

from __future__ import annotations

import argparse
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fetch_ada import cache_dir, sha256_of

PACKAGE = "fontpkg-inter"
VERSION = "4.1.post1"
WHEEL = "fontpkg_inter-4.1.post1-py3-none-any.whl"
WHEEL_SHA256 = "b1105c8b368787112e9352ba657fe4fd32feb0722cc3046a308f65962298ddf8"
# Destination name -> (member of the wheel, SHA-256 of its content).
FILES = {
    "Inter.ttf": (
        "fontpkg_inter/files/Inter[opsz,wght].ttf",
        "29160a80ff49ddcab2c97711247e08b1fab27a484a329ce8b813d820dc559031",
    ),
    "Inter-LICENSE.txt": (
        "fontpkg_inter/LICENSE",
        "5b9321a4298cfeb6b34354164a1c3afc3db114569984c502b9b35d988fd58c57",
    ),
}


def download_wheel(target: pathlib.Path) -> None:
    with tempfile.TemporaryDirectory() as tmp:
        command = [
            sys.executable, "-m", "pip", "download", "--quiet", "--no-deps",
            "--only-binary", ":all:", f"{PACKAGE}=={VERSION}", "-d", tmp,
        ]  # fmt: skip
        try:
            subprocess.run(command, check=True)
        except (OSError, subprocess.CalledProcessError) as exc:
            sys.exit(
                f"fetch_font: could not download {PACKAGE} {VERSION} with pip ({exc}); "
                "run tools/fetch_font.py with a Python that has pip, or set ZELKO_FONT_WHEEL"
            )
        found = pathlib.Path(tmp) / WHEEL
        if not found.is_file():
            sys.exit(f"fetch_font: pip did not produce {WHEEL}")
        target.parent.mkdir(parents=True, exist_ok=True)
        partial = target.with_name(target.name + ".part")
        shutil.copyfile(found, partial)
        partial.replace(target)


def obtain_wheel() -> pathlib.Path:
    given = os.environ.get("ZELKO_FONT_WHEEL")
    wheel = pathlib.Path(given) if given else cache_dir() / WHEEL
    if not wheel.exists() or sha256_of(wheel) != WHEEL_SHA256:
        if given:
            sys.exit(f"fetch_font: {wheel} is missing or fails its SHA-256 check")
        download_wheel(wheel)
    digest = sha256_of(wheel)
    if digest != WHEEL_SHA256:
        wheel.unlink(missing_ok=True)
        sys.exit(f"fetch_font: SHA-256 mismatch: got {digest}, want {WHEEL_SHA256}")
    return wheel


def is_complete(dest: pathlib.Path) -> bool:
    """Tells whether ``dest`` holds every pinned file with its pinned content."""
    return all(
        (dest / name).is_file() and sha256_of(dest / name) == digest
        for name, (_, digest) in FILES.items()
    )


def extract(wheel: pathlib.Path, dest: pathlib.Path) -> None:
    dest.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(wheel) as archive:
        for name, (member, digest) in FILES.items():
            data = archive.read(member)
            if hashlib.sha256(data).hexdigest() != digest:
                sys.exit(f"fetch_font: {member} in the wheel fails its SHA-256 check")
            partial = dest / (name + ".part")
            partial.write_bytes(data)
            partial.replace(dest / name)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dest", help="directory for Inter.ttf and Inter-LICENSE.txt")
    dest = pathlib.Path(parser.parse_args().dest)
    if not is_complete(dest):
        extract(obtain_wheel(), dest)


if __name__ == "__main__":
    main()
