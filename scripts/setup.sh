#!/usr/bin/env bash
# Installs what building, testing and running Tavrin need on a Debian machine (as root, or
# through sudo), then checks that every command the scripts call resolves. Installs nothing when
# everything is there already.
set -euo pipefail
# ldconfig and mount live in the system's folders, which a user's PATH may leave out.
export PATH="$PATH:/usr/sbin:/sbin"

# wine64 alone puts no wine or wineserver on the PATH: the package wine does.
packages=(
  cmake ninja-build g++ make
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb xauth imagemagick fonts-wqy-zenhei libz-mingw-w64
  clang-format
  clang libclang-rt-dev
  qemu-system-x86 busybox-static libusbredirparser-dev dosfstools cpio kmod
  chromium
  nodejs
)

# Every command that the build and the scripts call.
commands=(
  cmake ctest ninja g++ gcc make clang-format
  x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-windres
  i686-w64-mingw32-g++-posix i686-w64-mingw32-gcc-posix i686-w64-mingw32-windres
  wine wineserver xvfb-run Xvfb xauth import convert
  clang clang++
  qemu-system-x86_64 busybox mkfs.vfat cpio gzip depmod dpkg-deb dpkg-query apt-get apt-cache
  ldconfig mount tee find
  chromium
  node npm
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Node's own packages bring npm along; Debian's nodejs wants its npm package beside it.
if ! command -v npm >/dev/null 2>&1; then
  echo "Installing: npm"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends npm >/dev/null
fi

unresolved=()
for c in "${commands[@]}"; do
  command -v "$c" >/dev/null 2>&1 || unresolved+=("$c")
done
if [ ${#unresolved[@]} -gt 0 ]; then
  echo "setup: these commands do not resolve after the install: ${unresolved[*]}" >&2
  echo "setup: add the package that provides each of them to scripts/setup.sh" >&2
  exit 1
fi

# Every font file the wine prefixes need: wine's own Marlett (the caption buttons) and Tahoma (the
# dialogs' "MS Shell Dlg"), and the CJK font linked behind them for the Chinese texts.
fonts=(
  /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf
  /usr/share/fonts/truetype/wqy/wqy-zenhei.ttc
)
absent=()
for f in "${fonts[@]}"; do
  [ -f "$f" ] || absent+=("$f")
done
if [ ${#absent[@]} -gt 0 ]; then
  echo "setup: these font files are missing after the install: ${absent[*]}" >&2
  echo "setup: add the package that provides each of them to scripts/setup.sh" >&2
  exit 1
fi

# The fuzz targets link libFuzzer and the sanitizers from clang's runtime directory.
runtime=$(clang++ -print-runtime-dir)
for lib in libclang_rt.fuzzer-x86_64.a libclang_rt.asan-x86_64.a libclang_rt.ubsan_standalone-x86_64.a; do
  if [ ! -f "$runtime/$lib" ]; then
    echo "setup: $lib is not in $runtime: clang's runtime libraries (libclang-rt-dev) are missing" >&2
    exit 1
  fi
done

# The kernel test boots Debian's own kernel: its image package is fetched and unpacked into a
# cache outside the clone, never installed. Nothing is fetched when it is there already.
kernel_cache="${TAVRIN_KERNEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrin/kernel}"
if ! compgen -G "$kernel_cache/root/boot/vmlinuz-*" >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  image=$(apt-cache depends --important linux-image-amd64 2>/dev/null |
          awk '/Depends:/ && $2 ~ /^linux-image-[0-9]/ {print $2; exit}')
  if [ -z "$image" ]; then
    $sudo apt-get update -qq
    image=$(apt-cache depends --important linux-image-amd64 |
            awk '/Depends:/ && $2 ~ /^linux-image-[0-9]/ {print $2; exit}')
  fi
  if [ -z "$image" ]; then
    echo "setup: no kernel image package behind linux-image-amd64" >&2
    exit 1
  fi
  echo "Fetching the kernel for the kernel test: $image"
  rm -rf "$kernel_cache"
  mkdir -p "$kernel_cache/deb"
  (cd "$kernel_cache/deb" && apt-get download -qq "$image")
  dpkg-deb -x "$kernel_cache"/deb/*.deb "$kernel_cache/root"
  rm -rf "$kernel_cache/deb"
fi
# The package leaves the module index to its installation: made here, once.
for modules in "$kernel_cache"/root/lib/modules/*/; do
  release=$(basename "$modules")
  [ -f "$modules/modules.dep" ] || depmod -b "$kernel_cache/root" "$release"
done

# The shipped x86 program runs under 32-bit wine through QEMU's user-mode emulator: its cache and
# its binfmt_misc entry, made once (scripts/wine32.sh). Fails naming any step it cannot do.
bash "$(dirname "$0")/wine32.sh" --setup
