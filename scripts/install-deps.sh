#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12. Safe to run again; skips apt when all is there.
set -euo pipefail

packages=(
  cmake make g++ git
  googletest libgtest-dev libbenchmark-dev libspdlog-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 debootstrap qemu-system-x86
  clang llvm libclang-rt-14-dev
  liblnk-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
