#!/usr/bin/python3
"""Makes bench/RESULTS.md from the JSON files the benchmark programs wrote.

    report.py RESULTS_DIR

RESULTS_DIR holds request_cost.json (Google Benchmark's JSON output),
loopback.json, loopback_one_core.json (optional: the same run pinned to one
core), project_load.json, watch_isolation.json and machine.json (written by scripts/bench.sh). The Markdown goes to standard output.
"""

import json
import statistics
import sys
from pathlib import Path


def load(directory, name):
    return json.loads((directory / name).read_text())


def median(values):
    return statistics.median(values) if values else float("nan")


def machine_section(machine):
    lines = [
        "## Machine",
        "",
        f"- CPU: {machine['cpu']}",
        f"- cores: {machine['cores']}",
        f"- kernel: {machine['kernel']}",
        f"- memory: {int(machine['memory'].split()[0]) / 1048576:.1f} GiB",
        f"- load average (1, 5, 15 min) before the run: {machine['load_before']}; "
        f"after: {machine['load_after']}",
        f"- other processes using CPU when the run started: {machine['busy_before']}",
        f"- build: {machine['build_type']}; run took {machine['seconds']} s on {machine['date']}",
        f"- benchmark processes ran at priority: {machine.get('priority', 'normal')}",
        "",
    ]
    return lines


def request_cost_section(data):
    names = {
        "BM_ReadWord": "word read (HR100, 1 word)",
        "BM_ReadDoubleWord": "double-word read (HR100, 1 double word)",
        "BM_ReadWords125": "125-word read (HR1, 255-byte reply)",
        "BM_ReadSparseDI": "250-byte sparse DI read (DI1, 10 runs = 10 requests)",
        "BM_WriteRegisters123": "123-register write (HR1, function 16)",
    }
    rows = {}
    repetitions = None
    for entry in data["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        name = entry["run_name"]
        repetitions = entry.get("repetitions", repetitions)
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6}[entry["time_unit"]]
        rows[name] = (entry["real_time"] * scale, entry["cpu_time"] * scale, entry["allocs_per_request"])
    lines = [
        "## 1. In-process cost per request",
        "",
        "`DriverModbusRtuSlaveOverTcp::read` / `write` called directly, against a device that answers at "
        "once (replies precomputed by the simulated slave's core, so only the driver's work is timed). "
        "Allocations are malloc, calloc and realloc calls in the timed loop, divided by the requests. "
        f"Median of {repetitions} repetitions (Google Benchmark).",
        "",
        "| request | ns / request | CPU ns / request | allocations / request |",
        "|---|---:|---:|---:|",
    ]
    for name, label in names.items():
        if name in rows:
            wall, cpu, allocs = rows[name]
            lines.append(f"| {label} | {wall:,.0f} | {cpu:,.0f} | {allocs:.1f} |")
    lines.append("")
    cold = {name.split("/")[0]: wall for name, (wall, _, _) in rows.items() if name.startswith("BM_Cold")}
    if cold:
        lines += [
            "The same requests with the caches cold: before each request a 2 MiB buffer is written, so the "
            "driver's code and data come from the shared cache or memory, as after the kernel's network path "
            "and the other threads have run between two polls. Only the request is timed, one at a time; "
            f"median of {repetitions} repetitions of 20,000 requests.",
            "",
            "| request | ns / request, warm | ns / request, cold |",
            "|---|---:|---:|",
        ]
        for name, label in names.items():
            cold_name = "BM_Cold" + name[len("BM_"):]
            if name in rows and cold_name in cold:
                lines.append(f"| {label} | {rows[name][0]:,.0f} | {cold[cold_name]:,.0f} |")
        lines.append("")
    return lines


def quartiles(values):
    q = statistics.quantiles(values, n=4) if len(values) > 1 else [values[0]] * 3
    return q[0], q[1], q[2]


MASTERS_TEXT = (
    "*driver*: the plug-in loaded with QPluginLoader, `DriverInterface::read`/`write` over `TcpDevice`. "
    "*raw limit*: writes the same request bytes (taken from the driver's own trace) and reads exactly the "
    "reply length with one blocking `recv(MSG_WAITALL)`, checking nothing, on the driver's own connection "
    "(the same socket, TCP_NODELAY, and the same slave thread). *TcpDevice alone*: the driver's own device "
    "on that connection, sending the same bytes and reading the reply in the driver's two steps (5 bytes, "
    "then the rest) with no driver above it, so that the driver's time over raw splits into the device's "
    "part and the driver's own. *pymodbus*: Debian's pymodbus 3.0 `ModbusTcpClient(framer=ModbusRtuFramer)` "
    "(bench/pymodbus_client.py) on its own connection, which first checks that it builds the same request "
    "frames."
)


def throughput_lines(data):
    with_python = data["python_requests_per_run"] > 0
    turn = data["throughput"][0].get("turn_requests", 0)
    rounds_text = (
        f"{data['rounds']} rounds. In each round driver, raw and TcpDevice alone take turns of {turn} "
        f"requests ({data['requests_per_run']:,} requests each per request kind, the order rotating)"
    )
    if with_python:
        rounds_text += f", then pymodbus runs {data['python_requests_per_run']:,} requests of each kind"
    rounds_text += (
        ". Rates are medians over the rounds. **driver / raw** and TcpDevice / raw are medians over all "
        "sets of back-to-back turns of raw time / driver (device) time; short turns keep bursts of load "
        "from other processes from falling on one master only."
    )
    if with_python:
        rounds_text += " pymodbus / raw is the median over the rounds of pymodbus's rate over raw's rate."
    header = "| request | bytes out / in | driver req/s | raw limit req/s | **driver / raw** | " \
             "TcpDevice alone req/s | TcpDevice / raw |"
    rule = "|---|---:|---:|---:|---:|---:|---:|"
    if with_python:
        header += " pymodbus req/s | pymodbus / raw |"
        rule += "---:|---:|"
    lines = [rounds_text, "", header, rule]
    for kind in data["throughput"]:
        row = (
            f"| {kind['label']} | {kind['request_bytes']} / {kind['reply_bytes']} "
            f"| {median(kind['driver_rps']):,.0f} | {median(kind['raw_rps']):,.0f} "
            f"| **{median(kind['driver_over_raw_turns']):.3f}** "
            f"| {median(kind['device_rps']):,.0f} | {median(kind['device_over_raw_turns']):.3f} |"
        )
        if with_python:
            py = kind["pymodbus_rps"]
            row += f" {median(py):,.0f} | {median(kind['pymodbus_over_raw']):.3f} |"
        lines.append(row)
    lines += [
        "",
        "Spread of driver / raw: quartiles over the sets of turns, and the ratio of the round totals "
        "(median over rounds):",
        "",
        "| request | sets of turns | 25 % | 50 % | 75 % | round totals |",
        "|---|---:|---:|---:|---:|---:|",
    ]
    for kind in data["throughput"]:
        turns = kind["driver_over_raw_turns"]
        q1, q2, q3 = quartiles(turns)
        lines.append(
            f"| {kind['label']} | {len(turns)} | {q1:.3f} | {q2:.3f} | {q3:.3f} "
            f"| {median(kind['driver_over_raw']):.3f} |"
        )
    lines.append("")
    return lines


def latency_lines(latency):
    lines = [
        f"Latency of single word reads (HR1): {latency['runs']} runs of {latency['requests_per_run']:,} "
        "requests per master, the masters taking turns within each run; each figure is the median over "
        "the runs of that run's percentile (for max, of that run's slowest request). Microseconds, wall "
        "clock per request; p99 and max are mostly other processes preempting the benchmark. *raw + look* "
        "is the raw master with one non-blocking receive before each request: the look for late bytes, "
        "which TcpDevice makes before a request unless the previous reply was read whole moments ago. "
        "*raw, own connection* is the raw master on a connection of its own.",
        "",
        "| master | p50 µs | p99 µs | max µs | p50 over raw µs |",
        "|---|---:|---:|---:|---:|",
    ]
    raw_p50 = median(latency["raw"]["p50_us"])
    for key, label in (
        ("driver", "driver (plug-in over TcpDevice)"),
        ("device", "TcpDevice alone"),
        ("raw_look", "raw + look for late bytes"),
        ("raw", "raw socket (link limit)"),
        ("raw_own", "raw socket, own connection"),
    ):
        if key not in latency:
            continue
        summary = latency[key]
        p50 = median(summary["p50_us"])
        lines.append(
            f"| {label} | {p50:.2f} | {median(summary['p99_us']):.1f} "
            f"| {median(summary['max_us']):.1f} | {p50 - raw_p50:+.2f} |"
        )
    lines.append("")
    return lines


def loopback_section(data, one_core, core):
    lines = [
        "## 2, 3, 4. Loopback throughput and latency against the simulated slave",
        "",
        "The host's simulated slave (in the benchmark's process, one thread per connection) on 127.0.0.1, "
        "one request at a time. " + MASTERS_TEXT,
        "",
        "### Threads where the scheduler puts them",
        "",
        "The benchmark as a runtime would run it. With both cores idle between requests, each round trip "
        "includes waking a sleeping core, which makes the link slower and the masters' own work a smaller "
        "share of it; on a busy machine round trips are shorter.",
        "",
    ]
    lines += throughput_lines(data)
    lines += latency_lines(data["latency"])
    if one_core:
        lines += [
            f"### All threads on one core (core {core})",
            "",
            "The same program pinned with taskset: the slave runs the moment a request is sent and no core "
            "has to wake up, so the round trip is as short as this machine makes it and whatever a master "
            "does besides sending and receiving weighs most. pymodbus is left out here.",
            "",
        ]
        lines += throughput_lines(one_core)
        lines += latency_lines(one_core["latency"])
    return lines


def project_load_section(data):
    lines = [
        "## 5. Project load",
        "",
        "Gate to built valid bit address map (`readDB`) for a project with N tag rows on one link (a mix of "
        "DI, DO, station-prefixed and register tags over 32 stations). Each load runs in a fresh child "
        f"process; {data['runs']} loads per size after one that is not counted, medians. *Peak growth* is the child's VmHWM after the "
        "load minus its VmRSS just before it (what the load itself added at its peak, SQLite plug-in "
        "included); *peak RSS* is the whole child's ru_maxrss (Qt libraries included).",
        "",
        "| tag rows | database | load time ms | peak growth MiB | peak RSS MiB |",
        "|---:|---:|---:|---:|---:|",
    ]
    for project in data["projects"]:
        loads = project["loads"]
        ms = median([load["ms"] for load in loads])
        growth = median([load["hwm_after_kb"] - load["rss_before_kb"] for load in loads]) / 1024
        peak = median([load["maxrss_kb"] for load in loads]) / 1024
        size = project["database_bytes"] / 1024
        rows = f"{project['rows']:,}" if project["rows"] else "0 (empty tag table)"
        lines.append(f"| {rows} | {size:,.0f} KiB | {ms:,.2f} | {growth:.2f} | {peak:.1f} |")
    lines.append("")
    return lines


def isolation_section(data):
    alone, silent = data["without_silent"], data["with_silent"]
    longest_goal = data["period_ms"] + ISOLATION_LONGEST_MARGIN_MS
    lines = [
        "## 6. One silent station while a project is polled",
        "",
        f"`mbrtu watch`'s poller (host/watch/watch_poller.h) polling stations 1 and 2 of the simulated slave, "
        f"{data['requests_per_station']} block requests each, one cycle every {data['period_ms']} ms through the "
        f"plug-in, for {data['seconds']} s from a cold start; then the same with station 3 in the project, which "
        f"the slave does not serve. Link settings: time-out {data['timeout_ms']} ms, {data['retries']} retry, so "
        "the first discovery of the silent station costs the time-out times two attempts once; after it the "
        "station is backed off by the link's rule (host/link/station_health.h) and each try is one probe, one "
        "attempt with a time-out drawn from the response times measured. The poll cycle is the time from the "
        "end of one poll of a healthy station to the end of its next.",
        "",
        "| project | cycles | mean ms | median ms | 99th percentile ms | max ms | longest after the first "
        "discovery ms | requests to station 3 | of them probes |",
        "|---|---:|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for label, run in (("stations 1, 2", alone), ("stations 1, 2 and silent 3", silent)):
        after = f"{run['max_after_discovery_ms']:.1f}" if run["silent_requests"] else "-"
        lines.append(f"| {label} | {run['cycles']:,} | {run['mean_ms']:.1f} | {run['median_ms']:.1f} | "
                     f"{run['p99_ms']:.1f} | {run['max_ms']:.1f} | {after} | {run['silent_requests']} | "
                     f"{run['probes']} |")
    longest = silent["max_after_discovery_ms"]
    lines += ["", f"Mean cycle with the silent station over without it: **{data['ratio']:.3f}** (goal: at most "
              f"{ISOLATION_GOAL}); longest cycle after the first discovery **{longest:.1f} ms** (goal: at most "
              f"the period + {ISOLATION_LONGEST_MARGIN_MS} ms, {longest_goal} ms). The max column is the first "
              "discovery, which costs what the link's settings say.", ""]
    return lines


ISOLATION_GOAL = 1.02
ISOLATION_LONGEST_MARGIN_MS = 100
GOAL = 0.95


def ratio_lines(data, where):
    lines = []
    for kind in data["throughput"]:
        ratio = median(kind["driver_over_raw_turns"])
        verdict = "reaches" if ratio >= GOAL else "falls short of"
        lines.append(f"- {kind['label']}, {where}: the driver runs at **{ratio:.3f}** of the link's "
                     f"limit, which {verdict} the goal of {GOAL}.")
    return lines


def isolation_summary(isolation):
    ratio = isolation["ratio"]
    longest = isolation["with_silent"]["max_after_discovery_ms"]
    verdict = "within" if ratio <= ISOLATION_GOAL else "over"
    return (f"- A station that never answers makes the poll cycle of two healthy ones **{ratio:.3f}** times "
            f"as long, {verdict} the goal of at most {ISOLATION_GOAL}; after its first discovery the longest "
            f"cycle is {longest:.1f} ms against a period of {isolation['period_ms']} ms (section 6).")


def summary_section(loopback, one_core, isolation):
    lines = ["## Summary", ""]
    lines += ratio_lines(loopback, "threads as scheduled")
    if one_core:
        lines += ratio_lines(one_core, "all threads on one core")
        scheduled = median(loopback["throughput"][0]["raw_rps"])
        pinned = median(one_core["throughput"][0]["raw_rps"])
        lines.append(
            f"- The link itself: {1e6 / scheduled:.1f} µs per word read as scheduled, {1e6 / pinned:.1f} µs "
            "on one core. A round trip that has to wake an idle core is long and hides what the masters "
            "cost; when other work keeps the cores busy the scheduled round trip shrinks toward the "
            "one-core figure, so the one-core ratios are closer to what a loaded machine sees.")
        parts = []
        for kind in one_core["throughput"]:
            device = median(kind["device_over_raw_turns"])
            driver = median(kind["driver_over_raw_turns"])
            parts.append(f"{kind['label']}: TcpDevice {1 / device - 1:+.1%}, the driver's own work "
                         f"{device / driver - 1:+.1%}")
        lines.append("- Where the time over the link's goes, on one core (time over raw, TcpDevice alone; "
                     "then the driver's time over TcpDevice's): " + "; ".join(parts) + ".")
    lines.append(isolation_summary(isolation))
    lines.append("")
    return lines


def main():
    directory = Path(sys.argv[1])
    machine = load(directory, "machine.json")
    out = ["# Benchmark results", "",
           "Written by `scripts/bench.sh` from one run; do not edit by hand.", ""]
    loopback = load(directory, "loopback.json")
    one_core_file = directory / "loopback_one_core.json"
    one_core = json.loads(one_core_file.read_text()) if one_core_file.exists() else None
    isolation = load(directory, "watch_isolation.json")
    out += summary_section(loopback, one_core, isolation)
    out += machine_section(machine)
    out += request_cost_section(load(directory, "request_cost.json"))
    out += loopback_section(loopback, one_core, machine.get("one_core", 0))
    out += project_load_section(load(directory, "project_load.json"))
    out += isolation_section(isolation)
    print("\n".join(out))


if __name__ == "__main__":
    main()
