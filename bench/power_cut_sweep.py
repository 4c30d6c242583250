#!/usr/bin/env python3
"""Power-cut sweep: cuts a virtual FieldPal's power right after one exchange of a whole update,
stops the updater as a power cut of the whole bench would, powers the FieldPal back on and runs
the update again. Every case must end with the new firmware and all of the FieldPal's original
settings.

A clean update is run first to count the instrument's answers. The cuts then come after every
answer (--every), or after --points answers spread over the run plus every phase boundary (the
answers after which the instrument changes state: firmware, loader, restart, new firmware).

Prints "recovered N of N; settings kept N of N" and exits 1 when a case was not recovered.

Usage: bench/power_cut_sweep.py [--build DIR] [--points N | --every] [--jobs N]
"""
import argparse
import concurrent.futures
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

UPDATE_TIMEOUT_S = 180


class Bench:
    def __init__(self, build, work):
        self.sim = os.path.join(build, "sim", "vexa-sim")
        self.vexabsl = os.path.join(build, "cli", "vexabsl")
        self.work = work

    def start_sim(self, folder, *arguments):
        link = os.path.join(folder, "fieldpal")
        if os.path.lexists(link):
            os.remove(link)
        sim = subprocess.Popen([self.sim, "fieldpal", "--link", link, *arguments],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(400):
            if os.path.lexists(link):
                return sim, link
            time.sleep(0.01)
        sim.kill()
        raise RuntimeError("the virtual FieldPal did not start")

    @staticmethod
    def stop_sim(sim):
        sim.send_signal(signal.SIGTERM)
        sim.wait(timeout=20)

    def update(self, link, data):
        return subprocess.run([self.vexabsl, "update", "--port", link, "--data-dir", data, "--yes"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                              timeout=UPDATE_TIMEOUT_S).returncode


def load(path):
    with open(path) as f:
        return json.load(f)


def pristine_state(bench):
    """The FieldPal's state as it left the factory, written by a run nobody talks to."""
    folder = os.path.join(bench.work, "pristine")
    os.makedirs(folder)
    state = os.path.join(folder, "state.json")
    sim, _ = bench.start_sim(folder, "--state", state)
    bench.stop_sim(sim)
    return state


def clean_run(bench, pristine):
    """A whole update without a cut: its answer count and the answers at which the state changed."""
    folder = os.path.join(bench.work, "clean")
    os.makedirs(folder)
    state = os.path.join(folder, "state.json")
    shutil.copy(pristine, state)
    transcript = os.path.join(folder, "transcript.jsonl")
    sim, link = bench.start_sim(folder, "--state", state, "--stats", os.path.join(folder, "stats.json"),
                                "--transcript", transcript)
    result = bench.update(link, folder)
    bench.stop_sim(sim)
    if result != 0:
        raise RuntimeError("the clean update failed")
    answers = load(os.path.join(folder, "stats.json"))["instrument"]["answers_sent"]
    boundaries, count, last_state = set(), 0, None
    with open(transcript) as f:
        for line in f:
            event = json.loads(line)
            if event.get("dir") != "out":
                continue
            count += 1
            if last_state is not None and event.get("state") != last_state:
                boundaries.update({count - 1, count})
            last_state = event.get("state")
    return answers, boundaries


def cut_and_recover(bench, pristine, cut):
    """One case: True, True when the FieldPal ends with the new firmware and its own settings."""
    folder = tempfile.mkdtemp(prefix=f"cut{cut}-", dir=bench.work)
    state = os.path.join(folder, "state.json")
    shutil.copy(pristine, state)
    transcript = os.path.join(folder, "transcript.jsonl")
    sim, link = bench.start_sim(folder, "--state", state, "--transcript", transcript,
                                "--fault", f"power-cut-after={cut}")
    updater = subprocess.Popen([bench.vexabsl, "update", "--port", link, "--data-dir", folder, "--yes"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               stdin=subprocess.DEVNULL)
    # The bench loses its power with the instrument: the updater goes as soon as the cut is seen.
    deadline = time.monotonic() + UPDATE_TIMEOUT_S
    while updater.poll() is None and time.monotonic() < deadline:
        with open(transcript) as f:
            if '"state":"off"' in f.read():
                break
        time.sleep(0.02)
    if updater.poll() is None:
        updater.kill()
    updater.wait()
    bench.stop_sim(sim)

    sim, link = bench.start_sim(folder, "--state", state)
    result = bench.update(link, folder)
    bench.stop_sim(sim)
    after, before = load(state), load(pristine)
    recovered = result == 0 and after["firmware_version"] == "2.00"
    kept = after["settings"] == before["settings"]
    if recovered and kept:
        shutil.rmtree(folder)
    return recovered, kept


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    group = parser.add_mutually_exclusive_group()
    group.add_argument("--points", type=int, default=30)
    group.add_argument("--every", action="store_true")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="vexa-power-cut-")
    bench = Bench(os.path.abspath(args.build), work)
    pristine = pristine_state(bench)
    answers, boundaries = clean_run(bench, pristine)
    if args.every:
        cuts = list(range(1, answers + 1))
    else:
        step = max(1, answers // max(1, args.points))
        cuts = sorted(({min(answers, 1 + i * step) for i in range(args.points)} | boundaries) -
                      {0})
    print(f"A clean update has {answers} answers; cutting after {len(cuts)} of them")

    failed = []
    recovered = kept = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for cut, (ok, settings) in zip(cuts, pool.map(lambda c: cut_and_recover(bench, pristine, c),
                                                     cuts)):
            recovered += ok
            kept += settings
            if not (ok and settings):
                failed.append(cut)
    print(f"recovered {recovered} of {len(cuts)}; settings kept {kept} of {len(cuts)}")
    if failed:
        print(f"not recovered after the cut at answer: {failed} (folders in {work})")
        return 1
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
