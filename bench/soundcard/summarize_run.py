"""One line of figures for a tool run through the plug-in, and the ratios of all runs against
ttrace's bare wake-up at the end (called by run_soundcard_bench.sh).

    summarize_run.py NAME TIME PERIODS TOOL_ERR ENGINE_JSON THREADS RESULTS
    summarize_run.py --ratios RESULTS
"""
import json
import re
import sys


def ratios(results_path):
    runs = [line.rstrip("\n").split("\t") for line in open(results_path) if line.strip()]
    base = [float(cpu) for name, cpu, _ in runs if name.startswith("ttrace")]
    if not base or base[0] <= 0:
        print("no ttrace figure to compare with")
        return
    print(f"CPU per period against ttrace's bare wake-up ({base[0]:.1f} us):")
    for name, cpu, split in runs:
        if name.startswith("ttrace"):
            continue
        print(f"  {name}: {float(cpu) / base[0]:.2f}x ({split})")


if sys.argv[1] == "--ratios":
    ratios(sys.argv[2])
    sys.exit(0)

name, time_path, periods, err_path, engine_path, threads_path, results_path = sys.argv[1:]

# /usr/bin/time -f "%U %S": user and system seconds of the tool, its plug-in thread included.
numbers = re.findall(r"^([\d.]+) ([\d.]+)$", open(time_path).read(), re.M)
cpu = float(numbers[-1][0]) + float(numbers[-1][1]) if numbers else float("nan")
err = open(err_path, errors="replace").read()
xruns = err.count("underrun!!!") + err.count("overrun!!!")
warnings = err.count("WARNING: ")
lines = [line for line in open(engine_path) if line.startswith("{")]
counters = json.loads(lines[-1]) if lines else {}
late = counters.get("late_tx_total", "?")
p99 = counters.get("deadline_lateness_ns", {}).get("p99", 0) / 1000
per_period = cpu * 1e6 / int(periods)

# The sample's split between the application's thread and the plug-in's worker.
ticks = {"app": 0, "worker": 0}
try:
    for line in open(threads_path):
        role, count = line.split()
        ticks[role] += int(count)
except (OSError, ValueError):
    pass
total = ticks["app"] + ticks["worker"]
if ticks["worker"] and total:
    split = (f"worker {100 * ticks['worker'] / total:.0f}%, "
             f"application {100 * ticks['app'] / total:.0f}%")
else:
    split = "one thread"

print(f"{name}: CPU {per_period:.1f} us per period ({cpu:.2f} s over {periods} "
      f"periods; {split}), xruns {xruns}, plug-in warnings {warnings}, late transmit samples "
      f"{late}, engine deadline lateness p99 {p99:.0f} us")
with open(results_path, "a") as out:
    out.write(f"{name}\t{per_period:.3f}\t{split}\n")
