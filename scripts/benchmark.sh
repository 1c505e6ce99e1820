#!/usr/bin/env bash
# Builds everything and runs the drawing benchmark under Wine in a headless X
# display; it prints sprites per second of the library and of the same
# Direct3D calls made directly, and their ratio, measured in one run; then the
# sound benchmark (sound loading against bare libvorbisfile and memcpy).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORRIN_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh" >/dev/null
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
"$root/tools/wine-env" start "$build/wine" >/dev/null
trap '"$root/tools/wine-env" stop "$build/wine"' EXIT
cd "$build/bin" && "$build/wine-run" benchmark.exe
"$build/wine-run" input_benchmark.exe
"$build/wine-run" sound_benchmark.exe "Z:$build/sound-fixtures/"
