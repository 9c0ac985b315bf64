#!/usr/bin/env bash
# The serial line on the kernel's own drivers rather than a pseudo-terminal:
# an emulated machine (QEMU, no KVM needed) boots the distribution's kernel
# with the reference host, the plug-in and tests/kernel/init.sh; its second
# ISA port is a 16550A (8250 driver, ttyS1) and an FTDI FT232 sits on its
# xHCI bus (ftdi_sio, ttyUSB0). A pallador-sim on this side answers at the
# far end of each. The rig reads the guest's console, acts on the machine
# when the guest asks (the simulator's `attrs`, device_del / device_add on
# the monitor, chardev-send-break on QMP), and prints one line per scenario.
#
#   bash tests/kernel/run.sh [NATIVE_BUILD_DIR]     (default build/native)
#
# Exit status: 0 when every scenario passed, 1 when one failed, 2 when a
# program, package or file it needs is missing. Downloads the kernel package
# (about 70 MB, once) into build/kernel-rig/cache.
set -u
set -f

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
native="${1:-$root/build/native}"
work="$root/build/kernel-rig"
cache="$work/cache"
run="$work/run"
started=$SECONDS

# --- what the rig needs -----------------------------------------------------

missing=()
need() { command -v "$1" >/dev/null 2>&1 || missing+=("the program $1 (package $2)"); }
need qemu-system-x86_64 qemu-system-x86
need cpio cpio
need gzip gzip
need python3 python3
need ldd libc-bin
need apt-get apt
need dpkg-deb dpkg
# The guest has no libraries of its own for busybox: it must be the static one.
if [ ! -x /bin/busybox ] || ldd /bin/busybox >/dev/null 2>&1; then
  missing+=("a static /bin/busybox (package busybox-static)")
fi
build="cmake -S . -B build/native && cmake --build build/native --target pallador pallador-host pallador-sim"
for file in pallador-host libpallador.so sim/pallador-sim; do
  [ -e "$native/$file" ] || missing+=("$native/$file (build the native tree first: $build)")
done
if [ ${#missing[@]} -gt 0 ]; then
  printf 'kernel rig: missing %s\n' "${missing[@]}" >&2
  exit 2
fi
native="$(cd "$native" && pwd)"

# --- the kernel: Debian's, unpacked here, never installed -------------------

package="${PALLADOR_KERNEL_PACKAGE:-$(apt-cache depends linux-image-amd64 2>/dev/null |
  sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1)}"
if [ -z "$package" ]; then
  echo "kernel rig: apt knows no linux-image-amd64 to take the kernel from (apt-get update first)," \
       "or name the package in PALLADOR_KERNEL_PACKAGE" >&2
  exit 2
fi
kernel="$cache/$package"
modules=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio)
if [ ! -s "$kernel/version" ]; then
  rm -rf "$kernel"
  mkdir -p "$kernel"
  if ! (cd "$kernel" && apt-get download "$package" >download.log 2>&1); then
    echo "kernel rig: could not download the kernel package $package (apt-get download):" >&2
    cat "$kernel/download.log" >&2
    rm -rf "$kernel"
    exit 2
  fi
  set +f
  deb=("$kernel"/*.deb)
  patterns=('./boot/vmlinuz-*')
  for m in "${modules[@]}"; do patterns+=("*/$m.ko"); done
  if ! dpkg-deb --fsys-tarfile "${deb[0]}" | tar -x -C "$kernel" --wildcards "${patterns[@]}"; then
    echo "kernel rig: $package does not hold the kernel and modules the rig takes (${patterns[*]})" >&2
    exit 2
  fi
  set -f
  basename "${deb[0]}" .deb >"$kernel/version"
  rm -f "${deb[0]}"
fi
set +f
vmlinuz=("$kernel"/boot/vmlinuz-*)
set -f

# --- the guest's initramfs ---------------------------------------------------

rm -rf "$run"
mkdir -p "$run/root/bin" "$run/root/modules" "$run/root/opt/pallador"
cp /bin/busybox "$run/root/bin/"
install -m 755 "$root/tests/kernel/init.sh" "$run/root/init"
cp -L "$native/pallador-host" "$native/libpallador.so" "$run/root/opt/pallador/"
for library in $(ldd "$native/pallador-host" "$native/libpallador.so" |
                 awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// && $1 !~ /:$/ { print $1 }' | sort -u); do
  cp -L --parents "$library" "$run/root/"
done
for m in "${modules[@]}"; do
  find "$kernel/lib" -name "$m.ko" -exec cp {} "$run/root/modules/" \;
done
(cd "$run/root" && find . | cpio -o -H newc --quiet | gzip -1) >"$run/initrd.gz"

# --- a device at the far end of each line, and the machine --------------------

declare -A sim_port
for line in s1 u0; do
  "$native/sim/pallador-sim" --link "$run/$line" --port-file "$run/$line.port" --mode fresh \
    --exit-with-parent >"$run/$line.sim.log" 2>&1 &
  for _ in $(seq 100); do [ -s "$run/$line.port" ] && break; sleep 0.1; done
  if [ ! -s "$run/$line.port" ]; then
    echo "kernel rig: the simulator for $line did not start:" >&2
    cat "$run/$line.sim.log" >&2
    exit 1
  fi
  sim_port[$line]=$(<"$run/$line.port")
done

# A guest that hangs must not hold up the test command.
timeout 300 qemu-system-x86_64 -accel tcg -smp 1 -m 512 -nodefaults -no-user-config -display none -no-reboot \
  -kernel "${vmlinuz[0]}" -initrd "$run/initrd.gz" -append "console=ttyS0 quiet panic=-1" \
  -serial "file:$run/console.log" \
  -chardev "serial,id=s1,path=$run/s1" -serial chardev:s1 \
  -device qemu-xhci,id=xhci \
  -chardev "serial,id=u0,path=$run/u0" -device usb-serial,chardev=u0,bus=xhci.0,id=usbser \
  -monitor "unix:$run/hmp,server=on,wait=off" -qmp "unix:$run/qmp,server=on,wait=off" \
  >"$run/qemu.log" 2>&1 &
qemu=$!

cleanup() {
  kill "$qemu" 2>/dev/null
  for line in s1 u0; do
    [ -n "${sim_port[$line]:-}" ] && sim "$line" quit >/dev/null 2>&1
  done
}
trap cleanup EXIT

# One command on a simulator's control channel; its reply.
sim() {
  local fd reply
  exec {fd}<>"/dev/tcp/127.0.0.1/${sim_port[$1]}" || return 1
  printf '%s\n' "$2" >&"$fd"
  IFS= read -r -t 5 reply <&"$fd"
  exec {fd}>&-
  printf '%s\n' "${reply%$'\r'}"
}

# Commands to QEMU: `hmp LINE...` on the human monitor, `qmp JSON...` on
# QMP; each answer is waited for, and an error ends with it on stderr.
monitor() {
  python3 - "$@" <<'EOF'
import json, socket, sys
kind, path, lines = sys.argv[1], sys.argv[2], sys.argv[3:]
s = socket.socket(socket.AF_UNIX)
s.settimeout(10)
s.connect(path)
f = s.makefile("rwb", buffering=0)
def prompt():
    text = b""
    while not text.endswith(b"(qemu) "):
        byte = f.read(1)
        if not byte:
            sys.exit("hmp: the monitor closed")
        text += byte
    return text.decode(errors="replace")
if kind == "qmp":
    f.readline()
    lines = ['{"execute": "qmp_capabilities"}'] + lines
else:
    prompt()
for line in lines:
    f.write(line.encode() + b"\n")
    if kind == "qmp":
        reply = {}
        while "return" not in reply and "error" not in reply:
            reply = json.loads(f.readline() or b'{"error": {"desc": "QMP closed"}}')
        if "error" in reply:
            sys.exit("qmp %s: %s" % (line, reply["error"]["desc"]))
    elif "Error" in prompt():
        sys.exit("hmp %s: failed" % line)
EOF
}
hmp() { monitor hmp "$run/hmp" "$@"; }
qmp() { monitor qmp "$run/qmp" "$@"; }

now() { date +%s.%N; }
# The value of KEY in a line of "key=value" figures.
value() { [[ " $2 " =~ \ $1=([^ ]*) ]] && printf '%s' "${BASH_REMATCH[1]}"; }
ge() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

failed=0
verdict() {  # NAME FIGURES [REASONS...]: the scenario's one line
  local name=$1 figures=$2
  shift 2
  if [ $# -eq 0 ]; then
    printf '%-34s %s: PASS\n' "$name" "$figures"
  else
    failed=1
    printf '%-34s %s: FAIL (%s)\n' "$name" "$figures" "$(IFS=';'; echo "$*")"
  fi
}

# What the device's line settings look like in the guest's `stty -a`: the
# speed, 8N1 without handshake or parity checking, binary in both
# directions, no carrier to wait for, reads that never wait in the driver.
stty_settings=(cs8 -cstopb -parenb -inpck -crtscts clocal cread -ignbrk -brkint -parmrk -istrip
  -inlcr -igncr -icrnl -ixon -ixoff -opost -isig -icanon -iexten -echo)
# QEMU carries only the speed and the framing to the simulator's terminal.
attrs_settings=(csize=8 cstopb=0 parenb=0)
# Bounds from what the runs here measured under emulation, with a margin: the
# share of baud/140 (14 bytes of 10 bits a frame) and the first record. At
# 9600 the line sets the pace (91-99%); at 115200 the processor time QEMU
# gets does (39-88% on a machine shared with other builds), and the bound
# only tells a driver that keeps up from one that waits a timer out per
# frame (16 ms a frame would be 7%).
declare -A share_bound=([9600]=75 [115200]=20)
first_bound=6
again_bound=6
cpu_bound=8

declare -A attrs stty_seen t_add
declare -a logs=()
pull_seconds=(0 4 3)
outages=""
outage_reasons=()
judged=""

judge_uart() {
  local line=$1 baud share reasons=() figures
  baud=$(value baud "$line")
  share=$(awk -v r="$(value rate "$line")" -v b="$baud" 'BEGIN { printf "%.0f", 100 * r * 140 / b }')
  ge "$share" "${share_bound[$baud]}" || reasons+=("under ${share_bound[$baud]}% of baud/140")
  ge "$first_bound" "$(value first "$line")" || reasons+=("first record after ${first_bound} s")
  [ "$(value bad "$line")" = 0 ] || reasons+=("records no frame in step gives")
  local want
  for want in "baud=$baud" "ispeed=$baud" "${attrs_settings[@]}"; do
    [[ " ${attrs[s1-$baud]:-} " == *" $want "* ]] || reasons+=("attrs without $want")
  done
  for want in "speed $baud baud;" "${stty_settings[@]}" "min = 0;" "time = 0;"; do
    [[ " ${stty_seen[$baud]:-} " == *" $want "* ]] || reasons+=("stty -a without $want")
  done
  [[ "$(value lines-open "$line")" == *RTS*DTR* ]] || reasons+=("RTS and DTR not both up while open")
  [ "$(value same "$line")" = yes ] ||
    reasons+=("stty -g before $(value before "$line") after $(value after "$line")")
  [ ${#logs[@]} -eq 0 ] || reasons+=("the plug-in said: ${logs[*]}")
  figures="$(value records "$line") records, $(value rate "$line")/s = $share% of baud/140"
  figures+=", first after $(value first "$line") s, attrs $(value baud "${attrs[s1-$baud]:-}") 8N1"
  figures+=", stty -a as set, lines open $(value lines-open "$line") after $(value lines-after "$line")"
  figures+=", stty before $([ "$(value same "$line")" = yes ] && echo == || echo !=) after"
  verdict "16550A ttyS1 at $baud" "$figures" "${reasons[@]}"
  judged+=" uart$baud"
}

judge_usb() {
  local line=$1 reasons=() before open back after levels
  before=$(value latency-before "$line") open=$(value latency-open "$line")
  back=$(value latency-open-after-put-back "$line") after=$(value latency-after "$line")
  [ "$open" = 1 ] || reasons+=("not 1 while open")
  [ "$back" = 1 ] || reasons+=("not 1 while open after the put-back")
  [ "$after" = "$before" ] || reasons+=("not as before after close")
  verdict "FTDI ttyUSB0 latency_timer" \
    "before $before, open $open, open after put-back $back, after close $after" "${reasons[@]}"
  judged+=" latency"

  local stream share
  stream=$(value stream-rate "$line")
  share=$(awk -v r="$stream" 'BEGIN { printf "%.0f", 100 * r * 140 / 9600 }')
  reasons=("${outage_reasons[@]}")
  ge "$share" "${share_bound[9600]}" || reasons+=("under ${share_bound[9600]}% of baud/140 before the first pull")
  levels=$(for l in "${logs[@]}"; do [[ $l =~ :\ (ERROR|WARNING|INFO):\  ]] && echo "${BASH_REMATCH[1]}"; done | xargs)
  [ "$levels" = "ERROR WARNING INFO ERROR WARNING INFO" ] ||
    reasons+=("the plug-in said [${logs[*]}]")
  # The port line is the read's or the write's, whichever met the adapter's
  # absence first: EIO once the kernel has hung the terminal up, ENODEV
  # from the driver before that.
  for l in "${logs[@]}"; do
    [[ $l != *" ERROR: "* || $l =~ \ ERROR:\ CRS232H:\ (Reading\ from|Writing\ to)\ /dev/ttyUSB0:\  ]] ||
      reasons+=("port line: $l")
  done
  [ "$(value bad "$line")" = 0 ] || reasons+=("records no frame in step gives")
  [ "$(value same "$line")" = yes ] ||
    reasons+=("stty -g before $(value before "$line") after $(value after "$line")")
  for want in "baud=9600" "ispeed=9600" "${attrs_settings[@]}"; do
    [[ " ${attrs[u0-9600]:-} " == *" $want "* ]] || reasons+=("attrs without $want")
  done
  verdict "USB adapter pulled out twice" \
    "$stream/s = $share% of baud/140 before; ${outages}log $levels; $(value records "$line") records; stty before $([ "$(value same "$line")" = yes ] && echo == || echo !=) after" \
    "${reasons[@]}"
  judged+=" usb"
}

judge_breaks() {
  local line=$1 reasons=()
  [ "$(value brk "$line")" = 5 ] || reasons+=("the 8250 counted $(value brk "$line") breaks, not 5")
  [ "$(value bad "$line")" = 0 ] || reasons+=("$(value bad "$line") records no frame in step gives")
  [ "$(value records "$line")" -gt 100 ] 2>/dev/null || reasons+=("too few records")
  verdict "breaks on ttyS1 at 9600" \
    "5 sent, 8250 brk:$(value brk "$line") fe:$(value fe "$line") oe:$(value oe "$line"), $(value noticed "$line") frames dropped out of step, $(value bad "$line") of $(value records "$line") records out of step, $(value rate "$line")/s; log: ${logs[*]:-nothing}" \
    "${reasons[@]}"
  judged+=" breaks"
}

# A device that sweeps valuator 1 through its whole travel in three frames
# each way and presses buttons 1 and 9 for a single frame each: ten frames,
# each unlike the one before, so every one of them is a record.
fast_frames=(FFFF0200 FFFF02AA FFFF0355 FFFF03FF FFFF02AA FFFF0155 FFFF0000 FFFF0155
             FEFF0200 FFFE0200)
judge_fast() {
  local line=$1 reasons=() share
  share=$(awk -v r="$(value rate "$line")" 'BEGIN { printf "%.0f", 100 * r * 140 / 1200 }')
  ge "$share" "${share_bound[9600]}" || reasons+=("under ${share_bound[9600]}% of baud/140")
  [ "$(value off "$line")" = 0 ] || reasons+=("$(value off "$line") records out of the device's order")
  [ "$(value held "$line")" = 0 ] || reasons+=("$(value held "$line") frames held")
  [ "$(value noticed "$line")" = 0 ] || reasons+=("$(value noticed "$line") frames taken for out of step")
  [ "$(value records "$line")" -ge 40 ] 2>/dev/null || reasons+=("too few records")
  [ "$(value presses "$line")" -ge 8 ] 2>/dev/null || reasons+=("too few single-frame presses")
  [ ${#logs[@]} -eq 0 ] || reasons+=("the plug-in said: ${logs[*]}")
  verdict "16550A at 1200 with fast moves" \
    "$(value records "$line") records, $(value rate "$line")/s = $share% of baud/140, $(value presses "$line") single-frame presses, $(value off "$line") out of order, $(value held "$line") held, $(value noticed "$line") out of step" \
    "${reasons[@]}"
  judged+=" fast"
}

echo "kernel rig: $(qemu-system-x86_64 --version | head -n 1), kernel package $(<"$kernel/version")," \
     "initramfs $(( $(stat -c %s "$run/initrd.gz") / 1024 )) KiB"
exec {console}< <(tail --pid="$qemu" -s 0.1 -n +1 -F "$run/console.log" 2>/dev/null)
ended=""
while IFS= read -r -u "$console" text; do
  text=${text%$'\r'}
  [[ $text == "@ "* ]] || continue
  read -r -a word <<<"${text#@ }"
  case ${word[0]} in
    ready) echo "kernel rig: guest up after $((SECONDS - started)) s: ${text#@ ready }" ;;
    missing) verdict "guest" "waited in vain for ${word[*]:1}" "console in $run/console.log" ;;
    cue)
      case ${word[1]} in
        attrs) attrs[${word[2]}-${word[3]}]=$(sim "${word[2]}" attrs) ;;
        pull)
          k=${word[2]}
          hmp "device_del usbser" || outage_reasons+=("device_del $k failed")
          sleep "${pull_seconds[$k]}"
          hmp "device_add usb-serial,chardev=u0,bus=xhci.0,id=usbser" || outage_reasons+=("device_add $k failed")
          t_add[$k]=$(now)
          ;;
        script)
          for frame in "${fast_frames[@]}"; do echo "${frame}02000200020002000200"; done >"$run/fast.script"
          reply=$(sim "${word[2]}" "script $run/fast.script")
          [[ $reply == ok* ]] || verdict "fast device" "script refused" "$reply"
          ;;
        breaks)
          for _ in $(seq "${word[2]}"); do
            sleep 0.5
            qmp '{"execute": "chardev-send-break", "arguments": {"id": "s1"}}'
          done
          ;;
      esac
      ;;
    stty) stty_seen[${word[1]}]="${word[*]:2}" ;;
    log) logs+=("${word[*]:2}") ;;
    again)
      k=${word[1]}
      delay=$(awk -v a="${t_add[$k]:-0}" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }')
      out=$(value out-seconds "$text") ticks=$(value cpu-ticks "$text")
      cpu=$(awk -v t="$ticks" -v s="$out" 'BEGIN { printf "%.1f", (s > 0 ? t / s : 0) }')
      outages+="outage $k: ${out} s out, host process ${ticks}0 ms of processor ($cpu%), records ${delay} s after device_add; "
      ge "$again_bound" "$delay" || outage_reasons+=("outage $k: records after $delay s")
      ge "$cpu_bound" "$cpu" || outage_reasons+=("outage $k: $cpu% of the processor")
      ;;
    uart) judge_uart "${text#@ }"; logs=() ;;
    usb) judge_usb "${text#@ }"; logs=() ;;
    breaks) judge_breaks "${text#@ }"; logs=() ;;
    fast) judge_fast "${text#@ }"; logs=() ;;
    end) ended=yes ;;
  esac
done
wait "$qemu" 2>/dev/null

if [ "$judged" != " uart9600 uart115200 latency usb breaks fast" ] || [ -z "$ended" ]; then
  verdict "guest" "ended after$judged" "not every scenario ran; console in $run/console.log"
  tail -n 20 "$run/console.log"
  cat "$run/qemu.log"
fi
echo "kernel rig: $((SECONDS - started)) s, $([ $failed = 0 ] && echo PASS || echo FAIL)"
exit $failed
