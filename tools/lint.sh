#!/usr/bin/env bash
# The lint gates, as CI runs them:
#   clang-format (Debian's, version 14) over our C++, against .clang-format;
#   ruff check and ruff format --check over our Python ([tool.ruff]);
#   mypy --strict over python/zelko and the extension's stubs ([tool.mypy]).
# Third-party and generated files are not ours: only tracked files are looked at.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/apt_install.sh lint clang-format
# mypy reads the frameworks' own types (the integrations import them), which
# the test environment has.
[ -x .venv/bin/pytest ] || tools/bootstrap.sh --test
# Pinned, so that a new release of a checker cannot fail a commit that passed.
# tomli: mypy checks the package as Python 3.10, where it reads TOML with it.
.venv/bin/python -m pip install -q "ruff==0.17.6" "mypy==2.4.1" "tomli>=1.1"

status=0
run() {
  local label=$1
  shift
  echo "== lint: $label"
  "$@" || status=1
}
mapfile -d '' cpp_files < <(git ls-files -z -- '*.cpp' '*.hpp' '*.h' '*.cpp.in' '*.hpp.in')
run "clang-format over ${#cpp_files[@]} C++ files" clang-format --dry-run -Werror "${cpp_files[@]}"
run "ruff check" .venv/bin/ruff check .
run "ruff format --check" .venv/bin/ruff format --check .
run "mypy --strict" .venv/bin/mypy

if [ $status -ne 0 ]; then
  echo "lint: failed (clang-format -i, ruff check --fix and ruff format fix most of it)" >&2
fi
exit $status
