"""Text command round trip over raw TCP beside its floor (mandated waits plus one durable save of
the configuration file), measured in the same run on the simulated unit; then many raw TCP clients
at once beside one alone (text_clients_bench, built beside TEXT_BENCH), with the time the
configuration lock is held.

    python3 run_text_bench.py DEVCTL TEXT_BENCH [ROUNDS] [CLIENTS] [COMMANDS]
"""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    devctl, bench = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    rounds = sys.argv[3] if len(sys.argv) > 3 else "200"
    clients = sys.argv[4] if len(sys.argv) > 4 else "32"
    commands = sys.argv[5] if len(sys.argv) > 5 else "25"
    clients_bench = os.path.join(os.path.dirname(bench), "text_clients_bench")
    root = tempfile.mkdtemp(prefix="devctl_text_bench_")
    try:
        for sub in ("oem", "tmp", "dev", "sim/in", "etc", "usr/local/backend/apps"):
            os.makedirs(os.path.join(root, sub), exist_ok=True)
        port = free_port()
        with open(os.path.join(root, "oem", "app.json"), "w") as f:
            json.dump({"network": {"tcpport": port, "tcpportenable": 1, "telnet_enable": 0}}, f)
        env = dict(os.environ, DEVCTL_SIM_ROOT=root, DEVCTL_LOCK_TIMES="1")
        proc = subprocess.Popen([devctl], env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 60
            while True:
                try:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    break
                except OSError:
                    if time.monotonic() > deadline or proc.poll() is not None:
                        sys.exit("devctl did not open its raw TCP port")
                    time.sleep(0.1)
            print("load average: %.2f %.2f %.2f" % os.getloadavg())
            print("devctl raw TCP round trip, %s rounds per command (ms)" % rounds)
            subprocess.run([bench, str(port), root, rounds], check=True)
            if os.path.exists(clients_bench):
                print("\n%s raw TCP clients, %s commands each, beside one client alone" %
                      (clients, commands))
                subprocess.run([clients_bench, str(port), root, clients, commands], check=True)
            print("load average: %.2f %.2f %.2f" % os.getloadavg())
        finally:
            proc.terminate()
            proc.wait()
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
