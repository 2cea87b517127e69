#!/usr/bin/env bash
# Installs the Debian packages of the given groups (default: run and test):
#   run   what building and running the Linux program needs (make run)
#   test  the rest of what the tests, the Windows build, the benchmarks and
#         the fuzzer need (make test)
#   gl    Debian's i386 Mesa, for the Windows start-up benchmark with a GL
#         driver (scripts/bench-startup.sh)
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
  # tests and benchmarks; the file systems of the store's tests (mounted when root)
  libgtest-dev libgmock-dev googletest libbenchmark-dev libinih-dev
  btrfs-progs e2fsprogs xfsprogs ntfs-3g exfat-fuse exfatprogs fuse3
  # Linux dialog and probe tests; the dialog over AT-SPI in a D-Bus session;
  # the menu entry's launchers; the caption under openbox and under weston
  xvfb xauth xdotool x11-xserver-utils x11-utils mesa-vulkan-drivers dex libglib2.0-bin
  python3-pyatspi at-spi2-core dbus-daemon dbus-bin openbox weston qt6-wayland
  # Windows program and its tests under Wine
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386 locales
  # (64-bit Wine services; qemu runs 32-bit Wine on kernels without 32-bit
  # support; X libraries for 32-bit Wine; screenshots)
  wine64 qemu-user-static libxrender1:i386 libxrandr2:i386 imagemagick x11-apps
)
gl_packages=(libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386)

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(run test)
packages=()
for group in "${groups[@]}"; do
  case $group in
    run) packages+=("${run_packages[@]}") ;;
    test) packages+=("${test_packages[@]}") ;;
    gl) packages+=("${gl_packages[@]}") ;;
    *) echo "setup: unknown group '$group' (run, test, gl)" >&2; exit 2 ;;
  esac
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Some kernels run no 32-bit x86 code (no IA-32 emulation, or
# ia32_emulation=0): qemu then runs 32-bit Linux programs, which 32-bit Wine
# is. The registration lasts until the machine restarts.
if [[ " ${groups[*]} " == *" test "* ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  binfmt=/proc/sys/fs/binfmt_misc
  echo "setup: registering qemu-i386-static for 32-bit programs (binfmt_misc)"
  mountpoint -q "$binfmt" || "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
  [ -e "$binfmt/qemu-i386" ] ||
    printf '%s\n' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
    "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null
fi
