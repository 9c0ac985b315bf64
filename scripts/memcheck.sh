#!/usr/bin/env bash
# Runs the integration tests (the plug-in loaded as a host loads it, against
# the device simulator) under valgrind's memcheck, from the native build tree
# (build it first: scripts/test.sh does). Any memcheck error or a definitely
# lost block fails; the simulator itself runs outside valgrind.
#
#   scripts/memcheck.sh [BUILD_DIR]        (default build/native)
#
# The full log is kept in build/memcheck/integration.log.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/native}"
out="$root/build/memcheck"
mkdir -p "$out"
log="$out/integration.log"

if ! command -v valgrind >/dev/null; then
  echo "memcheck: valgrind is missing (apt-get install valgrind)" >&2
  exit 2
fi

# No suppression file: nothing outside our code (glibc, libstdc++, GoogleTest)
# reports anything on this machine. One would go here, documented, if a
# system library ever did.
start=$(date +%s)
status=0
# The outage test takes the same path with fewer outages (each costs a probe).
PALLADOR_OUTAGES="${PALLADOR_OUTAGES:-4}" bash "$root/tests/with_sim.sh" "$build/sim/pallador-sim" -- \
  valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
           --track-origins=yes --num-callers=30 --log-file="$out/valgrind.%p.log" \
           "$build/tests/integration_tests" >"$log" 2>&1 || status=$?
cat "$out"/valgrind.*.log >>"$log" 2>/dev/null || true
rm -f "$out"/valgrind.*.log

summary="$(grep -E 'ERROR SUMMARY|definitely lost|in use at exit' "$log" || true)"
tests="$(grep -E '^\[  (PASSED|FAILED) +\]' "$log" || true)"
echo "memcheck: integration_tests in $(($(date +%s) - start)) s, status $status"
[ -n "$tests" ] && echo "$tests"
[ -n "$summary" ] && echo "$summary"
if [ "$status" -ne 0 ]; then
  echo "memcheck: failed, see $log" >&2
  grep -E '^\[  FAILED|^==[0-9]+== (Invalid|Conditional|Use of|Syscall|Mismatched|.*definitely)' "$log" | head -40 >&2 || true
fi
exit $status
