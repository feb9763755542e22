#!/usr/bin/env bash
# Runs a Windows executable under wine: wine-run.sh win64|win32 PROGRAM [ARGS]
# The prefix lives in the build folder of the program (one per preset), so
# test runs never touch the user's own wine prefix. 32-bit wine runs through
# qemu user-mode emulation, which needs the reserved address space below.
set -euo pipefail
arch=$1
shift
program=$1
build_dir=$(cd "$(dirname "$program")" && pwd)
while [ ! -f "$build_dir/CMakeCache.txt" ] && [ "$build_dir" != / ]; do
  build_dir=$(dirname "$build_dir")
done
export WINEPREFIX=${WINEPREFIX:-$build_dir/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
case "$arch" in
  win64) exec /usr/lib/wine/wine64 "$@" ;;
  win32) export QEMU_RESERVED_VA=0xffff0000; exec /usr/lib/wine/wine "$@" ;;
  *) echo "wine-run.sh: unknown architecture '$arch'" >&2; exit 2 ;;
esac
