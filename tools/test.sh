#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
# Extra arguments go to CMake's configure step (for example -DQMR_ASAN=ON); BUILD_DIR names
# the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
