#!/usr/bin/env bash
# Sets up the machine if needed, builds everything and runs every test (the
# native core under sanitizers and the Windows programs under Wine) with ctest.
# Arguments are handed to CMake's configure step (CI: -DKORRIN_WARNINGS_AS_ERRORS=ON).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORRIN_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" "$@"
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j 2 --timeout 1200
