"""The timed part of bench/python/run.sh: rmtool check against kinaro reading into arrays."""

import resource
import statistics
import subprocess
import sys
import time

import numpy as np

import kinaro


def timed(work):
    """Wall and CPU seconds (user + system, this process) of work()."""
    wall, cpu = time.perf_counter(), time.process_time()
    work()
    return time.perf_counter() - wall, time.process_time() - cpu


def read(path, keep):
    kept = []
    with kinaro.open(path, max=100000) as movie:
        for frame in movie:
            if keep:
                kept.append(frame.indices)


def fresh_arrays(count, height, width):
    """What keeping frames costs in memory alone: arrays of a frame's size, each written once."""
    return [np.full((height, width), 1, dtype=np.uint8) for _ in range(count)]


def command(argv):
    """Wall and CPU seconds of a command, and its maximum RSS in MB."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    wall = time.perf_counter()
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - wall
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, after.ru_maxrss / 1024


def main(rmtool, path, rounds):
    with kinaro.open(path, max=100000) as movie:
        first = movie[0]
        count = sum(1 for _ in movie)
    print(f"{path}: {count} frames of {first.width}x{first.height} "
          f"({first.width * first.height / 2**20:.2f} MB each)")
    if len(sys.argv) > 4:  # one reading, for the peak memory
        read(path, sys.argv[4] == "keep")
        return
    check = [rmtool, "check", "-max", "100000", path]
    runs = {"rmtool check (whole command)": [],
            "kinaro: every frame into an array, dropped": [],
            "kinaro: every frame into an array, all kept": [],
            "NumPy alone: as many fresh arrays, kept": []}
    for _ in range(rounds):
        rows = iter(runs.values())
        next(rows).append(command(check)[:2])
        next(rows).append(timed(lambda: read(path, False)))
        next(rows).append(timed(lambda: read(path, True)))
        next(rows).append(timed(lambda: fresh_arrays(count, first.height, first.width)))
    base = [statistics.median(t[k] for t in runs["rmtool check (whole command)"]) for k in (0, 1)]
    print(f"median of {rounds} rounds, run in turn; wall and CPU (user + system) time")
    print(f"{'run':46} {'wall s':>7} {'ratio':>6} {'CPU s':>7} {'ratio':>6} {'CPU ms/frame':>13}")
    for label, times in runs.items():
        wall, cpu = (statistics.median(t[k] for t in times) for k in (0, 1))
        print(f"{label:46} {wall:7.3f} {wall / base[0]:6.2f} {cpu:7.3f} {cpu / base[1]:6.2f} "
              f"{1000 * cpu / count:13.2f}")
    print("peak memory (maximum RSS) of one run each:")
    script = [sys.executable, __file__, rmtool, path, "1"]
    for label, argv in [("rmtool check", check), ("python, frames dropped", script + ["drop"]),
                        ("python, frames kept", script + ["keep"])]:
        # RUSAGE_CHILDREN keeps the largest child so far: measure each in a fresh process.
        probe = [sys.executable, "-c", "import resource, subprocess, sys; "
                 "subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL); "
                 "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)"] + argv
        kb = int(subprocess.run(probe, check=True, capture_output=True, text=True).stdout)
        print(f"  {label:24} {kb / 1024:8.1f} MB")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
