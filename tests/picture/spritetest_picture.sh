#!/usr/bin/env bash
# Runs spritetest in the test display, waits (bounded) until its window shows
# a drawn frame, takes a screenshot, closes the window through its close event
# and checks the picture. The screenshot is left in BUILD_DIR/picture.
# Usage: spritetest_picture.sh BUILD_DIR SOURCE_DIR [RUNNER ARGS...]
# RUNNER runs spritetest.exe (default: BUILD_DIR/wine-run; BUILD_DIR/dxvk-run
# NAME runs it on DXVK).
# KORRIN_PICTURE_WAIT: seconds to wait for the window and for a frame (180).
. "$2/scripts/lib.sh"
test_script_args "$@"
out="$build/picture"
title="Korrin test 4"
wait_limit=${KORRIN_PICTURE_WAIT:-180}
mkdir -p "$out"

window_open() { xwininfo -display "$display" -root -tree 2>/dev/null | grep -qF "\"$title\""; }
screenshot() {
    import -display "$display" -window root "$out/spritetest.png" &&
        convert "$out/spritetest.png" "$out/spritetest.ppm"
}
frame_drawn() { screenshot && python3 "$source/tests/picture/check_spritetest.py" --drawn "$out/spritetest.ppm" "$out/back.ppm" >/dev/null 2>&1; }

convert "$build/bin/back.bmp" -crop 640x480+0+0 "$out/back.ppm"
cd "$build/bin"
"${runner[@]}" spritetest.exe &
program=$!
stop() { kill "$program" 2>/dev/null || true; }
poll "$wait_limit" window_open || { echo "no spritetest window after ${wait_limit} s"; stop; exit 1; }
poll "$wait_limit" frame_drawn || { echo "no drawn frame after ${wait_limit} s (last screenshot: $out/spritetest.png)"; stop; exit 1; }
"$build/wine-run" closewindow.exe "$title"
status=0
wait "$program" || status=$?
[ "$status" -eq 0 ] || { echo "spritetest ended with exit code $status after its close event"; exit 1; }
python3 "$source/tests/picture/check_spritetest.py" "$out/spritetest.ppm" "$out/back.ppm"
