#!/usr/bin/env bash
# Runs a Windows x86 executable (the shipped program's build) under 32-bit wine on a 64-bit
# kernel that runs no 32-bit code: QEMU's user-mode emulator, registered in binfmt_misc, runs every
# 32-bit process wine starts, and the installed wine64's wineserver serves them.
#
#   scripts/wine32.sh --setup              make (or reuse) the cache and register the emulator
#   scripts/wine32.sh PROGRAM.exe ARGS...  run it in a prefix of its own, on a virtual display
#                                          when there is no DISPLAY; exits with its status
#   scripts/wine32.sh --wine ARGS...       a plain `wine ARGS...` of 32-bit wine (for scripts that
#                                          manage the prefix and the display themselves)
#
# 32-bit wine is not installed with apt, which would upgrade many amd64 packages: apt, with lists,
# a cache and an empty status of its own (the machine's own sources and the backports suite,
# whose QEMU is fast enough for wine), downloads wine32:i386 at the installed wine64's version,
# the i386 libraries it and its display driver load, and qemu-user; they are unpacked into
# $XDG_CACHE_HOME/tavrin/wine32-root and never installed. Set-up writes nothing else on the
# machine than that cache and the binfmt_misc entry "tavrin-i386"; to remove both:
#   echo -1 > /proc/sys/fs/binfmt_misc/tavrin-i386; rm -rf ~/.cache/tavrin/wine32*
set -euo pipefail
export PATH="$PATH:/usr/sbin:/sbin"  # ldconfig, mount
export WINEDEBUG="${WINEDEBUG:--all}"
# No automatic debugger: a program that crashes ends with its status, where wine's debugger
# would wait, unseen, for ever.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"

cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavrin"
store="${TAVRIN_WINE32_CACHE:-$cache/wine32-root}"
root="$store/root"
stamp="$store/stamp"
binfmt=/proc/sys/fs/binfmt_misc
entry=tavrin-i386
# Raised whenever the cache is made differently, so that an older one is made anew.
layout=2
# The i386 X libraries that wine's display driver loads when it starts (not dependencies of the
# packages, only recommended).
x_libraries=(libx11-6 libxext6 libxrender1 libxi6 libxrandr2 libxcursor1 libxinerama1
             libxcomposite1 libxfixes3 libxxf86vm1 libfreetype6 libfontconfig1)

fail() {
    echo "wine32: $*" >&2
    exit 1
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        fail "$*: needs root, and sudo is not there"
    fi
}

wine64_version() {
    dpkg-query -W -f='${Version}' wine64 2>/dev/null ||
        fail "wine64 is not installed (scripts/setup.sh installs it)"
}

# The amd64 wineserver serves the 32-bit processes: its protocol matches wine32's at one version.
wineserver64() {
    local server
    server=$(dpkg-query -L wine64 2>/dev/null | grep '/wineserver64$' | head -n 1)
    [ -n "$server" ] && [ -x "$server" ] || fail "wine64 has no wineserver64"
    echo "$server"
}

# The pieces a run needs; a cache that lacks one is made anew.
pieces=(usr/lib/wine/wine usr/bin/qemu-i386 lib/ld-linux.so.2 etc/ld.so.cache
        usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
        usr/lib/i386-linux-gnu/wine/i386-windows/user32.dll
        usr/lib/i386-linux-gnu/libX11.so.6 usr/lib/i386-linux-gnu/libfreetype.so.6)

cache_is_whole() {  # VERSION
    [ -f "$stamp" ] && [ "$(sed -n 's/^wine64=//p' "$stamp")" = "$1" ] || return 1
    [ "$(sed -n 's/^layout=//p' "$stamp")" = "$layout" ] || return 1
    local piece
    for piece in "${pieces[@]}"; do
        [ -e "$root/$piece" ] || return 1
    done
}

apt_in_store() {
    apt-get -q -o Dir::State="$store/apt/state" -o Dir::State::status="$store/apt/status" \
        -o Dir::Cache="$store/apt/cache" -o Dir::Etc::SourceList="$store/apt/sources.list" \
        -o Dir::Etc::SourceParts="$store/apt/sources.list.d" \
        -o Dir::Etc::Preferences="$store/apt/preferences" \
        -o Dir::Etc::PreferencesParts="$store/apt/preferences.d" \
        -o APT::Architectures::=amd64 -o APT::Architectures::=i386 \
        -o APT::Sandbox::User="$(id -un)" -o Debug::NoLocking=1 "$@"
}

make_cache() {  # VERSION
    local version=$1 codename sources backports
    command -v apt-get >/dev/null && command -v dpkg-deb >/dev/null && command -v ldconfig >/dev/null ||
        fail "apt-get, dpkg-deb and ldconfig are needed to make the cache"
    local zlib=/usr/i686-w64-mingw32/lib/zlib1.dll
    [ -f "$zlib" ] || fail "$zlib is missing (libz-mingw-w64; scripts/setup.sh installs it)"
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || fail "/etc/os-release names no release codename"

    # The machine's own package sources, as its apt configuration has them, and the backports
    # suite of the archive that carries the release.
    sources=$(apt-get indextargets --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(COMPONENT)' |
              awk '$1 == "deb" && $3 !~ /\/$/ {print "deb", $2, $3, $4}' | sort -u)
    [ -n "$sources" ] || fail "the machine's apt configuration has no package sources"
    backports=$(awk -v r="$codename" '$3 == r {print "deb", $2, r "-backports", $4}' <<<"$sources")
    [ -n "$backports" ] || fail "no package source of the release $codename, for $codename-backports"

    echo "wine32: making the cache in $store (wine32:i386 $version, qemu-user from $codename-backports)"
    rm -rf "$store"
    mkdir -p "$store/apt/state/lists/partial" "$store/apt/cache/archives/partial" \
        "$store/apt/sources.list.d" "$store/apt/preferences.d" "$root"
    : >"$store/apt/status"
    printf '%s\n' "$sources" "$backports" | sort -u >"$store/apt/sources.list"

    apt_in_store update -qq || fail "apt-get update of the package sources failed"
    local wanted=("wine32:i386=$version")
    local lib
    for lib in "${x_libraries[@]}"; do wanted+=("$lib:i386"); done
    wanted+=("qemu-user/$codename-backports")
    # The status is empty: apt fetches the whole closure, as for a root of its own.
    apt_in_store install -qq -y --download-only --no-install-recommends "${wanted[@]}" >/dev/null ||
        fail "apt-get could not fetch ${wanted[*]}"

    local deb
    for deb in "$store"/apt/cache/archives/*.deb; do
        dpkg-deb -x "$deb" "$root" || fail "dpkg-deb could not unpack $deb"
    done
    rm -rf "$store/apt"
    # qemu-user brings every target's emulator: only the i386 one is used.
    find "$root/usr/bin" -name 'qemu-*' ! -name qemu-i386 -delete
    rm -rf "$root/usr/share/doc" "$root/usr/share/locale"
    # The emulator looks a path up in the root first, and a folder there hides the machine's:
    # the emulated wine must see the machine's fonts and font configuration, as wine64 does
    # (fonts-wine's, the CJK font linked behind the dialog fonts).
    rm -rf "$root/etc/fonts" "$root/usr/share/fonts" "$root/usr/share/fontconfig"
    find "$root" -depth -type d -empty -delete

    # The step of libwine's own scripts: zlib1.dll from mingw-w64's, marked as a wine builtin.
    local out="$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
    [ -d "$(dirname "$out")" ] || fail "the unpacked libwine:i386 has no $(dirname "${out#"$root"/}")"
    {
        head -c 64 "$zlib"
        printf 'Wine builtin DLL'
        head -c 16 /dev/zero
        tail -c +97 "$zlib"
    } >"$out"

    # The root's library cache, for the i386 dynamic loader under the emulator.
    mkdir -p "$root/etc"
    echo 'include /etc/ld.so.conf.d/*.conf' >"$root/etc/ld.so.conf"
    ldconfig -r "$root" 2>/dev/null || fail "ldconfig -r $root failed"

    local piece
    for piece in "${pieces[@]}"; do
        [ -e "$root/$piece" ] || fail "the unpacked packages have no /$piece"
    done
    local qemu_version
    qemu_version=$("$root/usr/bin/qemu-i386" --version | head -n 1) ||
        fail "$root/usr/bin/qemu-i386 does not run"
    printf 'wine64=%s\nqemu=%s\nlayout=%s\n' "$version" "$qemu_version" "$layout" >"$stamp"
    # An entry registered before holds the old emulator's file open: register the new one.
    [ ! -e "$binfmt/$entry" ] || as_root sh -c "echo -1 > $binfmt/$entry" ||
        fail "could not remove the old binfmt_misc entry $entry"
}

entry_is_ours() {
    local file="$binfmt/$entry"
    [ -e "$file" ] && grep -qx enabled "$file" && grep -qx "interpreter $root/usr/bin/qemu-i386" "$file" &&
        grep -q '^flags: .*F' "$file"
}

register_emulator() {
    [ -d "$binfmt" ] || fail "the kernel has no binfmt_misc ($binfmt)"
    if [ ! -e "$binfmt/register" ]; then
        as_root mount -t binfmt_misc binfmt_misc "$binfmt" ||
            fail "could not mount binfmt_misc on $binfmt"
    fi
    [ -e "$binfmt/register" ] || fail "binfmt_misc is not mounted on $binfmt"
    local qemu="$root/usr/bin/qemu-i386"
    if [ -e "$binfmt/$entry" ]; then
        entry_is_ours && return 0
        as_root sh -c "echo -1 > $binfmt/$entry" || fail "could not remove the binfmt_misc entry $entry"
    fi
    # i386 ELF executables (the magic and mask of QEMU's own binfmt configuration). F: the kernel
    # opens the emulator now, so it runs the programs of any mount namespace.
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf ':%s:M::%s:%s:%s:F\n' "$entry" "$magic" "$mask" "$qemu" | as_root tee "$binfmt/register" >/dev/null ||
        fail "could not register $qemu in binfmt_misc (root is needed, and a kernel that allows it)"
    grep -qx enabled "$binfmt/$entry" 2>/dev/null || fail "the binfmt_misc entry $entry is not enabled"
}

setup() {
    local version
    version=$(wine64_version)
    wineserver64 >/dev/null
    # Registering needs root: say so before fetching anything.
    [ -d "$binfmt" ] || fail "the kernel has no binfmt_misc ($binfmt)"
    if ! entry_is_ours && [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null 2>&1; then
        fail "registering the emulator in binfmt_misc needs root, and sudo is not there"
    fi
    cache_is_whole "$version" || make_cache "$version"
    register_emulator
    # Proof that an i386 program now starts by itself: wine's own loader.
    local said
    said=$(QEMU_LD_PREFIX="$root" "$root/usr/lib/wine/wine" --version 2>&1) ||
        fail "the i386 wine loader does not start through binfmt_misc: $said"
    echo "wine32: $said through $(sed -n 's/^qemu=//p' "$stamp")"
}

use_wine32() {  # the environment every 32-bit wine process needs
    local version
    version=$(wine64_version)
    cache_is_whole "$version" || fail "the cache $store is not made for wine64 $version: run scripts/wine32.sh --setup"
    grep -qx enabled "$binfmt/$entry" 2>/dev/null ||
        fail "the binfmt_misc entry $entry is not registered: run scripts/wine32.sh --setup"
    export QEMU_LD_PREFIX="$root"
    export WINELOADER="$root/usr/lib/wine/wine"
    WINESERVER=$(wineserver64)
    export WINESERVER
    export WINEARCH=win32
    # The i386 font caches in a folder of their own: the machine's font folders hold the amd64
    # ones, and an i386 one left there by another root would hide fonts.
    mkdir -p "$store/fontconfig"
    if [ ! -f "$store/fonts.conf" ]; then
        printf '<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">\n<fontconfig>\n  <cachedir>%s</cachedir>\n  <include>/etc/fonts/fonts.conf</include>\n</fontconfig>\n' \
            "$store/fontconfig" >"$store/fonts.conf"
    fi
    export FONTCONFIG_FILE="$store/fonts.conf"
}

case "${1:-}" in
    --setup)
        setup
        exit 0
        ;;
    --wine)
        shift
        use_wine32
        exec "$WINELOADER" "$@"
        ;;
    "" | -*)
        echo "usage: scripts/wine32.sh --setup | PROGRAM.exe [ARGS...] | --wine ARGS..." >&2
        exit 2
        ;;
esac

use_wine32
# The run itself is wine64's, with this wine, its server and prefixes of its own.
TAVRIN_WINE="$WINELOADER" TAVRIN_WINE_PREFIX=wine32 exec "$(dirname "$(realpath "$0")")/wine-run.sh" "$@"
