#!/usr/bin/env bash
# The demo scan: generates a small sample tree and scans it with kvscan.
#   bash scripts/demo.sh [BUILD_FOLDER]      (default: build/linux)
# The tree (in BUILD_FOLDER/demo/tree) holds clean files, the EICAR test file
# and a synthetic pest larger than 2047 bytes (both written now by
# `kvdat samples`, never stored in the repository), a ZIP holding the pest,
# a ZIP nested in another, a .GIF that the default masks skip, and a folder
# excluded with `kvscan --exclude-add`. kvscan finds its data files beside
# itself, where the build put them; the exclusion list lives in the demo's
# own state folder (KVCLLocation of a settings file of its own), so the demo
# never touches the machine's settings. Exits 0 when the scan found the
# pests (kvscan's exit code 1), else 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/linux}" && pwd)
kvscan=$build/kvscan
kvdat=$build/kvdat
for tool in "$kvscan" "$kvdat"; do
  [ -x "$tool" ] || { echo "demo.sh: $tool is missing: build first (cmake --build --preset linux)" >&2; exit 1; }
done

demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo/state" "$demo/samples"
cd "$demo"

# Settings of the demo's own: the exclusion list in state/ (KVCLLocation).
: >state/excluded.dat
printf 'KVCLLocation=%s/state/\n' "$demo" >registry
export TROVALEN_REGISTRY=$demo/registry

"$kvdat" samples samples >/dev/null
mkdir -p tree/documents tree/downloads tree/archives tree/pictures tree/excluded
printf 'Dear reader,\nnothing to see here.\n' >tree/documents/letter.txt
printf '# Notes\n\n- buy milk\n' >tree/documents/notes.md
head -c 4097 /dev/zero | tr '\0' 'x' >tree/documents/report.doc  # a pest's size, not its bytes
cp samples/eicar.com tree/downloads/eicar.com
cp samples/basalt-keylogger.exe tree/downloads/setup-helper.exe
cp samples/eicar.com tree/pictures/holiday.gif  # skipped by the masks
cp samples/orchid-dialer.exe tree/excluded/dialer.exe
(
  cd samples
  zip -q -X ../tree/archives/keylogger.zip basalt-keylogger.exe
  cp ../tree/documents/letter.txt letter.txt
  zip -q -X inner.zip eicar.com
  zip -q -X ../tree/archives/bundle.zip inner.zip letter.txt
  rm inner.zip letter.txt
)

echo "== The sample tree ($demo/tree)"
find tree -type f | sort | sed 's/^/   /'
echo
echo "== \$ kvscan --exclude-add tree/excluded"
"$kvscan" --exclude-add tree/excluded
echo
echo "== \$ kvscan tree"
status=0
"$kvscan" tree || status=$?
echo
echo "== kvscan exit code: $status (0 clean, 1 pests found, 2 error)"
[ "$status" -eq 1 ]
