#!/usr/bin/env bash
# Builds the engine's libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz, replays the saved reproducers of
# past findings, then fuzzes each target for a short while.
#
#   tools/fuzz.sh                      every target, 20 seconds each
#   ZELKO_FUZZ_SECONDS=3600 tools/fuzz.sh json_read     one long run
#
# One target is Python: restore fuzzes the binding's _restore (how objects
# come back from pickle) with hypothesis, in the project's environment.
#
# The corpus each target grows is kept in build/fuzz/corpus/TARGET, so later
# runs on the same machine start where the last one stopped; a crashing input
# is written to build/fuzz/artifacts/ and the script fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=${ZELKO_FUZZ_SECONDS:-20}
all_targets=(normalize_public_url normalize_path clean_url html_to_text json_read render_html build_payload
  page_reader sitemap_writer hreflang html_page restore)
if [ $# -gt 0 ]; then targets=("$@"); else targets=("${all_targets[@]}"); fi
native_targets=()
for target in "${targets[@]}"; do
  [ "$target" = restore ] || native_targets+=("$target")
done

# Only this step needs clang and its fuzzer runtime.
tools/apt_install.sh fuzz clang-14 libclang-rt-14-dev nlohmann-json3-dev libicu-dev libssl-dev
[ -x .venv/bin/cmake ] || tools/bootstrap.sh
export PATH="$root/.venv/bin:$PATH"

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELKO_BUILD_FUZZERS=ON \
  -DZELKO_BUILD_TESTS=OFF -DZELKO_BUILD_PYTHON=OFF \
  -DPython_EXECUTABLE="$root/.venv/bin/python" >/dev/null
if [ ${#native_targets[@]} -gt 0 ]; then
  cmake --build "$build" --target "${native_targets[@]/#/fuzz_}"
fi

dictionary() {
  case "$1" in
    html_to_text | html_page) echo core/fuzz/dict/html.dict ;;
    json_read | render_html | page_reader) echo core/fuzz/dict/json.dict ;;
    *) echo core/fuzz/dict/url.dict ;;
  esac
}

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
mkdir -p "$build/artifacts"
passed=0
failed=0
for target in "${targets[@]}"; do
  if [ "$target" = restore ]; then
    echo "== restore: ${seconds}s"
    if .venv/bin/python python/fuzz/restore_fuzzer.py "$seconds" >"$build/restore.log" 2>&1; then
      tail -n 1 "$build/restore.log"
      passed=$((passed + 1))
    else
      tail -n 60 "$build/restore.log"
      failed=$((failed + 1))
    fi
    continue
  fi
  binary="$build/core/fuzz/fuzz_$target"
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  seeds=()
  [ -d "core/fuzz/corpus/$target" ] && seeds+=("core/fuzz/corpus/$target")
  regressions="core/fuzz/regressions/$target"

  echo "== fuzz_$target: ${seconds}s"
  status=0
  # Every saved reproducer of a past finding must pass before fuzzing.
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    "$binary" "$regressions"/* >"$build/$target.regressions.log" 2>&1 || {
      status=1
      tail -n 40 "$build/$target.regressions.log"
    }
  fi
  if [ $status -eq 0 ]; then
    "$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -dict="$(dictionary "$target")" -artifact_prefix="$build/artifacts/$target-" \
      "$corpus" "${seeds[@]}" >"$build/$target.log" 2>&1 || status=1
    if [ $status -eq 0 ]; then
      grep -E '^(Done|stat::number_of_executed_units)' "$build/$target.log" | head -n 1
    else
      tail -n 60 "$build/$target.log"
    fi
  fi
  if [ $status -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
