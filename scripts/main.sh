#!/usr/bin/env bash
# The main job: sets up the machine if needed, builds everything, and runs
# spritetest under Wine in a headless X display through the picture test's
# script: it loads korrin.dll by name and draws a rotating, alpha-blended 3D
# sprite over a bitmap background; once a frame is drawn a screenshot is
# saved as PNG and checked, then the window is closed through its close event.
. "$(dirname "$0")/lib.sh"

build_all
start_wine_env

status=0
"$root/tests/picture/spritetest_picture.sh" "$build" "$root" || status=$?
shot="$build/spritetest.png"
if [ -f "$build/picture/spritetest.png" ]; then
    cp "$build/picture/spritetest.png" "$shot"
    echo "screenshot: $shot"
fi
exit "$status"
