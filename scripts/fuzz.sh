#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each in turn over a copy of its seed
# corpus in fuzz/corpus/. Exits non-zero when a target found something; the
# input that did it is kept in BUILD_DIR/findings/.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [BUILD_DIR]     (defaults 30, build/fuzz)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-30}"
build="$(realpath -m "${2:-$root/build/fuzz}")"

"$root/scripts/setup.sh" tests

# A clang tree that exists already (the sanitizer build of scripts/test.sh)
# only gets the fuzz targets added, so nothing else in it is rebuilt.
if [ -f "$build/CMakeCache.txt" ]; then
    cmake -B "$build" -DPALLADOR_FUZZ=ON >/dev/null
else
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPALLADOR_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" -j2 --target fuzz_config fuzz_receive >/dev/null

# New inputs go to a scratch copy: the repository keeps only the seeds.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for target in config receive; do
    binary="$build/fuzz/fuzz_$target"
    findings="$build/findings/$target"
    log="$build/fuzz_$target.log"
    mkdir -p "$work/$target" "$findings"
    cp "$root/fuzz/corpus/$target/"* "$work/$target/"
    echo "fuzz: fuzz_$target for ${seconds} s (log: $log)"
    if "$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work/$target" >"$log" 2>&1; then
        result="no finding"
    else
        result="FINDING"
        status=1
    fi
    last="$(grep -E '^#[0-9]+' "$log" | tail -1 || true)"
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)"
    cov="$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")"
    ft="$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")"
    echo "fuzz: fuzz_$target: ${runs:-?} runs (${rate:-?}/s), cov ${cov:-?}, ft ${ft:-?}: $result"
    if [ "$result" = FINDING ]; then
        grep -E 'ERROR|SUMMARY|finding|Test unit written' "$log" | head -20 || true
        echo "fuzz: reproduce with: $binary $findings/<file>"
    fi
done
exit $status
