#!/usr/bin/env bash
# Prepares a machine for zelko. Safe to run again.
#
#   tools/bootstrap.sh          the main job: the system packages the engine
#                               builds against, a virtual environment in .venv
#                               with the build tools, the pinned ada URL parser
#                               source (checked against its SHA-256), and zelko
#                               built and installed from this checkout (not
#                               editable);
#   tools/bootstrap.sh --test   the same, plus what only the tests use (run by
#                               tools/test.sh): GoogleTest and Chromium from
#                               Debian, the `test` extra of pyproject.toml, and
#                               the engine's GoogleTest suites, built in the
#                               package's own build tree with the extension, so
#                               the engine is compiled once for both.
#
# --system-only stops after the system packages (a container's first layer).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

with_tests=0
system_only=0
for argument in "$@"; do
  case "$argument" in
    --test) with_tests=1 ;;
    --system-only) system_only=1 ;;
    *)
      echo "bootstrap: unknown option '$argument' (--test, --system-only)" >&2
      exit 2
      ;;
  esac
done

system_packages=(g++ nlohmann-json3-dev libicu-dev libssl-dev zlib1g-dev pkg-config)
# Debian ships venv's pip installer apart from Python itself.
python3 -c "import ensurepip" >/dev/null 2>&1 || system_packages+=(python3-venv)
if [ $with_tests -eq 1 ]; then
  # Chromium (about 350 MB) is the browser of test_browser.py.
  # fonts-droid-fallback: a CJK font, the fallback of the social card tests.
  system_packages+=(libgtest-dev chromium fonts-droid-fallback)
fi
tools/apt_install.sh bootstrap "${system_packages[@]}"
[ $system_only -eq 1 ] && exit 0

[ -x .venv/bin/python ] || python3 -m venv .venv
.venv/bin/python -m pip install -q --upgrade pip
.venv/bin/python -m pip install -q "scikit-build-core>=0.11" "cmake>=3.26" ninja \
  "tomli>=1.1; python_version < '3.11'"
.venv/bin/python tools/fetch_ada.py
.venv/bin/python tools/fetch_lexbor.py

target=.
build_options=()
if [ $with_tests -eq 1 ]; then
  # The test extra comes with the package; the suites build beside the
  # extension (tools/test.sh runs them with ctest in that build tree).
  target=".[test]"
  build_options=(-C cmake.define.ZELKO_BUILD_TESTS=ON -C "build.targets=_zelko_native;engine_tests")
fi

# The compile is the slow part: show its progress (the build system's [n/total]
# lines) and keep the whole output in a log for when something goes wrong.
echo "bootstrap: compiling and installing zelko (about 2 minutes on two cores)"
mkdir -p build
log=build/bootstrap-install.log
start=$SECONDS
set +e
.venv/bin/python -m pip install -v --no-build-isolation "${build_options[@]}" "$target" 2>&1 |
  tee "$log" | grep --line-buffered -E '^ *\[[0-9]+/[0-9]+\] '
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log" >&2
  echo "bootstrap: installing zelko failed; the whole output is in $log" >&2
  exit "$status"
fi
echo "bootstrap: zelko installed in .venv ($((SECONDS - start)) s)"
