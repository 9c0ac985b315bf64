#!/usr/bin/env bash
# Builds both flavours and runs every test: the native build, then the 32-bit
# Windows build whose tests run under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh

jobs=$(nproc)
status=0
# Each step's time, so that the whole stays within its budget.
stage_start=$SECONDS
stage() {
  echo "== that step: $((SECONDS - stage_start)) s, all: $SECONDS s"
  echo "== $*"
  stage_start=$SECONDS
}

stage "native build"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs" || status=1

stage "memcheck of the integration tests (valgrind)"
scripts/memcheck.sh build/native || status=1

stage "sanitizer build (clang, address and undefined behaviour)"
scripts/sanitize.sh || status=1

stage "fuzz targets, a short run each over the seed corpus"
scripts/fuzz.sh "${PALLADOR_FUZZ_SECONDS:-20}" build/sanitize || status=1

stage "windows build (i686, under Wine)"
source scripts/wine-env.sh
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALLADOR_NATIVE_BUILD="$root/build/native" >/dev/null
cmake --build build/windows -j"$jobs"
ctest --test-dir build/windows --output-on-failure || status=1
wineserver -k 2>/dev/null || true
stage "done"

exit $status
