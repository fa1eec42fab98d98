"""One line of figures for a tool run through the plug-in (called by run_soundcard_bench.sh)."""
import json
import re
import sys

name, time_path, periods, err_path, engine_path = sys.argv[1:]

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
print(f"{name}: CPU {cpu * 1e6 / int(periods):.1f} us per period ({cpu:.2f} s over {periods} "
      f"periods), xruns {xruns}, plug-in warnings {warnings}, late transmit samples {late}, "
      f"engine deadline lateness p99 {p99:.0f} us")
