#!/usr/bin/env bash
# Runs the program against the simulator: installs what is missing, builds what is out of
# date, prepares a working folder (default run/ in the repository, or the folder given as the
# first argument) with "chkip.bat" and an "APPSET.DAT" that points at the simulator, starts
# the simulator there (TCP on 127.0.0.1, port 10001 unless that is taken, and its USB face as
# ports/COM1), then the program with its log switched on. The simulator ends with the program.
# BUILD_DIR names the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/install-deps.sh
build="${BUILD_DIR:-build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target qmr3400 qmr-sim
bin="$(cd "$build/bin" && pwd)"

work="${1:-$root/run}"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
cp -f "$bin/chkip.bat" "$work/chkip.bat"
chmod +x "$work/chkip.bat"
cd "$work"

sim_pid=""
prog_pid=""
sim_out="$work/qmr-sim.out"

stop_sim() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  sim_pid=""
}
trap stop_sim EXIT

# Starts the simulator on the given TCP port and waits for its "ready"; false when it ended
# before that (the port taken, for one).
start_sim() {
  : >"$sim_out"
  "$bin/qmr-sim" --tcp-port "$1" --pty-com 1 --dir "$work" </dev/null >"$sim_out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 200); do
    if grep -qx 'ready' "$sim_out"; then
      return 0
    fi
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      wait "$sim_pid" 2>/dev/null || true
      sim_pid=""
      return 1
    fi
    sleep 0.05
  done
  stop_sim
  return 1
}

if ! start_sim 10001; then
  echo "port 10001 not available; the simulator takes a free port" >&2
  if ! start_sim 0; then
    echo "the simulator did not start:" >&2
    cat "$sim_out" >&2
    exit 1
  fi
fi
port="$(sed -n 's/^tcp-port \([0-9][0-9]*\)$/\1/p' "$sim_out" | head -n 1)"
if [ -z "$port" ]; then
  echo "the simulator did not say its TCP port:" >&2
  cat "$sim_out" >&2
  exit 1
fi

# "APPSET.DAT", 68 bytes: interface LAN (1), COM 1, address "127.0.0.1", the TCP port,
# terminator "\n", two unused address texts, a spare byte and four reserved bytes, all zero.
le32() {
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255))
}
zeros() {
  head -c "$1" /dev/zero
}
{
  printf "$(le32 1)"
  printf "$(le32 1)"
  printf '127.0.0.1'
  zeros 7
  printf "$(le32 "$port")"
  printf '\n'
  zeros 2
  zeros 16
  zeros 16
  zeros 1
  zeros 4
} >APPSET.DAT
size="$(stat -c %s APPSET.DAT)"
if [ "$size" -ne 68 ]; then
  echo "APPSET.DAT came out $size bytes long" >&2
  exit 1
fi

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$work/.runtime"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
fi
echo "simulator on 127.0.0.1:$port and $(sed -n 's/^pty-link //p' "$sim_out"); working folder $work"
# The program runs as a child so that a signal to this script reaches it and the simulator
# still ends behind it.
forward() {
  if [ -n "$prog_pid" ]; then
    kill -TERM "$prog_pid" 2>/dev/null || true
  fi
}
trap forward TERM INT HUP
"$bin/qmr3400" /l &
prog_pid=$!
# A signal interrupts the wait; wait again until the program has really ended.
while :; do
  wait "$prog_pid" 2>/dev/null || true
  kill -0 "$prog_pid" 2>/dev/null || break
done
status=0
wait "$prog_pid" 2>/dev/null || status=$?
exit "$status"
