#!/usr/bin/env bash
# The main job: sets up the machine if needed, builds everything, and runs
# spritetest under Wine in a headless X display for a few seconds: it loads
# korrin.dll by name and draws a rotating, alpha-blended 3D sprite over a
# bitmap background. A screenshot is saved as PNG, then the window is closed
# through its close event.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORRIN_BUILD_DIR:-$root/build}
seconds=${KORRIN_RUN_SECONDS:-8}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)"

env_dir="$build/wine"
"$root/tools/wine-env" start "$env_dir"
trap '"$root/tools/wine-env" stop "$env_dir"' EXIT
display=$(cat "$env_dir/display")

cd "$build/bin"
"$build/wine-run" spritetest.exe &
program=$!
sleep "$seconds"
shot="$build/spritetest.png"
import -display "$display" -window root "$shot"
"$build/wine-run" closewindow.exe "Korrin test 4" || echo "the spritetest window was not found"
wait "$program" && status=0 || status=$?
echo "spritetest ended with exit code $status"
echo "screenshot: $shot"
