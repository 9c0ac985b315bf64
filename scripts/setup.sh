#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, for one of three profiles:
#
#   scripts/setup.sh main      the native toolchain: enough to build the
#                              plug-in, the reference host and the simulator
#   scripts/setup.sh package   main, with mingw-w64 for the 32-bit DLL, Wine
#                              to try the Windows package, and what CPack's
#                              Debian packages need (dpkg-shlibdeps, file)
#   scripts/setup.sh tests     everything the test command runs: package,
#                              with the test libraries, clang, lld and clang's
#                              sanitizer and libFuzzer runtimes, valgrind, and
#                              QEMU with a static busybox for the kernel-driver
#                              rig (the default)
#   ... --plot                 also matplotlib, for scripts/plot.py
#
# Wine comes as the machine can run it: with the i386 architecture and
# wine32 where 32-bit programs run (scripts/runs-32bit.sh), and as wine64
# with the 64-bit mingw-w64 compiler where they do not.
#
# A mirror caught mid-sync serves an index that does not match its release
# file, and apt-get update then fails as a whole. Each index that failed is
# reported in one line and set-up goes on; if the install then fails, it is
# tried once more with a throwaway apt configuration that leaves out the
# suites whose indexes failed (the machine's own sources and package lists
# are not touched). A package that cannot be had at all ends set-up with its
# name and the command to retry.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

profile=tests
plot=no
for argument in "$@"; do
  case "$argument" in
    main | package | tests) profile="$argument" ;;
    --plot) plot=yes ;;
    *) echo "setup: unknown argument '$argument' (main, package, tests, --plot)" >&2; exit 2 ;;
  esac
done

wanted=(cmake make g++)
if [ "$profile" != main ]; then
  wanted+=(g++-mingw-w64-i686 python3 dpkg-dev file wine)
  if bash "$here/runs-32bit.sh" >/dev/null; then
    wanted+=(wine32:i386)
  else
    wanted+=(wine64 g++-mingw-w64-x86-64)
  fi
fi
if [ "$profile" = tests ]; then
  wanted+=(libgtest-dev libgmock-dev googletest libbenchmark-dev clang lld libclang-rt-14-dev
           valgrind qemu-system-x86 busybox-static cpio)
fi
[ "$plot" = yes ] && wanted+=(python3-matplotlib)

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
need=()
for package in "${wanted[@]}"; do
  have "$package" || need+=("$package")
done
[ ${#need[@]} -eq 0 ] && exit 0

echo "setup ($profile): installing ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
if [[ " ${need[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
retry_command="${sudo[*]:+${sudo[*]} }apt-get install ${need[*]}"

# A test of this script may point it at sources of its own (a folder of
# .sources or .list files) instead of the machine's.
apt_options=()
if [ -n "${PALLADOR_APT_SOURCE_PARTS:-}" ]; then
  apt_options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$PALLADOR_APT_SOURCE_PARTS")
fi

scratch="$(mktemp -d "${TMPDIR:-/tmp}/pallador-setup.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# apt-get update; prints one line per index that failed and leaves the
# suites they belong to, one "URI SUITE" a line, in $scratch/failed.
update_indexes() {
  local status=0
  "${sudo[@]}" apt-get "$@" update -q >"$scratch/update.log" 2>&1 || status=$?
  # "Err:5 http://deb.debian.org/debian-security bookworm-security/main i386 Packages",
  # its reason on the next, indented line.
  awk '/^Err:/ { uri = $2; suite = $3; sub(/\/.*/, "", suite); what = $0
                 sub(/^Err:[0-9]+ +/, "", what); pending = 1; next }
       pending && /^ / { reason = $0; sub(/^ +/, "", reason)
                         printf "%s %s\t%s\t%s\n", uri, suite, what, reason; pending = 0; next }
       pending { printf "%s %s\t%s\t\n", uri, suite, what; pending = 0 }
       END { if (pending) printf "%s %s\t%s\t\n", uri, suite, what }' \
      "$scratch/update.log" >"$scratch/errors"
  cut -f1 "$scratch/errors" | sort -u >"$scratch/failed"
  while IFS=$'\t' read -r _ what reason; do
    echo "setup: index not updated, going on without it: $what${reason:+ ($reason)}"
  done <"$scratch/errors"
  if [ "$status" -ne 0 ] && [ ! -s "$scratch/failed" ]; then
    echo "setup: apt-get update failed (exit $status):" >&2
    tail -5 "$scratch/update.log" >&2
  fi
}

install_packages() {
  "${sudo[@]}" apt-get "$@" install -y -q --no-install-recommends "${need[@]}" \
    >"$scratch/install.log" 2>&1
}

# The machine's sources (or the test's), less the suites that failed: deb822
# paragraphs lose those suites (and go when none is left), one-line entries
# naming one go.
write_sources_without_failed() {
  local parts="$1" dir="${PALLADOR_APT_SOURCE_PARTS:-/etc/apt/sources.list.d}" file
  local files=()
  mkdir -p "$parts"
  [ -z "${PALLADOR_APT_SOURCE_PARTS:-}" ] && [ -f /etc/apt/sources.list ] &&
    files+=(/etc/apt/sources.list)
  for file in "$dir"/*.sources "$dir"/*.list; do
    [ -f "$file" ] && files+=("$file")
  done
  for file in "${files[@]}"; do
    case "$file" in
      *.sources)
        awk -v failed="$scratch/failed" '
          BEGIN { RS = ""; while ((getline line < failed) > 0) gone[line] = 1 }
          {
            n = split($0, lines, "\n"); uri = ""; suites = ""; named = 0
            for (i = 1; i <= n; i++)
              if (lines[i] ~ /^URIs:/) { split(lines[i], f, /[ \t]+/); uri = f[2] }
            for (i = 1; i <= n; i++)
              if (lines[i] ~ /^Suites:/) {
                named = 1; m = split(lines[i], f, /[ \t]+/)
                for (j = 2; j <= m; j++) if (!((uri " " f[j]) in gone)) suites = suites " " f[j]
              }
            if (named && suites == "") next
            for (i = 1; i <= n; i++) print (lines[i] ~ /^Suites:/ ? "Suites:" suites : lines[i])
            print ""
          }' "$file" >"$parts/$(basename "$file")"
        ;;
      *)
        awk -v failed="$scratch/failed" '
          BEGIN { while ((getline line < failed) > 0) gone[line] = 1 }
          $1 ~ /^deb/ {
            n = 2
            if ($n ~ /^\[/) { while ($n !~ /\]$/) n++; n++ }
            if (($n " " $(n + 1)) in gone) next
          }
          { print }' "$file" >"$parts/$(basename "$file" .list).list"
        ;;
    esac
  done
}

update_indexes "${apt_options[@]}"
if ! install_packages "${apt_options[@]}"; then
  if [ -s "$scratch/failed" ]; then
    echo "setup: the install failed; trying once more without $(cut -d' ' -f2 "$scratch/failed" |
      sort -u | paste -sd' ' -), whose indexes failed (a throwaway apt configuration)"
    parts="$scratch/sources.list.d"
    write_sources_without_failed "$parts"
    mkdir -p "$scratch/lists/partial"
    retry=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$parts"
           -o "Dir::State::Lists=$scratch/lists")
    : >"$scratch/failed"
    update_indexes "${retry[@]}"
    install_packages "${retry[@]}" && exit 0
  fi
  # Name what cannot be had at all, rather than apt's whole story.
  missing=()
  for package in "${need[@]}"; do
    candidate="$(apt-cache "${apt_options[@]}" policy "$package" 2>/dev/null |
                 awk '/Candidate:/ { print $2 }')"
    [ -z "$candidate" ] || [ "$candidate" = "(none)" ] && missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: cannot get ${missing[*]}: no version of it in the configured sources" >&2
  else
    echo "setup: apt-get install failed:" >&2
    grep -E '^(E:|W:| )' "$scratch/install.log" | tail -8 >&2
  fi
  echo "setup: retry with: $retry_command" >&2
  exit 1
fi
