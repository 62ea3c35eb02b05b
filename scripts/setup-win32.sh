#!/usr/bin/env bash
# Installs what the 32-bit Windows build and its tests need on Debian (needs
# root): the mingw-w64 cross compiler for i686 with POSIX threads, the
# GoogleTest sources the cross build compiles, and 32-bit Wine to run the
# results.
#
# Wine for 32-bit programs is itself a 32-bit Linux program. Where the kernel
# does not run 32-bit programs (32-bit emulation switched off), they run
# under QEMU's user-mode emulator instead, registered with binfmt_misc so
# that every 32-bit program Wine starts goes through it. The emulator must be
# QEMU 9 or later (from bookworm-backports on Debian 12): older ones do not
# honour the fixed-address mappings Wine makes and Wine fails to start.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
apt_get() {
  # Waits for another package manager run instead of failing at once.
  apt-get -o DPkg::Lock::Timeout=600 "$@"
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

packages=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest wine wine32:i386)
missing=()
for package in "${packages[@]}"; do
  if ! installed "${package}"; then
    missing+=("${package}")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  "$(dirname "$0")/apt-update.sh"
  apt_get install -y --no-install-recommends "${missing[@]}"
fi

runs_32_bit_programs() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

if runs_32_bit_programs; then
  exit 0
fi
echo "setup-win32: this kernel does not run 32-bit programs; using QEMU's user-mode emulator"

qemu=/usr/bin/qemu-i386
qemu_major() {
  "${qemu}" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'
}
major=$(qemu_major || true)
if [ ! -x "${qemu}" ] || [ -z "${major}" ] || [ "${major}" -lt 9 ]; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME}")
  install_from=()
  if [ "${codename}" = bookworm ]; then
    backports=/etc/apt/sources.list.d/bookworm-backports.sources
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      # The backports suite from the same mirror the machine already uses.
      mirror=$(grep -rhs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' \
        | grep -v -- '-security' | head -n 1)
      if [ -z "${mirror}" ]; then
        mirror=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list)
      fi
      cat >"${backports}" <<SOURCES
Types: deb
URIs: ${mirror}
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    fi
    install_from=(-t bookworm-backports)
  fi
  "$(dirname "$0")/apt-update.sh"
  apt_get install -y --no-install-recommends "${install_from[@]}" qemu-user
fi

binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "${binfmt}/register" ]; then
  mount -t binfmt_misc binfmt_misc "${binfmt}"
fi
entry="${binfmt}/qxplaysdk-i386"
if [ -e "${entry}" ]; then
  echo -1 >"${entry}"
fi
# 32-bit little-endian x86 ELF executables and shared objects; F opens the
# emulator now, so it is found from any mount namespace.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":qxplaysdk-i386:M::${magic}:${mask}:${qemu}:F" >"${binfmt}/register"

if ! runs_32_bit_programs; then
  echo "setup-win32: 32-bit programs still do not run" >&2
  exit 1
fi
