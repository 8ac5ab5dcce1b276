#!/usr/bin/env bash
# Runs the whole Python test suite once against a build of the extension with
# AddressSanitizer and UndefinedBehaviorSanitizer (gcc). The package is built
# through its normal packaging path into build/asan/site-packages (never into
# .venv), and the sanitizer runtimes are preloaded into the release
# interpreter.
#
#   tools/sanitize.sh              the whole suite
#   tools/sanitize.sh -k payload   extra arguments go to pytest
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# The suite's own packages come with the test environment.
[ -x .venv/bin/pytest ] || tools/bootstrap.sh --test
python="$root/.venv/bin/python"
export PATH="$root/.venv/bin:$PATH"

site="$root/build/asan/site-packages"
rm -rf "$site"
# -O1 with debug information: reports name source lines, and the build and
# the run stay quick.
"$python" -m pip install -q --no-deps --no-build-isolation --target "$site" \
  -C build-dir="$root/build/asan/{wheel_tag}" \
  -C cmake.build-type=RelWithDebInfo \
  -C cmake.define.ZELKO_SANITIZE=ON \
  -C cmake.define.CMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  .

extension=$(ls "$site"/_zelko_native*.so)
# grep reads all of ldd's output: with -q it could exit first and fail the
# pipe (pipefail) on a busy machine.
if ! ldd "$extension" | grep libasan >/dev/null; then
  echo "sanitize: $extension is not built with AddressSanitizer" >&2
  exit 1
fi

libasan=$(g++ -print-file-name=libasan.so)
libubsan=$(g++ -print-file-name=libubsan.so)
export LD_PRELOAD="$libasan $libubsan"
export PYTHONMALLOC=malloc
# CPython keeps memory alive until exit on purpose: leaks would be noise.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export PYTHONPATH="$site${PYTHONPATH:+:$PYTHONPATH}"

loaded=$("$python" -c 'import _zelko_native; print(_zelko_native.__file__)')
if [ "$loaded" != "$extension" ]; then
  echo "sanitize: the tests would import $loaded, not $extension" >&2
  exit 1
fi

# From a neutral directory, as tools/test.sh does.
cd "$root/python/tests"
"$python" -m pytest -p no:cacheprovider "$root/python/tests" "$@"
