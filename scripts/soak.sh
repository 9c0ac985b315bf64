#!/usr/bin/env bash
# Long run of the reference host against the simulator: every frame differs
# from the one before (the simulator's fresh mode), so every frame is decoded,
# mapped and published. Samples the host's memory from /proc and ends with a
# summary.
#
#   scripts/soak.sh [SECONDS]          (default 3600)
#
# Environment: SOAK_BAUD (default 9600, the device's usual speed),
# SOAK_CONFIG (default examples/tracker.conf: controller and emulated tracker),
# SOAK_INTERVAL (seconds between memory samples; default a twentieth of the
# run, at most 60).
#
# Everything is kept in build/soak/ (or $SOAK_DIR): host.err (the host's and plug-in's log),
# records.jsonl (the published records), memory.tsv (the samples),
# summary.txt (what is printed at the end).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The part that runs beside the simulator, inside tests/with_sim.sh.
if [ "${1:-}" = "--beside-simulator" ]; then
  seconds="$2" out="$3" host="$4" config="$5" baud="$6" interval="$7"

  # A copy of the configuration that reads the simulator's line.
  grep -viE '^[[:space:]]*(port|serialport|baud|baudrate)([[:space:]]|$)' "$config" >"$out/soak.conf"
  printf 'port %s\nbaud %s\n' "$PALLADOR_SIM_PORT" "$baud" >>"$out/soak.conf"

  control="${PALLADOR_SIM_CONTROL#*:}"
  exec 3<>"/dev/tcp/127.0.0.1/$control"
  printf 'mode fresh\n' >&3
  read -r reply <&3
  [[ "$reply" == ok* ]] || { echo "soak: simulator refused fresh mode: $reply" >&2; exit 1; }

  "$host" "$out/soak.conf" --json >"$out/records.jsonl" 2>"$out/host.err" &
  pid=$!
  start=$(date +%s)
  printf 'elapsed_s\tvm_rss_kb\tvm_hwm_kb\trecords\n' >"$out/memory.tsv"
  sample() {
    local rss hwm
    rss="$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)"
    hwm="$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)"
    [ -n "$rss" ] || return 1
    printf '%s\t%s\t%s\t%s\n' "$(($(date +%s) - start))" "$rss" "$hwm" \
      "$(wc -l <"$out/records.jsonl")" >>"$out/memory.tsv"
  }
  # The first sample once the device is detected and records flow (at most
  # 15 s: detection takes a few seconds).
  for _ in $(seq 150); do
    [ -s "$out/records.jsonl" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  sample || { echo "soak: the host ended at its start" >&2; cat "$out/host.err" >&2; exit 1; }
  while :; do
    now=$(($(date +%s) - start))
    left=$((seconds - now))
    [ "$left" -gt 0 ] || break
    sleep "$((left < interval ? left : interval))"
    kill -0 "$pid" 2>/dev/null || break
    sample || break
  done
  alive=yes
  kill -0 "$pid" 2>/dev/null || alive=no
  kill -TERM "$pid" 2>/dev/null || true
  status=0
  wait "$pid" || status=$?
  printf '%s\n%s\n%s\n' "$(($(date +%s) - start))" "$alive" "$status" >"$out/ending"
  exec 3>&-
  exit 0
fi

seconds="${1:-3600}"
[[ "$seconds" =~ ^[0-9]+$ ]] && [ "$seconds" -ge 5 ] || {
  echo "soak: usage: soak.sh [SECONDS] (at least 5)" >&2
  exit 2
}
baud="${SOAK_BAUD:-9600}"
config="${SOAK_CONFIG:-$root/examples/tracker.conf}"
interval="${SOAK_INTERVAL:-$((seconds / 20 > 60 ? 60 : (seconds / 20 < 1 ? 1 : seconds / 20)))}"
build="$root/build/native"
out="${SOAK_DIR:-$root/build/soak}"

if ! [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target pallador-host pallador pallador-sim >/dev/null
mkdir -p "$out/bin"
out="$(cd "$out" && pwd)"
rm -f "$out"/{records.jsonl,host.err,memory.tsv,ending,summary.txt,soak.conf}
# Copies of the programs: a rebuild of the tree during a long run leaves it alone.
cp "$build/pallador-host" "$build/libpallador.so" "$build/sim/pallador-sim" "$out/bin/"
host="$out/bin/pallador-host"
echo "soak: ${seconds} s at ${baud} baud, $(basename "$config"), records in $out" >&2
bash "$root/tests/with_sim.sh" "$out/bin/pallador-sim" -- \
  bash "$0" --beside-simulator "$seconds" "$out" "$host" "$config" "$baud" "$interval"

{ read -r duration; read -r alive; read -r status; } <"$out/ending"
controller="$(grep -c '"kind":"controller"' "$out/records.jsonl" || true)"
tracker="$(grep -c '"kind":"tracker"' "$out/records.jsonl" || true)"
# A fresh frame moves valuator 1 every time; a record that repeats the one
# before it was not fresh.
repeats="$(grep '"kind":"controller"' "$out/records.jsonl" |
  sed 's/.*"valuators":\[\([^],]*\).*/\1/' | awk 'NR > 1 && $0 == last { n++ } { last = $0 } END { print n + 0 }')"
errors="$(grep -c 'ERROR' "$out/host.err" || true)"
hangups="$(grep -cE 'device lost on|hung up' "$out/host.err" || true)"
notes="$(grep -c '^pallador-host:' "$out/host.err" || true)"
first="$(sed -n 2p "$out/memory.tsv")"
last="$(tail -1 "$out/memory.tsv")"
samples=$(($(wc -l <"$out/memory.tsv") - 1))
rss_start="$(cut -f2 <<<"$first")" rss_end="$(cut -f2 <<<"$last")"
hwm_start="$(cut -f3 <<<"$first")" hwm_end="$(cut -f3 <<<"$last")"
# The rate while records flow, from the first to the last record's time.
rate="$(grep '"kind":"controller"' "$out/records.jsonl" | sed 's/^{"t":\([0-9.]*\),.*/\1/' |
  awk 'NR == 1 { first = $1 } { last = $1; n++ } END { printf "%.1f", (last > first ? (n - 1) / (last - first) : 0) }')"
capacity="$(awk -v b="$baud" 'BEGIN { printf "%.1f", b / 140 }')"

{
  echo "soak: duration ${duration} s at ${baud} baud ($(basename "$config")), $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "soak: frames published ${controller} controller records (${rate}/s of ${capacity}/s line capacity), ${tracker} tracker records, ${repeats} repeated"
  echo "soak: errors: ${errors} ERROR lines, ${hangups} hang-ups, ${notes} host notes; host still running at the end: ${alive}, exit status ${status}"
  echo "soak: memory VmRSS ${rss_start} kB at start, ${rss_end} kB at end; VmHWM ${hwm_start} kB at start, ${hwm_end} kB at end (${samples} samples in memory.tsv)"
} | tee "$out/summary.txt"

[ "$alive" = yes ] && [ "$status" = 0 ] && [ "$errors" = 0 ] && [ "$hangups" = 0 ] && [ "$controller" -gt 0 ]
