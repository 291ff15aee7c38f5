#!/usr/bin/env bash
# The control strip as drawn, read off the screen of a virtual X server:
#   strip_test.sh PELLUCINE XCLIENT
# (run under with_xvfb.sh at the screen size to check). The window fills
# the screen, with the strip set to hide itself. A one-coloured photo is
# opened, a Split Tone tile dropped on the window as a filter file and
# selected in the tray with a click: its strip holds a slider and two
# colour choosers.
# 1. The labels "Amount", "Dark Color" and "Light Color" are seen whole
#    (no glyph cut off) inside the window, above the tray.
# 2. The pointer leaving the strip upward slides it away: the view shows
#    the photo as before the tile was selected, and below the view (the
#    tray, the progress row) nothing is left of the strip, the colour
#    choosers included.
# 3. The pointer going back down brings the strip back as it was.
# PELLUCINE_FAILED_SHOT=FILE.ppm keeps a picture of the window on failure.
set -uo pipefail
app="$1"
xclient="$2"
source "$(dirname "$0")/xvfb_helpers.sh"
read -r W H < <(xdotool getdisplaygeometry)
name="strip ${W}x${H}"

finish() {
    echo "$name: $1"
    if [ -n "$window" ] && "$xclient" grab "$window" "$work/failed.ppm" 2>/dev/null; then
        [ -n "${PELLUCINE_FAILED_SHOT:-}" ] && cp "$work/failed.ppm" "$PELLUCINE_FAILED_SHOT"
    fi
    echo "--- stdout"; tail -n 20 "$work/out.txt" 2>/dev/null; echo "--- stderr"; tail -n 20 "$work/err.txt" 2>/dev/null
    exit 1
}
# same FIRST.ppm SECOND.ppm TOP BOTTOM: the rows TOP to BOTTOM (inclusive)
# of two grabs are equal.
same() {
    local rows=$(( $4 - $3 + 1 ))
    [ "$(compare -metric AE "$1[${W}x${rows}+0+$3]" "$2[${W}x${rows}+0+$3]" null: 2>&1)" = "0" ]
}
# grab_matches FILE [REFERENCE.ppm TOP BOTTOM]...: grabs the window into
# FILE; each band of rows equals the same band of its reference grab.
grab_matches() {
    local file="$1"
    shift
    "$xclient" grab "$window" "$file" 2>/dev/null || return 1
    while [ $# -ge 3 ]; do
        same "$file" "$1" "$2" "$3" || return 1
        shift 3
    done
}

# The window's layout: the tray area is 96 high at the bottom; the view
# ends 10 pixels above it.
tray_top=$(( H - 96 ))
view_bottom=$(( tray_top - 11 ))

# Larger than the view at every size, so the view shrinks it to its height
# (its sides are 1.4 to 1, narrower than every view) and it lies under the
# whole strip: every label has a flat colour around its text.
"$xclient" make-photo "$work/photo.png" 2800 2000 128,128,128 || finish "could not make the photo"
printf '%s\n' '<filter version="4">' \
    '  <mod name="Split Tone" version="1" enabled="1">' \
    '    <var name="Amount" type="float">1.000000</var>' \
    '    <var name="Dark Color" type="color">40.000000 60.000000 200.000000 255.000000</var>' \
    '    <var name="Light Color" type="color">250.000000 200.000000 60.000000 255.000000</var>' \
    '  </mod>' '</filter>' >"$work/split.plf"
mkdir -p "$XDG_DATA_HOME/Pellucine"
printf '%s\n' "<WindowGeometry type=\"string\">0 0 $W $H</WindowGeometry>" \
    '<AutohideControls type="bool">1</AutohideControls>' >"$XDG_DATA_HOME/Pellucine/PellucinePrefs.xml"

"$app" "$work/photo.png" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "photo.png" 60000)" || finish "the title never named the photo"
shown="$(xdotool getwindowgeometry "$window")"
echo "$shown" | grep -q "Geometry: ${W}x${H}" || finish "the window is '$shown', expected ${W}x${H}"
"$xclient" drop "$window" "$work/split.plf" || finish "the drop was not taken"
loaded "$work/split.plf" "$work/out.txt"
# Off the view's strip: the left margin of the view, low down.
xdotool mousemove --window "$window" 10 $(( view_bottom - 5 ))
"$xclient" wait-settled "$window" "$work/before.ppm" 60000 || finish "the window never settled"

# ---- 1. The labels, whole, above the tray.
xdotool mousemove --window "$window" 60 $(( H - 60 )) click 1  # the tray's first tile
xdotool mousemove --window "$window" 10 $(( view_bottom - 5 ))
until_true 60 "$xclient" find-text-flat "$window" "Light Color" >/dev/null 2>&1 ||
    finish "the strip's labels never showed whole"
"$xclient" wait-settled "$window" "$work/strip.ppm" 60000 || finish "the window never settled with the strip"
for label in "Amount" "Dark Color" "Light Color"; do
    places="$("$xclient" find-text-flat "$window" "$label")" || finish "the label $label is not seen whole"
    read -r x y w h <<<"$(echo "$places" | head -n 1)"
    [ "$(echo "$places" | wc -l)" -eq 1 ] || finish "$label at '$places', expected one place"
    [ "$x" -ge 0 ] && [ $(( x + w )) -le "$W" ] && [ "$y" -ge 0 ] && [ $(( y + h )) -le "$tray_top" ] ||
        finish "$label at $x $y $w $h, not inside the window above the tray (top $tray_top)"
    echo "$name: $label whole at $x $y $w $h"
done

# ---- 2. Slid away: the view as before, nothing of the strip below it.
xdotool mousemove --window "$window" 10 $(( view_bottom - 40 ))
xdotool mousemove --window "$window" 10 40
until_true 60 grab_matches "$work/away.ppm" "$work/before.ppm" 0 "$view_bottom" \
    "$work/strip.ppm" $(( view_bottom + 1 )) $(( H - 1 )) ||
    finish "the strip did not slide away whole: something of it is still drawn"
echo "$name: the strip slid away, nothing left over the view, the tray or the progress row"

# ---- 3. Back as it was.
xdotool mousemove --window "$window" 10 $(( view_bottom - 20 ))
xdotool mousemove --window "$window" 10 "$view_bottom"
until_true 60 grab_matches "$work/back.ppm" "$work/strip.ppm" 0 $(( H - 1 )) ||
    finish "the strip did not come back as it was"
echo "$name: the strip came back"

end_program "$window"
echo "$name: passed"
