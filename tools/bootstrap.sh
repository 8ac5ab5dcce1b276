#!/usr/bin/env bash
# Prepares a fresh machine for zelko: the system packages the engine builds
# against, a virtual environment in .venv with the build and test tools, the
# pinned ada URL parser source (checked against its SHA-256), and zelko itself
# built and installed from this checkout (not editable). Safe to run again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

system_packages=(g++ nlohmann-json3-dev libgtest-dev libicu-dev libssl-dev zlib1g-dev pkg-config chromium
  fonts-droid-fallback)
missing=()
for package in "${system_packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "bootstrap: please install: ${missing[*]} (apt-get install, as root)" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ -x .venv/bin/python ] || python3 -m venv .venv
.venv/bin/python -m pip install -q --upgrade pip
.venv/bin/python -m pip install -q "scikit-build-core>=0.11" "cmake>=3.26" ninja \
  pytest hypothesis mypy numpy lxml "tomli>=1.1; python_version < '3.11'" \
  "django>=5.2,<6" "django-stubs>=5.2,<6" flask fastapi uvicorn httpx2 websocket-client \
  "selectolax>=1.0" "dask[bag]>=2024.1" "distributed>=2024.1"
# Social cards (the cards extra); the CJK fallback font above is for their tests.
.venv/bin/python -m pip install -q "pillow>=10.1" "resvg-py>=0.5" "uharfbuzz>=0.39"
.venv/bin/python tools/fetch_ada.py

# The compile is the slow part: show its progress (the build system's [n/total]
# lines) and keep the whole output in a log for when something goes wrong.
echo "bootstrap: compiling and installing zelko (about 2 minutes on two cores)"
mkdir -p build
log=build/bootstrap-install.log
start=$SECONDS
set +e
.venv/bin/python -m pip install -v --no-build-isolation . 2>&1 | tee "$log" |
  grep --line-buffered -E '^ *\[[0-9]+/[0-9]+\] '
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log" >&2
  echo "bootstrap: installing zelko failed; the whole output is in $log" >&2
  exit "$status"
fi
echo "bootstrap: zelko installed in .venv ($((SECONDS - start)) s)"
