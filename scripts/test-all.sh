#!/usr/bin/env bash
# The whole test suite: checks the formatting, builds (warnings are errors)
# and tests the linux, linux-asan, win64 and win32 presets, runs the tests
# that race threads under ThreadSanitizer (linux-tsan), runs every fuzz
# target for a minute on its seeds (fuzz), then checks the export tables.
# Each stage has a time budget and reports the time it took. Run
# scripts/setup-debian.sh once before.
set -euo pipefail
cd "$(dirname "$0")/.."

suite_start=$(date +%s)
stage() {  # stage NAME BUDGET_SECONDS COMMAND...
  local name=$1 budget=$2 start
  shift 2
  start=$(date +%s)
  echo "=== $name (budget ${budget}s)"
  if ! timeout --kill-after=10 "$budget" bash -c '"$@"' stage "$@"; then
    echo "=== FAILED: $name after $(($(date +%s) - start))s"
    exit 1
  fi
  echo "=== $name: $(($(date +%s) - start))s"
}
# The benchmarks are left out here: they are built on demand and run by hand.
build() {
  bash -c 'cmake --preset "$1" -DKV_BUILD_BENCHMARKS=OFF >/dev/null && cmake --build --preset "$1"' \
    build "$1"
}
export -f build

# Each wine run has a prefix of its own in its build folder, served by a
# wineserver that the run stops; stop them all however the suite ends.
stop_wineservers() {
  for preset in win32 win64; do
    WINEPREFIX=$PWD/build/$preset/wine-prefix /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  done
}
trap stop_wineservers EXIT

stage "formatting" 120 bash scripts/check-format.sh
# The native build comes first: the cross builds take tools from it.
stage "linux build" 900 build linux
stage "linux tests" 300 ctest --preset linux
stage "demo scan" 60 bash scripts/demo.sh
stage "linux-asan build" 900 build linux-asan
stage "linux-asan tests" 600 ctest --preset linux-asan
# Only the engine's test executable, and only its tests that race threads.
stage "linux-tsan build" 900 build linux-tsan
stage "linux-tsan tests" 300 ctest --preset linux-tsan
stage "fuzz build" 900 build fuzz
stage "fuzz smoke (60 s a target, two at a time)" 420 bash scripts/fuzz-smoke.sh 60
stage "win64 build" 900 build win64
stage "win64 tests (wine64)" 420 bash scripts/wine-tests.sh win64 all
stage "win32 build" 900 build win32
stage "win32 tests (32-bit wine through qemu)" 600 bash scripts/wine-tests.sh win32 all
stage "export tables" 60 bash scripts/check-exports.sh

echo "=== all stages passed in $(($(date +%s) - suite_start))s"
