#!/usr/bin/python3
"""Turns a recording of `pallador-host --json` into a PNG of the valuators
and the emulated tracker's pose over time.

    build/native/pallador-host examples/tracker.conf --simulate --seconds 20 --json > run.jsonl
    /usr/bin/python3 scripts/plot.py run.jsonl run.png

Needs matplotlib (Debian: apt-get install python3-matplotlib, or
scripts/setup.sh --plot).
"""
import json
import sys


def read(path):
    controllers, trackers = [], []
    with open(path, encoding="utf-8") as stream:
        for number, line in enumerate(stream, 1):
            line = line.strip()
            if not line:
                continue
            try:
                record = json.loads(line)
            except json.JSONDecodeError as error:
                sys.exit(f"{path}:{number}: not a JSON line: {error}")
            if record.get("kind") == "controller":
                controllers.append(record)
            elif record.get("kind") == "tracker":
                trackers.append(record)
    return controllers, trackers


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: plot.py RECORDING.jsonl OUTPUT.png")
    controllers, trackers = read(sys.argv[1])
    if not controllers and not trackers:
        sys.exit(f"{sys.argv[1]}: no records")
    try:
        import matplotlib
    except ImportError:
        sys.exit("plot.py needs matplotlib: apt-get install python3-matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    rows = 3 if trackers else 1
    figure, axes = plt.subplots(rows, 1, figsize=(10, 3.2 * rows), sharex=True, squeeze=False)
    axes = axes[:, 0]
    times = [r["t"] for r in controllers]
    count = max((len(r["valuators"]) for r in controllers), default=0)
    for n in range(count):
        values = [r["valuators"][n] if n < len(r["valuators"]) else None for r in controllers]
        axes[0].step(times, values, where="post", label=f"valuator {n + 1}")
    axes[0].set_ylabel("valuator")
    axes[0].set_ylim(-1.1, 1.1)
    if count:
        axes[0].legend(loc="upper right", fontsize="small", ncol=3)
    if trackers:
        t = [r["t"] for r in trackers]
        for axis, name in enumerate(("x", "y", "z")):
            axes[1].plot(t, [r["pose"][axis] for r in trackers], label=name)
        axes[1].set_ylabel("position")
        axes[1].legend(loc="upper right", fontsize="small")
        for axis, name in enumerate(("azim", "elev", "roll"), 3):
            axes[2].plot(t, [r["pose"][axis] for r in trackers], label=name)
        axes[2].set_ylabel("orientation")
        axes[2].legend(loc="upper right", fontsize="small")
    axes[-1].set_xlabel("seconds")
    figure.tight_layout()
    figure.savefig(sys.argv[2], dpi=100)
    print(f"{sys.argv[2]}: {len(controllers)} controller and {len(trackers)} tracker records")


if __name__ == "__main__":
    main()
