#!/usr/bin/env bash
# The plug-in, driven as a host drives it (natively), against the simulator in
# its fresh mode with random line faults (bytes lost and stray bytes): faults
# made, faults the driver noticed ("Out of step, finding the frame again."),
# records published out of step, and the time back in step after a fault.
#
#   scripts/line-soak.sh [SECONDS] [BAUD] [RATE] [SEED]
#
# Defaults: 600 s, 9600 baud, a fault in about 1 of 100 answers, seed 1 (the
# same seed gives the same faults). LINE_SOAK_KINDS changes the kinds (a
# comma list of lose,stray,corrupt); LINE_SOAK_NOISE=N plays a device at rest
# whose valuators wander within 512 +- N instead; LINE_SOAK_ANSWER_DELAY=MS
# and LINE_SOAK_LATENCY=MS a device slow to answer and a USB adapter's
# latency timer. RATE 0 makes no faults: every notice is then a false alarm.
# Prints one key=value line and a
# summary; both are also kept in build/line-soak/result.txt.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-600}" baud="${2:-9600}" rate="${3:-100}" seed="${4:-1}"
kinds="${LINE_SOAK_KINDS:-lose,stray}"
noise="${LINE_SOAK_NOISE:-0}"
answer_delay="${LINE_SOAK_ANSWER_DELAY:-0}"
latency="${LINE_SOAK_LATENCY:-0}"
for n in "$seconds" "$baud" "$rate" "$seed"; do
  [[ "$n" =~ ^[0-9]+$ ]] || { echo "line-soak: usage: line-soak.sh [SECONDS] [BAUD] [RATE] [SEED]" >&2; exit 2; }
done
build="$root/build/native"
out="$root/build/line-soak"
if ! [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target line_soak pallador pallador-sim >/dev/null
mkdir -p "$out"
echo "line-soak: ${seconds} s at ${baud} baud, faults 1/${rate} (${kinds}), seed ${seed}" >&2
bash "$root/tests/with_sim.sh" "$build/sim/pallador-sim" -- "$build/bench/line_soak" \
  --seconds "$seconds" --baud "$baud" --rate "$rate" --seed "$seed" --kinds "$kinds" --noise "$noise" \
  --answer-delay "$answer_delay" --latency "$latency" |
  tee "$out/result.txt"
