#!/usr/bin/env python3
"""The gateway's SNMP sub-agent against a real Net-SNMP, all on loopback.

Starts snmptrapd and snmpd (AgentX master on a socket in a temporary folder,
SNMPv3 authPriv user, v2c community for 127.0.0.1 only, notifications
forwarded to snmptrapd), two simulators (one answering, one silent) and the
gateway as sub-agent, then checks with snmpget/snmpwalk and the QMR4100-MIB:
  - the device and module tables equal the simulator's scenario;
  - the active alarms of the scripted module fault, Chinese texts intact;
  - raised and cleared once for the fault, offline once for the silent
    device, online once for the answering one;
  - the master killed and restarted: the gateway polls on and comes back;
  - no passphrase or community in any log; smilint -l 4 finds nothing.
Every server runs with temporary configuration and is stopped by its pid.
  usage: scripts/snmp-check.py          env: BUILD_DIR (default build)
"""
import json
import os
import re
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(REPO, os.environ.get("BUILD_DIR", "build"))
GATEWAY = os.path.join(BUILD, "gateway", "qmr4100-gateway")
SIMULATOR = os.path.join(BUILD, "sim", "qmr4100-sim")
# The IETF modules the MIB imports: Debian leaves them out, the workplace's
# shared folder beside the checkout has them (IETF_MIBS may point elsewhere).
IETF_MIBS = os.environ.get("IETF_MIBS", os.path.join(os.path.dirname(REPO), "shared", "mibs"))
MIB_DIRS = [os.path.join(BUILD, "mibs"), IETF_MIBS]
ANSWERING, SILENT = 1000, 2000
FAULT_FROM, FAULT_TO = 10, 26  # cycles of the module-2 fault
WAIT = 60  # seconds any one condition may take on a loaded machine
USER = "noc"


class CheckFailed(Exception):
    pass


class Processes:
    """What the check started, stopped by pid whatever happens."""

    def __init__(self):
        self.running = {}

    def start(self, name, argv, log_path, env=None):
        with open(log_path, "ab") as log:
            process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log,
                                       stderr=subprocess.STDOUT, env=env)
        self.running[name] = process
        return process

    def stop(self, name, sig=signal.SIGTERM):
        process = self.running.pop(name)
        if process.poll() is None:
            os.kill(process.pid, sig)
        try:
            return process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.kill(process.pid, signal.SIGKILL)
            return process.wait()

    def stop_all(self):
        for name in list(self.running):
            self.stop(name)


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for(what, condition):
    start = time.monotonic()
    while time.monotonic() < start + WAIT:
        result = condition()
        if result:
            print(f"waited {time.monotonic() - start:.1f} s for {what}")
            return result
        time.sleep(0.2)
    raise CheckFailed(f"gave up waiting for {what}")


def check(condition, message):
    if not condition:
        raise CheckFailed(message)
    print(f"ok: {message}")


class Setup:
    """Temporary folder, secrets and configuration files of one run."""

    def __init__(self, folder):
        self.folder = folder
        self.auth = secrets.token_hex(12)
        self.priv = secrets.token_hex(12)
        self.community = "c" + secrets.token_hex(8)
        self.trap_community = "t" + secrets.token_hex(8)
        self.agent_port = free_udp_port()
        self.trap_port = free_udp_port()
        self.agentx = os.path.join(folder, "agentx.sock")
        # Only the modules at hand: Debian ships none of the IETF ones the default list names.
        self.env = dict(os.environ, SNMP_PERSISTENT_DIR=os.path.join(folder, "persist"),
                        SNMPCONFPATH=os.path.join(folder, "client"), HOME=folder,
                        MIBDIRS=":".join(MIB_DIRS), MIBS="SNMPv2-MIB:QMR4100-MIB")
        os.makedirs(os.path.join(folder, "client"))
        self.write_configs()

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, text):
        with open(self.path(name), "w", encoding="utf-8") as file:
            file.write(text)
        os.chmod(self.path(name), 0o600)

    def write_configs(self):
        self.write("snmpd.conf", f"""agentAddress udp:127.0.0.1:{self.agent_port}
master agentx
agentXSocket {self.agentx}
agentXPerms 0600 0700
createUser {USER} SHA "{self.auth}" AES "{self.priv}"
rouser {USER} priv
rocommunity {self.community} 127.0.0.1
trap2sink 127.0.0.1:{self.trap_port} {self.trap_community}
""")
        self.write("snmptrapd.conf", f"""authCommunity log {self.trap_community}
format2 TRAP %v\\n
""")
        self.write("client/snmp.conf", f"""defVersion 3
defSecurityName {USER}
defSecurityLevel authPriv
defAuthType SHA
defPrivType AES
defAuthPassphrase {self.auth}
defPrivPassphrase {self.priv}
defCommunity {self.community}
""")
        scenario = json.loads(subprocess.run([SIMULATOR, "--print-default"], check=True,
                                             capture_output=True, text=True).stdout)
        scenario["modules"][2]["status"] = 254  # module 3 without communication
        scenario["changes"] = [{"from": FAULT_FROM, "to": FAULT_TO, "module": 2, "status": 1}]
        self.scenario = scenario
        self.write("scenario.json", json.dumps(scenario))
        self.write("gateway.json", json.dumps({
            "devices": [{"port": self.path("answering"), "address": 1, "data_id": ANSWERING},
                        {"port": self.path("silent"), "address": 7, "data_id": SILENT}],
            "interval": 0.5, "timeout": 0.5,
            "snmp": {"ping_interval": 1}}))


class Snmp:
    """snmpget/snmpwalk with the client configuration of the run."""

    def __init__(self, setup):
        self.setup = setup

    def run(self, tool, oid, version=None):
        argv = [tool, "-OQs", "-t", "2", "-r", "1"]
        if version:
            argv += ["-v", version]
        argv += [f"udp:127.0.0.1:{self.setup.agent_port}", oid]
        done = subprocess.run(argv, capture_output=True, text=True, env=self.setup.env)
        if done.returncode != 0:
            return None
        values = {}
        for line in done.stdout.splitlines():
            match = re.match(r"^(\S+) = (.*)$", line)
            # An empty subtree walks as one "No Such Object" line.
            if match and not match.group(2).startswith("No Such"):
                values[match.group(1)] = match.group(2).strip('"')
        return values

    def get(self, oid, version=None):
        values = self.run("snmpget", oid, version)
        return next(iter(values.values())) if values else None

    def walk(self, oid, version=None):
        return self.run("snmpwalk", oid, version) or {}


def published_cycles(log_path):
    with open(log_path, encoding="utf-8", errors="replace") as log:
        return len(re.findall(rf"device {ANSWERING}: cycle \d+ published", log.read()))


def read_text(path):
    with open(path, encoding="utf-8", errors="replace") as file:
        return file.read()


def check_mib():
    env = dict(os.environ, SMIPATH=":".join(MIB_DIRS))
    done = subprocess.run(["smilint", "-l", "4", os.path.join(BUILD, "mibs", "QMR4100-MIB.txt")],
                          capture_output=True, text=True, env=env)
    check(done.returncode == 0 and not (done.stdout + done.stderr).strip(),
          "smilint -l 4 finds nothing in QMR4100-MIB " + (done.stdout + done.stderr))


def check_tables(snmp, scenario):
    devices = snmp.walk("qmrDeviceTable")
    check(devices.get(f"qmrDeviceHealth.{ANSWERING}") == "online", "answering device online")
    check(devices.get(f"qmrDeviceName.{ANSWERING}") == f"device {ANSWERING}", "device name")
    system = scenario["system_value"]
    check(devices.get(f"qmrDeviceSystemValue.{ANSWERING}") == f"{system / 10:.1f}"
          and devices.get(f"qmrDeviceSystemValueText.{ANSWERING}") == f"{system / 10:.1f}",
          "system value in tenths and as text equals the scenario's")
    check(devices.get(f"qmrDeviceModuleCount.{ANSWERING}") == str(len(scenario["modules"])),
          "module count")
    check(f"qmrDeviceSystemValue.{SILENT}" not in devices, "silent device has no values")
    modules = snmp.walk("qmrModuleTable")
    for number, module in enumerate(scenario["modules"], start=1):
        index = f"{ANSWERING}.{number}"
        if module["status"] == 254:
            check(f"qmrModuleValue.{index}" not in modules
                  and modules.get(f"qmrModuleCommFailure.{index}") == "true"
                  and modules.get(f"qmrModuleStatus.{index}") == "254",
                  f"module {number} without communication has no value")
        else:
            check(modules.get(f"qmrModuleValue.{index}") == f"{module['value'] / 10:.1f}",
                  f"module {number} value {module['value'] / 10:.1f}")
    v2c = snmp.walk("qmrDeviceName", version="2c")
    check(v2c.get(f"qmrDeviceName.{ANSWERING}") == f"device {ANSWERING}",
          "v2c community reads on loopback")


def raised_alarms(record_path):
    alarms = []
    for line in read_text(record_path).splitlines():
        event = json.loads(line)
        if event.get("event") == "alarm" and event.get("state") == "raised" \
                and event.get("data_id") == ANSWERING:
            alarms.append(event)
    return alarms


def alarm_rows(snmp):
    rows = {}
    for key, value in snmp.walk("qmrAlarmTable").items():
        column, instance = key.split(".", 1)
        rows.setdefault(instance, {})[column[len("qmrAlarm"):]] = value
    return rows


def check_alarm_rows(rows, setup):
    recorded = raised_alarms(setup.path("record.jsonl"))
    for instance, row in rows.items():
        match = [a for a in recorded if a["id"] == row["Identifier"] and a["code"] == row["Code"]
                 and a["name"] == row["Name"] and a["desc"] == row["Description"]
                 and str(a["seq"]) == row["Sequence"]]
        check(len(match) == 1 and re.search("[\u4e00-\u9fff]", row["Name"] + row["Description"]),
              f"alarm row {instance} is {row['Description']} ({row['Code']}), Chinese intact")


def trap_counts(setup):
    """(notification, data id, alarm code or None): how many snmptrapd logged."""
    counts = {}
    for line in read_text(setup.path("traps.log")).splitlines():
        match = re.search(r"snmpTrapOID\.0 = OID: QMR4100-MIB::(qmr\w+)", line)
        if not match:
            continue
        data_id = re.search(r"qmrDeviceDataId\.\d+ = Gauge32: (\d+)", line)
        code = re.search(r"qmrAlarmCode\.[\d.]+ = STRING: \"?(\w+)", line)
        key = (match.group(1), int(data_id.group(1)) if data_id else None,
               code.group(1) if code else None)
        counts[key] = counts.get(key, 0) + 1
    return counts


def check_master_restart(processes, setup, snmp, gateway_log):
    before = published_cycles(gateway_log)
    processes.stop("snmpd", signal.SIGKILL)
    wait_for("the gateway to notice the master went",
             lambda: "lost the AgentX master" in read_text(gateway_log))
    wait_for("cycles without a master", lambda: published_cycles(gateway_log) >= before + 4)
    start_snmpd(processes, setup, snmp)
    wait_for("the sub-agent to come back", lambda: snmp.get(f"qmrDevicePublished.{ANSWERING}"))
    log = read_text(gateway_log)
    check(log.count("lost the AgentX master") == 1 and log.count("reconnected to the AgentX") == 1,
          "the gateway said once that the master went and once that it came back")
    counter = int(snmp.get(f"qmrDevicePublished.{ANSWERING}"))
    check(counter >= before + 4, f"polling went on without the master ({before} -> {counter})")


def start_snmpd(processes, setup, snmp):
    processes.start("snmpd", ["snmpd", "-f", "-C", "-c", setup.path("snmpd.conf"), "-Lf",
                              setup.path("snmpd.log"), "-p", setup.path("snmpd.pid")],
                    setup.path("snmpd.out"), setup.env)
    wait_for("snmpd", lambda: snmp.get("sysUpTime.0"))


def run_check(processes, setup):
    check_mib()
    snmp = Snmp(setup)
    processes.start("snmptrapd", ["snmptrapd", "-f", "-C", "-c", setup.path("snmptrapd.conf"),
                                  "-Lf", setup.path("traps.log"), "-p", setup.path("trapd.pid"),
                                  f"udp:127.0.0.1:{setup.trap_port}"],
                    setup.path("snmptrapd.out"), setup.env)
    start_snmpd(processes, setup, snmp)
    for name, extra in (("answering", []), ("silent", [])):
        processes.start(name, [SIMULATOR, "--link", setup.path(name), "--scenario",
                               setup.path("scenario.json")] + extra, setup.path(f"{name}.log"))
    wait_for("the simulators", lambda: all(os.path.exists(setup.path(n))
                                           for n in ("answering", "silent")))
    gateway_log = setup.path("gateway.log")
    processes.start("gateway", [GATEWAY, "--config", setup.path("gateway.json"), "--cycles", "0",
                                "--record", setup.path("record.jsonl"), "--snmp-agentx",
                                setup.agentx], gateway_log)
    wait_for("the answering device online",
             lambda: snmp.get(f"qmrDeviceHealth.{ANSWERING}") == "online")
    check_tables(snmp, setup.scenario)
    # Module 3 has an alarm all along; module 2's fault adds one while it lasts.
    during = wait_for("the fault's alarm row",
                      lambda: len(alarm_rows(snmp)) == 2 and alarm_rows(snmp))
    check(snmp.get(f"qmrModuleFault.{ANSWERING}.2") == "true", "module 2 reports its fault")
    check_alarm_rows(during, setup)
    after = wait_for("the fault to clear", lambda: len(alarm_rows(snmp)) == 1 and alarm_rows(snmp))
    check(set(after) < set(during), "the fault's row left, the other kept its index")
    settled = published_cycles(gateway_log) + 3  # room for a repeated notification
    wait_for("three more cycles", lambda: published_cycles(gateway_log) >= settled)
    counts = trap_counts(setup)
    print(f"notifications received: {counts}")
    for instance, row in during.items():
        cleared = 0 if instance in after else 1
        check(counts.get(("qmrAlarmRaised", ANSWERING, row["Code"])) == 1
              and counts.get(("qmrAlarmCleared", ANSWERING, row["Code"]), 0) == cleared,
              f"{row['Code']} raised once, cleared {cleared} times")
    check(counts.get(("qmrDeviceOffline", SILENT, None)) == 1, "offline once for the silent device")
    check(counts.get(("qmrDeviceOnline", ANSWERING, None)) == 1,
          "online once for the answering device")
    check(sum(counts.values()) == len(during) + 1 + 2, "no other notifications")
    check_master_restart(processes, setup, snmp, gateway_log)
    check(processes.stop("gateway") == 0, "gateway stopped by SIGTERM exits 0")
    for name in ("gateway.log", "snmpd.log", "snmpd.out", "traps.log", "snmptrapd.out"):
        text = read_text(setup.path(name))
        for secret in (setup.auth, setup.priv, setup.community, setup.trap_community):
            if secret in text:
                raise CheckFailed(f"a secret is in {name}")
    print("ok: no passphrase or community in the logs")


def main():
    subprocess.run([os.path.join(REPO, "scripts", "apt-install.sh"),
                    "snmpd", "snmp", "snmptrapd", "smitools"], check=True)
    for tool in ("snmpd", "snmptrapd", "snmpget", "snmpwalk", "smilint"):
        if not shutil.which(tool, path=os.environ.get("PATH", "") + ":/usr/sbin"):
            print(f"snmp-check: {tool} is missing after its install")
            return 1
    os.environ["PATH"] += ":/usr/sbin"
    processes = Processes()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    folder = tempfile.mkdtemp(prefix="qmr4100-snmp-")
    started = time.monotonic()
    try:
        run_check(processes, Setup(folder))
        print(f"snmp-check: passed in {time.monotonic() - started:.0f} s")
        return 0
    except (CheckFailed, OSError, ValueError, KeyError) as failure:
        print(f"snmp-check: FAILED: {failure}; logs in {folder}")
        for name in ("gateway.log", "snmpd.log", "traps.log"):
            if os.path.exists(os.path.join(folder, name)):
                print(f"--- {name} (tail)\n" + read_text(os.path.join(folder, name))[-3000:])
        folder = None
        return 1
    finally:
        processes.stop_all()
        if folder:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
