"""devctl behind lighttpd when others misbehave: another user on every local socket devctl holds,
and a shortage of descriptors in devctl. Afterwards each request through lighttpd gets its own
answer and every setter is applied."""

import json
import os
import resource
import select
import socket
import subprocess
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from web_server import WebServer, curl  # noqa: E402

PROGRAM = os.environ.get("DEVCTL_PROGRAM", "")
SEED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz", "fcgi",
                    "seeds", "007")
# A begin-request record and the start of a parameter record whose content never comes.
STALLED_START = bytes([1, 1, 0, 1, 0, 8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 4, 0, 1, 0, 32, 0, 0, 12])
STATUS_KEYS = ["syssta", "websta", "input", "output", "preset", "peq"]


def listening_unix_sockets(pid):
    """The addresses of the listening local sockets among pid's descriptors ("@name" when
    abstract)."""
    inodes = set()
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            link = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        if link.startswith("socket:["):
            inodes.add(link[8:-1])
    found = []
    with open("/proc/net/unix") as f:
        next(f)
        for line in f:
            parts = line.split()
            # Num RefCount Protocol Flags Type St Inode [Path]; flag 0x10000: listening
            if len(parts) >= 8 and parts[6] in inodes and int(parts[3], 16) & 0x10000:
                found.append(parts[7])
    return found


def unix_connect(address):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.setblocking(False)
    target = "\0" + address[1:] if address.startswith("@") else address
    try:
        s.connect(target)
    except BlockingIOError:
        pass  # queued beyond the backlog: counts as held
    return s


def hold_sockets_as_nobody(addresses, ready_w, done_r):
    """In a forked child: as nobody, connect to each address, send the 227-byte seed stream on one
    connection (it once ended devctl), the start of a request that never ends on another, then
    fill the backlog with idle connections; report how many addresses were reached, and hold all
    until told."""
    os.setgroups([])
    os.setgid(65534)
    os.setuid(65534)
    with open(SEED, "rb") as f:
        seed = f.read()
    held, reached = [], 0
    for address in addresses:
        try:
            first = unix_connect(address)
            first.send(seed)
            stall = unix_connect(address)
            stall.send(STALLED_START)
            held += [first, stall]
            reached += 1
            for _ in range(200):
                held.append(unix_connect(address))
        except OSError:
            continue
    os.write(ready_w, str(reached).encode())
    select.select([done_r], [], [], 300)
    os._exit(0)


class ResilienceTest(unittest.TestCase):
    def get_status(self, server):
        _, text = curl(server.url + "/cgi-bin/getjson.cgi?json=mxsta")
        doc = json.loads(text)
        self.assertEqual(list(doc), STATUS_KEYS)
        return doc

    @unittest.skipUnless(os.geteuid() == 0, "needs root: the test drops to the user nobody")
    def test_another_user_on_every_local_socket(self):
        with WebServer(PROGRAM) as server:
            self.get_status(server)
            pid = server.devctl_pid()
            self.assertIsNotNone(pid)
            addresses = listening_unix_sockets(pid)
            self.assertTrue(addresses, "devctl holds no listening local socket")
            # The web server's socket made reachable to every user, so that the loop itself
            # meets what they send.
            os.chmod(server.dir, 0o755)
            for address in addresses:
                if not address.startswith("@"):
                    os.chmod(address, 0o777)
            ready_r, ready_w = os.pipe()
            done_r, done_w = os.pipe()
            child = os.fork()
            if child == 0:
                os.close(ready_r)
                os.close(done_w)
                hold_sockets_as_nobody(addresses, ready_w, done_r)
            os.close(ready_w)
            os.close(done_r)
            try:
                self.assertTrue(select.select([ready_r], [], [], 120)[0], "the child hung")
                reached = int(os.read(ready_r, 16) or b"0")
                self.assertEqual(reached, len(addresses), addresses)
                # While the other user holds everything: devctl lives and answers.
                doc = self.get_status(server)
                self.assertTrue(doc["syssta"])
                self.assertEqual(server.devctl_pid(), pid)
            finally:
                os.close(done_w)
                os.waitpid(child, 0)
                os.close(ready_r)
            self.get_status(server)
            self.assertEqual(server.devctl_pid(), pid)

    def test_descriptor_shortage_then_each_answer_its_own(self):
        with WebServer(PROGRAM) as server:
            self.get_status(server)
            pid = server.devctl_pid()
            self.assertIsNotNone(pid)
            soft, hard = resource.prlimit(pid, resource.RLIMIT_NOFILE)
            try:
                for spare in (0, 2):
                    highest = max(int(fd) for fd in os.listdir("/proc/%d/fd" % pid))
                    resource.prlimit(pid, resource.RLIMIT_NOFILE, (highest + 1 + spare, hard))
                    # Requests while devctl cannot take them or answer them all: whatever comes
                    # back (or nothing, within a few seconds) is not checked.
                    with ThreadPoolExecutor(max_workers=3) as pool:
                        list(pool.map(lambda _: subprocess.run(
                            ["curl", "-sS", "--max-time", "3",
                             server.url + "/cgi-bin/getjson.cgi?json=mxsta"],
                            capture_output=True), range(3)))
            finally:
                resource.prlimit(pid, resource.RLIMIT_NOFILE, (soft, hard))
            for i in range(10):
                if i % 2 == 0:
                    gain = 10 + i
                    _, text = curl(server.url + "/cgi-bin/instr.cgi",
                                   json.dumps({"comhead": "set input gain", "action": 0,
                                               "chn": 1, "gain": gain}))
                    self.assertEqual(json.loads(text), {"comhead": "set input gain",
                                                        "result": 1}, i)
                else:
                    doc = self.get_status(server)
                    self.assertEqual(doc["input"]["analogue_input_gain"][1], gain, i)
            self.assertEqual(server.devctl_pid(), pid)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
