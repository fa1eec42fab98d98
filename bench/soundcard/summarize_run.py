"""Figures of the tsoundcard benchmark for two builds side by side (called by
run_soundcard_bench.sh).

    summarize_run.py sample PID SECONDS THREADS
        samples the run time of every thread of PID five times a second for SECONDS and writes
        to THREADS the worker's and the application's nanoseconds and the seconds measured
    summarize_run.py run RESULTS SPP BUILD NAME THREADS TOOL_ERR ENGINE_JSON
        appends one run's figures to RESULTS
    summarize_run.py table RESULTS
        prints, per engine period, every case with the before and after columns (the median
        of the rounds where a case ran more than once)
    summarize_run.py conversion BEFORE_OUTPUT AFTER_OUTPUT
        prints the two builds' conversion throughput side by side

The thread whose id is the process id is the application's; every other one is the plug-in's
worker. Sampling often keeps the time of a worker that ends within the run (the plug-in starts a
new one after an xrun): only its last fifth of a second is lost. A thread that starts within the
run counts from 0.
"""
import json
import math
import os
import re
import statistics
import sys
import time

RATE = 48000
BUILDS = ("before", "after")
FIELDS = ("worker", "app", "total", "xruns", "warnings", "late", "p99")


def thread_times(pid):
    """{tid: run time in ns} of the living threads of pid."""
    times = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return times
    for tid in tids:
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                times[tid] = int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return times


def sample(pid, seconds, out_path):
    first = thread_times(pid)
    last = dict(first)
    start = time.monotonic()
    end = start + float(seconds)
    while time.monotonic() < end:
        time.sleep(min(0.2, max(0.0, end - time.monotonic())))
        last.update(thread_times(pid))
    elapsed = time.monotonic() - start
    ns = {"app": 0, "worker": 0}
    for tid, cpu in last.items():
        ns["app" if tid == pid else "worker"] += cpu - first.get(tid, 0)
    with open(out_path, "w") as out:
        out.write(f"{ns['worker']} {ns['app']} {elapsed}\n" if first else "nan nan nan\n")


def record_run(results, spp, build, name, threads_path, err_path, engine_path):
    worker, app, seconds = (float(v) for v in open(threads_path).read().split())
    ns = {"app": app, "worker": worker}
    periods = float(seconds) * RATE / int(spp)
    per_period = {role: value / 1000 / periods for role, value in ns.items()}
    err = open(err_path, errors="replace").read()
    xruns = err.count("underrun!!!") + err.count("overrun!!!")
    warnings = err.count("WARNING: ")
    lines = [line for line in open(engine_path) if line.startswith("{")]
    counters = json.loads(lines[-1]) if lines else {}
    late = counters.get("late_tx_total", -1)
    p99 = counters.get("deadline_lateness_ns", {}).get("p99", 0) / 1000
    with open(results, "a") as out:
        out.write("\t".join(str(v) for v in (
            spp, build, name, per_period["worker"], per_period["app"],
            per_period["worker"] + per_period["app"], xruns, warnings, late, p99)) + "\n")


def load(results):
    """{spp: {name: {build: {field: median over the rounds}}}}"""
    rounds = {}
    for line in open(results):
        if not line.strip():
            continue
        spp, build, name, *values = line.rstrip("\n").split("\t")
        rounds.setdefault(int(spp), {}).setdefault(name, {}).setdefault(build, []).append(
            [float(v) for v in values])
    return {spp: {name: {build: dict(zip(FIELDS, map(statistics.median, zip(*runs))))
                         for build, runs in builds.items()}
                  for name, builds in cases.items()}
            for spp, cases in rounds.items()}


def cell(run, field, digits=1):
    if run is None or math.isnan(run[field]):
        return "-"
    return f"{run[field]:.{digits}f}"


def table(results):
    columns = [("worker", 1), ("app", 1), ("total", 1), ("xruns", 0), ("late", 0)]
    heads = ["worker", "application", "process", "xruns", "late tx"]
    for spp, cases in sorted(load(results).items()):
        print(f"\nEngine period {spp} samples ({spp * 1000 / RATE:g} ms): CPU in us per engine "
              "period (each thread's run time over the measured seconds), the tool's xrun "
              "lines, the engine's late transmit samples")
        print(f"{'':24}" + "".join(f"{h:>18}" for h in heads))
        print(f"{'':24}" + "".join(f"{'before':>9}{'after':>9}" for _ in heads))
        for name, builds in cases.items():
            row = f"{name:24}"
            for field, digits in columns:
                row += "".join(f"{cell(builds.get(b), field, digits):>9}" for b in BUILDS)
            print(row)
        p99 = "  ".join(f"{name}: " + "/".join(cell(builds.get(b), "p99", 0) for b in BUILDS)
                        for name, builds in cases.items())
        print(f"engine deadline lateness p99 in us (before/after): {p99}")


def conversion(before_path, after_path):
    pattern = re.compile(r"^(.*?)\s+(\d+) frames/s")

    def figures(path):
        out = {}
        for line in open(path):
            match = pattern.match(line)
            if match:
                out[match.group(1)] = int(match.group(2))
        return out

    before, after = figures(before_path), figures(after_path)
    print("Conversion through the intermediate buffer, 8 channels in 48-frame batches "
          "(frames/s; x real time at 48 kHz)")
    print(f"{'':34}{'before':>22}{'after':>22}")
    for label in dict.fromkeys(list(before) + list(after)):
        row = f"{label:34}"
        for side in (before, after):
            value = side.get(label)
            row += f"{'-':>22}" if value is None else f"{value:>12} ({value / RATE:6.0f}x)"
        print(row)


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    if command == "sample":
        sample(*args)
    elif command == "run":
        record_run(*args)
    elif command == "table":
        table(*args)
    elif command == "conversion":
        conversion(*args)
    else:
        sys.exit(f"unknown command {command}")
