"""The installed distribution is one abi3 wheel for CPython 3.10 and later."""

from __future__ import annotations

import importlib.metadata
import pathlib
import re
import subprocess
import sys

import pytest

import _zelko_native

# A developer may run the suite against a build tree (PYTHONPATH); the wheel
# checks only mean something for an installed distribution.
pytestmark = pytest.mark.skipif(
    "site-packages" not in pathlib.Path(_zelko_native.__file__).parts,
    reason="_zelko_native is not installed from a wheel",
)


def test_extension_is_built_for_the_stable_abi() -> None:
    assert pathlib.Path(_zelko_native.__file__).name.endswith(".abi3.so")


def test_wheel_is_tagged_cp310_abi3() -> None:
    wheel_text = importlib.metadata.distribution("zelko").read_text("WHEEL")
    if wheel_text is None:  # installed from a source tree without a WHEEL file
        raise AssertionError("zelko was not installed from a wheel")
    tags = [
        line.split(":", 1)[1].strip() for line in wheel_text.splitlines() if line.startswith("Tag:")
    ]
    assert tags, wheel_text
    assert all(tag.startswith("cp310-abi3-") for tag in tags), tags


def test_installed_package_ships_type_information() -> None:
    package_dir = pathlib.Path(importlib.metadata.distribution("zelko").locate_file("zelko"))
    assert (package_dir / "py.typed").is_file()
    stub = pathlib.Path(_zelko_native.__file__).with_name("_zelko_native.pyi")
    assert stub.is_file()


def test_installed_metadata_names_the_licence_and_ships_the_notices() -> None:
    distribution = importlib.metadata.distribution("zelko")
    metadata = distribution.metadata
    assert metadata["License-Expression"] == "MIT"
    assert metadata["Requires-Python"] == ">=3.10"
    assert sorted(metadata.get_all("License-File") or []) == ["LICENSE", "THIRD_PARTY_NOTICES.txt"]
    shipped = {
        file.name: file
        for file in distribution.files or []
        if file.parent.name == "licenses" and file.parent.parent.name.endswith(".dist-info")
    }
    assert sorted(shipped) == ["LICENSE", "THIRD_PARTY_NOTICES.txt"]
    notices = shipped["THIRD_PARTY_NOTICES.txt"].read_text(encoding="utf-8")
    assert re.findall(r"^-{78}\n(.+)\n-{78}$", notices, re.MULTILINE) == [
        "ada",
        "lexbor",
        "nlohmann/json",
        "ICU (International Components for Unicode)",
        "OpenSSL (libcrypto)",
        "Inter",
        "schema.org vocabulary",
    ]
    # The social card font travels with its licence.
    fonts = {file.name for file in distribution.files or [] if file.parent.name == "fonts"}
    assert fonts == {"Inter.ttf", "Inter-LICENSE.txt"}


def test_installed_metadata_names_no_web_address() -> None:
    # The project has no public address yet: metadata that named one would
    # send users to a page that does not exist.
    metadata = importlib.metadata.distribution("zelko").metadata
    assert [key for key in ("Project-URL", "Home-page", "Download-URL") if key in metadata] == []


def test_import_zelko_loads_no_openssl() -> None:
    # The wheel carries no libcrypto and must not pull it in through Python's
    # hashlib either: modules that hash import it where they hash.
    code = "import sys, zelko, zelko.check; sys.exit('_hashlib' in sys.modules)"
    assert subprocess.run([sys.executable, "-c", code], check=False).returncode == 0
