"""The simulated unit as scripts/sim starts it, driven with a real telnet client.

Usage: sim_unit_e2e_test.py SOURCE_DIR BUILD_DIR
Starts scripts/sim-unit BUILD_DIR --background on a fresh folder, then checks the start-up files,
the named threads, a command typed on telnet, the DSP cell it changed and the front panel: its
boot screen, the home page after it, and front keys moving the menu."""

import json
import os
import pty
import random
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import (TextPort, end_child, poll_until, read_fd_until, tail,  # noqa: E402
                         wait_for)

SOURCE, BUILD = sys.argv[1], sys.argv[2]
ROOT = tempfile.mkdtemp(prefix="devctl_sim_e2e_")
STARTED = {}
# Every distinct (line 0, line 1) the LCD state file showed, in order, from before devctl starts.
LCD_SEEN = []
WATCHING = threading.Event()
# Line 0 of the home page: the model name, centred.
HOME = "     VX7206     "

# The unit outlives the script that started it (lighttpd starts devctl). A guard process, detached
# from this one, waits for this test to end however it ends (also when it is killed on a timeout)
# and then stops what is still running and removes the folder.
GUARD = r"""
import os, shutil, signal, sys, time
root = sys.argv[1]
if os.fork():
    os._exit(0)
os.setsid()
sys.stdin.buffer.read()
mark = ("DEVCTL_SIM_ROOT=" + root).encode()
def unit_processes():
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                environ = f.read().split(b"\0")
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read()
        except OSError:
            continue
        if int(pid) != os.getpid() and (mark in environ or root.encode() in cmdline):
            found.append(int(pid))
    return found
for sig in (signal.SIGTERM, signal.SIGKILL, signal.SIGKILL, signal.SIGKILL):
    pids = unit_processes()
    if not pids:
        break
    for pid in pids:
        try:
            os.kill(pid, sig)
        except OSError:
            pass
    time.sleep(1)
shutil.rmtree(root, ignore_errors=True)
"""


def start_guard():
    guard = subprocess.Popen([sys.executable, "-c", GUARD, ROOT], stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    guard.wait()  # the guard itself lives on in its own session
    STARTED["guard"] = guard.stdin  # closed when this process ends


def read(rel):
    with open(os.path.join(ROOT, rel.lstrip("/")), encoding="latin-1") as f:
        return f.read()


def lcd_lines():
    text = read("/sim/lcd.txt")
    lines = dict(re.findall(r"^(line[01]) \|(.{16})\|$", text, re.M))
    return lines.get("line0"), lines.get("line1")


def watch_lcd():
    while WATCHING.is_set():
        try:
            shown = lcd_lines()
            if shown[0] is not None and (not LCD_SEEN or LCD_SEEN[-1] != shown):
                LCD_SEEN.append(shown)
        except OSError:
            pass
        time.sleep(0.02)


def send_input(name, text):
    # Written beside the folder and moved in, so the board never takes half a file.
    tmp = os.path.join(ROOT, "sim", "." + name)
    with open(tmp, "w") as f:
        f.write(text)
    os.rename(tmp, os.path.join(ROOT, "sim", "in", name))


def start_unit():
    # Ports are picked free but can be taken by another test before devctl listens: a start
    # that reports so is tried again on other ports.
    for attempt in range(3):
        env = dict(os.environ, DEVCTL_SIM_ROOT=ROOT,
                   SIM_TCP_PORT=str(random.randint(10000, 30000)),
                   SIM_ENGINE_NAME="SimUnitE2E%d" % os.getpid())
        out = subprocess.run(["bash", os.path.join(SOURCE, "scripts/sim-unit"), BUILD,
                              "--background"], env=env, capture_output=True, text=True,
                             timeout=120)
        if out.returncode == 0:
            break
        if "does not listen" not in out.stdout or attempt == 2:
            raise RuntimeError("sim-unit failed:\n" + out.stdout + out.stderr)
    STARTED["output"] = out.stdout
    STARTED["telnet"] = int(re.search(r"telnet 127\.0\.0\.1 (\d+)", out.stdout).group(1))
    STARTED["tcp"] = int(re.search(r"TCP:127\.0\.0\.1:(\d+)", out.stdout).group(1))
    STARTED["devctl"] = int(read("/sim/devctl.pid"))
    STARTED["sim"] = int(read("/sim/sim.pid"))


def gone(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(") ")[-1].startswith("Z")
    except OSError:
        return True


def wait_gone(pids, timeout=20.0):
    poll_until(lambda: all(gone(p) for p in pids), timeout, retry_on=())


def stop_unit():
    pid = STARTED.get("sim")
    if pid:
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        # The web server goes first (it would start devctl again), then devctl, which has no
        # orderly shutdown and under the web server leaves SIGTERM to the FastCGI library.
        wait_gone([pid])
        devctls = {STARTED["devctl"]}
        try:
            devctls.add(int(read("/sim/devctl.pid")))
        except (OSError, ValueError):
            pass
        for devctl in devctls:
            try:
                os.kill(devctl, signal.SIGKILL)
            except ProcessLookupError:
                pass
        wait_gone(devctls)


class Telnet:
    """The telnet program on a pseudo-terminal, as a person would run it."""

    def __init__(self, port):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execvp("telnet", ["telnet", "127.0.0.1", str(port)])
        self.seen = b""

    def expect(self, pattern, timeout=30.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if re.search(pattern, self.seen):
                return self.seen
            r, _, _ = select.select([self.fd], [], [], 0.2)
            if r:
                try:
                    self.seen += os.read(self.fd, 4096)
                except OSError:
                    break
        raise AssertionError("no %r in %r" % (pattern, self.seen[-500:]))

    def send(self, text):
        os.write(self.fd, text.encode())

    def close(self):
        end_child(self.pid)
        os.close(self.fd)


class SimulatedUnit(unittest.TestCase):
    def test_1_start_up_writes_identity_and_host_files(self):
        self.assertEqual(read("/etc/hostname"), "VX7206")
        self.assertEqual(read("/tmp/hostname"), "1")
        self.assertRegex(read("/oem/mac"), r"^[0-9a-f]{2}(:[0-9a-f]{2}){5}$")
        self.assertRegex(read("/oem/sub_mac"), r"^[0-9a-f]{2}(:[0-9a-f]{2}){5}$")
        config = json.loads(read("/oem/app.json"))
        self.assertEqual(config["network"]["telnetport"], STARTED["telnet"])
        self.assertEqual(config["system"]["power"], 1)
        self.assertIn("/usr/local/backend/mcu/serial_upgrade -v -d /dev/ttyS1 -b 115200-8n1",
                      read("/sim/commands.log"))

    def test_2_threads_are_named(self):
        names = set()
        task_dir = "/proc/%d/task" % STARTED["devctl"]
        for tid in os.listdir(task_dir):
            with open(os.path.join(task_dir, tid, "comm")) as f:
                names.add(f.read().strip())
        # "appthread" ends at once when devctl does not run under a FastCGI web server.
        for name in ("keythread", "tcpthread", "telnetthread", "timerthread", "uartthread"):
            self.assertIn(name, names)

    def test_2_control_ports_listen_on_loopback_only(self):
        # devctl's listening TCP sockets, from the kernel's table and devctl's descriptors.
        fd_dir = "/proc/%d/fd" % STARTED["devctl"]
        inodes = set()
        for fd in os.listdir(fd_dir):
            try:
                target = os.readlink(os.path.join(fd_dir, fd))
            except OSError:
                continue
            if target.startswith("socket:["):
                inodes.add(target[len("socket:["):-1])
        listeners = []
        for table in ("/proc/net/tcp", "/proc/net/tcp6"):
            with open(table) as f:
                for row in f.read().splitlines()[1:]:
                    fields = row.split()
                    address, port = fields[1].split(":")
                    if fields[3] == "0A" and fields[9] in inodes:  # LISTEN
                        listeners.append((table, address, int(port, 16)))
        self.assertEqual(sorted(port for _, _, port in listeners),
                         sorted([STARTED["telnet"], STARTED["tcp"]]))
        for table, address, port in listeners:
            self.assertEqual((table, address), ("/proc/net/tcp", "0100007F"),
                             "port %d listens beyond loopback" % port)

    def test_3_front_panel_lit_after_power_on(self):
        # The stored state is "on": at the end of start-up the audio-mute line is released and
        # the panel shows every LED lit.
        wait_for(lambda: "gpio 113 out 0" in read("/sim/gpio.txt"), what="audio mute released")
        wait_for(lambda: read("/sim/leds.txt").startswith(
            "memory 03 00 03 00 03 00 03 00 03 00 03 00 03 00"), what="LED state file")
        self.assertIn("backlight 1", read("/sim/lcd.txt"))
        self.assertIn("gpio 107 out 0", read("/sim/gpio.txt"))

    def test_4_telnet_command_reaches_the_dsp(self):
        raw = TextPort(STARTED["tcp"], patience=30)
        serial = os.open(os.path.join(ROOT, "sim/rs232"), os.O_RDWR | os.O_NOCTTY)
        tty.setraw(serial)
        client = Telnet(STARTED["telnet"])
        try:
            client.expect(rb"VX7206>")
            client.send("IN 1 GAIN 10\r\n")
            client.expect(rb"\[SUCCESS\]Set analogue input CH1 gain to 10dB\.\r\nVX7206>")
            # The reply goes to every control port, the raw TCP client's too.
            raw.read_until(b"VX7206>")
            self.assertIn(b"[SUCCESS]Set analogue input CH1 gain to 10dB.\r\nVX7206>", raw.seen)
            # And to the RS-232 port.
            seen = read_fd_until(serial, b"CH1 gain to 10dB.\r\nVX7206>", 30)
            self.assertIn(b"[SUCCESS]Set analogue input CH1 gain to 10dB.\r\nVX7206>", seen)
        finally:
            client.close()
            raw.close()
            os.close(serial)
        wait_for(lambda: "cell 0x010E 0x0195BB8F" in read("/sim/dsp_a.txt"),
                 what="input 1 gain cell")
        self.assertEqual(json.loads(read("/oem/app.json"))["input"]["analogue_input_gain"][0], 10)

    def test_5_panel_shows_boot_screen_then_home_page(self):
        wait_for(lambda: any(line0 == HOME for line0, _ in LCD_SEEN), timeout=90,
                 what="home page")
        firsts = [line0 for line0, _ in LCD_SEEN]
        booting = [i for i, line0 in enumerate(firsts) if line0.strip().startswith("Booting.")]
        self.assertTrue(booting, firsts)
        # The state file can also catch a line half redrawn; the three texts must all show.
        self.assertLessEqual({"    Booting.    ", "    Booting..   ", "   Booting...   "},
                             {firsts[i] for i in booting})
        self.assertLess(booting[-1], firsts.index(HOME))
        # Line 1, the unit's address, is drawn right after line 0.
        wait_for(lambda: re.match(r"^\d{3}\.\d{3}\.\d{3}\.\d{3} $", lcd_lines()[1]),
                 what="the address on line 1")

    def test_6_front_keys_move_the_menu(self):
        wait_for(lambda: lcd_lines()[0] == HOME, timeout=90, what="home page")
        # The key thread starts when the boot screen ends; a press is taken once it has shown
        # on three polls.
        send_input("1", "key MENU press\n")
        wait_for(lambda: lcd_lines()[0] == "1.USB Select    ", what="main menu")
        send_input("2", "key MENU release\nkey DOWN press\n")
        wait_for(lambda: lcd_lines()[0] == "2.Network Config", what="second menu item")
        send_input("3", "key DOWN release\nkey CANCEL press\n")
        wait_for(lambda: lcd_lines()[0] == HOME, what="back on the home page")
        send_input("4", "key CANCEL release\n")


if __name__ == "__main__":
    result = None
    try:
        start_guard()
        WATCHING.set()
        threading.Thread(target=watch_lcd, daemon=True).start()
        start_unit()
        result = unittest.main(argv=[sys.argv[0]], exit=False).result
    finally:
        WATCHING.clear()
        stop_unit()
        if not (result and result.wasSuccessful()):
            sys.stdout.write(tail(os.path.join(ROOT, "sim", "devctl.log")))
        shutil.rmtree(ROOT, ignore_errors=True)
    sys.exit(0 if result and result.wasSuccessful() else 1)
