#!/usr/bin/env python3
"""Writes the seed corpus of both fuzz targets (run from anywhere; it
rewrites fuzz/corpus/config/ and fuzz/corpus/receive/). The input formats are
described at the top of fuzz/fuzz_config.cpp and fuzz/fuzz_receive.cpp."""
import pathlib

here = pathlib.Path(__file__).resolve().parent
examples = here.parent.parent / "examples"
NULL = "\x01"


def write(directory, name, data):
    path = here / directory / name
    path.parent.mkdir(exist_ok=True)
    path.write_bytes(data)


# ---- fuzz_config: a choices byte, then configuration text
DEBUG, UNLOCKED, UNRESTRICTED, FOUR, OUTPUT, THREE, NO_TRACKERS = 1, 2, 4, 0x18, 0x20, 0x40, 0x80


def config(name, choices, *lines):
    write("config", name, bytes([choices]) + "\n".join(("device pallador",) + lines).encode("latin-1"))


for example in sorted(examples.glob("*.conf")):
    write("config", "example-" + example.stem, b"\x00" + example.read_bytes())
write("config", "example-tracker-three-outputs",
      bytes([DEBUG | OUTPUT | THREE]) + (examples / "tracker.conf").read_bytes())
config("device-options", 0, "Port", "baud 9600 19200", "PORT com3", "SerialPort /dev/ttyS1",
       "BaudRate 12345", "baudrate 0x2580")
config("device-empty-port", 0, "port ", "baud 115200")
config("valuator-orders", 0, "valuatororder 1 3 1 2", "valuatororder 1 6", "valuatororder 1",
       "valuatororder 1 7", "valuatororder 1 2 2", "valuatororder 1 x", "valuatororder 1 -1",
       "valuatororder 1 0 2", "valuatororder 2 1")
config("button-orders", UNRESTRICTED, "buttonorder 1 12 11 10 9 8 7 6 5 4 3 2 1",
       "buttonorder 1 32 0 31", "buttonorder 1 33", "buttonorder 0x1 010 0x0A")
config("valuator-scales", 0, "valuatorscale 1 2 all", "valuatorscale 1 [0,0,0,0] 1",
       "valuatorscale 1 0 1", "valuatorscale 1 two 1", "valuatorscale 1 [1,0,0,0] 1 2",
       "valuatorscale 1 2 7", "valuatorscale 1 [0.5] 1", "valuatorscale 1 [1e39,-1e39,nan,inf] 3",
       "valuatorscale 1 [ 1, 2 ,3,4] 4", "valuatorscale 1 - 5", "valuatorscale 1  6")
config("emulations", 0, "emulatetracker 1 [0,0,1.5,0,0,0] 1 2 3 4 5 6",
       "emulatetracker 1 [0,0,1.5,0,0,0] 1 2 3 4 5 6 12",
       "emulatetracker 1 [0,0,1.5,0,0,0] 1 2 3 4 5 6 13", "emulatetracker 1 0 1 2 3 4 5 6",
       "emulatetracker 1 [0,0,0,0,0,0] 1 2 3 0 0 0", "emulatetracker 1 [0,0,0,0,0,0] 1 2 3 4 5 7",
       "emulatetracker 1 [0,0,0,0,0,0] 1 2 3 4 5 6 7 8", "emulatetracker 1 [1,2] 1 2 3 4 5",
       "emulatetracker 2 [0,0,0,0,0,0] 1 2 3 4 5 6")
config("controller-orders", UNLOCKED | FOUR, "order 2 1", "controllerorder 2", "unitorder 1 2 3",
       "order 3 1", "order 5", "emulatetracker 2 [0,0,0,0,0,0] 1 2 3 4 5 6",
       "emulatetracker 4 [0,0,0,0,0,0] 6 5 4 3 2 1 1")
config("tracker-transforms", DEBUG, "emulatetracker 1 [0,0,0,0,0,0] 1 2 3 4 5 6",
       "transmitteroffset 1 2 3", "transmitteroffset 0 0 0", "transmitteroffset 1 2 3 yards",
       "transmitteroffset 1 -1 0 cm", "transmitterrotation 0 0 0 45", "transmitterrotation 0 0 2 90",
       "transmitterrotation 0 0 1 abc", "transmitterrotation 0 0 1 +abc",
       "transmitterrotationmatrix 1 0 0 0 1 0 0 0", "transmitterrotationmatrix 1 0 0 0 1 0 0 0 1 0",
       "TransmitterRotationMatrix 0 1 0 -1 0 0 0 0 1", "sensoroffset 1 100 0 0 cm",
       "sensoroffset 9", "sensoroffset 1", "sensoroffset 0x1 1 2 3 FEET",
       "sensoroffset 1 1 2 3 yards", "sensortranslation 1 1 2 3", "SENSORROTATION 1 1 0 0 -90",
       "sensorrotationmatrix 1 1 0 0 0 1 0 0 0 1")
config("tracker-orders", OUTPUT | THREE, "emulatetracker 1 [0,0,0,0,0,0] 1 2 3 4 5 6",
       "trackerorder 3 1", "order 1 1", "unitorder 1 5", "trackerorder 4", "cavecoord on")
config("cave-and-calibration", 0, "emulatetracker 1 [0,0,0,0,0,0] 1 2 3 4 5 6", "cavecoord ON",
       "cavecoordinates maybe", "cavecoord", "cavecoord on off",
       "calibration calib.so a b c d e f g h i j", "calib calib.so a b c d e f g h i j k",
       "calibration other.dll x", "calibration missing", "calibration " + "n" * 300 + ".so",
       "calibration")
config("unknown-and-null", 0, "baudrat 9600", NULL + " 1", "valuatororder " + NULL + " 2",
       "valuatorscale 1 " + NULL + " all", "port " + NULL, "  ", "order 1")
config("no-tracker-storage", NO_TRACKERS, "emulatetracker 1 [0,0,1.5,0,0,0] 1 2 3 4 5 6 12")
config("forty-lines", DEBUG, *["valuatorscale 1 [0.1,0,0.9,0] all"] * 40)
config("seventy-args", 0, "buttonorder 1 " + " ".join(str(n % 33) for n in range(70)),
       "emulatetracker 1 " + " ".join(["1"] * 70), "calibration x.so " + " ".join(["a"] * 66))

# ---- fuzz_receive: a choices byte, then the device's answers
EMULATION, RDEBUG, CURVES, SECOND, STREAM = 1, 2, 4, 8, 0x10


def stop_at(silence):
    return silence << 5


def words(*values):
    return b"".join(v.to_bytes(2, "big") for v in values)


REST = words(0x0FFF, 511, 512, 511, 512, 511, 512)
EDGE = bytes.fromhex("00FF000003FF03FF000001FF0200")
RESET = words(0x0F07, 600, 700, 800, 900, 1000, 300)  # buttons 1-3 and 12 pressed


class Outage:
    """The adapter pulled out where the next answer would come; the port
    opens again after `refused` attempts that find it absent."""

    def __init__(self, refused):
        self.refused = refused


def answer(a):
    return bytes([0xFF, a.refused]) if isinstance(a, Outage) else bytes([len(a)]) + a


def receive(name, choices, *answers):
    write("receive", name, bytes([choices]) + b"".join(answer(a) for a in answers))


receive("start-and-frames", 0, b"", REST, REST, EDGE, REST)
receive("emulation", EMULATION, b"", REST, EDGE, EDGE, RESET, EDGE)
receive("emulation-debug-curves", EMULATION | RDEBUG | CURVES, b"", REST, EDGE, RESET, EDGE)
receive("button-words", CURVES, b"", REST, words(0xFFFF, 0, 0, 0, 0, 0, 0),
        words(0xF0F0, 1023, 1023, 1023, 1023, 1023, 1023), words(0x8000, 0x8000, 0xFFFF, 0x7FFF,
                                                               0x8001, 0, 1))
receive("probe-13-15-14", 0, b"", REST[:13], REST + b"\x00", REST, EDGE)
receive("probe-streaming", 0, b"", bytes(range(120)), REST, EDGE)
receive("half-word", 0, b"", REST, EDGE[:1], REST, EDGE[:3], REST, EDGE)
receive("short-frame", EMULATION, b"", REST, EDGE[:7], REST, EDGE)
receive("long-frame", 0, b"", REST, EDGE + b"\x55\x55", REST)
receive("noise-at-start", 0, b"\x13\x37\x00", REST, EDGE)
receive("run-flag-mid-frame", EMULATION | stop_at(2), b"", REST, EDGE[:5], EDGE)
receive("second-device", EMULATION | SECOND, b"", REST, EDGE, RESET)
receive("never-answers", RDEBUG, b"", b"", b"")
receive("outage-between-frames", RDEBUG, b"", REST, EDGE, Outage(2), REST, EDGE, REST)
receive("outage-at-once-back", EMULATION, b"", REST, Outage(0), REST, EDGE, Outage(1), REST)
receive("outage-then-stop", stop_at(3), b"", REST, EDGE, Outage(3), REST, EDGE)
# A byte lost at the end of an answer: valuator 6 completed by the next
# answer's first byte. A stray of plausible value after byte 3 of a device
# whose valuators rest at 514, so that every word after it still fits.
MOVED = words(0x0FFF, 100, 900, 300, 700, 200, 0x01C0)
AT514 = words(0xFFFF, 514, 514, 514, 514, 514, 514)
receive("lost-last-byte", 0, b"", REST, MOVED[:13], REST, EDGE, REST)
receive("plausible-stray", RDEBUG, b"", AT514, AT514[:4] + b"\x40" + AT514[4:], AT514, AT514)
# Unused bits clear at rest: a press that the next answer's head cannot
# prove waits for a quiet answer.
CLEAR = words(0xFF0F, 512, 512, 512, 512, 512, 512)
receive("unused-bits-clear-press", EMULATION, b"", CLEAR, words(0xFE0F, 512, 512, 512, 512, 512,
                                                               512), CLEAR, CLEAR[:12], CLEAR)
write("receive", "stream-one-answer", bytes([STREAM]) + REST)
write("receive", "stream-frames", bytes([STREAM | EMULATION]) + b"\x00\x00" + REST + EDGE * 3)
write("receive", "stream-garbage", bytes([STREAM | CURVES]) + bytes((i * 37 + 11) % 256
                                                                    for i in range(300)))
