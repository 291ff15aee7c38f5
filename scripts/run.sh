#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program as it stands.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
echo "run: the core library is built (build/source/libpellucine_core.a); the render tool and the application come with later work."
