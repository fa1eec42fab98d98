"""devctl with both network control ports switched off in its configuration: no listener on
either port, and the RS-232 port (a socat pseudo-terminal pair) still shows its banner.

Usage: ports_off_e2e_test.py DEVCTL"""

import ctypes
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import tty

DEVCTL = sys.argv[1]


def die_with_this_test():
    """Run in each child: it is killed when this test ends, however the test ends."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def main():
    root = tempfile.mkdtemp(prefix="devctl_ports_off_")
    procs = []
    try:
        for d in ("oem", "etc", "tmp", "dev", "sim"):
            os.makedirs(os.path.join(root, d))
        tcp, telnet = free_port(), free_port()
        network = {"dhcp": 1, "ipaddress": "192.168.0.200", "subnet": "255.255.255.0",
                   "gateway": "192.168.0.1", "dnsserver": "192.168.0.1", "hostname": "VX7206",
                   "tcpport": tcp, "telnetport": telnet, "telnet_enable": 0, "tcpportenable": 0}
        with open(os.path.join(root, "oem/app.json"), "w") as f:
            json.dump({"network": network}, f)
        serial_link = os.path.join(root, "sim/rs232")
        procs.append(subprocess.Popen(
            ["socat", "pty,raw,echo=0,link=" + os.path.join(root, "dev/ttyS6"),
             "pty,raw,echo=0,link=" + serial_link], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, preexec_fn=die_with_this_test))
        deadline = time.monotonic() + 10
        while not os.path.exists(serial_link) and time.monotonic() < deadline:
            time.sleep(0.05)
        serial = os.open(serial_link, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(serial)

        log = open(os.path.join(root, "sim/devctl.log"), "w")
        devctl = subprocess.Popen([DEVCTL], env=dict(os.environ, DEVCTL_SIM_ROOT=root),
                                  stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                  preexec_fn=die_with_this_test)
        procs.append(devctl)

        # The port opens at once; its banner follows 12 s after the start.
        seen = b""
        deadline = time.monotonic() + 60
        while b"VX7206>" not in seen and time.monotonic() < deadline:
            if select.select([serial], [], [], 0.5)[0]:
                seen += os.read(serial, 4096)
        assert b"VX7206>" in seen, "no RS-232 banner: %r" % seen
        assert devctl.poll() is None, "devctl ended"

        names = set()
        task_dir = "/proc/%d/task" % devctl.pid
        for tid in os.listdir(task_dir):
            with open(os.path.join(task_dir, tid, "comm")) as f:
                names.add(f.read().strip())
        assert "uartthread" in names and "timerthread" in names, names
        assert "tcpthread" not in names and "telnetthread" not in names, names
        assert not listening(tcp), "raw TCP port listens"
        assert not listening(telnet), "telnet port listens"

        # A command typed on the RS-232 port is answered there.
        os.write(serial, b"IN 1 GAIN 5\r\n")
        seen = b""
        deadline = time.monotonic() + 30
        while b"5dB.\r\nVX7206>" not in seen and time.monotonic() < deadline:
            if select.select([serial], [], [], 0.5)[0]:
                seen += os.read(serial, 4096)
        assert b"[SUCCESS]Set analogue input CH1 gain to 5dB.\r\nVX7206>" in seen, seen
        os.close(serial)
        print("ok")
        return 0
    except AssertionError as e:
        print("FAILED:", e)
        path = os.path.join(root, "sim/devctl.log")
        if os.path.exists(path):
            sys.stdout.write(open(path, encoding="latin-1").read()[-3000:])
        return 1
    finally:
        for p in reversed(procs):
            p.kill()  # devctl has no orderly shutdown
            p.wait()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
