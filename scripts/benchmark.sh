#!/usr/bin/env bash
# Builds everything and runs the benchmarks: the colour-key conversion against
# memcpy (natively, and as the i686 program under Wine), then under Wine in a
# headless X display the drawing benchmark (sprites per second of the library
# and of the same Direct3D calls made directly, and their ratio), the scale
# benchmark (N sprites per frame against direct calls and the batched limit),
# the import benchmark (LoadSprite2 against the bare decoders), then one frame
# of input and sound loading (against bare libvorbisfile and memcpy), each
# measured in one run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORRIN_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh" >/dev/null
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
"$root/tools/wine-env" start "$build/wine" >/dev/null
trap '"$root/tools/wine-env" stop "$build/wine"' EXIT
"$build/native/colour_key_benchmark"
cd "$build/bin"
"$build/wine-run" colour_key_benchmark.exe
"$build/wine-run" benchmark.exe
"$build/wine-run" scale_benchmark.exe
"$build/wine-run" import_benchmark.exe
"$build/wine-run" input_benchmark.exe
"$build/wine-run" sound_benchmark.exe "Z:$build/sound-fixtures/"
