#!/usr/bin/env bash
# A batch over six photos under a virtual X server, driven as a user would
# and followed on the screen only:
#   batch_test.sh PELLUCINE XCLIENT PHOTO
# (run under with_xvfb.sh). The program runs on one processor with a filter of
# two wide blurs over six photos of 3000 x 2000, so that each job lasts
# about a second or more and every label can be seen. Labels and buttons
# are found in the window's pixels (pellucine-xclient wait-text, find-text
# and find-image, over a grab taken before the batch); outputs are checked on
# disk: their names, nothing else beside them, each decoding whole.
# 1. The progress label names the first job; the lowest row of the render
#    queue (a waiting job) is cancelled with its button; the label goes on
#    through "File k of 5: name" without that photo; five outputs.
# 2. "Cancel Processing" (the button beside the label, answered Yes) while
#    the third photo is processed: the job in progress ends, the rest are
#    dropped; only whole files, fewer than six.
# 3. The next batch shows "File 1 of 6: p1.jpg" to "File 6 of 6: p6.jpg" in
#    turn and writes all six outputs; no "Processing Error" at any time.
# PELLUCINE_FAILED_SHOT=FILE.ppm keeps a picture of the window on failure.
set -uo pipefail
app="$1"
xclient="$2"
source_photo="$3"
source "$(dirname "$0")/xvfb_helpers.sh"
started=$SECONDS

finish() {
    echo "batch: $1"
    [ -n "$window" ] && "$xclient" grab "$window" "$work/failed.ppm" 2>/dev/null &&
        [ -n "${PELLUCINE_FAILED_SHOT:-}" ] && cp "$work/failed.ppm" "$PELLUCINE_FAILED_SHOT"
    for folder in "$work"/out*; do [ -d "$folder" ] && echo "$folder: $(ls -A "$folder" | tr '\n' ' ')"; done
    echo "--- stdout"; tail -n 20 "$work/out.txt" 2>/dev/null; echo "--- stderr"; tail -n 20 "$work/err.txt" 2>/dev/null
    exit 1
}
away() { xdotool mousemove 1300 900; }  # off the window: no hover changes what it shows

# seen SECONDS [--keep GRAB.ppm] TEXT...: waits until the window shows one of
# the TEXTs; prints which (1 for the first), then its places; --keep writes
# the grab that showed it, to be looked at again. One client polls for the
# whole wait and looks for every TEXT in each grab: a label stays only while
# its job runs (about a second for the last one), and a client started for
# each look, one TEXT at a time, can take longer than that on a busy machine.
seen() {
    local seconds="$1"
    shift
    "$xclient" wait-text "$window" "$work/background.ppm" $(( seconds * 1000 )) "$@" 2>/dev/null
}
# The button beside the progress label: mini_icon_close at half opacity
# while the pointer is elsewhere. Shown while a queue is busy.
stop_button() { "$xclient" find-image "$window" "$work/background.ppm" ":/img/mini_icon_close.png" 0.5 2>/dev/null; }
# idle SECONDS: waits until the stop button has gone (the queue ran dry).
idle() {
    local end=$(( SECONDS + $1 ))
    while [ "$SECONDS" -lt "$end" ]; do
        stop_button >/dev/null || return 0
        sleep 0.2
    done
    return 1
}
# click "X Y W H": a click in the middle of a found place.
click() {
    local x y w h
    read -r x y w h <<<"$1"
    xdotool mousemove --window "$window" $(( x + w / 2 )) $(( y + h / 2 )) click 1
    away
}
start_batch() {  # start_batch OUTPUT_FOLDER: the wizard, typed into as a user would
    focus "$window"
    keys ctrl+b
    local wizard
    wizard="$("$xclient" wait-title "Batch Process Folder" 60000)" || finish "no batch wizard"
    focus "$wizard"
    keys ctrl+a; xdotool type --delay 20 "$work/in"
    keys Tab ctrl+a; xdotool type --delay 20 "$1"
    keys Return
}
# whole FOLDER NAME...: the folder holds exactly these files, each of which
# decodes to its last row at the photos' size.
whole() {
    local folder="$1" name size
    shift
    [ "$(ls -A "$folder" | sort)" = "$(printf '%s\n' "$@" | sort)" ] ||
        finish "$folder holds '$(ls -A "$folder" | tr '\n' ' ')', expected '$*'"
    for name in "$@"; do
        size="$(convert -regard-warnings "$folder/$name" -format '%wx%h' info: 2>&1)" ||
            finish "$name does not decode whole: $size"
        [ "$size" = "3000x2000" ] || finish "$name is $size"
    done
}

# The photo is part of the project (tests/data): its absence is a fault.
[ -f "$source_photo" ] || finish "no photo at $source_photo"
mkdir -p "$work/in"
convert "$source_photo" -resize 3000x2000! -quality 90 "$work/in/p1.jpg" || finish "could not make the photos"
for n in 2 3 4 5 6; do cp "$work/in/p1.jpg" "$work/in/p$n.jpg"; done
blur='  <mod name="Blur" version="1" enabled="1">
    <var name="Amount" type="float">100.000000</var>
    <var name="Mix" type="float">100.000000</var>
    <var name="Blur Method" type="choice">2</var>
  </mod>'
printf '<filter version="4">\n%s\n%s\n</filter>\n' "$blur" "$blur" >"$work/blur.plf"

# One processor (the first this test may use): the jobs last about as long
# on a fast machine as on a slow one.
cpu="$(taskset -pc $$ | sed 's/.*: *//; s/[-,].*//')"
away
taskset -c "$cpu" "$app" "$work/in/p1.jpg" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "p1.jpg" 60000)" || finish "the title never named the photo"
place "$window" 0 0 1000 700
"$xclient" drop "$window" "$work/blur.plf" || finish "the drop was not taken"
loaded "$work/blur.plf" "$work/out.txt"
focus "$window"
keys q  # the render queue window
# The background every label and button is found on: the window once it
# stays the same for half a second.
"$xclient" wait-settled "$window" "$work/background.ppm" 60000 || finish "the window never settled"

# ---- 1. A waiting row cancelled.
start_batch "$work/out1"
places="$(seen 60 --keep "$work/first.ppm" "File 1 of 6: p1.jpg")" ||
    finish "the label never showed File 1 of 6: p1.jpg"
places="${places#*$'\n'}"
# The label beside the tray and the queue's first row.
[ "$(echo "$places" | wc -l)" -eq 2 ] || finish "File 1 of 6: p1.jpg at '$places', expected two places"
# The rows as the same grab shows them, so while the first job runs.
rows="$("$xclient" find-image "$work/first.ppm" "$work/background.ppm" ":/img/mini_icon_cancel.png")" ||
    finish "no cancel buttons in the render queue"
shown="$(echo "$rows" | wc -l)"
[ "$shown" -ge 3 ] || finish "only $shown rows in the render queue"
# Rows stand for p1, p2, ... from the top; the lowest visible one is a
# waiting job while the first one runs. Should the first job end between
# that grab and the click, the rows move up by one and the click cancels
# the photo after it: the labels then say which was cancelled.
click "$(echo "$rows" | tail -n 1)"
# without N: the photos p1..p6 but pN.
without() { local n; for n in 1 2 3 4 5 6; do [ "$n" -ne "$1" ] && echo "p$n"; done; }
mapfile -t left < <(without "$shown")
mapfile -t shifted < <(without $(( shown + 1 )))
cancelled="$shown"
for k in 2 3 4 5; do
    expected="${left[k - 1]}"
    if [ "$cancelled" = "$shown" ] && [ "$shown" -lt 6 ] && [ "$expected" != "${shifted[k - 1]}" ]; then
        # The first place where the two outcomes differ: the label tells.
        found="$(seen 60 "File $k of 5: $expected.jpg" "File $k of 5: ${shifted[k - 1]}.jpg")" ||
            finish "the label never showed File $k of 5: $expected.jpg nor ${shifted[k - 1]}.jpg after cancelling a row"
        [ "${found%%$'\n'*}" = 2 ] && { cancelled=$(( shown + 1 )); left=("${shifted[@]}"); }
        continue
    fi
    seen 60 "File $k of 5: $expected.jpg" >/dev/null ||
        finish "the label never showed File $k of 5: $expected.jpg after cancelling p$cancelled"
done
idle 60 || finish "the first batch never ended"
whole "$work/out1" "${left[@]/%/_batch.jpg}"
echo "batch: the row of p$cancelled cancelled, five whole outputs ($(( SECONDS - started )) s)"

# ---- 2. "Cancel Processing" in the middle.
start_batch "$work/out2"
seen 60 "File 3 of 6: p3.jpg" >/dev/null || finish "the label never showed File 3 of 6: p3.jpg"
stop="$(stop_button)" || finish "no Cancel Processing button beside the label"
click "$stop"
question="$("$xclient" wait-title "Cancel Processing" 60000)" || finish "no question after Cancel Processing"
focus "$question"
keys Return
idle 60 || finish "the batch did not stop"
count="$(ls -A "$work/out2" | wc -l)"
[ "$count" -ge 3 ] && [ "$count" -le 5 ] || finish "$count files after stopping at the third photo"
expected=()
for n in $(seq 1 "$count"); do expected+=("p${n}_batch.jpg"); done
whole "$work/out2" "${expected[@]}"
echo "batch: stopped after $count whole outputs ($(( SECONDS - started )) s)"

# ---- 3. The next batch runs to its end.
start_batch "$work/out3"
for k in 1 2 3 4 5 6; do
    seen 60 "File $k of 6: p$k.jpg" >/dev/null || finish "the label never showed File $k of 6: p$k.jpg"
done
idle 60 || finish "the last batch never ended"
whole "$work/out3" p1_batch.jpg p2_batch.jpg p3_batch.jpg p4_batch.jpg p5_batch.jpg p6_batch.jpg
[ "$("$xclient" count-titled "Processing Error")" -eq 0 ] || finish "a Processing Error was shown"
echo "batch: the next batch went through all six ($(( SECONDS - started )) s)"

end_program "$window"
echo "batch: passed in $(( SECONDS - started )) s"
