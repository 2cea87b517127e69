#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Quiet and quick
# when everything is already there; needs root (or sudo) otherwise.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ make pkg-config clang libclang-rt-14-dev clang-format clang-tidy
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev libinih-dev
  # Linux program
  qt6-base-dev qt6-qpa-plugins libxcb1-dev libxcb-randr0-dev libvulkan-dev libvulkan1
  fonts-noto-cjk
  # Linux dialog and probe tests
  xvfb xauth xdotool x11-xserver-utils mesa-vulkan-drivers python3
  # Windows program and its tests under Wine
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386 locales
  # (64-bit Wine services; qemu runs 32-bit Wine on kernels without 32-bit
  # support; X libraries for 32-bit Wine; screenshots)
  wine64 qemu-user-static libxrender1:i386 libxrandr2:i386 imagemagick x11-apps
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
