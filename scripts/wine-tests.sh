#!/usr/bin/env bash
# Runs the tests of a Windows build under wine:
#   wine-tests.sh win64|win32 [all|boot|test]
# "boot" starts a persistent wineserver for the build's own prefix and boots
# the prefix (creating it the first time);
# "test" runs the ctest preset; "all" (the default) does both and stops the
# wineserver however the run ends.
set -euo pipefail
preset=$1
mode=${2:-all}
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=$root/build/$preset/wine-prefix
export WINEDEBUG=-all

boot() {
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver64 -p 2>/dev/null || true  # may already run
  # The prefix's services start here, detached from any ctest output pipe:
  # started inside a ctest run, they would hold its pipes open and keep it
  # waiting until its timeout.
  "$root/cmake/wine-run.sh" "$preset" wineboot </dev/null >/dev/null 2>&1
}

case "$mode" in
  boot) boot ;;
  test) cd "$root" && ctest --preset "$preset" ;;
  all)
    trap 'WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
    boot
    cd "$root" && ctest --preset "$preset"
    ;;
  *) echo "wine-tests.sh: unknown mode '$mode'" >&2; exit 2 ;;
esac
