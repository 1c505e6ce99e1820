#!/usr/bin/env bash
# Installs everything korrin's build and tests need on a Debian 12 machine, as
# root, idempotently: the i686 MinGW-w64 toolchain, CMake, 32-bit Wine with
# Xvfb and 32-bit Mesa, GoogleTest sources, ImageMagick, libvorbis-dev and
# vorbis-tools (native sound tests and sound fixtures), and the static i686
# image and sound libraries (scripts/build-deps.sh).
#
# Machines whose kernel cannot start 32-bit processes (no IA-32 compatibility
# mode) still run 32-bit Wine: the script then fetches a recent qemu user-mode
# emulator from Debian's backports suite into the cache, without touching the
# system's apt configuration, and registers it for i386 ELF binaries.
. "$(dirname "$0")/lib.sh"
here=$root/scripts

log() { printf '[setup] %s\n' "$*"; }

# --- Debian packages -------------------------------------------------------
packages=(
    cmake make ninja-build g++ pkg-config git ca-certificates file
    g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686 libz-mingw-w64-dev
    googletest libgtest-dev clang libpng-dev libjpeg-dev libtiff-dev
    wine wine32 wine64 xvfb xauth x11-utils
    libgl1:i386 libgl1-mesa-dri:i386 mesa-vulkan-drivers:i386 libvulkan1:i386
    imagemagick python3 dpkg-dev autoconf automake libtool nasm
    libvorbis-dev vorbis-tools sox
)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture"
    as_root dpkg --add-architecture i386
fi
install_missing "${packages[@]}"
# The fuzzers link clang's own sanitizer runtime: the compiler-rt package of
# the clang version installed.
clang_major=$(clang --version | sed -n 's/.*clang version \([0-9]*\)\..*/\1/p' | head -n 1)
[ -n "$clang_major" ] || { log "cannot tell clang's version"; exit 1; }
install_missing "libclang-rt-$clang_major-dev"
# --- 32-bit processes ------------------------------------------------------
"$here/enable-i386.sh"

# --- static i686 libraries --------------------------------------------------
"$here/build-deps.sh"
"$here/fetch-dxvk.sh"  # the second Direct3D 9 the Windows tests run on

log "ready"
