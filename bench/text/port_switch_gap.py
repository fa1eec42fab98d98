"""A control port switched off and on while another program takes it the moment devctl lets it
go, many times on the simulated unit: how the ON is answered, whether the answer agrees with who
listens on the port afterwards, and how long after the OFF's answer the port came free.

    python3 port_switch_gap.py DEVCTL [RUNS]

Each run, for the telnet server (switched from the raw TCP port) and the raw TCP server (switched
from the telnet port): OFF; a socket of this script tries to listen on the port every millisecond
and takes it as soon as it can; ON the moment it has it (or after 5 s without it); the socket lets
the port go; then, for an ON answered with success, whether devctl listens on the port within
3 s. An answer agrees when it is the occupied line while the socket held the port, or success
with devctl listening. Prints figures only."""

import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

LOOPBACK = "127.0.0.1"
GIVE_UP_TAKING = 5.0
LISTEN_WINDOW = 3.0


def free_port():
    with socket.socket() as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


def listening(port):
    try:
        socket.create_connection((LOOPBACK, port), timeout=1).close()
        return True
    except OSError:
        return False


class Client:
    """A raw client of one text port; it connects again when a restart of its server closed it."""

    def __init__(self, port):
        self.port = port
        self.connect()

    def connect(self):
        deadline = time.monotonic() + 60
        while True:
            try:
                self.sock = socket.create_connection((LOOPBACK, self.port), timeout=1)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        self.seen = b""

    def ask(self, line, answers, timeout=60.0):
        """Sends line; the first of answers that arrives after it (None when none came)."""
        self.seen = b""
        try:
            self.sock.sendall(line.encode() + b"\r\n")
        except OSError:
            self.sock.close()
            self.connect()
            self.sock.sendall(line.encode() + b"\r\n")
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for a in answers:
                if a.encode() in self.seen:
                    return a
            self.sock.settimeout(max(0.01, min(0.5, deadline - time.monotonic())))
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                continue
            if not data:  # closed by a restart before the line was read: once more
                self.sock.close()
                self.connect()
                return self.ask(line, answers, max(0.01, deadline - time.monotonic()))
            self.seen += data
        return None


def take_port(port, give_up):
    """A socket listening on port, tried every millisecond; (socket or None, seconds taken)."""
    start = time.monotonic()
    while time.monotonic() - start < give_up:
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("0.0.0.0", port))
            s.listen(1)
            return s, time.monotonic() - start
        except OSError:
            s.close()
        time.sleep(0.001)
    return None, time.monotonic() - start


def wait_listening(port, window):
    deadline = time.monotonic() + window
    while time.monotonic() < deadline:
        if listening(port):
            return True
        time.sleep(0.02)
    return False


def run(switcher, port, command, success, runs):
    occupied = "[ERROR]Port %d is occupied, please select another port." % port
    counts = {"occupied": 0, "success": 0, "no answer": 0}
    disagree, taken_after, not_taken = 0, [], 0
    def bring_back():  # the server on and listening again (a second ON, where one is needed)
        while not listening(port):
            switcher.ask(command + " ON", [success + "on.", occupied])
            wait_listening(port, 1.0)

    for _ in range(runs):
        bring_back()
        switcher.ask(command + " OFF", [success + "off."])
        sock, seconds = take_port(port, GIVE_UP_TAKING)
        if sock:
            taken_after.append(seconds)
        else:
            not_taken += 1
        answer = switcher.ask(command + " ON", [success + "on.", occupied])
        if sock:
            sock.close()
        kind = {success + "on.": "success", occupied: "occupied"}.get(answer, "no answer")
        counts[kind] += 1
        if kind == "success":
            disagree += 0 if (sock is None and wait_listening(port, LISTEN_WINDOW)) else 1
        elif kind == "occupied":
            disagree += 0 if sock is not None else 1
        else:
            disagree += 1
    bring_back()
    gap = ("port came free %.1f ms (median) after the OFF answer, max %.1f ms"
           % (statistics.median(taken_after) * 1000, max(taken_after) * 1000)
           if taken_after else "port never came free within %.0f s" % GIVE_UP_TAKING)
    return counts, disagree, not_taken, gap


def main():
    devctl = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    root = tempfile.mkdtemp(prefix="devctl_port_gap_")
    proc = None
    try:
        for sub in ("oem", "tmp", "dev", "sim/in", "etc", "usr/local/backend/apps"):
            os.makedirs(os.path.join(root, sub), exist_ok=True)
        tcp, telnet = free_port(), free_port()
        with open(os.path.join(root, "oem", "app.json"), "w") as f:
            json.dump({"network": {"tcpport": tcp, "telnetport": telnet, "tcpportenable": 1,
                                   "telnet_enable": 1}}, f)
        with open(os.path.join(root, "devctl.log"), "w") as log:
            proc = subprocess.Popen([devctl], env=dict(os.environ, DEVCTL_SIM_ROOT=root),
                                    stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        raw, tn = Client(tcp), Client(telnet)
        for what, switcher, port, command, success in (
                ("telnet server, switched from raw TCP", raw, telnet, "NET TN",
                 "[SUCCESS]Set telnet to "),
                ("raw TCP server, switched from telnet", tn, tcp, "NET TCPPORT",
                 "[SUCCESS]Set TCP/IP to ")):
            counts, disagree, not_taken, gap = run(switcher, port, command, success, runs)
            print("%s: %d runs; ON answered: %d occupied, %d success, %d none; "
                  "%d answers disagree with who listened; socket never got the port in %d; %s"
                  % (what, runs, counts["occupied"], counts["success"], counts["no answer"],
                     disagree, not_taken, gap))
    finally:
        if proc:
            proc.kill()
            proc.wait()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
