#!/usr/bin/env bash
# Builds everything and runs the benchmarks: the colour-key conversion against
# memcpy (natively, and as the i686 program under Wine), then under Wine in a
# headless X display the drawing benchmark (sprites per second of the library
# and of the same Direct3D calls made directly, and their ratio), the scale
# benchmark (N sprites per frame against direct calls and the batched limit),
# the import benchmark (LoadSprite2 against the bare decoders), then one frame of input
# and sound loading (against bare libvorbisfile and memcpy), and the frame
# pacing (mean interval and 95th percentile of every FlipBuffers mode at 30 and
# 60 frames/s against the period), each measured in one run.
. "$(dirname "$0")/lib.sh"
build_all >/dev/null
start_wine_env >/dev/null
"$build/native/colour_key_benchmark"
cd "$build/bin"
"$build/wine-run" colour_key_benchmark.exe
"$build/wine-run" benchmark.exe
"$build/wine-run" scale_benchmark.exe
"$build/wine-run" import_benchmark.exe
"$build/wine-run" input_benchmark.exe
"$build/wine-run" sound_benchmark.exe "Z:$build/sound-fixtures/"
"$build/wine-run" pacing_benchmark.exe
