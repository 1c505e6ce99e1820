#!/usr/bin/env bash
# Installs korrin into a fresh folder, checks the install tree, builds
# examples/minimal.c as a separate CMake project against the installed package
# (find_package(korrin CONFIG REQUIRED), korrin::korrin), runs it under Wine
# until its window shows the picture it loads, closes it through its close
# event, and checks the zip that CPack makes of the same tree.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR [RUNNER ARGS...]  (the Wine environment running)
# RUNNER runs minimal.exe (default: BUILD_DIR/wine-run; BUILD_DIR/dxvk-run NAME runs it
# on DXVK).
. "$2/scripts/lib.sh"
test_script_args "$@"
work="$build/package-test"
prefix="$work/korrin"
rm -rf "$work"
mkdir -p "$work"

fail() { echo "FAIL: $*"; exit 1; }

# --- the install tree -------------------------------------------------------
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
for file in bin/korrin.dll lib/libkorrin.dll.a lib/korrin.def lib/korrin-import.def include/korrin.h \
            lib/cmake/korrin/korrinConfig.cmake lib/cmake/korrin/korrinConfigVersion.cmake \
            lib/cmake/korrin/i686-w64-mingw32.cmake \
            README.md LICENSE docs/commands.md examples/minimal.c \
            licenses/libpng.txt licenses/libjpeg-turbo.md licenses/libtiff.md licenses/libogg.txt \
            licenses/libvorbis.txt licenses/zlib.txt; do
    [ -s "$prefix/$file" ] || fail "the install tree lacks $file"
done
grep -q "the korrin developers" "$prefix/LICENSE" || fail "LICENSE names no holder"
# The README shows minimal.c's main as it is in the file.
python3 - "$prefix/README.md" "$prefix/examples/minimal.c" <<'PY' || fail "the README's code of minimal.c is not in the file"
import re, sys
blocks = re.findall(r"```c\n(.*?)```", open(sys.argv[1], encoding="utf-8").read(), re.S)
sys.exit(0 if blocks and blocks[0] in open(sys.argv[2], encoding="utf-8").read() else 1)
PY
# The import library binds the header's stdcall names to the DLL's plain ones.
i686-w64-mingw32-nm "$prefix/lib/libkorrin.dll.a" >"$work/implib.txt"
grep -q ' T _InitSprite@0$' "$work/implib.txt" || fail "libkorrin.dll.a has no stdcall-decorated InitSprite@0"

# --- a separate project against the package -----------------------------------
# Found through CMAKE_PREFIX_PATH, the package refuses a 64-bit build...
if cmake -S "$source/tests/package/consumer" -B "$work/consumer64" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
         -DKORRIN_EXAMPLES_DIR="$prefix/examples" >"$work/configure64.log" 2>&1; then
    fail "a 64-bit project accepted the 32-bit package"
fi
grep -q "$prefix/lib/cmake/korrin/korrinConfig.cmake, version: 1.0.0 (32bit)" "$work/configure64.log" \
    || { cat "$work/configure64.log"; fail "the 64-bit project did not find the package to refuse it"; }
# ...and serves a 32-bit one, configured as the README says: with the cross
# toolchain file from the install tree alone, which finds the package there.
cmake -S "$source/tests/package/consumer" -B "$work/consumer" \
      -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/korrin/i686-w64-mingw32.cmake" \
      -DKORRIN_EXAMPLES_DIR="$prefix/examples" >"$work/configure.log" 2>&1 \
    || { cat "$work/configure.log"; fail "the consumer project did not configure"; }
grep -q "korrin 1.0.0 from $prefix/lib/cmake/korrin" "$work/configure.log" \
    || { cat "$work/configure.log"; fail "find_package did not report the installed package"; }
cmake --build "$work/consumer" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "minimal did not build"; }
[ -f "$work/consumer/korrin.dll" ] || fail "korrin.dll was not copied beside minimal.exe"
cmp -s "$work/consumer/korrin.dll" "$build/bin/korrin.dll" || fail "the installed korrin.dll is not the built one"

# --- minimal under Wine ---------------------------------------------------------
# A picture of one colour that 5-bit channels hold exactly; the window must show
# it before the program is asked to close.
convert -size 640x480 xc:'rgb(64,160,96)' -type TrueColor BMP3:"$work/consumer/picture.bmp"
cd "$work/consumer"
"${runner[@]}" minimal.exe picture.bmp >"$work/minimal.log" 2>&1 &
program=$!
shown=0
# Done when the picture shows (most of the window in its colour) or the program has ended.
look() {
    running "$program" || return 0
    import -display "$display" -window root -depth 8 "$work/screen.ppm" 2>/dev/null &&
        python3 "$source/tests/picture/ppm.py" "$work/screen.ppm" 64,160,96 8 $((600 * 440)) && shown=1
}
poll 240 look || true
if [ "$shown" -eq 0 ]; then
    "$build/wine-run" "$build/bin/closewindow.exe" minimal >/dev/null 2>&1 || true
    kill "$program" 2>/dev/null || true
    cat "$work/minimal.log"
    fail "minimal's window never showed its picture"
fi
"$build/wine-run" "$build/bin/closewindow.exe" minimal || fail "minimal's window was not found"
status=0
wait "$program" || status=$?
[ "$status" -eq 0 ] || { cat "$work/minimal.log"; fail "minimal ended with exit code $status"; }

# --- the zip -----------------------------------------------------------------------
cd "$build"
cpack -G ZIP -B "$work/cpack" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
python3 - "$work/cpack/korrin-1.0.0-win32.zip" "$prefix" <<'PY' || fail "the zip does not hold the install tree"
import os, sys, zipfile
names = {n.split("/", 1)[1] for n in zipfile.ZipFile(sys.argv[1]).namelist() if "/" in n and not n.endswith("/")}
tree = {os.path.relpath(os.path.join(d, f), sys.argv[2]) for d, _, fs in os.walk(sys.argv[2]) for f in fs}
if names != tree:
    print("only in the zip:", sorted(names - tree), "only in the tree:", sorted(tree - names))
    sys.exit(1)
PY
echo "install tree, package, minimal under Wine and zip: ok"
