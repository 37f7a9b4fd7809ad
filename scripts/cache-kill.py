#!/usr/bin/env python3
"""Cache durability: runs the gateway against its simulator with a snapshot
cache, kills it with SIGKILL at a random moment, and checks the cache file:
it must always be one complete cache file (header with a matching CRC, then
the 895-byte block) holding a block that the gateway once published (the old
one or the new one), never a torn or partial file. Every
restart must also restore the cache without a problem. Leftover temporary
files of interrupted saves are counted.

usage: scripts/cache-kill.py [RUNS] [--build-dir DIR] [--seed N]
"""
import argparse
import json
import os
import random
import signal
import struct
import subprocess
import sys
import time
import zlib
from pathlib import Path

BLOCK_SIZE = 895
# The header of a cache file: marker, version, header length, data id, block
# length, CRC-32 of the block; little-endian (gateway/cache/cache_file.h).
HEADER = struct.Struct("<4sHHIII")
DATA_ID = 1000
CACHE_NAME = f"varnok_qmr4100-{DATA_ID}.snapshot"


def build(build_dir):
    subprocess.run(["cmake", "-S", ".", "-B", build_dir], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j", os.environ.get("BUILD_JOBS", "2"),
                    "--target", "qmr4100-gateway"], check=True, stdout=subprocess.DEVNULL)


def read_record(path):
    """Published blocks (hex) and cache events of one run; a line cut by the kill is skipped."""
    published, problems, restored = [], [], 0
    with open(path, encoding="utf-8", errors="replace") as record:
        for line in record:
            try:
                event = json.loads(line)
            except json.JSONDecodeError:
                continue
            kind = event.get("event")
            if kind == "snapshot":
                published.append(event["bytes"])
            elif kind == "cache_problem":
                problems.append(event.get("problem", ""))
            elif kind == "cache_restored":
                restored += 1
    return published, problems, restored


def run_once(gateway, work, kill_after):
    record = work / "record.jsonl"
    record.unlink(missing_ok=True)  # the gateway appends to a record it finds
    with open(work / "gateway.txt", "wb") as console:
        process = subprocess.Popen(
            [gateway, "--simulate", "--interval", "0", "--timeout", "0.2",
             "--cycles", "1000000", "--deadline", "60", "--cache-dir", str(work / "cache"),
             "--record", str(record)], stdout=console, stderr=subprocess.STDOUT)
    time.sleep(kill_after)
    process.send_signal(signal.SIGKILL)
    process.wait(timeout=10)
    # The simulator's pty link outlives a killed gateway.
    Path(f"/tmp/qmr4100-gateway-sim-{process.pid}").unlink(missing_ok=True)
    return read_record(record)


def check_cache(path, published):
    """'' when the cache file is a block once published, else what is wrong."""
    if not path.exists():
        return "missing after a publication" if published else ""
    data = path.read_bytes()
    if len(data) != HEADER.size + BLOCK_SIZE:
        return f"{len(data)} bytes"
    marker, version, header_size, data_id, length, crc = HEADER.unpack_from(data)
    block = data[HEADER.size:]
    if (marker, version, header_size, data_id, length) != (b"QMRC", 1, HEADER.size, DATA_ID,
                                                           BLOCK_SIZE):
        return f"a header of {marker!r} version {version}, data id {data_id}, length {length}"
    if zlib.crc32(block) != crc:
        return "a block that fails its CRC"
    if block.hex() not in published:
        return "a block that was never published"
    return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("runs", nargs="?", type=int, default=200, help="kills (default 200)")
    parser.add_argument("--build-dir", default=os.environ.get("BUILD_DIR", "build"))
    parser.add_argument("--seed", type=int, default=1, help="seed of the kill moments")
    args = parser.parse_args()
    if args.runs < 1:
        parser.error(f"RUNS must be at least 1, got {args.runs}")
    os.chdir(Path(__file__).resolve().parent.parent)
    build(args.build_dir)
    gateway = str(Path(args.build_dir) / "gateway" / "qmr4100-gateway")
    work = Path(args.build_dir) / "cache-kill"
    subprocess.run(["rm", "-rf", str(work)], check=True)
    (work / "cache").mkdir(parents=True)

    moments = random.Random(args.seed)
    published = set()
    torn, restore_problems, restores = [], [], 0
    started = time.monotonic()
    for run in range(1, args.runs + 1):
        blocks, problems, restored = run_once(gateway, work, moments.uniform(0.05, 1.5))
        published.update(blocks)
        restores += restored
        restore_problems += [f"run {run}: {p}" for p in problems]
        wrong = check_cache(work / "cache" / CACHE_NAME, published)
        if wrong:
            torn.append(f"run {run}: cache file {wrong}")
    leftovers = len(list((work / "cache").glob(CACHE_NAME + ".tmp-*")))

    print(f"cache-kill: {args.runs} SIGKILL runs in {time.monotonic() - started:.0f} s, "
          f"{len(published)} distinct blocks published, {restores} restores at start")
    print(f"torn or foreign cache files: {len(torn)}, restore problems: {len(restore_problems)}, "
          f"temporary files left by interrupted saves: {leftovers}")
    for line in (torn + restore_problems)[:10]:
        print("  " + line)
    return 1 if torn or restore_problems else 0


if __name__ == "__main__":
    sys.exit(main())
