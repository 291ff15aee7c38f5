#!/usr/bin/env bash
# The whole program under a virtual X server, driven as a user would:
#   whole_program_test.sh PELLUCINE XCLIENT
# (run inside xvfb-run). Starts the program on a generated photo, waits for
# the title naming it, looks for the photo's two colours in the window's
# pixels, closes the window the way a window manager does, and checks the
# exit status 0 and that standard output ends with "pluginexited".
# PELLUCINE_SCREENSHOT=FILE.ppm keeps a picture of the window.
set -uo pipefail
app="$1"
xclient="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
export QT_QPA_PLATFORM=xcb

"$xclient" make-photo "$work/photo.png" || exit 1
"$app" "$work/photo.png" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!

finish() {
    echo "whole program: $1"
    kill "$pid" 2>/dev/null
    echo "--- stdout"; cat "$work/out.txt"; echo "--- stderr"; tail -n 20 "$work/err.txt"
    exit 1
}

window="$("$xclient" wait-title "Pellucine | RAW - photo.png" 30000)" || finish "the title never named the photo"
seen=
for _ in $(seq 1 50); do
    if "$xclient" has-colours "$window" 220,40,30 30,60,210 >"$work/colours.txt"; then
        seen=1
        break
    fi
    sleep 0.2
done
[ -n "$seen" ] || { cat "$work/colours.txt"; finish "the photo's colours are not on the screen"; }
cat "$work/colours.txt"
if [ -n "${PELLUCINE_SCREENSHOT:-}" ]; then "$xclient" grab "$window" "$PELLUCINE_SCREENSHOT"; fi

# Keys as a user types them, with the focus in the window: the Right arrow
# opens the folder's next photo, Shift+Left the previous one again.
if command -v xdotool >/dev/null; then
    "$xclient" make-photo "$work/photo2.png" || finish "could not write the second photo"
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    sleep 0.3
    xdotool key Right
    "$xclient" wait-title "photo2.png" 10000 >/dev/null || finish "the Right arrow did not open the next photo"
    xdotool key shift+Left
    "$xclient" wait-title "RAW - photo.png" 10000 >/dev/null || finish "Shift+Left did not open the previous photo"
    echo "whole program: keys reached their actions"
fi

"$xclient" close "$window" || finish "could not send the close request"
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && finish "the program did not end after the close request"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || finish "exit status $status"
[ "$(tail -n 1 "$work/out.txt")" = "pluginexited" ] || finish "standard output does not end with pluginexited"
echo "whole program: passed"
