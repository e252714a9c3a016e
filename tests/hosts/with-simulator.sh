#!/bin/sh
# with-simulator.sh SIMULATOR PROGRAM ARGS...: runs PROGRAM with the line of a
# simulated controller (qx25-sim) in place of the argument @LINE@, and ends
# the simulator after it. Exits with PROGRAM's status.
set -eu
sim=$1
shift
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkfifo "$work/ready"
"$sim" --link "$work/line" --flow-rate 10 --controllers 1 >"$work/ready" 2>"$work/sim.log" &
sim_pid=$!
# Kept open, so that the simulator never writes into a closed pipe; it prints
# its line once it answers.
exec 3<"$work/ready"
if ! read -r line <&3 || [ "$line" != "$work/line" ]; then
  echo "the simulator did not start:" >&2
  cat "$work/sim.log" >&2
  exit 1
fi
program=$1
shift
for arg; do
  [ "$arg" = @LINE@ ] && arg=$line
  set -- "$@" "$arg"
  shift
done
status=0
"$program" "$@" || status=$?
exit $status
