#!/usr/bin/env python3
"""Disk faults under a running gateway: its record and snapshot cache live on
a small tmpfs mounted for the test (root only), which is filled up, has its
cache folder made read-only (a bind mount of its own: a file open for
writing, as the record is, keeps a whole file system from going read-only)
and has the record's folder removed, each for a few seconds while the
gateway polls its simulator every 50 ms. Afterwards every record line
must be a whole JSON object, each episode must have been said once on the
console (not once per cycle) together with its end, the record must count
what it lost, and the gateway must have stopped cleanly when told to.

usage: scripts/disk-faults.py [--build-dir DIR] [--seconds N]
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# On a nearly full disk the record and the cache take space from each other,
# so an episode may end and start again once or twice; never once a cycle.
MOST_SAID_PER_EPISODE = 3


def build(build_dir):
    subprocess.run(["cmake", "-S", ".", "-B", build_dir], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j", os.environ.get("BUILD_JOBS", "2"),
                    "--target", "qmr4100-gateway"], check=True, stdout=subprocess.DEVNULL)


def mount_tmpfs(path):
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", str(path)],
                            stderr=subprocess.PIPE, text=True)
    return result.returncode == 0, result.stderr.strip()


def remount(path, mode):
    subprocess.run(["mount", "-o", f"remount,bind,{mode}", str(path)], check=True)


def wait_for(condition, what, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.1)
    raise TimeoutError(f"waited {seconds} s for {what}")


def console_count(console, text):
    return console.read_text(errors="replace").count(text)


def fill(path):
    """Writes a file until the disk has no room left."""
    with open(path, "wb", buffering=0) as filler:
        try:
            while True:
                filler.write(b"\0" * 65536)
        except OSError:
            pass
    with open(path, "ab", buffering=0) as filler:  # the last bytes that fit
        try:
            while True:
                filler.write(b"\0" * 512)
        except OSError:
            pass


def record_lines(folder):
    for path in sorted(folder.glob("record.jsonl*")):
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            yield path.name, number, line


def check_record(folder):
    problems, lost, events = [], [], 0
    for name, number, line in record_lines(folder):
        try:
            event = json.loads(line)
        except json.JSONDecodeError:
            problems.append(f"{name}:{number}: not a whole JSON object: {line[:80]!r}")
            continue
        events += 1
        if event.get("event") == "record_lost":
            lost.append(event["count"])
    return problems, lost, events


def episode(console, gateway, mnt, start, end, failure_text, recovery_text, seconds):
    """Runs one fault from `start()` to `end()`; the problems seen."""
    failures_before = console_count(console, failure_text)
    recoveries_before = console_count(console, recovery_text)
    start()
    wait_for(lambda: console_count(console, failure_text) > failures_before,
             f"the console to say {failure_text!r}")
    time.sleep(seconds)
    end()
    wait_for(lambda: console_count(console, recovery_text) > recoveries_before,
             f"the console to say {recovery_text!r}")
    said = console_count(console, failure_text) - failures_before
    if gateway.poll() is not None:
        return [f"the gateway ended with {gateway.returncode}"]
    if said > MOST_SAID_PER_EPISODE:
        return [f"{failure_text!r} said {said} times in one episode"]
    return []


def run(gateway_program, mnt, work, seconds):
    console = work / "gateway.txt"
    records = mnt / "records"
    records.mkdir()
    cache = mnt / "cache"
    cache.mkdir()
    subprocess.run(["mount", "--bind", str(cache), str(cache)], check=True)
    with open(console, "wb") as out:
        gateway = subprocess.Popen(
            [gateway_program, "--simulate", "--interval", "0.05", "--timeout", "0.2",
             "--cycles", "0", "--deadline", "300", "--cache-dir", str(cache),
             "--record", str(records / "record.jsonl"), "--record-max-mb", "0.25",
             "--record-keep", "2"], stdout=out, stderr=subprocess.STDOUT)
    problems = []
    try:
        wait_for(lambda: console_count(console, "cycle 20 published") > 0, "20 cycles")
        filler = mnt / "filler"
        problems += episode(console, gateway, mnt, lambda: fill(filler), filler.unlink,
                            "snapshot not cached", "snapshot cached again", seconds)
        wait_for(lambda: console_count(console, "is written again") >= 1, "the record to recover")
        # Before rotation takes the record_lost events away.
        record_problems, lost, events = check_record(records)
        problems += record_problems
        problems += episode(console, gateway, mnt, lambda: remount(cache, "ro"),
                            lambda: remount(cache, "rw"), "snapshot not cached",
                            "snapshot cached again", seconds)
        # The folder goes with what the faults left in it: checked first.
        problems += check_record(records)[0]
        shutil.rmtree(records)
        wait_for(lambda: console_count(console, "removed or replaced") > 0,
                 "the removed record folder to be noticed")
        wait_for(lambda: (records / "record.jsonl").exists(), "the record folder to be made again")
    finally:
        gateway.send_signal(signal.SIGTERM)
        code = gateway.wait(timeout=30)
        subprocess.run(["umount", str(cache)], check=False)
    if code != 0:
        problems.append(f"the gateway stopped with {code}")
    said_full = console_count(console, "cannot write")
    record_failures = console_count(console, "events are counted and dropped")
    if record_failures > MOST_SAID_PER_EPISODE:
        problems.append(f"the record's failure said {record_failures} times in one episode")
    record_problems, _, events_after = check_record(records)
    problems += record_problems
    if events_after == 0:
        problems.append("nothing recorded after the record folder was removed")
    if not lost:
        problems.append("no record_lost event after the disk was full")
    print(f"disk-faults: disk full, cache read-only, record folder removed, {seconds} s each")
    print(f"record: {events} events in whole lines after the disk was full, "
          f"{events_after} after; record_lost counts {lost}; "
          f"console said 'cannot write' {said_full} times")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.environ.get("BUILD_DIR", "build"))
    parser.add_argument("--seconds", type=float, default=3, help="length of each fault")
    args = parser.parse_args()
    os.chdir(Path(__file__).resolve().parent.parent)
    build(args.build_dir)
    gateway = str(Path(args.build_dir).resolve() / "gateway" / "qmr4100-gateway")
    work = Path(tempfile.mkdtemp(prefix="disk-faults-"))
    mnt = work / "disk"
    mnt.mkdir()
    mounted, why = mount_tmpfs(mnt)
    if not mounted:
        print(f"disk-faults: skipped: cannot mount a tmpfs ({why}); needs root")
        shutil.rmtree(work)
        return 0
    try:
        problems = run(gateway, mnt, work, args.seconds)
    finally:
        subprocess.run(["umount", str(mnt)], check=False)
    for line in problems[:10]:
        print("  " + line)
    if problems:
        print(f"disk-faults: FAILED; the console is in {work / 'gateway.txt'}")
        return 1
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
