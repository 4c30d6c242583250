#!/usr/bin/env python3
"""Whole-update benchmark: vexabsl update of a virtual FieldPal that paces its line (9600 baud on
the command line, 57600 in its loader) and models its own work, compared with the least the wire,
the instrument and the pauses the protocols prescribe allow.

Prints: wall time, the minimum (wire + instrument + prescribed pauses), their ratio, and the
updater's CPU time as a share of the wall time. Goals: a ratio of at most 1.02, CPU under 2 %.

Usage: bench/update_bench.py [--build DIR] [--runs N]
"""
import argparse
import json
import os
import resource
import signal
import subprocess
import sys
import tempfile
import time

# Pauses the updater makes whatever the line does:
#   the loader client: the settle after opening the port (1000 ms), the boot command's answer time
#   (750 ms), the two handshake reads (100 ms each), the pause before the vectors (50 ms) and after
#   closing (100 ms);
#   the FieldPal's boot wait after the vectors (2000 ms, the instrument's restart runs inside it);
#   the command line: the pause after opening the port and after letting the instrument go
#   (100 ms each), twice: before the loader and after the new firmware.
LOADER_PAUSES_MS = 1000 + 750 + 100 + 100 + 50 + 100
BOOT_WAIT_MS = 2000
COMMAND_LINE_PAUSES_MS = 2 * (100 + 100)
PRESCRIBED_MS = LOADER_PAUSES_MS + BOOT_WAIT_MS + COMMAND_LINE_PAUSES_MS


def run_once(build, work):
    link = os.path.join(work, "fieldpal")
    stats_path = os.path.join(work, "stats.json")
    for name in os.listdir(work):
        os.remove(os.path.join(work, name))
    sim = subprocess.Popen(
        [os.path.join(build, "sim", "vexa-sim"), "fieldpal", "--realtime", "--link", link,
         "--stats", stats_path],
        stdout=subprocess.DEVNULL)
    try:
        for _ in range(200):
            if os.path.lexists(link):
                break
            time.sleep(0.01)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        update = subprocess.run(
            [os.path.join(build, "cli", "vexabsl"), "update", "--port", link, "--data-dir", work,
             "--yes"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        wall_ms = (time.monotonic() - start) * 1000
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
    finally:
        sim.send_signal(signal.SIGTERM)
        sim.wait(timeout=30)
    if update.returncode != 0:
        sys.exit(f"the update failed (exit {update.returncode}); see the error file in {work}")
    with open(stats_path) as f:
        stats = json.load(f)
    device = stats["device_ms"]
    # The restart after the vectors runs inside the boot wait.
    instrument_ms = device["answer"] + device["erase"] + device["program"] + device["data_erase"]
    minimum_ms = stats["wire_ms"] + instrument_ms + PRESCRIBED_MS
    cpu_ms = ((after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)) * 1000
    return wall_ms, stats["wire_ms"], instrument_ms, minimum_ms, cpu_ms


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    parser.add_argument("--runs", type=int, default=1)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    with tempfile.TemporaryDirectory(prefix="vexa-bench-") as work:
        for run in range(args.runs):
            wall, wire, instrument, minimum, cpu = run_once(build, work)
            print(f"run {run + 1}: wall {wall / 1000:.2f} s, minimum {minimum / 1000:.2f} s "
                  f"(wire {wire / 1000:.2f} s + instrument {instrument / 1000:.2f} s + pauses "
                  f"{PRESCRIBED_MS / 1000:.2f} s), ratio {wall / minimum:.3f}, "
                  f"updater CPU {cpu:.0f} ms = {100 * cpu / wall:.2f} % of wall")


if __name__ == "__main__":
    main()
