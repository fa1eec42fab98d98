"""Text command round trip over raw TCP beside its floor (mandated waits plus one durable save of
the configuration file), measured in the same run on the simulated unit.

    python3 run_text_bench.py DEVCTL TEXT_BENCH [ROUNDS]
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
    root = tempfile.mkdtemp(prefix="devctl_text_bench_")
    try:
        for sub in ("oem", "tmp", "dev", "sim/in", "etc", "usr/local/backend/apps"):
            os.makedirs(os.path.join(root, sub), exist_ok=True)
        port = free_port()
        with open(os.path.join(root, "oem", "app.json"), "w") as f:
            json.dump({"network": {"tcpport": port, "tcpportenable": 1, "telnet_enable": 0}}, f)
        env = dict(os.environ, DEVCTL_SIM_ROOT=root)
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
            print("devctl raw TCP round trip, %s rounds per command (ms)" % rounds)
            subprocess.run([bench, str(port), root, rounds], check=True)
        finally:
            proc.terminate()
            proc.wait()
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
