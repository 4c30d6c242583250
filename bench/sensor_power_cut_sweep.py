#!/usr/bin/env python3
"""Power-cut sweep of the digital-sensor update: cuts the power of a virtual FieldPal (and of the
sensor it powers) right after one exchange of a whole "vexabsl update-sensor", lets it come back
within the simulator's run and runs the update again. Every case must end with the sensor running
the new firmware with its own address, serial number and calibration - or, when a cut in the
restore let the first run end, with those settings in the settings file the run kept.

A clean update is run first to count the answers. The cuts then come after every answer
(--every) or after --points answers spread over the run.

Prints "recovered N of N" and exits 1 when a case was not recovered.

Usage: bench/sensor_power_cut_sweep.py [--build DIR] [--points N | --every] [--jobs N]
"""
import argparse
import concurrent.futures
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

UPDATE_TIMEOUT_S = 180
SENSOR = ["--sensor", "123", "--sensor-address", "3", "--sensor-sn", "AX14-0007",
          "--sensor-x4", "2.25 0.125 -1.5 3.0"]


class Bench:
    def __init__(self, build):
        self.sim = os.path.join(build, "sim", "vexa-sim")
        self.vexabsl = os.path.join(build, "cli", "vexabsl")

    def start_sim(self, folder, *arguments):
        link = os.path.join(folder, "fieldpal")
        sim = subprocess.Popen([self.sim, "fieldpal", "--link", link, "--stats",
                                os.path.join(folder, "stats.json"), *SENSOR, *arguments],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(400):
            if os.path.lexists(link):
                return sim, link
            time.sleep(0.01)
        sim.kill()
        raise RuntimeError("the virtual FieldPal did not start")

    @staticmethod
    def stop_sim(sim, folder):
        sim.send_signal(signal.SIGTERM)
        sim.wait(timeout=20)
        with open(os.path.join(folder, "stats.json")) as f:
            return json.load(f)

    def update(self, link, data):
        return subprocess.run([self.vexabsl, "update-sensor", "--port", link, "--data-dir", data,
                               "--yes"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              stdin=subprocess.DEVNULL, timeout=UPDATE_TIMEOUT_S).returncode


def kept(sensor):
    return (sensor["address"] == "3" and sensor["serial"] == "AX14-0007"
            and sensor["x4"] == "2.25 0.125 -1.5 3.0" and sensor["version"] == "400")


def clean_answers(bench):
    folder = tempfile.mkdtemp(prefix="vexa-sensor-sweep-")
    try:
        sim, link = bench.start_sim(folder)
        code = bench.update(link, folder)
        stats = bench.stop_sim(sim, folder)
        if code != 0 or not kept(stats["instrument"]["sensor"]):
            raise RuntimeError("the clean update failed")
        return stats["answers"]
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def cut_and_recover(bench, cut):
    folder = tempfile.mkdtemp(prefix="vexa-sensor-sweep-")
    try:
        sim, link = bench.start_sim(folder, "--fault", "power-cut-after=%d" % cut,
                                    "--power-off-ms", "300")
        first = bench.update(link, folder)
        time.sleep(0.4)
        second = bench.update(link, folder)
        sensor = bench.stop_sim(sim, folder)["instrument"]["sensor"]
        if second != 0:
            return False
        if kept(sensor):
            return True
        # A cut in the restore: the first run ended and kept its settings file.
        files = glob.glob(os.path.join(folder, "AERIX 14 Sensor.*.settings.txt"))
        text = "".join(open(f).read() for f in files)
        return first == 0 and 'calibration="2.25 0.125 -1.5 3.0"' in text and 'sn="AX14-0007"' in text
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    group = parser.add_mutually_exclusive_group()
    group.add_argument("--points", type=int, default=30)
    group.add_argument("--every", action="store_true")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()
    bench = Bench(args.build)
    total = clean_answers(bench)
    if args.every:
        cuts = list(range(1, total + 1))
    else:
        cuts = sorted({max(1, round(total * (i + 1) / (args.points + 1))) for i in range(args.points)})
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        results = list(pool.map(lambda cut: (cut, cut_and_recover(bench, cut)), cuts))
    failed = [cut for cut, ok in results if not ok]
    print("recovered %d of %d (answers in a clean update: %d)" % (len(cuts) - len(failed), len(cuts), total))
    if failed:
        print("not recovered after answers: %s" % ", ".join(map(str, failed)))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
