#!/usr/bin/env python3
"""Obtain the pinned ada URL parser amalgamation (ada.cpp, ada.h, LICENSE).

The source distribution of the `ada-url` package on the Python package index
carries ada's single-file amalgamation. This script downloads that pinned
sdist with pip (or reuses a cached copy), checks its SHA-256 and extracts the
amalgamation and its licence into the destination directory, where each file
is checked against its own SHA-256 too. A destination that already holds the
checked files (an unpacked zelko sdist carries them) needs no download.
Nothing third-party is committed.

pip is the only way out to the network here, so whatever index pip is
configured with is used; inside an isolated build pip comes from the build
requirements.
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
# Destination name -> (member of the sdist, SHA-256 of its content).
FILES = {
    "ada.cpp": (
        "ada_url/ada.cpp",
        "1c722f8f5355d6bf2bf3601870684edc875aa8f56b4d4735440d96263dd0207c",
    ),
    "ada.h": (
        "ada_url/ada.h",
        "0010b17b3ff489e13998e86d921b16e1643e370ee3276c584f1b0c4b72bdf628",
    ),
    "LICENSE": (
        "LICENSE",
        "f43d0ffd14355659cf39793a12060576dacb217bb57768edc270e7312ebba844",
    ),
}


def cache_dir() -> pathlib.Path:
    root = os.environ.get("ZELKO_CACHE_DIR") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "zelko"
    )
    return pathlib.Path(root)


def sha256_of(path: pathlib.Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def download_sdist(target: pathlib.Path) -> None:
    with tempfile.TemporaryDirectory() as tmp:
        # --no-binary for ada-url alone: pip must fetch its sdist (the wheel has
        # no C++ source), while the build requirements pip installs to read the
        # sdist's metadata may come as wheels rather than be compiled.
        command = [
            sys.executable,
            "-m",
            "pip",
            "download",
            "--quiet",
            "--no-deps",
            "--no-binary",
            "ada-url",
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
        partial = target.with_name(target.name + ".part")
        shutil.copyfile(found[0], partial)
        partial.replace(target)


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


def is_complete(dest: pathlib.Path) -> bool:
    """Tells whether ``dest`` holds every pinned file with its pinned content."""
    return all(
        (dest / name).is_file() and sha256_of(dest / name) == digest
        for name, (_, digest) in FILES.items()
    )


def extract(sdist: pathlib.Path, dest: pathlib.Path) -> None:
    dest.mkdir(parents=True, exist_ok=True)
    with tarfile.open(sdist, "r:gz") as archive:
        for name, (member_name, digest) in FILES.items():
            member = archive.getmember(f"ada_url-{ADA_VERSION}/{member_name}")
            source = archive.extractfile(member)
            if source is None:
                sys.exit(f"fetch_ada: {member_name} is not a regular file in the sdist")
            data = source.read()
            if hashlib.sha256(data).hexdigest() != digest:
                sys.exit(f"fetch_ada: {member_name} in the sdist fails its SHA-256 check")
            partial = dest / (name + ".part")
            partial.write_bytes(data)
            partial.replace(dest / name)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dest", nargs="?", help="directory for ada.cpp, ada.h and LICENSE")
    args = parser.parse_args()
    dest = pathlib.Path(args.dest) if args.dest else None
    if dest is not None and is_complete(dest):
        return
    sdist = obtain_sdist()
    if dest is not None:
        extract(sdist, dest)


if __name__ == "__main__":
    main()
