"""Figures of the tsoundcard benchmark for two builds side by side (called by
run_soundcard_bench.sh).

    summarize_run.py run RESULTS SPP BUILD NAME SECONDS THREADS_START THREADS_END TOOL_ERR
                         ENGINE_JSON
        appends one run's figures to RESULTS
    summarize_run.py table RESULTS
        prints, per engine period, every case with the before and after columns (the median
        of the rounds where a case ran more than once)
    summarize_run.py conversion BEFORE_OUTPUT AFTER_OUTPUT
        prints the two builds' conversion throughput side by side

THREADS_START and THREADS_END hold "tid pid cpu-ns" lines sampled SECONDS apart while the tool
ran: the thread whose id is the process id is the application's, every other one is the plug-in's
worker (a thread missing from the first sample counts from 0).
"""
import json
import math
import re
import statistics
import sys

RATE = 48000
BUILDS = ("before", "after")
FIELDS = ("worker", "app", "total", "xruns", "warnings", "late", "p99")


def thread_times(path):
    times = {}
    for line in open(path):
        tid, pid, cpu = line.split()
        times[tid] = ("app" if tid == pid else "worker", int(cpu))
    return times


def record_run(results, spp, build, name, seconds, start_path, end_path, err_path, engine_path):
    ns = {"app": 0, "worker": 0}
    try:
        start, end = thread_times(start_path), thread_times(end_path)
        for tid, (role, cpu) in end.items():
            ns[role] += cpu - start.get(tid, (role, 0))[1]
        if not end:
            raise ValueError("the tool had ended")
    except (OSError, ValueError):
        ns = {"app": math.nan, "worker": math.nan}
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
    if command == "run":
        record_run(*args)
    elif command == "table":
        table(*args)
    elif command == "conversion":
        conversion(*args)
    else:
        sys.exit(f"unknown command {command}")
