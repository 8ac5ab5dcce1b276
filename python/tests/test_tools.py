"""What the set-up and test scripts install and build, on a fresh machine.

Each script runs from a copy of tools/ against stand-ins for the programs it
calls (dpkg, apt-get, python3 and the virtual environment's python, cmake,
ctest), which record their arguments: nothing is installed or built.
"""

from __future__ import annotations

import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

if sys.version_info >= (3, 11):
    import tomllib
else:  # pragma: no cover
    import tomli as tomllib

REPO = Path(__file__).resolve().parents[2]
SCRIPTS = ("bootstrap.sh", "apt_install.sh", "test.sh")

# Every stand-in records "name arg..." (shell-quoted) in $STUB_LOG.
STUB = r"""#!/bin/bash
name=$(basename "$0")
printf '%s' "$name" >>"$STUB_LOG"
printf ' %q' "$@" >>"$STUB_LOG"
echo >>"$STUB_LOG"
case "$name" in
  dpkg) exit 1 ;;  # nothing is installed
  id) echo "${STUB_UID:-0}" ;;
  apt-get)
    if [ "$1" = "-qq" ] && [ "$2" = update ]; then
      count=$(($(cat "$STUB_STATE/updates" 2>/dev/null || echo 0) + 1))
      echo "$count" >"$STUB_STATE/updates"
      if [ "$count" -le "${STUB_LOCKED_UPDATES:-0}" ]; then
        echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 7" >&2
        exit 100
      fi
      if [ -n "${STUB_UPDATE_ERROR:-}" ]; then echo "$STUB_UPDATE_ERROR" >&2; exit 100; fi
    fi ;;
  python3)
    if [ "$1" = -m ] && [ "$2" = venv ]; then
      mkdir -p "$3/bin"
      cp "$0" "$3/bin/python"
    fi ;;
esac
exit 0
"""


def run_script(
    tmp_path: Path, script: str, *arguments: str, **environment: str
) -> tuple[subprocess.CompletedProcess[str], list[list[str]]]:
    """Runs tools/SCRIPT from a copy of the tree; returns the result and the
    recorded calls, each as its argument list."""
    tree = tmp_path / "tree"
    (tree / "tools").mkdir(parents=True, exist_ok=True)
    for name in SCRIPTS:
        shutil.copy2(REPO / "tools" / name, tree / "tools" / name)
    # The package build tree a --test build leaves (pyproject's build-dir).
    package_tree = tree / "build" / "cp310-abi3-linux_x86_64"
    package_tree.mkdir(parents=True, exist_ok=True)
    (package_tree / "CTestTestfile.cmake").touch()
    (tree / "python" / "tests").mkdir(parents=True, exist_ok=True)
    stubs = tmp_path / "stubs"
    stubs.mkdir(exist_ok=True)
    for name in ("dpkg", "id", "apt-get", "python3", "sleep", "cmake", "ctest"):
        (stubs / name).write_text(STUB)
        (stubs / name).chmod(0o755)
    (tmp_path / "state").mkdir(exist_ok=True)
    log = tmp_path / "calls.log"
    log.write_text("")
    result = subprocess.run(
        ["bash", str(tree / "tools" / script), *arguments],
        env={
            "PATH": f"{stubs}:/usr/bin:/bin",
            "STUB_LOG": str(log),
            "STUB_STATE": str(tmp_path / "state"),
            "HOME": str(tmp_path),
            **environment,
        },
        capture_output=True,
        text=True,
        timeout=60,
        check=False,
    )
    calls = [shlex.split(line) for line in log.read_text().splitlines()]
    return result, calls


def apt_installs(calls: list[list[str]]) -> list[list[str]]:
    return [call for call in calls if call[0] == "apt-get" and "install" in call]


def pip_installs(calls: list[list[str]]) -> list[list[str]]:
    return [call[4:] for call in calls if call[:4] == ["python", "-m", "pip", "install"]]


def requirement_name(text: str) -> str:
    return re.split(r"[\[<>=;! ]", text, maxsplit=1)[0].lower().replace("_", "-")


def extra_requirements_of_tests() -> set[str]:
    with (REPO / "pyproject.toml").open("rb") as file:
        project = tomllib.load(file)["project"]
    return {requirement_name(text) for text in project["optional-dependencies"]["test"]}


TEST_ONLY_DEBIAN = {"chromium", "libgtest-dev"}


@pytest.mark.parametrize(
    ("arguments", "with_tests"), [((), False), (("--test",), True)], ids=["main", "test"]
)
def test_bootstrap_installs_test_packages_only_for_the_tests(
    tmp_path: Path, arguments: tuple[str, ...], with_tests: bool
) -> None:
    result, calls = run_script(tmp_path, "bootstrap.sh", *arguments)
    assert result.returncode == 0, result.stderr

    (apt,) = apt_installs(calls)
    debian = {word for word in apt if not word.startswith("-") and "=" not in word}
    assert {"g++", "libicu-dev", "libssl-dev", "nlohmann-json3-dev"} <= debian
    assert (debian >= TEST_ONLY_DEBIAN) if with_tests else not (TEST_ONLY_DEBIAN & debian)
    python = [word for call in pip_installs(calls) for word in call if not word.startswith("-")]
    assert ("scikit-build-core>=0.11" in python) and ("cmake>=3.26" in python)
    assert not {requirement_name(word) for word in python} & extra_requirements_of_tests()
    *_, package = pip_installs(calls)
    assert package[-1] == (".[test]" if with_tests else ".")
    # The C++ suites build in the package's tree, with the extension.
    assert ("cmake.define.ZELKO_BUILD_TESTS=ON" in package) == with_tests


def test_test_script_compiles_the_engine_once(tmp_path: Path) -> None:
    result, calls = run_script(tmp_path, "test.sh")
    assert result.returncode == 0, result.stderr

    (package,) = [call for call in pip_installs(calls) if call[-1] == ".[test]"]
    assert "build.targets=_zelko_native;engine_tests" in package
    # No second build tree: cmake is left to the package build.
    assert [call for call in calls if call[0] == "cmake"] == []
    (ctest,) = [call for call in calls if call[0] == "ctest"]
    assert ctest[ctest.index("--test-dir") + 1] == "build/cp310-abi3-linux_x86_64"
    assert calls[-1][:3] == ["python", "-m", "pytest"]


@pytest.mark.parametrize(
    ("environment", "code", "updates", "waits"),
    [
        ({}, 0, 1, 0),
        ({"STUB_LOCKED_UPDATES": "2"}, 0, 3, 2),  # another apt run holds the lists
        ({"STUB_LOCKED_UPDATES": "100"}, 1, 60, 59),  # bounded: ten minutes
        ({"STUB_UPDATE_ERROR": "E: Failed to fetch http://127.0.0.1/x"}, 1, 1, 0),
        ({"STUB_UID": "1000"}, 1, 0, 0),  # not root: names what to install
    ],
)
def test_apt_waits_for_the_package_lock(
    tmp_path: Path, environment: dict[str, str], code: int, updates: int, waits: int
) -> None:
    result, calls = run_script(tmp_path, "apt_install.sh", "step", "g++", "chromium", **environment)

    assert result.returncode == code, result.stderr
    assert sum(call[:3] == ["apt-get", "-qq", "update"] for call in calls) == updates
    assert sum(call[0] == "sleep" for call in calls) == waits
    installs = apt_installs(calls)
    assert len(installs) == (1 if code == 0 else 0)
    for install in installs:
        timeout = install[install.index("-o") + 1]
        assert timeout.startswith("DPkg::Lock::Timeout=") and int(timeout.split("=")[1]) >= 60
        assert install[-2:] == ["g++", "chromium"]
    if environment.get("STUB_UID"):
        assert result.stderr == "step: please install: g++ chromium (apt-get install, as root)\n"


def test_every_script_installs_debian_packages_through_the_waiting_helper() -> None:
    for script in sorted((REPO / "tools").glob("*.sh")):
        if script.name != "apt_install.sh":
            assert "apt-get" not in script.read_text(encoding="utf-8"), script.name
