#!/usr/bin/env python3
"""CPU the SNMP sub-agent adds to the gateway, nobody polling.

Runs the gateway on its simulator with the sub-agent connected to a real
snmpd (loopback, temporary configuration, as scripts/snmp-check.py starts it)
and reads the CPU time of the sub-agent's thread ("snmp-subagent") from
/proc over a steady window, once per ping interval in PINGS. The io thread
only queues alarm and health transitions, so a cycle without one costs it a
no-op call; the thread's CPU is what the sub-agent adds. Per cycle: CPU per
second times the polling interval (default 5 s).
  usage: scripts/snmp-bench.py
  env:   PINGS ("5 30"), POLL_INTERVAL (5), BUILD_DIR (build)
"""
import glob
import os
import runpy
import shutil
import subprocess
import sys
import tempfile
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
# The check's fixture: its Processes, Setup (temporary snmpd configuration) and start_snmpd.
snmp_check = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "snmp-check.py")))

PINGS = [int(p) for p in os.environ.get("PINGS", "5 30").split()]
POLL_INTERVAL = float(os.environ.get("POLL_INTERVAL", "5"))


def thread_cpu_ns(pid, name):
    total = 0
    for task in glob.glob(f"/proc/{pid}/task/*"):
        with open(f"{task}/comm") as comm:
            if comm.read().strip() != name:
                continue
        with open(f"{task}/schedstat") as schedstat:
            total += int(schedstat.read().split()[0])
    return total


def subagent_cpu_per_second_us(agentx, ping):
    argv = [snmp_check.GATEWAY, "--simulate", "--cycles", "0", "--interval", "0.5",
            "--snmp-agentx", agentx, "--snmp-ping", str(ping)]
    process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # Connected, and past the default scenario's fault (cycles 3 and 4) and its notifications.
        time.sleep(6)
        window = max(20, 2 * ping)
        start = thread_cpu_ns(process.pid, "snmp-subagent")
        time.sleep(window)
        return (thread_cpu_ns(process.pid, "snmp-subagent") - start) / 1000 / window
    finally:
        process.terminate()
        process.wait()


def main():
    os.environ["PATH"] += ":/usr/sbin"
    processes = snmp_check.Processes()
    folder = tempfile.mkdtemp(prefix="qmr4100-snmp-bench-")
    try:
        setup = snmp_check.Setup(folder)
        snmp_check.start_snmpd(processes, setup, snmp_check.Snmp(setup))
        for ping in PINGS:
            per_second = subagent_cpu_per_second_us(setup.agentx, ping)
            print(f"ping every {ping} s: sub-agent thread {per_second:.1f} us CPU per second, "
                  f"{per_second * POLL_INTERVAL:.1f} us per {POLL_INTERVAL:g} s cycle")
        return 0
    finally:
        processes.stop_all()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
