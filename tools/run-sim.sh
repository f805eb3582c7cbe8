#!/usr/bin/env bash
# Prepares a working folder for one face of the simulator and runs the program there:
#
#   tools/run-sim.sh [--lan] BIN_DIR FOLDER [PROGRAM [ARGUMENT...]]
#
# BIN_DIR is a build's bin/ folder (qmr-sim, qmr3400, chkip.bat). By default the simulator's
# USB face alone is published as ports/COM1 with its descriptor and "APPSET.DAT" selects USB,
# COM 1. With --lan its network face alone listens on 127.0.0.1 (port 10001, or a free one when
# that is taken) and "APPSET.DAT" selects LAN on that address and port. Either way one Connect
# reaches remote: the program refuses LAN while a USB instrument is listed, so the two faces
# are never published together. PROGRAM (default: BIN_DIR/qmr3400 with its log on) runs in the
# folder. When it ends, or this script gets SIGTERM, SIGINT or SIGHUP, the program and the
# simulator end and no port of theirs stays in the folder. tools/run.sh builds, then calls this.
set -euo pipefail

face=usb
if [ "${1:-}" = "--lan" ]; then
  face=lan
  shift
fi
if [ $# -lt 2 ]; then
  echo "usage: $0 [--lan] BIN_DIR FOLDER [PROGRAM [ARGUMENT...]]" >&2
  exit 2
fi
bin="$(cd "$1" && pwd)"
work="$2"
shift 2
if [ $# -eq 0 ]; then
  set -- "$bin/qmr3400" /l
fi

mkdir -p "$work"
work="$(cd "$work" && pwd)"
cd "$work"

# One run per folder: a second simulator would take over the first one's ports/COM1 and
# remove it when it ended. The simulator and the program hold the lock too, so it lasts as
# long as anything of this run does.
exec 9>"$work/.run.lock"
if ! flock -n 9; then
  echo "another run uses $work" >&2
  exit 1
fi

# The USB face that a run publishes; only a run that was killed outright leaves it behind,
# and a stale one would make a LAN run refuse to connect.
clear_ports() {
  rm -f "$work/ports/COM1" "$work/ports/COM1.usb"
}
clear_ports
cp -f "$bin/chkip.bat" "$work/chkip.bat"
chmod +x "$work/chkip.bat"

sim_pid=""
prog_pid=""
sim_out="$work/qmr-sim.out"

stop_sim() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  sim_pid=""
  clear_ports
}
trap stop_sim EXIT

# Starts the simulator's face and waits for its "ready"; false when it ended before that (the
# TCP port taken, for one). The argument is the TCP port of the LAN face.
start_sim() {
  : >"$sim_out"
  if [ "$face" = lan ]; then
    "$bin/qmr-sim" --tcp-port "$1" --dir "$work" </dev/null >"$sim_out" 2>&1 &
  else
    "$bin/qmr-sim" --no-tcp --pty-com 1 --dir "$work" </dev/null >"$sim_out" 2>&1 &
  fi
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

port=10001
if [ "$face" = lan ]; then
  if ! start_sim 10001; then
    echo "port 10001 not available; the simulator takes a free port" >&2
    start_sim 0 || true
  fi
  port="$(sed -n 's/^tcp-port \([0-9][0-9]*\)$/\1/p' "$sim_out" | head -n 1)"
else
  start_sim 0 || true
fi
if [ -z "$sim_pid" ] || [ -z "$port" ]; then
  echo "the simulator did not start:" >&2
  cat "$sim_out" >&2
  exit 1
fi

# "APPSET.DAT", 68 bytes: the interface (0 USB, 1 LAN), COM 1, the address "127.0.0.1" (also
# for USB, so that a switch to LAN in Com SET stays on this machine), the TCP port, the
# terminator "\n", two unused address texts, a spare byte and four reserved bytes, all zero.
le32() {
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255))
}
zeros() {
  head -c "$1" /dev/zero
}
interface=0
if [ "$face" = lan ]; then
  interface=1
fi
{
  printf "$(le32 "$interface")"
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
} >APPSET.DAT.new
size="$(stat -c %s APPSET.DAT.new)"
if [ "$size" -ne 68 ]; then
  echo "APPSET.DAT came out $size bytes long" >&2
  exit 1
fi
mv -f APPSET.DAT.new APPSET.DAT

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$work/.runtime"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
fi
if [ "$face" = lan ]; then
  echo "simulator on 127.0.0.1:$port (LAN); working folder $work"
else
  echo "simulator on $(sed -n 's/^pty-link //p' "$sim_out") (USB, COM 1); working folder $work"
fi
# The program runs as a child so that a signal to this script reaches it and the simulator
# still ends behind it.
forward() {
  if [ -n "$prog_pid" ]; then
    kill -TERM "$prog_pid" 2>/dev/null || true
  fi
}
trap forward TERM INT HUP
"$@" &
prog_pid=$!
# A signal interrupts the wait; wait again until the program has really ended.
while :; do
  wait "$prog_pid" 2>/dev/null || true
  kill -0 "$prog_pid" 2>/dev/null || break
done
status=0
wait "$prog_pid" 2>/dev/null || status=$?
exit "$status"
