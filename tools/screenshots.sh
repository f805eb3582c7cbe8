#!/usr/bin/env bash
# Takes pictures of the dB, percent and settings windows, local and remote, under Xvfb against the
# simulator (in-process, TCP on 127.0.0.1), into the folder given as the first argument
# (default build/screenshots). BUILD_DIR names the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/install-deps.sh
build="${BUILD_DIR:-build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target qmr_screens qmr_setup_screen
out="${1:-$build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
# In a sanitizer build the X client libraries' exit-time allocations are not ours to report.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
env -u QT_QPA_PLATFORM QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/qmr_screens" "$out"
# Setup's window too, held open.
env -u QT_QPA_PLATFORM QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/qmr_setup_screen" "$out/setup.png"
