#!/usr/bin/env bash
# The whole program under a virtual X server, driven as a user would:
#   whole_program_test.sh PELLUCINE XCLIENT
# (run under with_xvfb.sh). Starts the program on a generated photo, waits for
# the title naming it, looks for the photo's two colours in the window's
# pixels, closes the window the way a window manager does, and checks the
# exit status 0 and that standard output ends with "pluginexited".
# PELLUCINE_SCREENSHOT=FILE.ppm keeps a picture of the window.
set -uo pipefail
app="$1"
xclient="$2"
source "$(dirname "$0")/xvfb_helpers.sh"

finish() {
    echo "whole program: $1"
    echo "--- stdout"; cat "$work/out.txt"; echo "--- stderr"; tail -n 20 "$work/err.txt"
    exit 1
}

"$xclient" make-photo "$work/photo.png" || exit 1
"$app" "$work/photo.png" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!

window="$("$xclient" wait-title "Pellucine | RAW - photo.png" 60000)" || finish "the title never named the photo"
until_true 60 "$xclient" has-colours "$window" 220,40,30 30,60,210 >"$work/colours.txt" ||
    { cat "$work/colours.txt"; finish "the photo's colours are not on the screen"; }
cat "$work/colours.txt"
if [ -n "${PELLUCINE_SCREENSHOT:-}" ]; then "$xclient" grab "$window" "$PELLUCINE_SCREENSHOT"; fi

# Keys as a user types them, with the focus in the window: the Right arrow
# opens the folder's next photo, Shift+Left the previous one again.
"$xclient" make-photo "$work/photo2.png" || finish "could not write the second photo"
focus "$window"
keys Right
"$xclient" wait-title "photo2.png" 60000 >/dev/null || finish "the Right arrow did not open the next photo"
keys shift+Left
"$xclient" wait-title "RAW - photo.png" 60000 >/dev/null || finish "Shift+Left did not open the previous photo"
echo "whole program: keys reached their actions"

end_program "$window"
[ "$(tail -n 1 "$work/out.txt")" = "pluginexited" ] || finish "standard output does not end with pluginexited"
echo "whole program: passed"
