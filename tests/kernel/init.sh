#!/bin/busybox sh
# PID 1 of the throwaway machine that tests/kernel/run.sh boots: the
# reference host on the kernel's own drivers (8250 on ttyS1, ftdi_sio on
# ttyUSB0). It only measures; run.sh judges. Lines for run.sh start with "@ ":
# "@ cue ..." asks it to act on the machine (read the simulator, pull the
# adapter, send breaks), the others carry figures as key=value.
/bin/busybox mount -t devtmpfs devtmpfs /dev
exec 0</dev/console 1>/dev/console 2>&1
/bin/busybox --install -s /bin
mkdir -p /proc /sys /tmp
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t tmpfs tmpfs /tmp

say() { echo "@ $*"; }

# Waits up to $2 tenths of a second for the shell test $1.
await() {
  n=0
  until eval "$1"; do
    n=$((n + 1))
    [ $n -ge "$2" ] && return 1
    sleep 0.1
  done
}

records() { n=$(grep -c ' controller ' "/tmp/$1.out" 2>/dev/null); echo "${n:-0}"; }

# The reference host in the background on port $2 at $3 baud for $4 seconds.
start_host() {
  name=$1
  printf 'port %s\nbaud %s\n' "$2" "$3" > "/tmp/$name.conf"
  shift 3
  /opt/pallador/pallador-host "/tmp/$name.conf" --seconds "$@" > "/tmp/$name.out" 2> "/tmp/$name.err" &
  pid=$!
  await "[ \$(records $name) -gt 0 ]" 150 || say missing "$name"
}

# Records, their rate from the first to the last, and how many of them no
# frame of the counting device could have given (buttons, valuators 2-6 not
# at rest, or valuator 1 not one step or a few on from the record before;
# from 1023 it starts again at 0, which reads as 1.000 to -1.000).
summary() {
  awk '$2 == "controller" {
         n++; t = $1; rest = $6 $7 $8 $9 $10 $12
         if (n == 1) { first = t; rest1 = rest }
         else if (!(v >= 0.99 && $5 <= -0.99) && ($5 <= v || $5 - v > 0.1)) bad++
         if (rest != rest1) bad++
         v = $5 }
       END { printf "records=%d first=%s rate=%.1f bad=%d", n, first, (n > 1 ? (n - 1) / (t - first) : 0), bad }' \
      "/tmp/$1.out"
}

# The plug-in's own lines after its report, one "@ log" line each.
log_lines() {
  sed '1,/INFO: -------/d' "/tmp/$1.err" | grep -E ': (ERROR|WARNING|INFO): ' |
    while read -r line; do say log "$1" "$line"; done
}

# The 8250's line of the second port: its counters (brk:N, fe:N, ...) and the
# modem lines.
uart_field() { sed -n "s/^1:.* $1:\([0-9]*\).*/\1/p" /proc/tty/driver/serial | grep . || echo 0; }
modem_lines() { sed -n 's/^1:.* rx:[0-9]*\( [a-z]*:[0-9]*\)* *//p' /proc/tty/driver/serial; }

uart() {
  before=$(stty -F /dev/ttyS1 -g)
  start_host "s1-$1" /dev/ttyS1 "$1" "$2"
  say cue attrs s1 "$1"
  # (busybox's stty -a complains of an ioctl even on a pseudo-terminal, and
  # prints every setting all the same)
  say stty "$1" $(stty -F /dev/ttyS1 -a 2>/dev/null)
  open_lines=$(modem_lines)
  wait $pid
  after=$(stty -F /dev/ttyS1 -g)
  log_lines "s1-$1"
  say uart baud="$1" $(summary "s1-$1") same=$([ "$before" = "$after" ] && echo yes || echo no) \
    lines-open="${open_lines:--}" lines-after="$(modem_lines | grep . || echo -)" before="$before" after="$after"
}

usb() {
  latency=/sys/bus/usb-serial/devices/ttyUSB0/latency_timer
  lat_before=$(cat $latency)
  before=$(stty -F /dev/ttyUSB0 -g)
  start_host usb /dev/ttyUSB0 9600 90
  lat_open=$(cat $latency)
  say cue attrs u0 9600
  sleep 3
  stream=$(summary usb | sed 's/.* rate=\([^ ]*\).*/\1/')
  for k in 1 2; do
    say cue pull $k
    await '[ ! -e /dev/ttyUSB0 ]' 100 || say missing gone
    count=$(records usb)
    t0=$(cut -d' ' -f1 /proc/uptime)
    c0=$(cut -d' ' -f14,15 /proc/$pid/stat)
    await '[ -e /dev/ttyUSB0 ]' 150 || say missing back
    t1=$(cut -d' ' -f1 /proc/uptime)
    c1=$(cut -d' ' -f14,15 /proc/$pid/stat)
    # Ticks of 1/100 s, user and system, of the host process while it was out.
    set -- ${c0:-0 0} ${c1:-0 0}
    out_ticks=$(($3 + $4 - $1 - $2))
    await "[ \$(records usb) -gt $count ]" 100 || say missing again
    say again $k out-seconds=$(awk "BEGIN { print $t1 - $t0 }") cpu-ticks=$out_ticks
    sleep 2
  done
  lat_back=$(cat $latency)
  kill $pid
  wait $pid
  after=$(stty -F /dev/ttyUSB0 -g)
  log_lines usb
  say usb $(summary usb) stream-rate="$stream" latency-before=$lat_before latency-open=$lat_open \
    latency-open-after-put-back=$lat_back latency-after=$(cat $latency) \
    same=$([ "$before" = "$after" ] && echo yes || echo no) before="$before" after="$after"
}

breaks() {
  brk=$(uart_field brk)
  start_host brk /dev/ttyS1 9600 14 --debug 1
  say cue breaks 5
  wait $pid
  log_lines brk
  say breaks brk=$(($(uart_field brk) - brk)) $(summary brk) \
    noticed=$(grep -c 'Out of step' /tmp/brk.err) fe=$(uart_field fe) oe=$(uart_field oe)
}

# Records of the fast device (tests/kernel/run.sh plays it from a script of
# ten frames, each unlike the one before): how many break the ten-frame
# period or repeat the record before (a frame withheld or published twice),
# and how many carry a press, each of which lasts one frame.
fast_summary() {
  awk '$2 == "controller" { n++; t = $1; k[n] = $5 "/" $12; if (n == 1) first = t
                            if ($12 ~ /1/) presses++ }
       END { for (i = 11; i <= n; i++) if (k[i] != k[i - 10]) off++
             for (i = 2; i <= n; i++) if (k[i] == k[i - 1]) off++
             printf "records=%d first=%s rate=%.2f off=%d presses=%d", n, first,
                    (n > 1 ? (n - 1) / (t - first) : 0), off, presses }' "/tmp/$1.out"
}

fast() {
  say cue script s1
  sleep 1
  start_host fast /dev/ttyS1 1200 16 --debug 1
  wait $pid
  log_lines fast
  say fast $(fast_summary fast) held=$(grep -c 'Frame held' /tmp/fast.err) \
    noticed=$(grep -c 'Out of step' /tmp/fast.err)
}

for m in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
  insmod "/modules/$m.ko" || say missing "insmod $m"
done
await '[ -e /dev/ttyUSB0 ]' 200 || say missing ttyUSB0
say ready kernel=$(uname -r) uart="$(sed -n 's/^1: uart:\([^ ]*\).*/\1/p' /proc/tty/driver/serial)" \
  usb="$(basename "$(readlink /sys/bus/usb-serial/devices/ttyUSB0/driver)")"

uart 9600 8
uart 115200 6
usb
breaks
fast

say end
poweroff -f
