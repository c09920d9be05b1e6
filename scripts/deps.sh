#!/bin/bash
# Installs the Debian packages the builds need, when they are missing.
#   deps.sh native   the Linux build (station, native tests; zlib for gzip logs,
#                    Chromium for the test that renders the station's page)
#   deps.sh all      also MinGW-w64, Wine, Xvfb, fonts, the fuzzing runtime, the
#                    MSVC-ABI host's tools (clang, lld, llvm) and
#                    debootstrap for the i386 root of the 32-bit Wine stage,
#                    zip for the release packages
#   deps.sh vm32     also qemu and a Debian kernel with its initrd for
#                    scripts/vm32.sh (asked for only: it brings a kernel)
set -euo pipefail
what=${1:-all}
pkgs=(cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev zlib1g-dev libcli11-dev chromium)
if [ "$what" = vm32 ]; then
  pkgs+=(qemu-system-x86 linux-image-amd64 initramfs-tools)
  what=all
fi
if [ "$what" = all ]; then
  pkgs+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine fonts-wine xvfb xauth
         fonts-wqy-microhei locales clang libclang-rt-14-dev valgrind debootstrap lld llvm zip)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "deps.sh: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# With their recommended packages: the fonts Wine draws and measures text
# with (fonts-wine, fonts-liberation) come as recommendations.
apt-get install -y -qq "${missing[@]}" >/dev/null
