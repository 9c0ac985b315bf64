#!/usr/bin/env bash
# Builds Release trees of both flavours, runs the frame-processing
# micro-benchmark and the line-rate benchmark against the device simulator
# in each (the Windows build's under Wine), and writes BENCHMARKS.md at the
# top of the tree: the machine, the date and its load, one table of both
# builds, one summary line per baud rate, the raw results and the analysis
# (bench/analysis.md).
#
#   scripts/bench.sh [SECONDS_PER_BAUD_RATE]     (default 10)
#
# The line runs byte by byte as the wire delivers (the figures the targets
# are judged on), and once more at 115200 baud with the simulator handing
# bytes over 8 at a time, as a UART's receive FIFO does, for comparison.
# The native build also runs at 115200 baud behind a USB adapter's latency
# timer of 16 ms (the usual default) and of 1 ms (the low-latency setting).
# Without mingw-w64 or Wine the Windows half is left out and said so.
set -eu

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-10}"
native="$root/build/release"
windows="$root/build/windows-release"
out="$root/BENCHMARKS.md"
burst=8
burst_baud=115200
adapter_baud=115200
adapter_timers="16 1"

if ! [ -e /usr/include/benchmark/benchmark.h ]; then
  echo "bench: Google Benchmark is missing (apt-get install libbenchmark-dev)" >&2
  exit 2
fi

echo "bench: building $native"
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$native" -j2 --target frame_processing line_rate pallador pallador-sim >/dev/null
sim="$native/sim/pallador-sim"

with_windows=0
if ! no_32bit="$(bash "$root/scripts/runs-32bit.sh")"; then
  echo "bench: $no_32bit: the shipped 32-bit Windows build is not measured" >&2
elif command -v i686-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  with_windows=1
  echo "bench: building $windows"
  cmake -S "$root" -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$windows" -j2 --target frame_timing line_rate pallador >/dev/null
  # shellcheck source=/dev/null
  source "$root/scripts/wine-env.sh"
else
  echo "bench: no mingw-w64 or Wine: the Windows build is not measured" >&2
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/pallador-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# The machine's busy and total jiffies, all cores (/proc/stat).
jiffies() {
  awk '/^cpu / { busy = $2 + $3 + $4 + $7 + $8 + $9; print busy, busy + $5 + $6 }' /proc/stat
}
# run LABEL FILE PROGRAM ARGS...: the line-rate program beside a simulator;
# appends its result lines to FILE, each prefixed "build=LABEL ", and how
# busy the whole machine was meanwhile (this run included) to $work/loads.
run() {
  local label="$1" file="$2" program="$3" before after
  shift 3
  before="$(jiffies)"
  bash "$root/tests/with_sim.sh" "$sim" -- "$program" "$@" | tr -d '\r' |
    sed -n "s/^baud=/build=$label baud=/p" >>"$file"
  after="$(jiffies)"
  echo "${label}, line_rate $*: the machine $(awk -v b="$before" -v a="$after" -v n="$(nproc)" '
    BEGIN { split(b, x, " "); split(a, y, " ");
            printf "%.0f%% busy (of %d cores), this run included", (y[1] - x[1]) * 100 / (y[2] - x[2]), n }'); load average $(cut -d' ' -f1 /proc/loadavg) after" \
    >>"$work/loads"
}

echo "bench: frame processing"
micro_native="$("$native/bench/frame_processing" --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null)"
micro_windows=""
if [ "$with_windows" = 1 ]; then
  micro_windows="$(wine "$windows/bench/frame_timing.exe" 2>/dev/null | tr -d '\r')"
  # Wine's server and its services linger after a program ends: gone before
  # the native line runs, which the host's scheduling delays would spoil.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
fi

echo "bench: line rate, native"
run native "$work/paced" "$native/bench/line_rate" --seconds "$seconds"
run native "$work/bursty" "$native/bench/line_rate" --seconds "$seconds" \
    --baud "$burst_baud" --burst "$burst"
for timer in $adapter_timers; do
  run native "$work/adapter" "$native/bench/line_rate" --seconds "$seconds" \
      --baud "$adapter_baud" --latency "$timer"
done
if [ "$with_windows" = 1 ]; then
  echo "bench: line rate, Windows build under Wine"
  run windows "$work/paced" "$windows/bench/line_rate.exe" --seconds "$seconds"
  run windows "$work/bursty" "$windows/bench/line_rate.exe" \
      --seconds "$seconds" --baud "$burst_baud" --burst "$burst"
  # The Wine server of this checkout's own prefix.
  wineserver -k 2>/dev/null || true
fi
lines="$(cat "$work/paced")"
bursty="$(cat "$work/bursty")"
adapter="$(cat "$work/adapter")"

field() {  # field KEY LINE
  sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"
}
# The line of one build at one baud rate.
line_of() {  # line_of BUILD BAUD LINES
  grep "^build=$1 baud=$2 " <<<"$3" || true
}
# A figure per frame of the process plus the Wine server's, where there is one.
total() {  # total LINE PROCESS_KEY SERVER_KEY
  awk -v a="$(field "$2" "$1")" -v b="$(field "$3" "$1")" \
      'BEGIN { if (b == "-" || b == "") b = 0; printf "%.2f", a + b }'
}
micro_row() {  # micro_row CSV NAME
  grep "^\"$2\"," <<<"$1" | cut -d, -f3 | awk '{ printf "%.0f", $1 }'
}
verdict() {  # verdict CONDITION_AWK
  if awk "BEGIN { exit !($1) }"; then echo met; else echo MISSED; fi
}

model="$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -1)"
wine_version="$( [ "$with_windows" = 1 ] && wine --version 2>/dev/null || echo "not measured")"
table_row() {  # table_row LINE
  local l="$1"
  printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' \
    "$(field build "$l")" "$(field baud "$l")" "$(field burst "$l")" "$(field rate "$l")" \
    "$(field capacity "$l")" "$(field ratio "$l")" \
    "$(field latency_median_us "$l")" "$(field latency_p99_us "$l")" \
    "$(field cpu_us_per_frame "$l")" "$(field system_us_per_frame "$l")" \
    "$(field wakeups_per_frame "$l")" "$(field server_cpu_us_per_frame "$l")" \
    "$(field cpu_percent "$l")" "$(total "$l" cpu_percent server_cpu_percent)"
}
{
  echo "# Benchmarks"
  echo
  echo "Machine: $(nproc) cores, ${model:-unknown CPU}, Linux $(uname -r); ${wine_version};" \
       "$(date -u '+%Y-%m-%d %H:%M UTC'); Release builds."
  echo "Produced by \`scripts/bench.sh\` (${seconds} s of steady state per baud rate). The machine"
  echo "is shared with other work, so figures vary from run to run; the load during each run"
  echo "(the benchmark itself keeps it at 3 to 30%, the Wine runs more):"
  echo
  sed 's/^/- /' "$work/loads"
  echo
  echo "## One frame's processing, without I/O (ns)"
  echo
  echo "| piece | native | Windows build under Wine |"
  echo "|---|---|---|"
  for name in Decode MapThroughCubicCurves CompareWithPublished PublishUnderMutex TrackerStep \
              WholeFrameProcessing; do
    echo "| $name | $(micro_row "$micro_native" "$name") | $(micro_row "$micro_windows" "$name") |"
  done
  echo
  echo "Native: Google Benchmark. Windows build: the plain timer \`frame_timing\` (median of"
  echo "41 batches), since Google Benchmark is not built for mingw-w64."
  echo
  echo "## At the line's rate, against the simulator"
  echo
  echo "burst 1: bytes handed over one by one as they cross the line; burst ${burst}: ${burst} at a"
  echo "time, as a UART's receive FIFO does. CPU per frame and host CPU are the benchmark"
  echo "process's; under Wine the Wine server also works for it (its own column), and the"
  echo "last column is the two together."
  echo
  echo "| build | baud | burst | frames/s | capacity (baud/140) | published / capacity | latency median (µs) | latency p99 (µs) | CPU per frame (µs) | of which system (µs) | wake-ups per frame | Wine server CPU per frame (µs) | host CPU (% of a core) | with the Wine server (%) |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
  while read -r l; do
    [ -n "$l" ] && table_row "$l"
  done <<<"$lines"$'\n'"$bursty"
  echo
  echo "## Behind a USB adapter's latency timer"
  echo
  echo "The simulator holds the bytes that reach the adapter until the timer runs out (or 62"
  echo "are waiting) and hands them over together. The latency columns start when the adapter"
  echo "hands the frame over, so they leave out the time it was held."
  echo
  echo "| build | baud | latency timer (ms) | frames/s | capacity (baud/140) | published / capacity | latency median (µs) | host CPU (% of a core) |"
  echo "|---|---|---|---|---|---|---|---|"
  while read -r l; do
    [ -n "$l" ] && printf '| %s | %s | %s | %s | %s | %s | %s | %s |\n' \
      "$(field build "$l")" "$(field baud "$l")" "$(field latency "$l")" "$(field rate "$l")" \
      "$(field capacity "$l")" "$(field ratio "$l")" "$(field latency_median_us "$l")" \
      "$(field cpu_percent "$l")"
  done <<<"$adapter"
  echo
  echo "## Summary"
  echo
  whole_native="$(micro_row "$micro_native" WholeFrameProcessing)"
  whole_windows="$(micro_row "$micro_windows" WholeFrameProcessing)"
  echo "- Frame processing: native $(awk -v n="$whole_native" 'BEGIN { printf "%.2f", n / 1000 }') µs" \
       "(target < 12 µs: $(verdict "$whole_native < 12000"))$( [ -n "$whole_windows" ] &&
       echo "; Windows build under Wine $(awk -v n="$whole_windows" 'BEGIN { printf "%.2f", n / 1000 }') µs ($(verdict "$whole_windows < 12000"))");" \
       "zero allocations per steady-state cycle: checked by \`alloc_tests\` in both builds."
  for baud in 9600 38400 115200; do
    need=0.99
    [ "$baud" -ge 115200 ] && need=0.95
    text="- ${baud} baud:"
    for build in native windows; do
      l="$(line_of "$build" "$baud" "$lines")"
      [ -n "$l" ] || continue
      ratio="$(field ratio "$l")"
      median="$(field latency_median_us "$l")"
      cpu="$(total "$l" cpu_percent server_cpu_percent)"
      name="native"
      [ "$build" = windows ] && name="Windows build under Wine"
      part="${name} $(awk -v r="$ratio" 'BEGIN { printf "%.1f", r * 100 }')% of capacity"
      part+=" (≥ $(awk -v n="$need" 'BEGIN { printf "%g", n * 100 }')%: $(verdict "$ratio >= $need")),"
      part+=" latency median ${median} µs"
      [ "$baud" = 115200 ] && part+=" (< 87 µs: $(verdict "$median < 87"))"
      part+=", p99 $(field latency_p99_us "$l") µs, host CPU ${cpu}% (< 5%: $(verdict "$cpu < 5"))"
      text+=" ${part};"
    done
    echo "${text%;}."
  done
  echo
  echo "## Raw results"
  echo
  echo '```'
  echo "$lines"
  echo "$bursty"
  echo "$adapter"
  echo '```'
  # What the figures mean, and where the misses lie.
  if [ -f "$root/bench/analysis.md" ]; then
    echo
    cat "$root/bench/analysis.md"
  fi
} >"$out"
echo "bench: wrote $out"
