#!/usr/bin/python3
"""Checks packaging/grafana/qmr4100-dashboard.json against a real Prometheus.

usage: scripts/dashboard-check.py DASHBOARD PROMETHEUS_URL DATA_ID

The dashboard's structure first (a schemaVersion, panels with ids, places and
targets on the "datasource" variable, the "data_id" query variable), then
every panel's query with $data_id replaced by DATA_ID and Grafana's interval
variables by concrete durations, through Prometheus's HTTP API: as an instant
query, and over the last minute as Grafana draws a time series. Fails on a
query that errors or returns no series. No Grafana server is needed.
"""
import json
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

# Grafana's own variables, as concrete durations for a Prometheus that
# scrapes every second.
GRAFANA_VARIABLES = {"$__rate_interval": "1m", "$__interval": "15s", "$__range": "5m"}
DATASOURCE = "${datasource}"


def structure_problems(dashboard):
    problems = []
    if not isinstance(dashboard.get("schemaVersion"), int):
        problems.append("no integer schemaVersion")
    variables = {v.get("name"): v for v in dashboard.get("templating", {}).get("list", [])}
    if variables.get("datasource", {}).get("type") != "datasource":
        problems.append('no "datasource" variable of type datasource')
    data_id = variables.get("data_id", {})
    if data_id.get("type") != "query" or "data_id" not in json.dumps(data_id.get("query")):
        problems.append('no "data_id" query variable over the data_id label')
    panels = dashboard.get("panels")
    if not isinstance(panels, list) or not panels:
        return problems + ["no panels"]
    ids = [p.get("id") for p in panels]
    if len(set(ids)) != len(ids):
        problems.append(f"panel ids repeat: {ids}")
    for panel in panels:
        name = f'panel {panel.get("id")} "{panel.get("title")}"'
        if not {"x", "y", "w", "h"} <= set(panel.get("gridPos", {})):
            problems.append(f"{name}: no gridPos")
        if panel.get("type") == "row":
            continue
        targets = panel.get("targets") or []
        if not targets:
            problems.append(f"{name}: no targets")
        for target in [panel] + targets:
            if target.get("datasource", {}).get("uid") != DATASOURCE:
                problems.append(f"{name}: datasource is not {DATASOURCE}")
        for target in targets:
            if not target.get("expr") or not target.get("refId"):
                problems.append(f"{name}: a target without expr or refId")
    return problems


def concrete(expr, data_id):
    for variable, value in GRAFANA_VARIABLES.items():
        expr = expr.replace(variable, value)
    return expr.replace("${data_id}", data_id).replace("$data_id", data_id)


def ask(base, path, parameters):
    url = f"{base}/api/v1/{path}?" + urllib.parse.urlencode(parameters)
    try:
        answer = json.load(urllib.request.urlopen(url, timeout=10))
    except urllib.error.HTTPError as error:  # 400 and 422 carry Prometheus's reason
        answer = json.load(error)
    if answer.get("status") != "success":
        return None, answer.get("error", "no reason given")
    data = answer["data"]
    return (data["result"] if isinstance(data, dict) else data), None


def main():
    if len(sys.argv) != 4 or sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return 0 if len(sys.argv) == 2 else 2
    path, base, data_id = sys.argv[1:]
    with open(path, encoding="utf-8") as file:
        dashboard = json.load(file)
    failures = [f"{path}: {problem}" for problem in structure_problems(dashboard)]

    ids, error = ask(base, "series", {"match[]": "qmr4100_device_info"})
    if error or data_id not in {s.get("data_id") for s in ids}:
        failures.append(f"the data_id variable's series has no data id {data_id}: {error or ids}")

    now = time.time()
    for panel in dashboard.get("panels", []):
        for target in panel.get("targets", []):
            expr = concrete(target["expr"], data_id)
            queries = [("query", {"query": expr, "time": now})]
            if not target.get("instant"):
                queries.append(("query_range",
                                {"query": expr, "start": now - 60, "end": now, "step": "5s"}))
            for kind, parameters in queries:
                result, error = ask(base, kind, parameters)
                verdict = f"error: {error}" if error else f"{len(result)} series"
                print(f'{panel["title"]} [{target["refId"]}] {kind}: {verdict}   {expr}')
                if error or not result:
                    failures.append(f'panel "{panel["title"]}" {kind} {expr}: {verdict}')
    for failure in failures:
        print("FAILED:", failure, file=sys.stderr)
    print(f"dashboard-check: {'failed' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
