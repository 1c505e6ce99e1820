#!/usr/bin/env bash
# Runs spritetest in the test display for a few seconds, takes a screenshot,
# closes the window through its close event and checks the picture.
# Usage: spritetest_picture.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
display=$(cat "$build/wine/display")
out="$build/picture"
mkdir -p "$out"

cd "$build/bin"
"$build/wine-run" spritetest.exe &
program=$!
sleep "${KORRIN_RUN_SECONDS:-12}"
import -display "$display" -window root "$out/spritetest.png"
"$build/wine-run" closewindow.exe "Korrin test 4"
status=0
wait "$program" || status=$?
[ "$status" -eq 0 ] || { echo "spritetest ended with exit code $status after its close event"; exit 1; }

convert "$out/spritetest.png" "$out/spritetest.ppm"
convert "$build/bin/back.bmp" -crop 640x480+0+0 "$out/back.ppm"
python3 "$source/tests/picture/check_spritetest.py" "$out/spritetest.ppm" "$out/back.ppm"
