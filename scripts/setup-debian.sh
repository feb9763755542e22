#!/usr/bin/env bash
# Prepares a Debian 12 machine for every build of the project: compilers,
# libraries, wine for the Windows tests, and qemu so that 32-bit Windows
# programs run under 32-bit wine. Needs root; installs only what is missing.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "setup-debian.sh: run as root (sudo bash scripts/setup-debian.sh)" >&2
  exit 1
fi

packages=(
  cmake make g++ pkgconf googletest libgtest-dev libbenchmark-dev zlib1g-dev zip python3
  nlohmann-json3-dev libcli11-dev llvm clang clang-format
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 wine32:i386
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
# qemu 7.2, bookworm's own, cannot run 32-bit wine reliably: threads that
# wine starts and ends crash it or block it for good, and each process takes
# most of a minute to start (docs/emulated-32-bit-runs.md). The one from
# bookworm-backports (10.0) runs the whole 32-bit suite in seconds.
qemu_wanted=10
qemu_major() {
  dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | sed -E 's/^[0-9]+://; s/[.+~].*//'
}
installed=$(qemu_major)
[ -n "$installed" ] && [ "$installed" -ge "$qemu_wanted" ] || need_qemu=1

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_qemu:-}" ]; then
  echo "installing: ${missing[*]} ${need_qemu:+qemu-user (bookworm-backports)}"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  if [ -n "${need_qemu:-}" ]; then
    echo 'deb http://deb.debian.org/debian bookworm-backports main' \
      >/etc/apt/sources.list.d/bookworm-backports.list
  fi
  apt-get update -q
  [ ${#missing[@]} -gt 0 ] && apt-get install -y -q "${missing[@]}"
  if [ -n "${need_qemu:-}" ]; then
    apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user
    installed=$(qemu_major)
    [ -n "$installed" ] && [ "$installed" -ge "$qemu_wanted" ] || {
      echo "setup-debian.sh: qemu-user $qemu_wanted or later is needed, found '$installed'" >&2
      exit 1
    }
  fi
fi

# 32-bit x86 programs (32-bit wine) run through qemu user-mode emulation,
# since this kernel refuses them on its own. The F flag keeps the
# interpreter open, so it works inside any mount namespace.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt" || {
    echo "setup-debian.sh: cannot mount binfmt_misc; 32-bit wine cannot run" >&2
    exit 1
  }
fi
# The F flag opens the interpreter once, at registration: a qemu installed
# since then takes over only when registered again.
if [ -e "$binfmt/qemu-i386" ] && [ -n "${need_qemu:-}" ]; then
  echo -1 >"$binfmt/qemu-i386"
fi
if [ ! -e "$binfmt/qemu-i386" ]; then
  echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
    >"$binfmt/register" || {
    echo "setup-debian.sh: cannot register qemu-i386 with binfmt_misc" >&2
    exit 1
  }
fi
echo "setup-debian.sh: ready"
