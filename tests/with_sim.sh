#!/usr/bin/env bash
# Runs one test command beside a fresh device simulator.
#
#   with_sim.sh [SIMULATOR] [--] COMMAND [ARGS...]
#
# SIMULATOR is the pallador-sim program (default: $PALLADOR_SIM). The wrapper
# starts it on a new pseudo-terminal, waits until its control channel is up,
# exports
#   PALLADOR_SIM_CONTROL  127.0.0.1:PORT of the control channel
#   PALLADOR_SIM_PORT     the name the driver opens: the link path natively,
#                         COMn under Wine
#   PALLADOR_SIM_LINK     the link's Unix path in both cases
#   PALLADOR_SIM_PORT_TEN_UP  under Wine only: a second name of the same line
#                         from COM10..COM19, which Windows opens only through
#                         its device namespace
# runs the command (a .exe under wine, in the prefix of scripts/wine-env.sh
# unless WINEPREFIX is set), stops the simulator whatever happens and exits
# with the command's status.
set -u

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
sim="${PALLADOR_SIM:-}"
if [ $# -gt 0 ] && [ "$1" != "--" ] && [[ "$1" == *pallador-sim ]]; then
  sim="$1"
  shift
fi
[ "${1:-}" = "--" ] && shift
if [ $# -eq 0 ]; then
  echo "with_sim: usage: with_sim.sh [SIMULATOR] [--] COMMAND [ARGS...]" >&2
  exit 2
fi
if [ -z "$sim" ] || [ ! -x "$sim" ]; then
  echo "with_sim: no simulator program at '${sim}' (the Windows build takes it from the" \
       "native build: build that first, or set PALLADOR_NATIVE_BUILD)" >&2
  exit 2
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/pallador-sim.XXXXXX")"
sim_pid=""
link=""
placeholder=""
ten_up=""

cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null
    for _ in $(seq 50); do
      kill -0 "$sim_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  # The simulator removes its own link; a placeholder it never replaced, or
  # a link it left to a terminal that is gone (it was killed), is ours.
  if [ -n "$placeholder" ] && [ -L "$placeholder" ]; then
    target="$(readlink "$placeholder")"
    if [ "$target" = "$work/unplugged" ] || { [[ "$target" == /dev/pts/* ]] && [ ! -e "$target" ]; }; then
      rm -f "$placeholder"
    fi
  fi
  [ -n "$ten_up" ] && rm -f "$ten_up"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

run=("$@")
if [[ "$1" == *.exe ]]; then
  if [ -z "${WINEPREFIX:-}" ]; then
    # shellcheck source=/dev/null
    source "$here/../scripts/wine-env.sh"
  fi
  export WINEDEBUG="${WINEDEBUG:--all}"
  devices="$WINEPREFIX/dosdevices"
  mkdir -p "$devices"
  # Claim a free COM1..COM9 (only those open by their bare name) with a
  # placeholder link; ln -s refuses a name that exists, so two wrappers
  # never share one.
  for n in 7 8 9 6 5 4 3 2; do
    # A link to a terminal that no longer exists was left by a killed run.
    stale="$(readlink "$devices/com$n" 2>/dev/null)"
    if [[ "$stale" == /dev/pts/* ]] && [ ! -e "$stale" ]; then
      rm -f "$devices/com$n"
    fi
    if ln -s "$work/unplugged" "$devices/com$n" 2>/dev/null; then
      link="$devices/com$n"
      placeholder="$link"
      export PALLADOR_SIM_PORT="COM$n"
      break
    fi
  done
  if [ -z "$link" ]; then
    echo "with_sim: no free COM port name in $devices" >&2
    exit 2
  fi
  run=("${PALLADOR_WINE:-wine}" "$@")
else
  link="$work/line"
  export PALLADOR_SIM_PORT="$link"
fi
export PALLADOR_SIM_LINK="$link"

"$sim" --link "$link" --control-port 0 --port-file "$work/port" --exit-with-parent \
       ${PALLADOR_SIM_VERBOSE:+--verbose} >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!

for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
if [ ! -s "$work/port" ]; then
  echo "with_sim: the simulator did not come up within 10 s" >&2
  cat "$work/sim.out" "$work/sim.err" >&2
  exit 2
fi
export PALLADOR_SIM_CONTROL="127.0.0.1:$(cat "$work/port")"

if [ -n "$placeholder" ]; then
  # Claimed once the simulator's link is in place: a link whose target link
  # is gone was left by a killed run.
  for n in $(seq 10 19); do
    alias="$devices/com$n"
    target="$(readlink "$alias" 2>/dev/null)"
    if [[ "$target" == "$devices"/com* ]] && [ ! -L "$target" ]; then
      rm -f "$alias"
    fi
    if ln -s "$link" "$alias" 2>/dev/null; then
      ten_up="$alias"
      export PALLADOR_SIM_PORT_TEN_UP="COM$n"
      break
    fi
  done
  [ -n "$ten_up" ] || echo "with_sim: no free COM10..COM19 name in $devices" >&2
fi

"${run[@]}"
status=$?
if [ -s "$work/sim.err" ]; then
  echo "with_sim: simulator said:" >&2
  cat "$work/sim.err" >&2
fi
exit $status
