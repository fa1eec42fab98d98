"""devctl with both network control ports switched off in its configuration: no listener on
either port, and the RS-232 port (a socat pseudo-terminal pair) still shows its banner.

Usage: ports_off_e2e_test.py DEVCTL"""

import os
import sys
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import (free_port, listening, poll_until, read_fd_until,  # noqa: E402
                         run_on_direct_unit)

DEVCTL = sys.argv[1]


def checks(unit):
    tcp, telnet = free_port(), free_port()
    unit.write_config({"dhcp": 1, "ipaddress": "192.168.0.200", "subnet": "255.255.255.0",
                       "gateway": "192.168.0.1", "dnsserver": "192.168.0.1", "hostname": "VX7206",
                       "tcpport": tcp, "telnetport": telnet, "telnet_enable": 0,
                       "tcpportenable": 0})
    unit.start_serial_pair()
    serial_link = unit.path("sim/rs232")
    poll_until(lambda: os.path.exists(serial_link), 10, interval=0.05)
    serial = os.open(serial_link, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(serial)

    devctl = unit.start_devctl(DEVCTL)

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


if __name__ == "__main__":
    sys.exit(run_on_direct_unit("devctl_ports_off_", checks))
