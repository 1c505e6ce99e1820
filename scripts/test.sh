#!/usr/bin/env bash
# Sets up the machine if needed, builds everything and runs every test (the
# native core under sanitizers and the Windows programs under Wine) with ctest.
# Arguments are handed to CMake's configure step (CI: -DKORRIN_WARNINGS_AS_ERRORS=ON).
. "$(dirname "$0")/lib.sh"

build_all "$@"
ctest --test-dir "$build" --output-on-failure -j 2 --timeout 1200
