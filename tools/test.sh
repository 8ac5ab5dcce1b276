#!/usr/bin/env bash
# Runs every test: the engine's GoogleTest suites (ctest) and the Python suite
# (pytest) against the installed package. bootstrap.sh --test installs what
# only the tests use.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tools/bootstrap.sh --test
export PATH="$root/.venv/bin:$PATH"

cmake -S . -B build/cpp -G Ninja -DZELKO_BUILD_PYTHON=OFF -DPython_EXECUTABLE="$root/.venv/bin/python" >/dev/null
cmake --build build/cpp
ctest --test-dir build/cpp --output-on-failure --no-tests=error -j2

# Run from a neutral directory so the installed package, not the source tree, is tested.
cd "$root/python/tests"
python -m pytest -p no:cacheprovider "$root/python/tests"
