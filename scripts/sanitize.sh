#!/usr/bin/env bash
# Builds the native tree with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang, build/sanitize) and runs every test there. Any report, from a test
# binary or from a program a test starts (the simulator, the host), fails.
#
#   scripts/sanitize.sh
#
# Reports are written to build/sanitize/reports/ and printed at the end.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/sanitize"
reports="$build/reports"
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2

# -O1 with line tables: quick to build, fast enough to run, stack traces with
# file and line.
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DPALLADOR_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only" \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" >/dev/null
cmake --build "$build" -j"$jobs"

rm -rf "$reports"
mkdir -p "$reports"
# Every process started under ctest inherits these; log_path gives each its
# own file, so a report from a child process cannot be lost in a test's
# captured output or hidden behind an exit status a test expects.
export ASAN_OPTIONS="detect_leaks=1:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"
export LSAN_OPTIONS="log_path=$reports/lsan"
# The outage test takes the same path with fewer outages (each costs a probe).
export PALLADOR_OUTAGES="${PALLADOR_OUTAGES:-4}"

status=0
ctest --test-dir "$build" --output-on-failure -j"$jobs" || status=1

found=("$reports"/*)
if [ -e "${found[0]}" ]; then
  for report in "${found[@]}"; do
    echo "== sanitizer report $(basename "$report")"
    cat "$report"
  done
  echo "sanitize: ${#found[@]} report file(s) in $reports" >&2
  status=1
else
  echo "sanitize: no sanitizer reports"
fi
exit $status
