#!/usr/bin/env bash
# Runs the ctest preset of a Windows build (win64 or win32) with one
# persistent wineserver for its prefix, stopped again however the run ends.
set -euo pipefail
preset=$1
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=$root/build/$preset/wine-prefix
export WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
/usr/lib/wine/wineserver64 -p
# Start (or create) the prefix's services here, detached from ctest's output
# pipes: services that a test run starts would hold those pipes open and
# keep ctest waiting until its timeout.
"$root/cmake/wine-run.sh" "$preset" wineboot </dev/null >/dev/null 2>&1
cd "$root"
ctest --preset "$preset"
