#!/usr/bin/env bash
# A failed save and the Pixel Inspector under a virtual X server, driven as
# a user would:
#   progress_test.sh PELLUCINE XCLIENT PHOTO
# (run under with_xvfb.sh).
# 1. The program runs with its file size limited (and SIGXFSZ ignored, so
#    writes fail instead of ending it); "Save Over Original" on a JPEG of
#    PHOTO must report "Processing Error" exactly once, leave the original
#    byte for byte and leave no temporary file beside it.
# 2. On a generated photo of a red and a blue half, the inspector (key I)
#    shows the colour under the pointer in its swatch: hovering the red
#    half adds a swatch's worth of red pixels to the window, the blue half
#    as many blue ones and the red ones go again.
set -uo pipefail
app="$1"
xclient="$2"
source_photo="$3"
source "$(dirname "$0")/xvfb_helpers.sh"

finish() {
    echo "progress: $1"
    ls -la "$work/photos" 2>/dev/null
    echo "--- stdout"; cat "$work/out.txt" 2>/dev/null; echo "--- stderr"; tail -n 20 "$work/err.txt" 2>/dev/null
    exit 1
}

# The photo is part of the project (tests/data): its absence is a fault.
[ -f "$source_photo" ] || finish "no photo at $source_photo"
mkdir -p "$work/photos"
convert "$source_photo" -quality 95 "$work/photos/flower.jpg" || finish "could not make the JPEG"
cp "$work/photos/flower.jpg" "$work/original.jpg"

# Files may grow to 200 KB: the preferences and presets fit, the photo not.
( ulimit -f 200; trap '' XFSZ; exec "$app" "$work/photos/flower.jpg" ) >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "flower.jpg" 60000)" || finish "the title never named the photo"
focus "$window"
keys ctrl+s
size="$("$xclient" wait-title "Save Size" 60000)" || finish "no save-size dialog after Save Over Original"
focus "$size"
keys Return
message="$("$xclient" wait-title "Processing Error" 120000)" || finish "no Processing Error after the failed save"
sleep 2  # the processing ticks that would open more messages
count="$("$xclient" count-titled "Processing Error")"
[ "$count" -eq 1 ] || finish "$count Processing Error windows"
focus "$message"
keys Return
"$xclient" wait-gone "Processing Error" 60000 || finish "the Processing Error message did not go"
if "$xclient" wait-title "Processing Error" 2000 >/dev/null 2>&1; then finish "Processing Error came back"; fi
cmp -s "$work/original.jpg" "$work/photos/flower.jpg" || finish "the original changed"
[ "$(ls -A "$work/photos")" = "flower.jpg" ] || finish "files beside the original: $(ls -A "$work/photos")"
end_program "$window"
echo "progress: the failed save was reported once and kept the original"

# ---- 2. The inspector under the pointer.
count_of() {  # count_of WINDOW R,G,B: pixels of about that colour in the window
    "$xclient" has-colours "$1" "$2" | sed -n 's/^[0-9,]*: \([0-9]*\) of .*/\1/p'
}
within() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }
red=220,40,30
blue=30,60,210
# swatch X Y GAINED KEPT: hovers (X, Y) with two small moves, as a hand
# makes, until the swatch, a disc 46 pixels across (some 1,660 pixels),
# adds its worth of the colour GAINED to the window of the photo alone and
# leaves the colour KEPT as it was there.
swatch() {
    local x="$1" y="$2" gained="$3" kept="$4"
    shown() {
        xdotool mousemove --window "$window" "$x" "$y"
        xdotool mousemove --window "$window" $(( x + 2 )) "$y"
        local more_gained more_kept
        more_gained=$(( $(count_of "$window" "$gained") - base[$gained] ))
        more_kept=$(( $(count_of "$window" "$kept") - base[$kept] ))
        echo "progress: over ($x, $y) $gained +$more_gained, $kept +$more_kept" >"$work/swatch.txt"
        within "$more_gained" 1000 2500 && within "$more_kept" -50 50
    }
    until_true 60 shown
    local status=$?
    cat "$work/swatch.txt"
    return $status
}
"$xclient" make-photo "$work/halves.png" || finish "could not make the photo"
"$app" "$work/halves.png" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "halves.png" 60000)" || finish "the title never named the halves"
place "$window" 0 0 1000 700
focus "$window"
xdotool mousemove --window "$window" 990 690
keys i
# The photo alone, once the window has come to rest with the inspector.
"$xclient" wait-settled "$window" "$work/shot.ppm" 60000 || finish "the window never settled"
box="$(convert "$work/shot.ppm" -fuzz 5% -fill black +opaque "rgb($red)" -trim info:- | awk '{print $4}')"
left="$(echo "$box" | sed -n 's/.*+\([0-9]*\)+\([0-9]*\)$/\1/p')"
top="$(echo "$box" | sed -n 's/.*+\([0-9]*\)+\([0-9]*\)$/\2/p')"
[ -n "$left" ] && [ -n "$top" ] || finish "the red half is not on the screen ($box)"
declare -A base=(["$red"]="$(count_of "$window" "$red")" ["$blue"]="$(count_of "$window" "$blue")")
swatch $(( left + 150 )) $(( top + 300 )) "$red" "$blue" || finish "no red swatch over the red half"
swatch $(( left + 450 )) $(( top + 300 )) "$blue" "$red" || finish "no blue swatch over the blue half"
end_program "$window"
echo "progress: passed"
