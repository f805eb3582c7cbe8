#!/usr/bin/env bash
# Takes pictures of the dB and percent windows, local and remote, under Xvfb against the
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
cmake --build "$build" -j"$(nproc)" --target qmr_screens
out="${1:-$build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
env -u QT_QPA_PLATFORM QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/qmr_screens" "$out"
