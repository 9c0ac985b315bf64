#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for both builds: the native
# toolchain and test libraries, mingw-w64 for the 32-bit DLL, Wine (with the
# i386 architecture) to run it, clang and lld for the MSVC-ABI host, and
# clang's sanitizer and libFuzzer runtimes for scripts/fuzz.sh, and what
# CPack's Debian packages need (dpkg-shlibdeps, file) for scripts/package.sh.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for package in cmake make g++ libgtest-dev libgmock-dev googletest libbenchmark-dev \
               g++-mingw-w64-i686 wine wine32:i386 clang lld libclang-rt-14-dev valgrind \
               python3 dpkg-dev file; do
  have "$package" || need+=("$package")
done
# Plotting recordings (scripts/plot.py) is asked for with --plot.
if [ "${1:-}" = "--plot" ]; then
  have python3-matplotlib || need+=(python3-matplotlib)
fi
if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${need[*]} " == *":i386"* ]] && ! dpkg --print-foreign-architectures | grep -q i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
