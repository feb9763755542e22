#!/usr/bin/env bash
# Compares the export tables of the built libraries with the list each build
# writes from src/engine/export_list.h (build/<preset>/exports.txt): every
# plain name (and on Windows every callee-pops twin) present, nothing else
# exported, and the DLLs importing system DLLs only. The unzip library
# exports the plain names of unzip32/unzip32.def.in on every system.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
status=0

expected_names() {  # $1: windows or posix, $2: the build's export list
  while read -r name bytes decorated; do
    case "$name" in ''|'#'*) continue ;; esac
    if [ "$1" = posix ]; then echo "$name"; continue; fi
    if [ "$bytes" = "-" ]; then
      [ -n "${decorated:-}" ] || echo "$name"
    else
      echo "$name"
      echo "_${name}_stdcall@${bytes}"
    fi
  done <"$2" | sort
}

compare() {  # $1: label, $2: expected file, $3: actual file
  if ! diff -u "$2" "$3" >/dev/null; then
    echo "export table of $1 differs from its export list (- expected, + found):"
    diff -u "$2" "$3" | tail -n +3 || true
    status=1
  else
    echo "$1: $(wc -l <"$3") exports as expected"
  fi
}

check_imports() {  # $1: DLL, $2: objdump of its architecture
  local import
  for import in $($2 -p "$1" | awk '/DLL Name:/ {print $3}'); do
    case "$(echo "$import" | tr '[:lower:]' '[:upper:]')" in
      KERNEL32.DLL|USER32.DLL|ADVAPI32.DLL|MSVCRT.DLL) ;;
      *) echo "$1 imports $import, which is not a system DLL"; status=1 ;;
    esac
  done
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

linux_lib=$root/build/linux/libkvserver.so
if [ -f "$linux_lib" ]; then
  expected_names posix "$root/build/linux/exports.txt" >"$tmp/posix.expected"
  nm -D --defined-only "$linux_lib" | awk '$2 == "T" {print $3}' | sort >"$tmp/posix.actual"
  compare "$linux_lib" "$tmp/posix.expected" "$tmp/posix.actual"
fi

for arch in win32 win64; do
  dll=$root/build/$arch/kvserver.dll
  [ -f "$dll" ] || { echo "missing $dll"; status=1; continue; }
  objdump=$([ $arch = win32 ] && echo i686-w64-mingw32-objdump || echo x86_64-w64-mingw32-objdump)
  list=$root/build/$arch/exports.txt
  { expected_names windows "$list"
    # Decorated C++ names: the third column of a line, per architecture.
    grep -v '^#' "$list" | awk -v a=$arch '$3 != "" { split($3, n, ","); print (a == "win32" ? n[1] : n[2]) }'
  } | sort >"$tmp/$arch.expected"
  $objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/\[/ && !/Table/ {print $NF}' | sort >"$tmp/$arch.actual"
  compare "$dll" "$tmp/$arch.expected" "$tmp/$arch.actual"
  check_imports "$dll" "$objdump"
done

unzip_names() {
  awk '$2 == "=" {print $1}' "$root/unzip32/unzip32.def.in" | sort
}
unzip_names >"$tmp/unzip.expected"
linux_unzip=$root/build/linux/libunzip32.so
if [ -f "$linux_unzip" ]; then
  nm -D --defined-only "$linux_unzip" | awk '$2 == "T" {print $3}' | sort >"$tmp/unzip.actual"
  compare "$linux_unzip" "$tmp/unzip.expected" "$tmp/unzip.actual"
fi
for arch in win32 win64; do
  dll=$root/build/$arch/unzip32.dll
  [ -f "$dll" ] || { echo "missing $dll"; status=1; continue; }
  objdump=$([ $arch = win32 ] && echo i686-w64-mingw32-objdump || echo x86_64-w64-mingw32-objdump)
  $objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/\[/ && !/Table/ {print $NF}' | sort >"$tmp/unzip-$arch.actual"
  compare "$dll" "$tmp/unzip.expected" "$tmp/unzip-$arch.actual"
  check_imports "$dll" "$objdump"
done
exit $status
