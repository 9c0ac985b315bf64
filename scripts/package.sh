#!/usr/bin/env bash
# Builds the release packages into dist/ and checks what a user gets:
#   pallador-VERSION-win32.zip         pallador.dll, pallador-host.exe, examples, documentation
#   pallador_VERSION_ARCH.deb          libpallador.so, pallador-host, pallador-sim, examples,
#   pallador-VERSION-linux-ARCH.tar.gz   documentation (the same files, relocatable)
#   SHA256SUMS
# Release trees of their own (build/package-native, build/package-windows),
# so the development trees stay as they are.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh package

jobs=$(nproc)
release=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)

echo "== Linux packages"
cmake -S . -B build/package-native "${release[@]}" >/dev/null
cmake --build build/package-native -j"$jobs" --target pallador pallador-host pallador-sim
rm -rf build/package-native/cpack
(cd build/package-native && cpack -B "$PWD/cpack")

echo "== Windows package"
cmake -S . -B build/package-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      "${release[@]}" >/dev/null
cmake --build build/package-windows -j"$jobs" --target pallador pallador-host
rm -rf build/package-windows/cpack
(cd build/package-windows && cpack -B "$PWD/cpack")

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package-native/CMakeCache.txt)"
mkdir -p dist
rm -f dist/pallador-*.zip dist/pallador_*.deb dist/pallador-*.tar.gz dist/SHA256SUMS
cp build/package-native/cpack/pallador_"$version"_*.deb \
   build/package-native/cpack/pallador-"$version"-linux-*.tar.gz \
   build/package-windows/cpack/pallador-"$version"-win32.zip dist/
(cd dist && sha256sum pallador* > SHA256SUMS)

echo "== checking the packages"
bash tests/package/check_package.sh dist "$version"
echo "== dist/"
ls -l dist
