#!/usr/bin/env bash
# The main job: installs what is missing, builds the native tree, and shows
# the device (here the simulator) through the reference host for a while.
#
#   scripts/run.sh [--seconds S] [other pallador-host options]
#
# Ends after S seconds (default 30) or at Ctrl-C.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh main

seconds=30
pass=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="${2:?--seconds needs a value}"; shift 2 ;;
    *) pass+=("$1"); shift ;;
  esac
done

# A tree of its own without the tests: the main job needs nothing but the
# native toolchain (scripts/setup.sh main).
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/run -j2 --target pallador-host pallador pallador-sim
exec build/run/pallador-host examples/tracker.conf --simulate --seconds "$seconds" ${pass[@]+"${pass[@]}"}
