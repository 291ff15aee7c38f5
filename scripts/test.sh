#!/usr/bin/env bash
# The whole check: install what is missing, build, run every test, then
# build the core tests with AddressSanitizer and UndefinedBehaviorSanitizer
# and run them too. Fails when anything fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
export CTEST_OUTPUT_ON_FAILURE=1
export QT_QPA_PLATFORM=offscreen

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
echo "== tests"
ctest --test-dir build -j "$jobs" --timeout 900

echo "== sanitizer build (core tests)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELLUCINE_SANITIZE=ON -DPELLUCINE_CORE_ONLY=ON
cmake --build build-asan -j "$jobs"
echo "== sanitizer tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$jobs" --timeout 1800
echo "== sanitizer build (image loading and saving, document view and application tests)"
# The decoders and encoders over the codec libraries (damaged files above
# all), and the display thread's hand-over (a view closed in the middle of a
# pass, the thread lock given back by another thread), under
# AddressSanitizer and UBSan.
cmake -S . -B build-asan-desktop -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELLUCINE_SANITIZE=ON
cmake --build build-asan-desktop -j "$jobs" --target test_media test_desktop_display test_desktop_app
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions="$root/tests/desktop_only/lsan-suppressions.txt" \
  ctest --test-dir build-asan-desktop -j "$jobs" --timeout 1800 -R '^(Media|TiffCodec|PngCodec|BatchLookAhead|CubeLut|ProcessingGeometry|ProcessingQueue|ModOrdering|MainWindowTest|ControlStripTest|MessageDialog|StartupFile|FlowsTest|Rows/PresetFolders|PresetFolderMigration|RestoredGeometry|BatchNames|PanelWindowTest|CropToolTest|HueHandle|ArchiveFolder|RevealOverDBus|ProgressTest|RenderQueueRows|Scopes|PixelInspector|InspectorTest|WindowSlots|WindowConnections|WindowCheckMarks|SaveReports)'
echo "== all tests passed"
