#!/usr/bin/env python3
"""Power-cut sweep: cuts a virtual FieldPal's power right after one exchange of a whole update,
stops the updater as a power cut of the whole bench would, powers the FieldPal back on and runs
the update again. Every case must end with the new firmware and all of the FieldPal's original
settings.

A clean update is run first to count the instrument's answers. The cuts then come after every
answer (--every), or after --points answers spread over the run plus every phase boundary (the
answers after which the instrument changes state: firmware, loader, restart, new firmware).

Prints "recovered N of N with the settings kept" and exits 1 when a case was not recovered; each
failed case is named with what went wrong and its folder, which is kept.

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

# Generous: a sanitizer build on a busy two-core machine takes minutes where a normal one takes
# seconds. Every wait below ends on its own signal long before these limits when all is well.
UPDATE_TIMEOUT_S = 900
START_TIMEOUT_S = 120
STOP_TIMEOUT_S = 120


class CaseError(Exception):
    """Something in one case went wrong other than the updater's result: that case fails."""


class Bench:
    def __init__(self, build, work):
        self.sim = os.path.join(build, "sim", "vexa-sim")
        self.vexabsl = os.path.join(build, "cli", "vexabsl")
        self.work = work

    def start_sim(self, folder, *arguments):
        """Starts a virtual FieldPal; it makes its link last, once its transcript exists."""
        link = os.path.join(folder, "fieldpal")
        if os.path.lexists(link):
            os.remove(link)
        with open(os.path.join(folder, "vexa-sim.err"), "ab") as errors:
            sim = subprocess.Popen([self.sim, "fieldpal", "--link", link, *arguments],
                                   stdout=subprocess.DEVNULL, stderr=errors)
        deadline = time.monotonic() + START_TIMEOUT_S
        while time.monotonic() < deadline:
            if os.path.lexists(link):
                return sim, link
            if sim.poll() is not None:
                raise CaseError(f"vexa-sim ended at once with status {sim.returncode} "
                                f"(see {folder}/vexa-sim.err)")
            time.sleep(0.01)
        self.stop_sim(sim)
        raise CaseError(f"vexa-sim made no link in {START_TIMEOUT_S} s")

    @staticmethod
    def stop_sim(sim):
        """Ends a virtual FieldPal as a power switch would, after it has written its state."""
        if sim.poll() is None:
            sim.send_signal(signal.SIGTERM)
        try:
            sim.wait(timeout=STOP_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            sim.kill()
            sim.wait()
            raise CaseError(f"vexa-sim did not stop within {STOP_TIMEOUT_S} s")
        if sim.returncode != 0:
            raise CaseError(f"vexa-sim ended with status {sim.returncode}")

    def update(self, link, data):
        try:
            return subprocess.run([self.vexabsl, "update", "--port", link, "--data-dir", data,
                                   "--yes"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  stdin=subprocess.DEVNULL, timeout=UPDATE_TIMEOUT_S).returncode
        except subprocess.TimeoutExpired:
            raise CaseError(f"vexabsl update did not end within {UPDATE_TIMEOUT_S} s")


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
    try:
        result = bench.update(link, folder)
    finally:
        bench.stop_sim(sim)
    if result != 0:
        raise CaseError(f"the clean update failed with exit status {result}")
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
    """One case: its folder and what went wrong, or None when the FieldPal ends with the new
    firmware and its own settings (the folder is then removed)."""
    folder = tempfile.mkdtemp(prefix=f"cut{cut}-", dir=bench.work)
    try:
        problem = cut_and_recover_in(bench, pristine, cut, folder)
    except CaseError as error:
        problem = str(error)
    except (OSError, ValueError, KeyError) as error:
        problem = f"{type(error).__name__}: {error}"
    if problem is None:
        shutil.rmtree(folder)
    return folder, problem


def cut_and_recover_in(bench, pristine, cut, folder):
    state = os.path.join(folder, "state.json")
    shutil.copy(pristine, state)
    transcript = os.path.join(folder, "transcript.jsonl")
    sim, link = bench.start_sim(folder, "--state", state, "--transcript", transcript,
                                "--fault", f"power-cut-after={cut}")
    updater = None
    try:
        updater = subprocess.Popen([bench.vexabsl, "update", "--port", link, "--data-dir", folder,
                                    "--yes"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   stdin=subprocess.DEVNULL)
        # The bench loses its power with the instrument: the updater goes as soon as the cut is
        # seen in the transcript, or ends by itself.
        deadline = time.monotonic() + UPDATE_TIMEOUT_S
        with open(transcript) as f:
            tail = ""  # the end of what was read, so a mark split between two reads is found
            while updater.poll() is None and time.monotonic() < deadline:
                tail = tail[-16:] + f.read()
                if '"state":"off"' in tail:
                    break
                time.sleep(0.02)
    finally:
        if updater is not None:
            if updater.poll() is None:
                updater.kill()
            updater.wait()
        bench.stop_sim(sim)

    sim, link = bench.start_sim(folder, "--state", state)
    try:
        result = bench.update(link, folder)
    finally:
        bench.stop_sim(sim)
    after, before = load(state), load(pristine)
    problems = []
    if result != 0:
        problems.append(f"the second run exited with {result}")
    if after["firmware_version"] != "2.00":
        problems.append(f"the firmware is {after['firmware_version']}")
    if after["settings"] != before["settings"]:
        problems.append("the settings changed")
    return "; ".join(problems) or None


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
    try:
        pristine = pristine_state(bench)
        answers, boundaries = clean_run(bench, pristine)
    except CaseError as error:
        print(f"the sweep could not start: {error} (folders in {work})")
        return 1
    if args.every:
        cuts = list(range(1, answers + 1))
    else:
        step = max(1, answers // max(1, args.points))
        cuts = sorted(({min(answers, 1 + i * step) for i in range(args.points)} | boundaries) -
                      {0})
    print(f"A clean update has {answers} answers; cutting after {len(cuts)} of them", flush=True)

    failed = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for cut, (folder, problem) in zip(cuts, pool.map(
                lambda c: cut_and_recover(bench, pristine, c), cuts)):
            if problem:
                failed.append(cut)
                print(f"cut after answer {cut}: {problem} (kept in {folder})", flush=True)
    print(f"recovered {len(cuts) - len(failed)} of {len(cuts)} with the settings kept")
    if failed:
        print(f"not recovered after the cut at answer: {failed} (folders in {work})")
        return 1
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
