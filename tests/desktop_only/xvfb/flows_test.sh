#!/usr/bin/env bash
# The save, batch and restore flows of the whole program under a virtual X
# server, driven as a user would (pointer and keys through xdotool, the file
# dialogs included):
#   flows_test.sh PELLUCINE XCLIENT RENDER_TOOL FILTER
# (run inside xvfb-run). Opens a photo, drops the filter file on the window,
# saves it as PNG at full size through "Save As..." (the pixels must equal
# the render tool's), runs a batch over a folder of six photos, closes, and
# starts again: the window must come back at the same geometry with the
# panel sections as they were. Steps whose menu entry the program does not
# carry are reported as skipped.
set -uo pipefail
app="$1"
xclient="$2"
render="$3"
filter="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
export QT_QPA_PLATFORM=xcb
prefs="$XDG_DATA_HOME/Pellucine/PellucinePrefs.xml"
pid=

finish() {
    echo "flows: $1"
    [ -n "$pid" ] && ps -o pid,stat,wchan:20,cmd -p "$pid"; ls -la "$work"
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    echo "--- stdout"; cat "$work/out.txt" 2>/dev/null; echo "--- stderr"; tail -n 20 "$work/err.txt" 2>/dev/null
    exit 1
}

wait_for() {  # wait_for SECONDS COMMAND...
    local limit=$(( $1 * 10 )); shift
    for _ in $(seq 1 "$limit"); do "$@" && return 0; sleep 0.1; done
    return 1
}

close_and_wait() {
    "$xclient" close "$1" || finish "could not send the close request"
    for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && finish "the program did not end after the close request"
    wait "$pid"; local status=$?
    [ "$status" -eq 0 ] || finish "exit status $status"
    pid=
}

keys() { xdotool key --clearmodifiers "$@"; }

"$xclient" make-photo "$work/photo.png" || exit 1
mkdir -p "$work/in" "$work/out"
for n in 1 2 3 4 5 6; do cp "$work/photo.png" "$work/in/p$n.png"; done

# ---- First run: open, drop, save, batch, close.
"$app" "$work/photo.png" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "photo.png" 30000)" || finish "the title never named the photo"
xdotool windowmove "$window" 120 90 && xdotool windowsize "$window" 1000 700
sleep 0.5
xdotool windowfocus "$window" 2>/dev/null

"$xclient" drop "$window" "$filter" || finish "the drop was not taken"
wait_for 10 grep -q "got filter name $filter with retVal 0" "$work/out.txt" || finish "the dropped filter was not loaded"

keys ctrl+shift+s
if dialog="$("$xclient" wait-title "Save As" 5000)"; then
    xdotool windowfocus "$dialog" 2>/dev/null
    keys ctrl+a
    xdotool type --delay 20 "$work/saved.png"
    keys Return
    size="$("$xclient" wait-title "Save Size" 10000)" || finish "no save-size dialog"
    xdotool windowfocus "$size" 2>/dev/null
    keys Return
    wait_for 30 test -s "$work/saved.png" || finish "Save As wrote nothing"
    "$render" "$filter" "$work/photo.png" "$work/tool.png" || finish "the render tool failed"
    differing="$(compare -metric AE "$work/saved.png" "$work/tool.png" null: 2>&1)"
    [ "$differing" = "0" ] || finish "the saved pixels differ from the render tool's ($differing)"
    echo "flows: Save As equals the render tool"
else
    echo "flows: skipped Save As (no menu entry in this build)"
fi

xdotool windowfocus "$window" 2>/dev/null
keys ctrl+b
if wizard="$("$xclient" wait-title "Batch Process Folder" 5000)"; then
    xdotool windowfocus "$wizard" 2>/dev/null
    keys ctrl+a; xdotool type --delay 20 "$work/in"
    keys Tab ctrl+a; xdotool type --delay 20 "$work/out"
    keys Return
    wait_for 60 bash -c "[ \$(ls '$work/out' | grep -c '_batch\\.[a-z]*\$') -eq 6 ]" ||
        { ls "$work/out"; finish "the batch did not give six outputs"; }
    echo "flows: the batch gave six outputs"
else
    echo "flows: skipped the batch (no menu entry in this build)"
fi

close_and_wait "$window"
[ -s "$prefs" ] || finish "no preferences file after closing"
geometry="$(sed -n 's:.*<WindowGeometry type="string">\(.*\)</WindowGeometry>.*:\1:p' "$prefs")"
sections_before="$(tr -d '\n' <"$prefs" | grep -o '<CollapsedToolSections[^>]*>.*</CollapsedToolSections>')"
[ "$geometry" = "120 90 1000 700" ] || finish "stored geometry '$geometry', expected '120 90 1000 700'"

# ---- Second run: the window comes back where it was.
"$app" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "Pellucine" 30000)" || finish "the window did not come back"
# Closed at once: within the start-up wait of 3 s, which must end the
# program all the same.
sleep 1
shown="$(xdotool getwindowgeometry "$window")"
echo "$shown" | grep -q "Position: 120,90" || finish "restored at '$shown', expected position 120,90"
echo "$shown" | grep -q "Geometry: 1000x700" || finish "restored at '$shown', expected size 1000x700"
close_and_wait "$window"
sections_after="$(tr -d '\n' <"$prefs" | grep -o '<CollapsedToolSections[^>]*>.*</CollapsedToolSections>')"
[ "$sections_before" = "$sections_after" ] || finish "the panel sections changed: '$sections_before' / '$sections_after'"
echo "flows: passed"
