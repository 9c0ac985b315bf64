#!/usr/bin/env bash
# Builds the native Release tree, runs the frame-processing micro-benchmark
# and the line-rate benchmark against the device simulator, and writes
# BENCHMARKS.md at the top of the tree.
#
#   scripts/bench.sh [SECONDS_PER_BAUD_RATE]     (default 10)
set -eu

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-10}"
build="$root/build/release"
out="$root/BENCHMARKS.md"

if ! [ -e /usr/include/benchmark/benchmark.h ]; then
  echo "bench: Google Benchmark is missing (apt-get install libbenchmark-dev)" >&2
  exit 2
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target frame_processing line_rate pallador pallador-sim >/dev/null

micro="$("$build/bench/frame_processing" --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null)"
lines="$(bash "$root/tests/with_sim.sh" "$build/sim/pallador-sim" -- \
         "$build/bench/line_rate" --seconds "$seconds")"

field() {  # field KEY LINE
  sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"
}

model="$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -1)"
{
  echo "# Benchmarks"
  echo
  echo "Machine: $(nproc) cores, ${model:-unknown CPU}; $(date -u '+%Y-%m-%d %H:%M UTC'); native Release build."
  echo "Produced by \`scripts/bench.sh\`; the machine is shared, so figures vary from run to run."
  echo
  echo "## One frame's processing, without I/O"
  echo
  echo "| piece | time per frame (ns) |"
  echo "|---|---|"
  tail -n +2 <<<"$micro" | grep '^"' | while IFS=, read -r name _ real _ _; do
    printf '| %s | %.0f |\n' "${name//\"/}" "$real"
  done
  echo
  echo "Target: under 12 µs for the whole frame (WholeFrameProcessing: decoding, mapping"
  echo "through cubic curves, comparison, publication under the mutex, tracker step)."
  echo
  echo "## At the line's rate, against the simulator (${seconds} s of steady state each)"
  echo
  echo "| baud | frames/s | capacity (baud/140) | published / capacity | read / capacity | latency median (µs) | latency p99 (µs) | CPU per frame (µs) | of which system (µs) | wake-ups per frame | host CPU (% of a core) |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|"
  while read -r line; do
    [ -n "$line" ] || continue
    printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' \
      "$(field baud "$line")" "$(field rate "$line")" "$(field capacity "$line")" \
      "$(field ratio "$line")" "$(field read_ratio "$line")" \
      "$(field latency_median_us "$line")" "$(field latency_p99_us "$line")" \
      "$(field cpu_us_per_frame "$line")" "$(field system_us_per_frame "$line")" \
      "$(field wakeups_per_frame "$line")" "$(field cpu_percent "$line")"
  done <<<"$lines"
  echo
  echo "## Summary"
  echo
  while read -r line; do
    [ -n "$line" ] || continue
    baud="$(field baud "$line")"
    ratio="$(field ratio "$line")"
    need=0.99
    [ "$baud" -ge 115200 ] && need=0.95
    verdict="met"
    awk -v r="$ratio" -v n="$need" 'BEGIN { exit !(r >= n) }' || verdict="MISSED"
    cpu="$(field cpu_percent "$line")"
    cpu_verdict="met"
    awk -v c="$cpu" 'BEGIN { exit !(c < 5) }' || cpu_verdict="MISSED"
    echo "- ${baud} baud: $(awk -v r="$ratio" 'BEGIN { printf "%.1f", r * 100 }')% of capacity published" \
         "(target ≥ $(awk -v n="$need" 'BEGIN { printf "%g", n * 100 }')%: ${verdict});" \
         "latency median $(field latency_median_us "$line") µs, p99 $(field latency_p99_us "$line") µs;" \
         "host CPU ${cpu}% of a core (target < 5%: ${cpu_verdict})."
  done <<<"$lines"
  echo
  echo "## Raw results"
  echo
  echo '```'
  echo "$lines"
  echo '```'
  # What the figures mean, and where the misses lie.
  if [ -f "$root/bench/analysis.md" ]; then
    echo
    cat "$root/bench/analysis.md"
  fi
} >"$out"
echo "bench: wrote $out"
