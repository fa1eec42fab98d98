"""What the end-to-end tests share: free loopback ports, bounded waits, children that end with the
test, the unit folder's files, devctl started by the test on a fresh unit folder, and a client of
one text control port. web_server.py beside it puts lighttpd or nginx in front of devctl.

Each test puts this folder on sys.path:
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
"""

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

LOOPBACK = "127.0.0.1"


def free_port():
    """A loopback TCP port nothing listens on at the moment of the call."""
    with socket.socket() as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


def listening(port, timeout=1.0):
    """Whether a connection to the loopback port is accepted."""
    try:
        socket.create_connection((LOOPBACK, port), timeout=timeout).close()
        return True
    except OSError:
        return False


def die_with_this_test():
    """preexec_fn of each child: it is killed when this test ends, however the test ends."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def poll_until(predicate, timeout, interval=0.1, retry_on=(OSError,)):
    """Calls predicate until it gives a true value (returned) or timeout seconds have passed
    (returns the last value). An exception of a type in retry_on counts as a false value: a file
    can be missing or half replaced when looked at."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except retry_on:
            value = None
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def wait_for(predicate, what, timeout=60.0, interval=0.1, retry_on=(OSError,)):
    """poll_until, raising AssertionError("timed out waiting for " + what) when the time is up."""
    value = poll_until(predicate, timeout, interval, retry_on)
    if not value:
        raise AssertionError("timed out waiting for " + what)
    return value


def read_text(path):
    """The file's text (latin-1, as the unit writes bytes), or None when it is not there."""
    try:
        with open(path, encoding="latin-1") as f:
            return f.read()
    except FileNotFoundError:
        return None


def read_when_there(path, timeout=30.0):
    """The file's text once it exists (None if it never does): markers follow the replies that
    announce them."""
    poll_until(lambda: read_text(path) is not None, timeout, interval=0.01, retry_on=())
    return read_text(path)


def tail(path, size=4000, encoding="latin-1"):
    """The last size characters of a log file ("" when there is none), bytes that are not text in
    encoding replaced."""
    try:
        with open(path, encoding=encoding, errors="replace") as f:
            return f.read()[-size:]
    except FileNotFoundError:
        return ""


def dsp_cells(root, name):
    """A simulated DSP's published cells (root/sim/name, lines "cell ADDRESS WORD") as
    {address: word}; the last line of an address wins, and a missing file gives {}."""
    cells = {}
    text = read_text(os.path.join(root, "sim", name)) or ""
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[0] == "cell":
            cells[int(parts[1], 16)] = int(parts[2], 16)
    return cells


def read_fd_until(fd, text, timeout):
    """What a descriptor (a pseudo-terminal) gave until text was among it or timeout seconds had
    passed; the caller checks which."""
    seen = b""
    deadline = time.monotonic() + timeout
    while text not in seen and time.monotonic() < deadline:
        if select.select([fd], [], [], 0.5)[0]:
            seen += os.read(fd, 4096)
    return seen


def stop_process(proc, grace=10.0):
    """SIGTERM, then SIGKILL when the process is still there after grace seconds."""
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def end_child(pid):
    """SIGTERM to a child of this test (a client program) and its exit status collected; one that
    has gone already is fine."""
    try:
        os.kill(pid, signal.SIGTERM)
        os.waitpid(pid, 0)
    except (ProcessLookupError, ChildProcessError):
        pass


class DirectUnit:
    """devctl started by the test itself (no web server) on a fresh unit folder of the simulated
    board. Its children die with the test; stop() kills them (devctl has no orderly shutdown)
    and removes the folder."""

    def __init__(self, prefix):
        self.root = tempfile.mkdtemp(prefix=prefix)
        self.procs = []

    def path(self, rel):
        return os.path.join(self.root, rel)

    def write_config(self, network, more_dirs=()):
        """The unit's folders and an oem/app.json holding only these network settings."""
        for d in ("oem", "etc", "tmp", "dev", "sim") + tuple(more_dirs):
            os.makedirs(self.path(d))
        with open(self.path("oem/app.json"), "w") as f:
            json.dump({"network": network}, f)

    def start_serial_pair(self):
        """socat joins the unit's RS-232 device (dev/ttyS6) to a pseudo-terminal at sim/rs232,
        the test's end; both links appear once socat runs."""
        self.procs.append(subprocess.Popen(
            ["socat", "pty,raw,echo=0,link=" + self.path("dev/ttyS6"),
             "pty,raw,echo=0,link=" + self.path("sim/rs232")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=die_with_this_test))

    def start_devctl(self, program):
        """devctl on this folder, its output in sim/devctl.log."""
        with open(self.path("sim/devctl.log"), "w") as log:
            proc = subprocess.Popen([program], env=dict(os.environ, DEVCTL_SIM_ROOT=self.root),
                                    stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                    preexec_fn=die_with_this_test)
        self.procs.append(proc)
        return proc

    def log_tail(self, size):
        return tail(self.path("sim/devctl.log"), size)

    def stop(self, keep_folder=False):
        for proc in reversed(self.procs):
            proc.kill()
            proc.wait()
        self.procs = []
        if not keep_folder:
            shutil.rmtree(self.root, ignore_errors=True)


def run_on_direct_unit(prefix, checks, log_size=3000):
    """A test script's run: checks(unit) on a fresh DirectUnit, then "ok" (status 0), or on an
    AssertionError "FAILED: " with why and the end of devctl's log (status 1). The unit is
    stopped however the checks end."""
    unit = DirectUnit(prefix)
    try:
        checks(unit)
        print("ok")
        return 0
    except AssertionError as e:
        print("FAILED:", e)
        sys.stdout.write(unit.log_tail(log_size))
        return 1
    finally:
        unit.stop()


class TextPort:
    """A client of one text control port on loopback: raw TCP, or the telnet port without option
    answers. Every port's replies reach every client, so what arrived is kept in `seen` (bytes)
    and each wait looks only after `mark`, which a wait moves past what it found. A connection
    refused is tried again until `patience` seconds have passed; a wait is bounded by
    `wait_timeout` (patience unless given) and raises AssertionError when the text does not come
    or the port closes first. Lines go out in `encoding`, ended with `line_end`."""

    POLL = 0.5  # one read's wait, so that waits notice their deadline

    def __init__(self, port, patience=60.0, wait_timeout=None, encoding="utf-8",
                 line_end=b"\r\n"):
        self.patience = patience
        self.wait_timeout = patience if wait_timeout is None else wait_timeout
        self.encoding = encoding
        self.line_end = line_end
        deadline = time.monotonic() + patience
        while True:
            try:
                self.sock = socket.create_connection((LOOPBACK, port), timeout=1)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        self.sock.settimeout(self.POLL)
        self.seen = b""
        self.mark = 0
        self.closed = False

    def read_some(self, timeout=POLL):
        """One read of what has arrived, waiting at most timeout seconds for it."""
        self.sock.settimeout(timeout)
        try:
            data = self.sock.recv(65536)
        except socket.timeout:
            return
        if not data:
            self.closed = True
        self.seen += data

    def drain(self, quiet=POLL):
        """Reads until nothing arrives for quiet seconds (or the port closes)."""
        before = -1
        while not self.closed and len(self.seen) != before:
            before = len(self.seen)
            self.read_some(quiet)

    def mark_now(self):
        """The next wait looks only at what arrives from now on."""
        self.mark = len(self.seen)

    def send_line(self, line):
        self.sock.settimeout(self.patience)
        self.sock.sendall(line.encode(self.encoding) + self.line_end)

    def _bytes(self, text):
        return text.encode(self.encoding) if isinstance(text, str) else text

    def _await(self, texts, timeout):
        """(start, end, text): the first of texts to arrive after the mark, which moves to end."""
        wanted = [self._bytes(t) for t in texts]
        deadline = time.monotonic() + (self.wait_timeout if timeout is None else timeout)
        while True:
            found = [(self.seen.find(w, self.mark), i) for i, w in enumerate(wanted)]
            found = [(at, i) for at, i in found if at >= 0]
            if found:
                at, i = min(found)
                start, self.mark = self.mark, at + len(wanted[i])
                return start, self.mark, texts[i]
            if self.closed or time.monotonic() > deadline:
                raise AssertionError("%s %r in %r" % (
                    "port closed with none of" if self.closed else "timed out: none of",
                    texts, self.seen[self.mark:][-600:]))
            self.read_some(max(0.01, min(self.POLL, deadline - time.monotonic())))

    def wait_for(self, *texts, timeout=None):
        """Which of texts (str or bytes) came first after the mark; the mark moves past it."""
        return self._await(texts, timeout)[2]

    def read_until(self, text, timeout=None):
        """What arrived from the mark up to and including text; the mark moves past it."""
        start, end, _ = self._await((text,), timeout)
        return self.seen[start:end]

    def command(self, line, prompt=b"VX7206>"):
        """Sends a line; returns what arrived from the mark through the next prompt (bytes)."""
        self.send_line(line)
        return self.read_until(prompt)

    def close(self):
        self.sock.close()
