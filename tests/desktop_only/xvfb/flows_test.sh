#!/usr/bin/env bash
# The save, batch and restore flows of the whole program under a virtual X
# server, driven as a user would (pointer and keys through xdotool, the file
# dialogs included):
#   flows_test.sh PELLUCINE XCLIENT RENDER_TOOL FILTER
# (run under with_xvfb.sh). Opens a photo, drops the filter file on the window,
# saves it as PNG at full size through "Save As..." (the pixels must equal
# the render tool's), saves over the original twice (the look once, not
# twice), runs a batch over a folder of six photos, closes, and
# starts again: the window must come back at the same geometry with the
# panel sections as they were. A step whose menu entry or dialog does not
# come fails the test.
set -uo pipefail
app="$1"
xclient="$2"
render="$3"
filter="$4"
source "$(dirname "$0")/xvfb_helpers.sh"
prefs="$XDG_DATA_HOME/Pellucine/PellucinePrefs.xml"

finish() {
    echo "flows: $1"
    [ -n "$pid" ] && ps -o pid,stat,wchan:20,cmd -p "$pid"; ls -la "$work"
    echo "--- stdout"; cat "$work/out.txt" 2>/dev/null; echo "--- stderr"; tail -n 20 "$work/err.txt" 2>/dev/null
    exit 1
}

# type_path DIALOG PATH: the field with the focus emptied and PATH typed in.
type_path() {
    focus "$1"
    keys ctrl+a
    xdotool type --delay 20 "$2"
}

"$xclient" make-photo "$work/photo.png" || exit 1
mkdir -p "$work/in" "$work/out"
for n in 1 2 3 4 5 6; do cp "$work/photo.png" "$work/in/p$n.png"; done

# ---- First run: open, drop, save, batch, close.
"$app" "$work/photo.png" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "photo.png" 60000)" || finish "the title never named the photo"
place "$window" 120 90 1000 700

"$xclient" drop "$window" "$filter" || finish "the drop was not taken"
loaded "$filter" "$work/out.txt"

focus "$window"
keys ctrl+shift+s
dialog="$("$xclient" wait-title "Save As" 60000)" || finish "Ctrl+Shift+S opened no Save As dialog"
type_path "$dialog" "$work/saved.png"
keys Return
size="$("$xclient" wait-title "Save Size" 60000)" || finish "no save-size dialog"
focus "$size"
keys Return
# The saver writes beside the target and renames: a file there is whole.
until_true 120 test -s "$work/saved.png" || finish "Save As wrote nothing"
"$render" "$filter" "$work/photo.png" "$work/tool.png" || finish "the render tool failed"
differing="$(compare -metric AE "$work/saved.png" "$work/tool.png" null: 2>&1)"
[ "$differing" = "0" ] || finish "the saved pixels differ from the render tool's ($differing)"
echo "flows: Save As equals the render tool"

"$xclient" wait-gone "Save Size" 60000 || finish "the save-size dialog stayed"

# save_over_twice FILE TOOL WHAT [CHECK]: Ctrl+S twice in $window, each
# time accepting the size; each save renders the photo as it was opened, so
# FILE then holds the pixels of TOOL (one render by the tool), not the look
# twice, and passes CHECK FILE ROUND when one is given.
save_over_twice() {
    local file="$1" tool="$2" what="$3" check="${4:-}" round before size differing
    for round in 1 2; do
        before="$(stat -c %i "$file")"
        focus "$window"
        keys ctrl+s
        size="$("$xclient" wait-title "Save Size" 60000)" || finish "Ctrl+S opened no save-size dialog ($what $round)"
        focus "$size"
        keys Return
        # The file is written beside the photo and renamed over it: a new inode.
        replaced() { [ "$(stat -c %i "$file")" != "$before" ]; }
        until_true 120 replaced || finish "$what $round did not replace the file"
        "$xclient" wait-gone "Save Size" 60000 || finish "the save-size dialog stayed"
        [ -z "$check" ] || "$check" "$file" "$round"
        differing="$(compare -metric AE "$file" "$tool" null: 2>&1)"
        [ "$differing" = "0" ] || finish "$what $round differs from one render ($differing pixels)"
    done
}
save_over_twice "$work/photo.png" "$work/tool.png" "Save Over Original"
echo "flows: Save Over Original twice holds the look once"

focus "$window"
keys ctrl+b
wizard="$("$xclient" wait-title "Batch Process Folder" 60000)" || finish "Ctrl+B opened no batch wizard"
type_path "$wizard" "$work/in"
keys Tab ctrl+a
xdotool type --delay 20 "$work/out"
keys Return
six() { [ "$(ls "$work/out" | grep -c '_batch\.[a-z]*$')" -eq 6 ]; }
until_true 180 six || { ls "$work/out"; finish "the batch did not give six outputs"; }
echo "flows: the batch gave six outputs"

end_program "$window"
[ -s "$prefs" ] || finish "no preferences file after closing"
geometry="$(sed -n 's:.*<WindowGeometry type="string">\(.*\)</WindowGeometry>.*:\1:p' "$prefs")"
sections_before="$(tr -d '\n' <"$prefs" | grep -o '<CollapsedToolSections[^>]*>.*</CollapsedToolSections>')"
[ "$geometry" = "120 90 1000 700" ] || finish "stored geometry '$geometry', expected '120 90 1000 700'"

# ---- Second run: the window comes back where it was.
"$app" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "Pellucine" 60000)" || finish "the window did not come back"
shown="$(xdotool getwindowgeometry "$window")"
echo "$shown" | grep -q "Position: 120,90" || finish "restored at '$shown', expected position 120,90"
echo "$shown" | grep -q "Geometry: 1000x700" || finish "restored at '$shown', expected size 1000x700"
# Closed at once, most likely within the start-up wait of 3 s, which must
# end the program all the same.
end_program "$window"
sections_after="$(tr -d '\n' <"$prefs" | grep -o '<CollapsedToolSections[^>]*>.*</CollapsedToolSections>')"
[ "$sections_before" = "$sections_after" ] || finish "the panel sections changed: '$sections_before' / '$sections_after'"

# ---- A 16-bit TIFF master saved over twice: it stays 16 bits a sample and
# holds the pixels of one render by the tool, compared at 16 bits.
# bits_per_sample TIFF: the BitsPerSample values of the file's first
# directory, separated by spaces.
bits_per_sample() {
    python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
order = '<' if data[:2] == b'II' else '>'
first = struct.unpack(order + 'I', data[4:8])[0]
for i in range(struct.unpack(order + 'H', data[first:first + 2])[0]):
    entry = first + 2 + 12 * i
    tag, _, count = struct.unpack(order + 'HHI', data[entry:entry + 8])
    if tag == 258:  # SHORTs, in the entry when they fit its four bytes
        at = entry + 8 if count <= 2 else struct.unpack(order + 'I', data[entry + 8:entry + 12])[0]
        print(' '.join(str(v) for v in struct.unpack(order + '%dH' % count, data[at:at + 2 * count])))
EOF
}
cp "$(dirname "$0")/../../data/tiff/rgb-16bit.tiff" "$work/master.tiff" && chmod u+w "$work/master.tiff" ||
    finish "could not copy the 16-bit TIFF"
"$render" "$filter" "$work/master.tiff" "$work/tool16.tiff" || finish "the render tool failed on the 16-bit TIFF"
[ "$(bits_per_sample "$work/tool16.tiff")" = "16 16 16" ] || finish "the render tool wrote no 16-bit TIFF"
"$app" "$work/master.tiff" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "master.tiff" 60000)" || finish "the title never named the 16-bit TIFF"
"$xclient" drop "$window" "$filter" || finish "the drop on the 16-bit TIFF was not taken"
loaded "$filter" "$work/out.txt"
sixteen_bits() {  # sixteen_bits FILE ROUND
    local bits
    bits="$(bits_per_sample "$1")"
    [ "$bits" = "16 16 16" ] || finish "16-bit save $2 wrote '$bits' bits per sample"
}
save_over_twice "$work/master.tiff" "$work/tool16.tiff" "16-bit save" sixteen_bits
end_program "$window"
echo "flows: a 16-bit TIFF saved over twice stays 16-bit and holds the look once"
echo "flows: passed"
