#!/usr/bin/env bash
# Installs the Debian packages of the given groups (default: all):
#   run   what building and running the Linux program needs (make run)
#   test  the rest of what the tests, the Windows build, the benchmarks and
#         the fuzzer need (make test)
# Quiet and quick when everything is already there. Installing needs root:
# it runs apt-get through sudo unless already root. Building and running
# need no root.
set -euo pipefail

run_packages=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev libxcb1-dev libxcb-randr0-dev libvulkan-dev libvulkan1 fonts-noto-cjk
  python3
)
test_packages=(
  # compilers and tools of the fuzzer and the lint
  clang libclang-rt-14-dev clang-format clang-tidy shellcheck
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev libinih-dev
  # Linux dialog and probe tests; the dialog over AT-SPI in a D-Bus session
  xvfb xauth xdotool x11-xserver-utils mesa-vulkan-drivers
  python3-pyatspi at-spi2-core dbus-daemon dbus-bin
  # Windows program and its tests under Wine
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386 locales
  # (64-bit Wine services; qemu runs 32-bit Wine on kernels without 32-bit
  # support; X libraries for 32-bit Wine; screenshots)
  wine64 qemu-user-static libxrender1:i386 libxrandr2:i386 imagemagick x11-apps
)

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(run test)
packages=()
for group in "${groups[@]}"; do
  case $group in
    run) packages+=("${run_packages[@]}") ;;
    test) packages+=("${test_packages[@]}") ;;
    *) echo "setup: unknown group '$group' (run, test)" >&2; exit 2 ;;
  esac
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
