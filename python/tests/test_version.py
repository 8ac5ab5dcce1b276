"""The version is written once, in pyproject.toml, and every other place reads it."""

from __future__ import annotations

import importlib.metadata
import sys
from collections.abc import Callable
from pathlib import Path

import pytest

import zelko
from zelko.cli import main

if sys.version_info >= (3, 11):
    import tomllib
else:  # pragma: no cover - exercised on Python 3.10 only
    import tomli as tomllib

PYPROJECT = Path(__file__).resolve().parents[2] / "pyproject.toml"


def declared_version() -> str:
    with PYPROJECT.open("rb") as file:
        version = tomllib.load(file)["project"]["version"]
    assert isinstance(version, str)
    return version


def command_line_version(capsys: pytest.CaptureFixture[str]) -> str:
    code = main(["--version"])
    captured = capsys.readouterr()
    assert (code, captured.err) == (0, "")
    name, _, version = captured.out.splitlines()[0].partition(" ")
    assert name == "zelko"
    return version


def contract_generator_version(capsys: pytest.CaptureFixture[str]) -> str:
    generator = zelko.build_seo_contract(zelko.SEOContractConfig("example.com")).to_dict()[
        "generator"
    ]
    assert generator["name"] == "zelko"
    version = generator["version"]
    assert isinstance(version, str)
    return version


READERS: dict[str, Callable[[pytest.CaptureFixture[str]], str]] = {
    "installed metadata": lambda capsys: importlib.metadata.version("zelko"),
    "zelko.__version__": lambda capsys: zelko.__version__,
    "zelko --version": command_line_version,
    "contract generator": contract_generator_version,
}


@pytest.mark.parametrize("reader", READERS)
def test_version_is_the_one_in_pyproject(reader: str, capsys: pytest.CaptureFixture[str]) -> None:
    assert READERS[reader](capsys) == declared_version()
