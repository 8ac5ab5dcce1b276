"""tools/fetch_pinned.py's directory pins: a source tree taken whole from a
pinned archive, checked by one SHA-256 over its manifest."""

from __future__ import annotations

import hashlib
import io
import sys
import tarfile
from collections.abc import Callable
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import fetch_pinned  # tools/ is not a package: found through the line above

FOLDER = "pkg-1.0/src/lib/"
FILES = {"a.c": b"int a;\n", "sub/b.h": b"#define B\n", "sub/deeper/c.c": b""}


def write_archive(path: Path, files: dict[str, bytes], *, link: str | None = None) -> None:
    with tarfile.open(path, "w:gz") as archive:
        for name, data in files.items():
            member = tarfile.TarInfo(name)
            member.size = len(data)
            archive.addfile(member, io.BytesIO(data))
        if link is not None:
            member = tarfile.TarInfo(link)
            member.type = tarfile.SYMTYPE
            member.linkname = "/etc/passwd"
            archive.addfile(member)


def pinned_for(archive: Path, digest: str) -> fetch_pinned.Pinned:
    return fetch_pinned.Pinned(
        tool="fetch_test",
        package="pkg",
        version="1.0",
        archive=archive.name,
        archive_sha256=hashlib.sha256(archive.read_bytes()).hexdigest(),
        override_variable="ZELKO_TEST_ARCHIVE",
        files={},
        directories={"lib": (FOLDER, digest)},
    )


PINNED_DIGEST = fetch_pinned.manifest_sha256(FILES)


def test_a_directory_is_extracted_whole_and_then_found_complete(tmp_path: Path) -> None:
    archive = tmp_path / "pkg-1.0.tar.gz"
    write_archive(archive, {FOLDER + name: data for name, data in FILES.items()})
    pinned = pinned_for(archive, PINNED_DIGEST)
    dest = tmp_path / "dest"
    assert not fetch_pinned.is_complete(pinned, dest)
    fetch_pinned.extract(pinned, archive, dest)
    assert fetch_pinned.directory_files(dest / "lib") == FILES
    assert fetch_pinned.is_complete(pinned, dest)
    # A file too many or one changed: no longer the pinned directory.
    (dest / "lib" / "extra.c").write_bytes(b"")
    assert not fetch_pinned.is_complete(pinned, dest)
    fetch_pinned.extract(pinned, archive, dest)
    assert fetch_pinned.is_complete(pinned, dest)
    (dest / "lib" / "a.c").write_bytes(b"int b;\n")
    assert not fetch_pinned.is_complete(pinned, dest)


Change = Callable[[dict[str, bytes]], dict[str, bytes]]


@pytest.mark.parametrize(
    ("change", "link"),
    [
        (lambda files: {**files, "a.c": b"int b;\n"}, None),
        (lambda files: {**files, "new.c": b""}, None),
        (lambda files: {k: v for k, v in files.items() if k != "sub/deeper/c.c"}, None),
        (lambda files: files, "link.c"),
        (lambda files: {**files, "../escape.c": b""}, None),
    ],
    ids=["changed file", "added file", "missing file", "symbolic link", "path out of it"],
)
def test_an_archive_whose_folder_is_not_the_pinned_one_is_refused(
    tmp_path: Path, change: Change, link: str | None
) -> None:
    archive = tmp_path / "pkg-1.0.tar.gz"
    files = change(dict(FILES))
    write_archive(
        archive,
        {FOLDER + name: data for name, data in files.items()},
        link=None if link is None else FOLDER + link,
    )
    # The pin is made over what the archive holds where a path escapes, so
    # that the path check itself is what refuses it.
    digest = fetch_pinned.manifest_sha256(files) if "../escape.c" in files else PINNED_DIGEST
    dest = tmp_path / "dest"
    with pytest.raises(SystemExit) as refused:
        fetch_pinned.extract(pinned_for(archive, digest), archive, dest)
    assert "fails its SHA-256 check" in str(refused.value) or "not a regular file" in str(
        refused.value
    )
    assert not (dest / "lib").exists()
    assert not (tmp_path / "escape.c").exists()
