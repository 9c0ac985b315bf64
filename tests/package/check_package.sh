#!/usr/bin/env bash
# Checks the release packages as a user gets them.
#
#   check_package.sh DIST VERSION
#
# - SHA256SUMS matches the files beside it;
# - the .deb, extracted with dpkg-deb -x, carries its version, the library's
#   soname, and runs `pallador-host --simulate` from its own paths;
# - the .tar.gz holds the same files as the .deb;
# - the zip, unpacked into an empty folder, holds exactly the Windows files;
#   its pallador.dll carries the version resource, and pallador-host.exe
#   loads it from that folder under Wine and publishes records from the
#   simulator through a mapped COM port.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: check_package.sh DIST VERSION" >&2
  exit 2
fi
dist="$(cd "$1" && pwd)"
version="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/pallador-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check_package: FAILED: $*" >&2
  exit 1
}
expect_same() {  # what, expected, actual
  [ "$2" = "$3" ] || fail "$1: expected"$'\n'"$2"$'\n'"got"$'\n'"$3"
  echo "ok: $1"
}
# Exactly COUNT plain controller lines, nothing else, on standard output.
expect_records() {  # what, count, file
  local shape='^[0-9]+\.[0-9]{3} controller 1 valuators( -?[0-9]\.[0-9]{3}){6} buttons [01]{12}$'
  local lines matching
  lines=$(tr -d '\r' <"$3" | wc -l)
  matching=$(tr -d '\r' <"$3" | grep -cE "$shape" || true)
  [ "$lines" -eq "$2" ] && [ "$matching" -eq "$2" ] ||
    fail "$1: expected $2 controller records, got:"$'\n'"$(cat "$3")"$'\n'"$(cat "$3.err")"
  echo "ok: $1"
}

deb="$(ls "$dist"/pallador_"$version"_*.deb)"
tgz="$(ls "$dist"/pallador-"$version"-linux-*.tar.gz)"
zip="$dist/pallador-$version-win32.zip"
[ -f "$zip" ] || fail "no $zip"

(cd "$dist" && sha256sum --check --quiet SHA256SUMS) || fail "SHA256SUMS does not match"
expect_same "SHA256SUMS names the three packages" \
  "$(cd "$dist" && ls pallador* | sort)" "$(awk '{print $2}' "$dist/SHA256SUMS" | sort)"

# ---- the Debian package ------------------------------------------------------
dpkg-deb -x "$deb" "$work/deb"
expect_same "the .deb's control fields" \
  "pallador $version $(dpkg --print-architecture)" \
  "$(dpkg-deb -f "$deb" Package Version Architecture | awk '{printf "%s%s", sep, $2; sep=" "}')"
usr="$work/deb/usr"
expect_same "the library's soname" "Library soname: [libpallador.so.${version%%.*}]" \
  "$(readelf -d "$usr/lib/libpallador.so.$version" | grep -o 'Library soname: .*')"
expect_same "pallador-host --version" "pallador-host $version" "$("$usr/bin/pallador-host" --version)"
expect_same "pallador-sim --version" "pallador-sim $version" "$("$usr/bin/pallador-sim" --version)"
# From elsewhere, with nothing pointing at a simulator: the programs find
# the plug-in and each other in the package's own tree.
(cd "$work" && env -u PALLADOR_SIM timeout 60 "$usr/bin/pallador-host" \
   "$usr/share/doc/pallador/examples/plain.conf" --simulate --frames 5 \
   >"$work/deb.out" 2>"$work/deb.out.err") || fail "the .deb's host: $(cat "$work/deb.out.err")"
expect_records "the .deb's host publishes records from its simulator" 5 "$work/deb.out"

# ---- the archive ---------------------------------------------------------------
mkdir "$work/tgz"
tar -xzf "$tgz" -C "$work/tgz"
diff -r "$work/tgz/$(basename "$tgz" .tar.gz)" "$usr" >/dev/null ||
  fail "the .tar.gz and the .deb hold different files"
echo "ok: the .tar.gz holds the .deb's files"

# ---- the Windows package -------------------------------------------------------
mkdir "$work/win"
(cd "$work/win" && cmake -E tar xf "$zip")
win="$work/win/pallador-$version-win32"
expected_files="$(cd "$root" && { printf '%s\n' CHANGELOG.md README.md host/README.md \
  pallador-host.exe pallador.dll; ls examples/* ; } | LC_ALL=C sort)"
expect_same "the zip's files" "$expected_files" \
  "$(cd "$win" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)"
expect_same "pallador.dll's version resource" "FileVersion (fixed): $version.0
ProductVersion (fixed): $version.0
FileDescription: Pallador device-driver plug-in
FileVersion: $version
InternalName: pallador
OriginalFilename: pallador.dll
ProductName: pallador
ProductVersion: $version" "$(python3 "$here/pe_version.py" "$win/pallador.dll")"

if ! no_32bit="$(bash "$root/scripts/runs-32bit.sh")"; then
  echo "skipped: the zip's pallador-host.exe under Wine ($no_32bit)"
  echo "check_package: all checks passed that this machine can run"
  exit 0
fi
# shellcheck source=/dev/null
source "$root/scripts/wine-env.sh"
expect_same "pallador-host.exe --version" "pallador-host $version" \
  "$(wine "$win/pallador-host.exe" --version | tr -d '\r')"
# with_sim.sh names the COM port it mapped only when it runs the program:
# write it into the configuration then, and let the simulated device move
# (at rest every frame is the same, and only a change is published).
cat >"$work/wine-with-port" <<EOF
#!/usr/bin/env bash
sed "s|^port .*|port \$PALLADOR_SIM_PORT|" "$win/examples/plain.conf" >"$work/win.conf"
exec 3<>"/dev/tcp/\${PALLADOR_SIM_CONTROL%:*}/\${PALLADOR_SIM_CONTROL#*:}"
echo "mode sweep" >&3
read -r reply <&3
[ "\${reply%% *}" = ok ] || { echo "simulator: \$reply" >&2; exit 1; }
exec 3>&-
exec wine "\$@"
EOF
chmod +x "$work/wine-with-port"
(cd "$work" && PALLADOR_WINE="$work/wine-with-port" timeout 120 bash "$root/tests/with_sim.sh" \
   "$usr/bin/pallador-sim" -- "$win/pallador-host.exe" "$work/win.conf" --frames 5 \
   >"$work/win.out" 2>"$work/win.out.err") || fail "the zip's host: $(cat "$work/win.out.err")"
expect_records "the zip's host loads its DLL under Wine and publishes records" 5 "$work/win.out"
wineserver -k 2>/dev/null || true
echo "check_package: all checks passed"
