#!/usr/bin/env bash
# Runs the program against the simulator: installs what is missing, builds what is out of
# date, then prepares the working folder (default run/ in the repository, or the folder given
# as the last argument) and runs the program there with its log switched on:
#
#   tools/run.sh [--lan] [FOLDER]
#
# By default the simulator shows its USB face (ports/COM1) and "APPSET.DAT" selects USB, COM 1;
# with --lan it listens on 127.0.0.1 and "APPSET.DAT" selects LAN. One Connect reaches remote.
# The simulator ends with the program. BUILD_DIR names the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
face=()
if [ "${1:-}" = "--lan" ]; then
  face=(--lan)
  shift
fi
work="${1:-$root/run}"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
cd "$root"
bash tools/install-deps.sh
build="${BUILD_DIR:-build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target qmr3400 qmr-sim
exec bash "$root/tools/run-sim.sh" "${face[@]}" "$build/bin" "$work"
