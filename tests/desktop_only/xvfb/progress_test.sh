#!/usr/bin/env bash
# A failed save and the Pixel Inspector under a virtual X server, driven as
# a user would:
#   progress_test.sh PELLUCINE XCLIENT PHOTO
# (run inside xvfb-run).
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
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
export QT_QPA_PLATFORM=xcb
pid=

finish() {
    echo "progress: $1"
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    ls -la "$work/photos" 2>/dev/null
    echo "--- stdout"; cat "$work/out.txt" 2>/dev/null; echo "--- stderr"; tail -n 20 "$work/err.txt" 2>/dev/null
    exit 1
}
keys() { xdotool key --clearmodifiers "$@"; }

[ -f "$source_photo" ] || { echo "progress: skipped (no photo at $source_photo)"; exit 0; }
mkdir -p "$work/photos"
convert "$source_photo" -quality 95 "$work/photos/flower.jpg" || finish "could not make the JPEG"
cp "$work/photos/flower.jpg" "$work/original.jpg"

# Files may grow to 200 KB: the preferences and presets fit, the photo not.
( ulimit -f 200; trap '' XFSZ; exec "$app" "$work/photos/flower.jpg" ) >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "flower.jpg" 30000)" || finish "the title never named the photo"
sleep 1
xdotool windowfocus "$window" 2>/dev/null
keys ctrl+s
size="$("$xclient" wait-title "Save Size" 10000)" || finish "no save-size dialog after Save Over Original"
xdotool windowfocus "$size" 2>/dev/null
keys Return
message="$("$xclient" wait-title "Processing Error" 60000)" || finish "no Processing Error after the failed save"
sleep 2  # ticks that would open more messages
count="$(xdotool search --name "^Processing Error$" 2>/dev/null | wc -l)"
[ "$count" -eq 1 ] || finish "$count Processing Error windows"
xdotool windowfocus "$message" 2>/dev/null
keys Return
sleep 2
if "$xclient" wait-title "Processing Error" 500 >/dev/null 2>&1; then finish "Processing Error came back"; fi
cmp -s "$work/original.jpg" "$work/photos/flower.jpg" || finish "the original changed"
[ "$(ls -A "$work/photos")" = "flower.jpg" ] || finish "files beside the original: $(ls -A "$work/photos")"

"$xclient" close "$window" || finish "could not send the close request"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && finish "the program did not end after the close request"
wait "$pid"; status=$?
pid=
[ "$status" -eq 0 ] || finish "exit status $status"
echo "progress: the failed save was reported once and kept the original"

# ---- 2. The inspector under the pointer.
count_of() {  # count_of WINDOW R,G,B: pixels of about that colour in the window
    "$xclient" has-colours "$1" "$2" | sed -n 's/^[0-9,]*: \([0-9]*\) of .*/\1/p'
}
hover() {  # hover WINDOW X Y: two small moves, as a hand makes
    xdotool mousemove --window "$1" "$2" "$3"; sleep 0.2
    xdotool mousemove --window "$1" $(( $2 + 2 )) "$3"; sleep 0.8
}
"$xclient" make-photo "$work/halves.png" || finish "could not make the photo"
"$app" "$work/halves.png" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "halves.png" 30000)" || finish "the title never named the halves"
xdotool windowmove "$window" 0 0 && xdotool windowsize "$window" 1000 700
sleep 1.5
xdotool windowfocus "$window" 2>/dev/null
xdotool mousemove --window "$window" 990 690
keys i
sleep 1
"$xclient" grab "$window" "$work/shot.ppm" || finish "could not grab the window"
box="$(convert "$work/shot.ppm" -fuzz 5% -fill black +opaque "rgb(220,40,30)" -trim info:- | awk '{print $4}')"
left="$(echo "$box" | sed -n 's/.*+\([0-9]*\)+\([0-9]*\)$/\1/p')"
top="$(echo "$box" | sed -n 's/.*+\([0-9]*\)+\([0-9]*\)$/\2/p')"
[ -n "$left" ] && [ -n "$top" ] || finish "the red half is not on the screen ($box)"
red0="$(count_of "$window" 220,40,30)"; blue0="$(count_of "$window" 30,60,210)"
hover "$window" $(( left + 150 )) $(( top + 300 ))
red1="$(count_of "$window" 220,40,30)"; blue1="$(count_of "$window" 30,60,210)"
hover "$window" $(( left + 450 )) $(( top + 300 ))
red2="$(count_of "$window" 220,40,30)"; blue2="$(count_of "$window" 30,60,210)"
echo "progress: red $red0 $red1 $red2, blue $blue0 $blue1 $blue2"
# The swatch is a disc 46 pixels across: about 1,660 pixels.
within() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }
within $(( red1 - red0 )) 1000 2500 && within $(( blue1 - blue0 )) -50 50 || finish "no red swatch over the red half"
within $(( blue2 - blue0 )) 1000 2500 && within $(( red2 - red0 )) -50 50 || finish "no blue swatch over the blue half"
"$xclient" close "$window" || finish "could not send the close request"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && finish "the program did not end after the close request"
wait "$pid"; status=$?
pid=
[ "$status" -eq 0 ] || finish "exit status $status"
echo "progress: passed"
