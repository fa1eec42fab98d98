"""devctl with both network control ports switched off in its configuration: no listener on
either port, and the RS-232 port (a socat pseudo-terminal pair) still shows its banner.

Usage: ports_off_e2e_test.py DEVCTL"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import (die_with_this_test, free_port, listening, poll_until,  # noqa: E402
                         read_fd_until, tail)

DEVCTL = sys.argv[1]


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
        poll_until(lambda: os.path.exists(serial_link), 10, interval=0.05)
        serial = os.open(serial_link, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(serial)

        log = open(os.path.join(root, "sim/devctl.log"), "w")
        devctl = subprocess.Popen([DEVCTL], env=dict(os.environ, DEVCTL_SIM_ROOT=root),
                                  stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                  preexec_fn=die_with_this_test)
        procs.append(devctl)

        # The port opens at once; its banner follows 12 s after the start.
        seen = read_fd_until(serial, b"VX7206>", 60)
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
        seen = read_fd_until(serial, b"5dB.\r\nVX7206>", 30)
        assert b"[SUCCESS]Set analogue input CH1 gain to 5dB.\r\nVX7206>" in seen, seen
        os.close(serial)
        print("ok")
        return 0
    except AssertionError as e:
        print("FAILED:", e)
        sys.stdout.write(tail(os.path.join(root, "sim/devctl.log"), 3000))
        return 1
    finally:
        for p in reversed(procs):
            p.kill()  # devctl has no orderly shutdown
            p.wait()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
