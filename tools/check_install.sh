#!/usr/bin/env bash
# Installs zelko each way a Python user would, every time into a fresh
# virtual environment with an empty cache (nothing downloaded earlier, the
# pinned ada source included, is reused), and checks that each install works:
#
#   source  pip install . from a clean copy of the tracked files, with pip's
#           default build isolation;
#   sdist   python -m build --sdist, then pip install of that sdist, which
#           must build without downloading ada or the schema.org vocabulary;
#   wheel   tools/build_wheel.sh, then the repaired manylinux wheel with the
#           whole Python suite run against it.
#
#   tools/check_install.sh                 all three
#   tools/check_install.sh wheel           some of them
#
# Each install must answer `zelko --version` with pyproject.toml's version
# and hash the bundled example pages exactly as the development install in
# .venv does. Work files go to build/check-install.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ $# -gt 0 ]; then ways=("$@"); else ways=(source sdist wheel); fi
for way in "${ways[@]}"; do
  case "$way" in
    source | sdist | wheel) ;;
    *)
      echo "check_install: unknown way '$way' (source, sdist or wheel)" >&2
      exit 2
      ;;
  esac
done

[ -x .venv/bin/python ] || tools/bootstrap.sh
python="$root/.venv/bin/python"
work="$root/build/check-install"
rm -rf "$work"
mkdir -p "$work"

# The tracked files as they are in the working tree: what a fresh clone has.
clean_copy() {
  mkdir -p "$1"
  git ls-files -z | tar --null --ignore-failed-read -T - -cf - | tar -xf - -C "$1"
}

# A new virtual environment and a new cache directory for it.
fresh_env() {
  python3 -m venv "$work/$1/venv"
  mkdir -p "$work/$1/cache"
}

in_env() {
  local name=$1
  shift
  XDG_CACHE_HOME="$work/$name/cache" "$@"
}

expected_version=$(grep -m1 -E '^version = "' pyproject.toml | cut -d'"' -f2)
reference_hashes=$(.venv/bin/zelko build --config examples/site/zelko.toml examples/site/pages --hash)

# zelko --version and the example pages' hashes, as the install answers them.
smoke_test() {
  local name=$1 venv="$work/$1/venv"
  local version hashes
  version=$("$venv/bin/zelko" --version)
  # The second line names the schema.org release built in.
  if [[ "$version" != "zelko $expected_version"$'\n'"schema.org vocabulary "*" (CC BY-SA 4.0)" ]]; then
    echo "check_install: $name: zelko --version says '$version', pyproject.toml $expected_version" >&2
    return 1
  fi
  hashes=$("$venv/bin/zelko" build --config examples/site/zelko.toml examples/site/pages --hash)
  if [ "$hashes" != "$reference_hashes" ]; then
    echo "check_install: $name: the example pages hash differently than in .venv:" >&2
    diff <(echo "$reference_hashes") <(echo "$hashes") >&2 || true
    return 1
  fi
}

check_source() {
  clean_copy "$work/source/tree"
  fresh_env source
  in_env source "$work/source/venv/bin/python" -m pip install -q "$work/source/tree"
  smoke_test source
}

check_sdist() {
  clean_copy "$work/sdist/tree"
  fresh_env sdist
  in_env sdist "$python" -m pip install -q build
  in_env sdist "$python" -m build --sdist --outdir "$work/sdist/dist" "$work/sdist/tree" \
    >"$work/sdist/build.log" 2>&1 || {
    cat "$work/sdist/build.log" >&2
    return 1
  }
  local sdist="$work/sdist/dist/zelko-$expected_version.tar.gz"
  local member
  for member in LICENSE THIRD_PARTY_NOTICES.txt third_party/ada/ada.cpp \
    third_party/ada/ada.h third_party/ada/LICENSE \
    third_party/lexbor/LICENSE third_party/lexbor/NOTICE third_party/lexbor/lexbor/html/parser.c \
    third_party/schemaorg/schemaorg_current.py third_party/schemaorg/schemaorg_release.py \
    core/data/rich_results.txt; do
    if ! tar -tzf "$sdist" "zelko-$expected_version/$member" >/dev/null 2>&1; then
      echo "check_install: the sdist lacks $member" >&2
      return 1
    fi
  done
  # A path that does not exist: fetching ada would fail, so the build must
  # use the copy the sdist carries.
  in_env sdist env ZELKO_ADA_SDIST="$work/sdist/no-such-ada.tar.gz" \
    ZELKO_LEXBOR_SDIST="$work/sdist/no-such-lexbor.tar.gz" \
    ZELKO_VOCABULARY_WHEEL="$work/sdist/no-such-vocabulary.whl" \
    "$work/sdist/venv/bin/python" -m pip install -q "$sdist"
  smoke_test sdist
}

check_wheel() {
  tools/build_wheel.sh | tee "$work/build_wheel.log"
  local wheel
  wheel=$(tail -n 1 "$work/build_wheel.log")
  fresh_env wheel
  local venv="$work/wheel/venv"
  in_env wheel "$venv/bin/python" -m pip install -q "$wheel[test]"
  smoke_test wheel

  # The extension runs on what the wheel carries: ICU from zelko.libs, no
  # libcrypto at all.
  "$venv/bin/python" - <<'EOF'
import pathlib
import sys

import zelko  # noqa: F401

mapped = {line.split()[-1] for line in pathlib.Path("/proc/self/maps").read_text().splitlines()}
icu = sorted(path for path in mapped if "/libicu" in path)
crypto = sorted(path for path in mapped if "/libcrypto" in path)
if not icu or any("/zelko.libs/" not in path for path in icu) or crypto:
    sys.exit(f"check_install: the wheel's extension loaded {icu + crypto}")
EOF

  # Without ICU's data library, lowercasing must not change: every code
  # point above ASCII goes through the case mapping of both builds.
  local table='
import hashlib
import _zelko_native as native

policy = native.URLPolicy(lowercase_paths=True)
digest = hashlib.sha256()
chunk = []
for code_point in range(0x80, 0x110000):
    if not 0xD800 <= code_point <= 0xDFFF:
        chunk.append(chr(code_point))
    if len(chunk) == 256 or code_point == 0x10FFFF:
        digest.update(native.normalize_path_fn("/" + "".join(chunk), policy).encode() + b"\n")
        chunk = []
print(digest.hexdigest())
'
  if [ "$("$venv/bin/python" -c "$table")" != "$("$python" -c "$table")" ]; then
    echo "check_install: the wheel lowercases differently than the build with ICU's data" >&2
    return 1
  fi

  # The whole suite, from a neutral directory as tools/test.sh runs it.
  (cd python/tests && "$venv/bin/python" -m pytest -p no:cacheprovider "$root/python/tests")
}

for way in "${ways[@]}"; do
  echo "== check_install: $way"
  start=$SECONDS
  "check_$way"
  echo "check_install: $way passed ($((SECONDS - start)) s)"
done
