#!/usr/bin/env python3
"""The polling path's cost as a ratio to its floor, measured in one run.

For each workload (a simulator scenario in sim/scenarios/WORKLOAD-64.json) it
starts the simulator on a pseudo-terminal, polls it CYCLES times back to back
with the floor program (bench/poll_floor.c: write the eight commands, read
each answer to its CR, decode nothing), then with the gateway (console to
/dev/null, no record, no outputs), and prints whole-process CPU (user +
system) per cycle of both and their ratio.

  usage: scripts/perf/poll-ratio.py [--cycles N] [--build DIR] [WORKLOAD ...]
  default workloads: plain hard; build folder build-bench (Release, made by
  scripts/bench.sh or this script's caller).
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def child_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command):
    """CPU seconds of one child process run to its end."""
    before = child_cpu()
    with open(os.devnull, "w") as devnull:
        done = subprocess.run(command, stdout=devnull, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit(f"poll-ratio: {' '.join(command)} failed ({done.returncode}): {done.stderr[-500:]}")
    return child_cpu() - before


class Simulator:
    def __init__(self, build, scenario, link):
        self.link = link
        self.process = subprocess.Popen(
            [os.path.join(build, "sim", "qmr4100-sim"), "--pty", "--link", link,
             "--scenario", scenario], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not os.path.exists(link):
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.stop()
                sys.exit(f"poll-ratio: the simulator did not open {link}")
            time.sleep(0.05)

    def stop(self):
        self.process.terminate()
        self.process.wait()


def measure(build, workload, cycles, work):
    scenario = os.path.join(ROOT, "sim", "scenarios", f"{workload}-64.json")
    if not os.path.exists(scenario):
        sys.exit(f"poll-ratio: no scenario {scenario}")
    link = os.path.join(work, f"line-{workload}")
    simulator = Simulator(build, scenario, link)
    try:
        floor = timed([os.path.join(build, "bench", "qmr4100-poll-floor"), link, str(cycles)])
        gateway = timed([os.path.join(build, "gateway", "qmr4100-gateway"), "--port", link,
                         "--interval", "0", "--cycles", str(cycles), "--deadline", "600"])
    finally:
        simulator.stop()
    return gateway / cycles * 1e6, floor / cycles * 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cycles", type=int, default=1000)
    parser.add_argument("--build", default=os.path.join(ROOT, "build-bench"))
    parser.add_argument("workloads", nargs="*", default=["plain", "hard"])
    args = parser.parse_args()
    if args.cycles < 1:
        sys.exit("poll-ratio: --cycles must be at least 1")
    print(f"{args.cycles} back-to-back cycles of one 64-module device; whole-process CPU per cycle")
    print(f"{'workload':<10}{'gateway µs':>12}{'floor µs':>10}{'ratio':>8}")
    with tempfile.TemporaryDirectory(prefix="qmr4100-ratio-") as work:
        for workload in args.workloads:
            gateway, floor = measure(args.build, workload, args.cycles, work)
            print(f"{workload:<10}{gateway:>12.1f}{floor:>10.1f}{gateway / floor:>8.2f}")


if __name__ == "__main__":
    main()
