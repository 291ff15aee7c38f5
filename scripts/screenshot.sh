#!/usr/bin/env bash
# Makes docs/screenshot.jpg, the README's picture: the program under a
# virtual X server with a photograph and a look, the look's filter file
# dropped on the window as a user would.
#   scripts/screenshot.sh [BUILD_DIR]   (default: build)
# Needs xvfb, xdotool and ImageMagick (scripts/setup.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
if [ -z "${PELLUCINE_IN_XVFB:-}" ]; then
    PELLUCINE_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1600x1000x24" bash "$0" "$build"
fi
app="$build/source/desktop_only/pellucine"
xclient="$build/tests/desktop_only/pellucine-xclient"
photo_source="$root/tests/data/png/flower.png"
look="$root/examples/gamma-exposure.plf"
for needed in "$app" "$xclient" "$photo_source" "$look"; do
    [ -e "$needed" ] || { echo "screenshot: missing $needed" >&2; exit 1; }
done
work="$(mktemp -d)"
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
export XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
export QT_QPA_PLATFORM=xcb
cp "$photo_source" "$work/flower.png"

"$app" "$work/flower.png" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
window="$("$xclient" wait-title "flower.png" 30000)" || { echo "screenshot: the window never showed the photo" >&2; exit 1; }
xdotool windowmove "$window" 0 0 && xdotool windowsize "$window" 1280 800
sleep 1
"$xclient" drop "$window" "$look" || { echo "screenshot: the look was not taken" >&2; exit 1; }
for _ in $(seq 1 100); do grep -q "got filter name" "$work/out.txt" && break; sleep 0.1; done
sleep 3  # the display pass of the new look
"$xclient" grab "$window" "$work/shot.ppm"
convert "$work/shot.ppm" -quality 85 "$root/docs/screenshot.jpg"
"$xclient" close "$window"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
pid=
echo "screenshot: wrote docs/screenshot.jpg"
