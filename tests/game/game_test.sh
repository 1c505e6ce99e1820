#!/usr/bin/env bash
# Plays the small game headless: injected arrow keys move the ball, a rock
# stops it and the thud plays (the sound buffer's play state says so), the
# mouse moves it too, a screenshot shows the scene, and Escape ends the game
# with exit code 0; a second run ends through the window's close event.
# Usage: game_test.sh BUILD_DIR SOURCE_DIR [RUNNER ARGS...]  (the Wine environment running)
# RUNNER runs game.exe (default: BUILD_DIR/wine-run; BUILD_DIR/dxvk-run NAME runs it
# on DXVK).
. "$2/scripts/lib.sh"
test_script_args "$@"
out="$build/game-test"
title="korrin game"
rm -rf "$out"
mkdir -p "$out"
log="$out/game.log"

# Keys held when the test stops are let go, for the tests that follow.
release_keys() {
    for key in right up escape; do "$build/wine-run" "$build/bin/sendinput.exe" - up "$key" >/dev/null 2>&1 || true; done
}

ended() { ! running "$program"; }

fail() {
    echo "FAIL: $*"
    echo "--- game output:"; cat "$log" 2>/dev/null || true
    if [ -n "${program:-}" ] && running "$program"; then
        "$build/wine-run" "$build/bin/sendinput.exe" "$title" down escape >/dev/null 2>&1 || true
        poll 20 ended || true
        kill "$program" 2>/dev/null || true
    fi
    release_keys
    exit 1
}

if [ -f "$build/bin/game-not-built.txt" ]; then
    echo "FAIL: the game was not built: $(cat "$build/bin/game-not-built.txt")"
    exit 1
fi

# The game's output so far, without the carriage returns of Windows text, in
# game.txt; has PATTERN and count PATTERN look at it.
lines() { tr -d '\r' <"$log" >"$out/game.txt"; }
has() { lines; grep -Eq "$1" "$out/game.txt"; }
count() { lines; grep -Ec "$1" "$out/game.txt" || true; }

# Waits (bounded, polling) until the game's output has a line matching $1.
await() {
    local pattern=$1 what=$2
    seen() { has "$pattern" || { running "$program" || fail "the game ended while waiting for $what"; false; }; }
    poll 300 seen || fail "no $what after 300 s"
}
send() { "$build/wine-run" "$build/bin/sendinput.exe" "$title" "$@" || fail "could not send $* to the game window"; }

cd "$build/bin"
"${runner[@]}" game.exe >"$log" 2>&1 &
program=$!
await '^ready keyboard 1 mouse 1 sound 1' "start with keyboard, mouse and sound"

# Right arrow held: the ball leaves (60, 200) to the right until the first
# rock, at x 300, stops it.
send down right
await '^bump ' "collision with the rock"
send up right
has '^bump playing$' || fail "the collision did not play the thud"
lines
python3 - "$out/game.txt" <<'PY' || fail "the ball did not move right to the rock"
import sys
moves = [tuple(map(int, l.split()[1:3])) for l in open(sys.argv[1]) if l.startswith("player ")]
# Moved right on its row, and stopped by the rock (x 300) before passing it.
ok = moves and all(y == 200 for _, y in moves) and [x for x, _ in moves] == sorted(x for x, _ in moves) \
    and 300 - 48 - 8 <= moves[-1][0] < 300
print("ball path:", moves[:2], "...", moves[-1:] if moves else None)
sys.exit(0 if ok else 1)
PY

# Up arrow: the ball moves again, away from the rock's slanting side.
before=$(count '^player ')
moved_on() { [ "$(count '^player ')" -gt "$before" ]; }
send down up
poll 300 moved_on || true
send up up
moved_on || fail "the up arrow did not move the ball"

# The mouse: moved left, it takes the ball left.
ball_x() { lines; sed -n 's/^player \([0-9]*\) [0-9]*$/\1/p' "$out/game.txt" | tail -1; }
last_x=$(ball_x)
moved_left() { [ "$(ball_x)" -lt "$last_x" ]; }
send move -30 0
poll 300 moved_left || fail "moving the mouse left did not move the ball left"

# The scene: sky, meadow, rocks, the ball, the star and the translucent panel.
import -display "$display" -window root -depth 8 "$out/screen.ppm"
lines
read -r left top < <(sed -n 's/^ready .* picture at \(-\?[0-9]*\) \(-\?[0-9]*\)$/\1 \2/p' "$out/game.txt")
convert "$out/screen.ppm" -crop "640x480+$left+$top" +repage "$out/scene.ppm"
convert "$out/scene.ppm" "$out/game.png"
python3 "$source/tests/game/check_scene.py" "$out/scene.ppm" || fail "the screenshot does not show the scene ($out/game.png)"

send down escape
status=0
poll 300 ended || fail "Escape did not end the game"
"$build/wine-run" "$build/bin/sendinput.exe" - up escape || true
wait "$program" || status=$?
[ "$status" -eq 0 ] || fail "the game ended with exit code $status"
has '^end ' || fail "the game did not reach its end"

# Once more, ended by its window's close event.
"${runner[@]}" game.exe >"$log" 2>&1 &
program=$!
await '^ready ' "second start"
"$build/wine-run" "$build/bin/closewindow.exe" "$title" || fail "the game window was not found to close"
poll 300 ended || fail "the close event did not end the game"
status=0
wait "$program" || status=$?
[ "$status" -eq 0 ] || fail "the game ended with exit code $status after its close event"
has '^end ' || fail "the game did not reach its end after its close event"
echo "game: moved, collided with the thud playing, showed its scene, ended on Escape and on its close event"
