#!/usr/bin/env bash
# The install test: installs a build into a fresh prefix, builds the tiny C
# host (tests/install/host, the README's example) against the installed tree
# through find_package(kvserver) and through pkg-config, and runs both and
# the installed kvscan on the EICAR sample.
#   install_test.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TROVALEN_REGISTRY=$work/no-registry  # no machine settings
fail() { echo "install_test: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in include/kvserver.h bin/kvscan bin/kvdat share/kvserver/KVFILE.DAT \
            share/kvserver/KVINFO.DAT; do
  [ -f "$prefix/$file" ] || fail "$file was not installed"
done
pc=$(find "$prefix" -name kvserver.pc)
[ -n "$pc" ] || fail "kvserver.pc was not installed"
libdir=$(dirname "$(dirname "$pc")")
[ -f "$libdir/libkvserver.so" ] && [ -f "$libdir/libunzip32.so" ] ||
  fail "the libraries are not together in $libdir"
data=$prefix/share/kvserver
sample=$work/eicar.com
cp "$build/samples/eicar.com" "$sample"

check() {  # how OUTPUT STATUS
  [ "$3" -eq 1 ] || fail "$1: exit status $3, expected 1; output: $2"
  grep -qx "$sample: EICAR-Test-File FOUND (pest 1)" <<<"$2" || fail "$1: no detection in: $2"
  grep -qx "1 files examined, 1 detections" <<<"$2" || fail "$1: no count in: $2"
  echo "install_test: $1: ok"
}

# Through the CMake package.
cmake -S "$here/host" -B "$work/cmake-host" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cmake-host" >/dev/null
status=0
output=$("$work/cmake-host/host" "$data" "$sample") || status=$?
check "find_package(kvserver)" "$output" "$status"

# Through pkg-config.
export PKG_CONFIG_PATH=$(dirname "$pc")
[ "$(pkg-config --modversion kvserver)" = "$(cat "$build/package/version")" ] ||
  fail "pkg-config gives version $(pkg-config --modversion kvserver)"
# shellcheck disable=SC2046
${CC:-cc} -std=c11 -Wall -Wextra -Werror "$here/host/host.c" \
  $(pkg-config --cflags --libs kvserver) -o "$work/pkg-config-host"
status=0
output=$(LD_LIBRARY_PATH=$(pkg-config --variable=libdir kvserver) \
  "$work/pkg-config-host" "$data" "$sample") || status=$?
check "pkg-config kvserver" "$output" "$status"

# The installed kvscan finds the installed engine by itself.
status=0
output=$(env -u LD_LIBRARY_PATH "$prefix/bin/kvscan" --database "$data" --no-summary "$sample") ||
  status=$?
[ "$status" -eq 1 ] && [ "$output" = "$sample: EICAR-Test-File FOUND" ] ||
  fail "installed kvscan: exit status $status, output: $output"
echo "install_test: installed kvscan: ok"
