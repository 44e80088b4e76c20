"""The timed part of bench/python/run.sh: rmtool check against kinaro reading into arrays."""

import statistics
import subprocess
import sys
import time

import kinaro


def read(path, keep):
    start = time.perf_counter()
    kept = []
    with kinaro.open(path, max=100000) as movie:
        for frame in movie:
            if keep:
                kept.append(frame.indices)
    return time.perf_counter() - start, len(kept) or None


def timed_command(command):
    """Wall seconds and maximum RSS in MB of one command."""
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, capture_output=True, text=True,
                          check=True)
    return time.perf_counter() - start, int(done.stderr.split()[-1]) / 1024


def main(rmtool, path, rounds):
    with kinaro.open(path, max=100000) as movie:
        first = movie[0]
        count = sum(1 for _ in movie)
    frame_mb = first.width * first.height / 2**20
    print(f"{path}: {count} frames of {first.width}x{first.height} ({frame_mb:.2f} MB each)")
    if len(sys.argv) > 4:  # one reading, for /usr/bin/time
        print(read(path, sys.argv[4] == "keep"))
        return
    check, drop, keep = [], [], []
    for _ in range(rounds):
        check.append(timed_command([rmtool, "check", "-max", "100000", path])[0])
        drop.append(read(path, False)[0])
        keep.append(read(path, True)[0])
    base = statistics.median(check)
    rows = [("rmtool check (whole command)", check),
            ("kinaro: every frame into an array, dropped", drop),
            ("kinaro: every frame into an array, all kept", keep)]
    print(f"median of {rounds} rounds, run in turn")
    print(f"{'run':46} {'s':>7} {'ms/frame':>9} {'ratio':>6}")
    for label, times in rows:
        t = statistics.median(times)
        print(f"{label:46} {t:7.3f} {1000 * t / count:9.2f} {t / base:6.2f}")
    print("peak memory (maximum RSS) of one run each:")
    script = [sys.executable, __file__, rmtool, path, "1"]
    for label, command in [("rmtool check", [rmtool, "check", "-max", "100000", path]),
                           ("python, frames dropped", script + ["drop"]),
                           ("python, frames kept", script + ["keep"])]:
        print(f"  {label:24} {timed_command(command)[1]:8.1f} MB")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
