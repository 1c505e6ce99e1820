#!/usr/bin/env bash
# The main job: sets up the machine if needed, builds everything, and runs a
# host program under Wine in a headless X display that loads korrin.dll by
# name, starts Direct3D and prints the display modes the library lists.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORRIN_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)"

env_dir="$build/wine"
"$root/tools/wine-env" start "$env_dir"
trap '"$root/tools/wine-env" stop "$env_dir"' EXIT
(cd "$build/bin" && "$build/wine-run" listmodes.exe)
