#!/usr/bin/env bash
# Builds both flavours and runs every test: the native build, then the 32-bit
# Windows build whose tests run under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh

jobs=$(nproc)
status=0

echo "== native build"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs" || status=1

echo "== memcheck of the integration tests (valgrind)"
scripts/memcheck.sh build/native || status=1

echo "== sanitizer build (clang, address and undefined behaviour)"
scripts/sanitize.sh || status=1

echo "== fuzz targets, a short run each over the seed corpus"
scripts/fuzz.sh "${PALLADOR_FUZZ_SECONDS:-20}" build/sanitize || status=1

echo "== windows build (i686, under Wine)"
source scripts/wine-env.sh
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALLADOR_NATIVE_BUILD="$root/build/native" >/dev/null
cmake --build build/windows -j"$jobs"
ctest --test-dir build/windows --output-on-failure || status=1
wineserver -k 2>/dev/null || true

exit $status
