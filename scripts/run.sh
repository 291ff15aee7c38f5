#!/usr/bin/env bash
# Installs what is missing, builds, renders a photo of the project through
# the example filter with the render tool, then starts the application on
# that photo. Without a desktop session (no DISPLAY or WAYLAND_DISPLAY) it
# ends after the render, saying where the result is.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target pellucine pellucine-render

filter=examples/gamma-exposure.plf
photo=tests/data/png/flower.png
result=build/flower-gamma-exposure.png
build/tools/pellucine-render "$filter" "$photo" "$result"
echo "run: rendered $photo through $filter into $root/$result"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): the application needs a desktop session;"
    echo "run: the rendered photo is $root/$result"
    exit 0
fi
echo "run: starting pellucine on $photo"
exec build/source/desktop_only/pellucine "$photo"
