#!/usr/bin/env bash
# A failed save under a virtual X server, driven as a user would:
#   progress_test.sh PELLUCINE XCLIENT PHOTO
# (run inside xvfb-run). The program runs with its file size limited (and
# SIGXFSZ ignored, so writes fail instead of ending it); "Save Over
# Original" on a JPEG of PHOTO must report "Processing Error" exactly once,
# leave the original byte for byte and leave no temporary file beside it.
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
echo "progress: passed"
