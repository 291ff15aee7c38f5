#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program as it stands: until
# the application exists, the render tool renders a real photograph through
# the project's example filter.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

filter=examples/gamma-exposure.plf
photo=tests/data/png/flower.png
result=build/flower-gamma-exposure.png
build/tools/pellucine-render "$filter" "$photo" "$result"
echo "run: rendered $photo through $filter into $root/$result"
