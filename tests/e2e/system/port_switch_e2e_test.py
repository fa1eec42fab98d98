"""A control port switched off, taken by another program the moment devctl lets it go, and
switched on again, as users do it: devctl under lighttpd, the raw TCP port through socat, the
telnet port through the telnet program, the web commands through curl.

Usage: port_switch_e2e_test.py DEVCTL"""

import json
import os
import pty
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import (LOOPBACK, die_with_this_test, end_child, free_port,  # noqa: E402
                         wait_for)
from web_server import WebServer, curl  # noqa: E402

PROGRAM = ""
PATIENCE = 120.0  # only reached when something is broken


def occupied(port):
    return "[ERROR]Port %d is occupied, please select another port." % port


class ProgramClient:
    """A client program (socat on pipes, telnet on a pseudo-terminal) on one control port. Every
    port's replies reach it; a wait looks only at what came after the last wait's find."""

    def __init__(self, argv, on_pty, line_end):
        self.line_end = line_end
        if on_pty:
            self.pid, self.fd = pty.fork()
            if self.pid == 0:
                os.execvp(argv[0], argv)
            self.proc = None
            self.write_fd = self.fd
        else:
            self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=subprocess.DEVNULL, bufsize=0,
                                         preexec_fn=die_with_this_test)
            self.pid, self.fd = self.proc.pid, self.proc.stdout.fileno()
            self.write_fd = self.proc.stdin.fileno()
        self.seen = b""
        self.mark = 0

    @staticmethod
    def socat(port):
        return ProgramClient(["socat", "-", "TCP:%s:%d,crlf" % (LOOPBACK, port)], on_pty=False,
                             line_end="\n")

    @staticmethod
    def telnet(port):
        return ProgramClient(["telnet", LOOPBACK, str(port)], on_pty=True, line_end="\r\n")

    def send(self, line):
        os.write(self.write_fd, (line + self.line_end).encode())

    def wait_for(self, *texts):
        """Which of texts came first after the mark (the mark moves past it)."""
        deadline = time.monotonic() + PATIENCE
        while True:
            found = [(self.seen.find(t.encode(), self.mark), t) for t in texts]
            found = [(at, t) for at, t in found if at >= 0]
            if found:
                at, text = min(found)
                self.mark = at + len(text)
                return text
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("none of %r in %r" % (texts, self.seen[self.mark:][-400:]))
            if select.select([self.fd], [], [], min(0.5, left))[0]:
                try:
                    data = os.read(self.fd, 65536)
                except OSError:
                    data = b""
                if not data:
                    raise AssertionError("the client ended with none of %r in %r"
                                         % (texts, self.seen[self.mark:][-400:]))
                self.seen += data

    def close(self):
        end_child(self.pid)
        if self.proc is None:
            os.close(self.fd)
        else:
            self.proc.stdin.close()
            self.proc.stdout.close()


class Intruder:
    """Another program that takes a port the moment nothing listens there: it tries to listen on
    every address (with SO_REUSEADDR, as servers do) until it can, and holds the port until
    released."""

    def __init__(self, port):
        self.port = port
        self.sock = None
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stop.is_set():
            s = socket.socket()
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            try:
                s.bind(("0.0.0.0", self.port))
                s.listen(1)
                self.sock = s
                return
            except OSError:
                s.close()
            self.stop.wait(0.001)

    def holds(self):
        return self.sock is not None

    def release(self):
        self.stop.set()
        self.thread.join()
        if self.sock:
            self.sock.close()
            self.sock = None


class PortSwitches(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="devctl_port_switch_e2e_")
        self.root = os.path.join(self.dir, "root")
        self.ports = {"tcpport": free_port(), "telnetport": free_port()}
        os.makedirs(os.path.join(self.root, "oem"))
        with open(os.path.join(self.root, "oem", "app.json"), "w") as f:
            json.dump({"network": dict(self.ports, tcpportenable=1, telnet_enable=1)}, f)
        self.server = WebServer(PROGRAM, root=self.root,
                                workdir=os.path.join(self.dir, "web")).__enter__()
        curl(self.server.url + "/cgi-bin/instr.cgi", '{"comhead":"help"}')  # devctl starts
        self.clients = []

    def tearDown(self):
        for c in self.clients:
            c.close()
        self.server.__exit__(None, None, None)
        shutil.rmtree(self.dir, ignore_errors=True)

    def web(self, comhead, value):
        _, text = curl(self.server.url + "/cgi-bin/instr.cgi",
                       json.dumps({"comhead": comhead, "value": value}))
        return json.loads(text)["result"]

    def stored(self, key):
        with open(os.path.join(self.root, "oem", "app.json")) as f:
            return json.load(f)["network"][key]

    def client(self, kind, port):
        c = ProgramClient.telnet(port) if kind == "telnet" else ProgramClient.socat(port)
        self.clients.append(c)
        return c

    def test_on_is_refused_while_another_program_holds_the_port_and_taken_once_it_is_free(self):
        rows = [
            # switched server, its port and enable keys, text line, success, web command,
            # the program that switches it (on the other port), ON once free by
            ("telnet", "telnetport", "telnet_enable", "NET TN", "[SUCCESS]Set telnet to ",
             "set telnetportenable", "socat", "text"),
            ("socat", "tcpport", "tcpportenable", "NET TCPPORT", "[SUCCESS]Set TCP/IP to ",
             "set tcpportenable", "telnet", "web"),
        ]
        for program, port_key, enable_key, line, success, comhead, switcher, on_by in rows:
            with self.subTest(server=port_key):
                port = self.ports[port_key]
                other = self.ports["tcpport" if port_key == "telnetport" else "telnetport"]
                sw = self.client(switcher, other)
                if switcher == "telnet":
                    sw.wait_for("VX7206>")  # the banner
                intruder = Intruder(port)
                try:
                    self.assertFalse(intruder.holds())
                    sw.send(line + " OFF")
                    self.assertEqual(sw.wait_for(success + "off."), success + "off.")
                    # The intruder takes the port the moment devctl closes its socket.
                    wait_for(intruder.holds, what="the port let go after OFF",
                             timeout=PATIENCE, interval=0.01)
                    sw.send(line + " ON")
                    self.assertEqual(sw.wait_for(occupied(port), success + "on."),
                                     occupied(port))
                    self.assertEqual(self.web(comhead, 1), 0)
                    self.assertEqual(self.stored(enable_key), 0)
                    intruder.release()
                    if on_by == "text":
                        sw.send(line + " ON")
                        self.assertEqual(sw.wait_for(occupied(port), success + "on."),
                                         success + "on.")
                    else:
                        self.assertEqual(self.web(comhead, 1), 1)
                    # Listening by the time the answer came: the client program connects at once
                    # and is served once the restart has set the server up on that socket.
                    served = self.client(program, port)
                    if program == "telnet":
                        self.assertEqual(served.wait_for("Terminal Control System"),
                                         "Terminal Control System")
                    else:
                        served.send("")
                        self.assertEqual(served.wait_for("VX7206>"), "VX7206>")
                    self.assertEqual(self.stored(enable_key), 1)

                finally:
                    intruder.release()  # however the row ends

if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
