#!/usr/bin/env bash
# Stepping through a folder past a file that cannot be read, and the reason
# beneath "Can't Load File", under a virtual X server, driven as a user
# would:
#   navigation_test.sh PELLUCINE XCLIENT
# (run under with_xvfb.sh). A folder of a.jpg, b.png, bb.jpg (text) and
# c.jpg in three solid colours: Shift+Right from a.jpg reaches b.png, fails
# on bb.jpg (b.png stays), then reaches c.jpg; Shift+Left the same way back.
# Which photo is shown is read from the title and from the window's pixels.
# Three bad files, each by another way of opening, must show their reason
# in the dialog's smaller detail line: an empty file (the command line), a
# PNG header of 100000 x 100000 pixels (the open dialog) and a JPEG header
# of 65000 x 65000 pixels (Load Previous, wrapping round the folder).
set -uo pipefail
app="$1"
xclient="$2"
source "$(dirname "$0")/xvfb_helpers.sh"

finish() {
    echo "navigation: $1"
    ls -la "$work/walk" "$work/bad" 2>/dev/null
    echo "--- stdout"; cat "$work/out.txt" 2>/dev/null; echo "--- stderr"; tail -n 20 "$work/err.txt" 2>/dev/null
    exit 1
}

red=220,40,30
green=40,190,60
blue=30,60,210
mkdir -p "$work/walk" "$work/bad"
"$xclient" make-photo "$work/red.png" 600 400 "$red" &&
    "$xclient" make-photo "$work/walk/b.png" 600 400 "$green" &&
    "$xclient" make-photo "$work/blue.png" 600 400 "$blue" || finish "could not make the photos"
convert "$work/red.png" -quality 95 "$work/walk/a.jpg" &&
    convert "$work/blue.png" -quality 95 "$work/walk/c.jpg" || finish "could not make the JPEGs"
echo "not a photo" >"$work/walk/bb.jpg"

# The bad files, made here. An empty file.
: >"$work/bad/empty.jpg"
# A PNG whose header, checksum included, claims 100000 x 100000 pixels
# (0x186a0), with no pixel data. gzip's trailer holds the CRC-32 of its
# input, least significant byte first.
ihdr='IHDR\x00\x01\x86\xa0\x00\x01\x86\xa0\x08\x02\x00\x00\x00'
crc="$(printf "$ihdr" | gzip -c | tail -c 8 | head -c 4 | od -An -tx1 | tr -d ' \n')"
{
    printf '\x89PNG\r\n\x1a\n\x00\x00\x00\x0d'
    printf "$ihdr"
    printf "\\x${crc:6:2}\\x${crc:4:2}\\x${crc:2:2}\\x${crc:0:2}"
    printf '\x00\x00\x00\x00IEND\xae\x42\x60\x82'
} >"$work/bad/huge.png"
# A whole small JPEG whose frame header is made to claim 65000 x 65000
# pixels (0xfde8): the segments are walked to the frame header (SOF0..2),
# whose height and width lie 5 bytes after its marker.
convert -size 64x64 xc:gray -quality 90 "$work/d.jpg" || finish "could not make the small JPEG"
hex="$(od -An -v -tx1 "$work/d.jpg" | tr -d ' \n')"
at=2
while [ $(( at * 2 + 8 )) -le "${#hex}" ] && ! [[ "${hex:at*2:4}" =~ ^ffc[012]$ ]]; do
    at=$(( at + 2 + 16#${hex:at*2+4:4} ))
done
[[ "${hex:at*2:4}" =~ ^ffc[012]$ ]] || finish "no frame header in the small JPEG"
printf '\xfd\xe8\xfd\xe8' | dd of="$work/d.jpg" bs=1 seek=$(( at + 5 )) conv=notrunc status=none

count_of() {  # count_of R,G,B: pixels of about that colour in the window
    "$xclient" has-colours "$window" "$1" | sed -n 's/^[0-9,]*: \([0-9]*\) of .*/\1/p'
}
# shows NAME COLOUR: the title names NAME and the window shows its colour
# over a tenth of its pixels, and the other photos' colours hardly at all.
shows() {
    "$xclient" wait-title "RAW - $1" 60000 >/dev/null ||
        finish "the title never named $1: $(xdotool getwindowname "$window")"
    only() {
        local total colour
        total="$("$xclient" has-colours "$window" "$2" | sed -n 's/.* of \([0-9]*\) pixels$/\1/p')"
        [ -n "$total" ] && [ $(( $(count_of "$2") * 10 )) -ge "$total" ] || return 1
        for colour in "$red" "$green" "$blue"; do
            [ "$colour" = "$2" ] || [ $(( $(count_of "$colour") * 100 )) -lt "$total" ] || return 1
        done
    }
    until_true 60 only "$@" || finish "$1 is named but its colour $2 is not what the window shows"
    echo "navigation: shows $1"
}
# cant_load REASON: "Can't Load File" comes, alone, with REASON in its
# detail line (10 pixels, light grey), and is dismissed with Return.
cant_load() {
    local dialog
    dialog="$("$xclient" wait-title "Can't Load File" 60000)" || finish "no Can't Load File for '$1'"
    until_true 60 "$xclient" find-text-flat "$dialog" "$1" 10 200,200,200 >/dev/null ||
        { "$xclient" grab "$dialog" "$work/dialog.ppm"; finish "the message does not show '$1'"; }
    [ "$("$xclient" count-titled "Can't Load File")" -eq 1 ] || finish "more than one Can't Load File"
    focus "$dialog"
    keys Return
    "$xclient" wait-gone "Can't Load File" 60000 || finish "Can't Load File did not go"
    echo "navigation: Can't Load File gave '$1'"
}
step() {  # step KEY: the key pressed with the focus in the window
    focus "$window"
    keys "$1"
}

# ---- The command line: the empty file.
"$app" "$work/bad/empty.jpg" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
cant_load "empty.jpg: the file is empty"
window="$("$xclient" wait-title "Pellucine" 60000)" || finish "no window"
place "$window" 0 0 1000 700

# ---- Forwards and back through the folder.
"$xclient" drop "$window" "$work/walk/a.jpg" || finish "the drop of a.jpg was not taken"
shows a.jpg "$red"
step shift+Right
shows b.png "$green"
step shift+Right
cant_load "bb.jpg: is not an image this program reads"
shows b.png "$green"
step shift+Right
shows c.jpg "$blue"
step shift+Left
cant_load "bb.jpg: is not an image this program reads"
shows c.jpg "$blue"
step shift+Left
shows b.png "$green"
step shift+Left
shows a.jpg "$red"

# ---- Load Previous wraps round to the huge JPEG, then goes on past it.
cp "$work/d.jpg" "$work/walk/d.jpg"
step shift+Left
cant_load "d.jpg: is too large: 65000 x 65000 pixels is over the limit of one gigapixel"
shows a.jpg "$red"
step shift+Left
shows c.jpg "$blue"

# ---- The open dialog: the huge PNG.
step ctrl+o
chooser="$("$xclient" wait-title "Load Image" 60000)" || finish "Ctrl+O opened no open dialog"
focus "$chooser"
keys ctrl+a
xdotool type --delay 20 "$work/bad/huge.png"
keys Return
cant_load "huge.png: is too large: 100000 x 100000 pixels is over the limit of one gigapixel"
shows c.jpg "$blue"

end_program "$window"
echo "navigation: passed"
