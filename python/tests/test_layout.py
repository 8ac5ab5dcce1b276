"""The README's map of the source tree names every source file there is."""

from __future__ import annotations

import re
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
SOURCE_SUFFIXES = {".cpp", ".hpp", ".py", ".pyi"}


def mapped_files() -> set[str]:
    """The files of the "Where each subject lives" table, as repository
    paths; ``a.hpp/.cpp`` names both."""
    readme = (REPO / "README.md").read_text(encoding="utf-8")
    section = readme.split("### Where each subject lives", 1)[1]
    rows = [line for line in section.splitlines() if line.startswith("| ")][1:]
    found: set[str] = set()
    for row in rows:
        _subject, engine, package, *_ = [cell.strip() for cell in row.strip("|").split("|")]
        for root, cell in (("core", engine), ("python", package)):
            for name in re.findall(r"`([^`]+)`", cell):
                if "/" not in name and not name.endswith(".pyi"):
                    continue  # a function or macro named beside its file
                stem, _, pair = name.partition("/.")
                names = [stem, stem.rsplit(".", 1)[0] + "." + pair] if pair else [name]
                found.update(f"{root}/{each}" for each in names)
    return found


def source_files() -> set[str]:
    roots = [REPO / "core" / "src", REPO / "core" / "include", REPO / "python" / "src"]
    roots.append(REPO / "python" / "zelko")
    files = {
        path.relative_to(REPO).as_posix()
        for root in roots
        for path in root.rglob("*")
        if path.suffix in SOURCE_SUFFIXES and "__pycache__" not in path.parts
    }
    return files | {"python/_zelko_native.pyi"}


def test_the_source_map_lists_every_source_file_and_no_other() -> None:
    mapped = mapped_files()
    assert sorted(source_files() - mapped) == []
    assert sorted(mapped - source_files()) == []
