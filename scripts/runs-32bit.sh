#!/usr/bin/env bash
# Tells whether this machine runs 32-bit x86 programs, by running one: some
# kernels are built without 32-bit support, and nothing in uname says so.
# Exits 0 when it does; otherwise prints the cause in one line and exits 1.
#
# The probe is the smallest static i386 program there is (an ELF header, one
# program header and three instructions: exit(42)), written here so that the
# answer needs no 32-bit toolchain or library.
set -u
probe="$(mktemp "${TMPDIR:-/tmp}/pallador-probe32.XXXXXX")"
trap 'rm -f "$probe"' EXIT
hex=7f454c460101010000000000000000000200030001000000548004083400000000000000000000003400200001000000000000000100000000000000008004080080040860000000600000000500000000100000b801000000bb2a000000cd80
printf "$(echo "$hex" | sed 's/../\\x&/g')" >"$probe"
chmod +x "$probe"
error="$("$probe" 2>&1)"
status=$?
if [ "$status" -eq 42 ]; then
  exit 0
fi
error="${error##*: }"
echo "this machine runs no 32-bit programs: a 32-bit probe program failed (${error:-exit status $status})"
exit 1
