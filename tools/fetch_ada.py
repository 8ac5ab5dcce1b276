#!/usr/bin/env python3
"""Obtain the pinned ada URL parser amalgamation (ada.cpp, ada.h).

The source distribution of the `ada-url` package on the Python package index
carries ada's single-file amalgamation. This script downloads that pinned
sdist with pip (or reuses a cached copy), checks its SHA-256 and extracts the
two files into the destination directory. Nothing third-party is committed.
"""

from __future__ import annotations

import argparse
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import tarfile
import tempfile

ADA_VERSION = "4.0.0"
ADA_SDIST_SHA256 = "9f399ec867349800a4c2d3aa8df8c533c340494b04d34b1f082b97d9a8b76a07"
MEMBERS = ("ada.cpp", "ada.h")


def cache_dir() -> pathlib.Path:
    root = os.environ.get("ZELKO_CACHE_DIR") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "zelko"
    )
    return pathlib.Path(root)


def sha256_of(path: pathlib.Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def download_sdist(target: pathlib.Path) -> None:
    with tempfile.TemporaryDirectory() as tmp:
        command = [
            sys.executable,
            "-m",
            "pip",
            "download",
            "--quiet",
            "--no-deps",
            "--no-binary",
            ":all:",
            f"ada-url=={ADA_VERSION}",
            "-d",
            tmp,
        ]
        try:
            subprocess.run(command, check=True)
        except (OSError, subprocess.CalledProcessError) as exc:
            sys.exit(
                f"fetch_ada: could not download ada-url {ADA_VERSION} with pip ({exc}); "
                "run tools/fetch_ada.py with a Python that has pip, or set ZELKO_ADA_SDIST"
            )
        found = sorted(pathlib.Path(tmp).glob("ada_url-*.tar.gz"))
        if not found:
            sys.exit("fetch_ada: pip did not produce an ada_url sdist")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(found[0], target)


def obtain_sdist() -> pathlib.Path:
    given = os.environ.get("ZELKO_ADA_SDIST")
    sdist = pathlib.Path(given) if given else cache_dir() / f"ada_url-{ADA_VERSION}.tar.gz"
    if not sdist.exists() or sha256_of(sdist) != ADA_SDIST_SHA256:
        if given:
            sys.exit(f"fetch_ada: {sdist} is missing or fails its SHA-256 check")
        download_sdist(sdist)
    digest = sha256_of(sdist)
    if digest != ADA_SDIST_SHA256:
        sdist.unlink(missing_ok=True)
        sys.exit(f"fetch_ada: SHA-256 mismatch: got {digest}, want {ADA_SDIST_SHA256}")
    return sdist


def extract(sdist: pathlib.Path, dest: pathlib.Path) -> None:
    dest.mkdir(parents=True, exist_ok=True)
    with tarfile.open(sdist, "r:gz") as archive:
        for name in MEMBERS:
            member = archive.getmember(f"ada_url-{ADA_VERSION}/ada_url/{name}")
            source = archive.extractfile(member)
            if source is None:
                sys.exit(f"fetch_ada: {name} is not a regular file in the sdist")
            partial = dest / (name + ".part")
            partial.write_bytes(source.read())
            partial.replace(dest / name)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dest", nargs="?", help="directory for ada.cpp and ada.h")
    args = parser.parse_args()
    sdist = obtain_sdist()
    if args.dest:
        extract(sdist, pathlib.Path(args.dest))


if __name__ == "__main__":
    main()
