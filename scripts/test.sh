#!/usr/bin/env bash
# Builds both flavours and runs every test: the native build, then the 32-bit
# Windows build whose tests run under Wine. On a machine that runs no 32-bit
# programs the 32-bit build is built and checked without running it, and the
# same sources' tests run in a 64-bit Windows build under wine64 instead.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh tests

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
# Release flags, as the packages have them, with line tables for valgrind
# and debuggers.
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS=-g -DCMAKE_CXX_FLAGS=-g \
      -DBUILD_TESTING=ON >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs" || status=1

stage "kernel drivers: a 16550A and a USB adapter in an emulated machine (QEMU)"
bash tests/kernel/run.sh build/native || status=1

stage "memcheck of the integration tests (valgrind)"
scripts/memcheck.sh build/native || status=1

stage "sanitizer build (clang, address and undefined behaviour)"
scripts/sanitize.sh || status=1

stage "fuzz targets, a short run each over the seed corpus"
scripts/fuzz.sh "${PALLADOR_FUZZ_SECONDS:-20}" build/sanitize || status=1

# The Windows trees are built with the release's flags, so a warning that
# only the release's optimisation shows fails here and not in a package.
windows_tree() {  # DIR TOOLCHAIN [cmake options...]
  local dir="$1" toolchain="$2"
  shift 2
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DPALLADOR_NATIVE_BUILD="$root/build/native" "$@" >/dev/null
}
if no_32bit="$(bash scripts/runs-32bit.sh)"; then
  stage "windows build (i686, under Wine)"
  source scripts/wine-env.sh
  windows_tree build/windows cmake/mingw-i686.cmake -DPALLADOR_SKIP_WINDOWS_PROGRAMS=
  cmake --build build/windows -j"$jobs"
  ctest --test-dir build/windows --output-on-failure || status=1
  wineserver -k 2>/dev/null || true
else
  stage "windows build (i686): built and checked, not run"
  echo "windows: $no_32bit; the 32-bit build's tests are skipped, the same sources' tests run in a 64-bit build under wine64"
  windows_tree build/windows cmake/mingw-i686.cmake -DPALLADOR_SKIP_WINDOWS_PROGRAMS="$no_32bit"
  # The DLL with its layout checks, the host that ships beside it, and the
  # MSVC-ABI host (compiled and linked, its own layout checks included).
  cmake --build build/windows -j"$jobs" --target pallador pallador-host msvc_host
  ctest --test-dir build/windows --output-on-failure || status=1

  stage "windows build (x86_64, under wine64)"
  export PALLADOR_WINEPREFIX="$root/build/wineprefix64"
  source scripts/wine-env.sh
  windows_tree build/windows64 cmake/mingw-x86_64.cmake
  cmake --build build/windows64 -j"$jobs"
  ctest --test-dir build/windows64 --output-on-failure || status=1
  wineserver -k 2>/dev/null || true
fi
stage "done"

exit $status
