#!/usr/bin/env bash
# Runs every test: the engine's GoogleTest suites (ctest) and the Python suite
# (pytest) against the installed package. bootstrap.sh --test installs what
# only the tests use and builds the suites in the package's build tree, with
# the extension: the engine is compiled once, for both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tools/bootstrap.sh --test
export PATH="$root/.venv/bin:$PATH"

# The package's build tree: build/{wheel_tag} (pyproject.toml's build-dir).
shopt -s nullglob
trees=(build/cp3*-abi3-*/CTestTestfile.cmake)
if [ ${#trees[@]} -ne 1 ]; then
  echo "test: expected one package build tree with the C++ suites, found ${#trees[@]}" >&2
  exit 1
fi
ctest --test-dir "$(dirname "${trees[0]}")" --output-on-failure --no-tests=error -j2

# Run from a neutral directory so the installed package, not the source tree, is tested.
cd "$root/python/tests"
python -m pytest -p no:cacheprovider "$root/python/tests"
