"""Standby's audio-mute line and the panel's failed saves, as the programs users run see them:
devctl under lighttpd, a raw TCP client, the RS-232 port on a pseudo-terminal, front keys and the
USB button through the simulated board's input folder, curl for the web commands.

Usage: standby_panel_e2e_test.py DEVCTL"""

import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import tty
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import TextPort, free_port, wait_for  # noqa: E402
from web_server import WebServer, curl  # noqa: E402

PROGRAM = ""
AUDIO_MUTE_RAISED = "gpio 113 out 1"
USB_BUTTON = 49
INPUT1_GAIN_CELL = 0x010E
LIT = "memory 03 00 03 00 03 00 03 00 03 00 03 00 03 00"  # every LED on: the unit is on
SAVE_FAILED = "[ERROR]Settings could not be saved."
PATIENCE = 120.0  # only reached when something is broken


class SerialClient(TextPort):
    """The other end of the unit's RS-232 port, held as a terminal program holds it."""

    def __init__(self, path):
        self.patience = self.wait_timeout = PATIENCE
        self.encoding, self.line_end = "utf-8", b"\r\n"
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)
        self.seen, self.mark, self.closed = b"", 0, False

    def read_some(self, timeout=TextPort.POLL):
        if select.select([self.fd], [], [], timeout)[0]:
            self.seen += os.read(self.fd, 65536)

    def close(self):
        os.close(self.fd)


class StandbyAndPanel(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="devctl_standby_panel_e2e_")
        self.root = os.path.join(self.dir, "root")
        for sub in ("oem", "dev", "sim/in", "usr/local/backend/apps"):
            os.makedirs(os.path.join(self.root, sub))
        with open(self.path("/usr/local/backend/apps/dhcpcd.conf"), "w") as f:
            f.write("interface eth0\n")  # the DHCP set-up a mode taken back to DHCP copies
        self.inputs = 0
        tcp = free_port()
        with open(self.path("/oem/app.json"), "w") as f:
            json.dump({"network": {"tcpport": tcp, "telnetport": free_port(), "dhcp": 1,
                                   "tcpportenable": 1, "telnet_enable": 1}}, f)
        self.socat = subprocess.Popen(
            ["socat", "pty,raw,echo=0,link=" + self.path("/dev/ttyS6"),
             "pty,raw,echo=0,link=" + self.path("/sim/rs232")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server = None
        self.clients = []
        self.wait_until(lambda: os.path.exists(self.path("/sim/rs232")), "the RS-232 terminal")
        self.server = WebServer(PROGRAM, root=self.root,
                                workdir=os.path.join(self.dir, "web")).__enter__()
        self.web({"comhead": "help"})  # devctl starts
        self.raw = self.client(TextPort(tcp, patience=PATIENCE))

    def tearDown(self):
        for c in self.clients:
            c.close()
        if self.server:
            self.server.__exit__(None, None, None)
        self.socat.terminate()
        self.socat.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    # --- the unit's folder and clients ---------------------------------------------------------

    def path(self, rel):
        return os.path.join(self.root, rel.lstrip("/"))

    def read(self, rel):
        with open(self.path(rel), encoding="latin-1") as f:
            return f.read()

    def client(self, c):
        self.clients.append(c)
        return c

    def web(self, body):
        _, text = curl(self.server.url + "/cgi-bin/instr.cgi", json.dumps(body))
        return json.loads(text).get("result")

    def command(self, line, reply):
        self.raw.mark_now()
        self.raw.send_line(line)
        self.raw.wait_for(reply)

    def wait_until(self, predicate, what):
        wait_for(predicate, what, timeout=PATIENCE, interval=0.05)

    def board_input(self, text):
        """Puts a file of input commands into the board's folder; returns once it is taken."""
        self.inputs += 1
        name = "%04d" % self.inputs
        with open(self.path("/sim/." + name), "w") as f:
            f.write(text + "\n")
        os.rename(self.path("/sim/." + name), self.path("/sim/in/" + name))
        self.wait_until(lambda: not os.path.exists(self.path("/sim/in/" + name)),
                        "board input taken")

    def published(self, rel):
        """A state file as it stands now: the board publishes after it takes input, so once it
        has taken a second file, it has published what stood when the first was taken."""
        self.board_input("# published")
        self.board_input("# published")
        return self.read(rel)

    def gain_cell(self):
        for line in self.read("/sim/dsp_a.txt").splitlines():
            if line.startswith("cell 0x%04X " % INPUT1_GAIN_CELL):
                return int(line.split()[2], 16)
        return None

    def set_gain(self, gain):
        """Sets input 1's gain; returns the word the DSP got for it (the last gain differed)."""
        before = self.gain_cell()
        self.command("IN 1 GAIN %d" % gain, "CH1 gain to %ddB." % gain)
        self.wait_until(lambda: self.gain_cell() not in (None, before), "gain %d on the DSP" % gain)
        return self.gain_cell()

    def lcd(self, line):
        return self.read("/sim/lcd.txt").splitlines()[line][7:23]

    def key(self, name, shows):
        """Presses a front key until the panel shows what shows() looks for, then releases it."""
        self.board_input("key %s press" % name)
        self.wait_until(shows, "the panel after " + name)
        self.board_input("key %s release" % name)

    def failing_saves(self):
        """From here the configuration file cannot be replaced (a folder stands in its place)."""
        app = self.path("/oem/app.json")
        os.rename(app, app + ".kept")
        os.mkdir(app)

    def saves_again(self):
        app = self.path("/oem/app.json")
        os.rmdir(app)
        os.rename(app + ".kept", app)

    # --- the tests -----------------------------------------------------------------------------

    def test_a_recall_in_standby_leaves_the_audio_mute_line_raised(self):
        self.command("STANDBY 1", "standby mode to standby")
        words = {}
        for preset, gain in ((2, 10), (3, 5)):
            words[preset] = self.set_gain(gain)
            self.command("PRESET %d SAVE" % preset, "to preset %d." % preset)

        def text_recall_then_power_off():
            self.raw.mark_now()
            self.raw.sock.sendall(b"PRESET 2 APPLY\rPOFF\r")
            self.raw.wait_for("[SUCCESS]Set system power off.")

        def web_recall_while_off():
            self.command("POFF", "[SUCCESS]Set system power off.")
            self.wait_until(lambda: LIT not in self.read("/sim/leds.txt"), "standby")
            self.assertEqual(self.web({"comhead": "set preset recall", "preset": 2}), 1)

        for name, recall in (("text recall and power-off in one write", text_recall_then_power_off),
                             ("web recall in standby", web_recall_while_off)):
            with self.subTest(name):
                self.command("PON", "power on")
                self.wait_until(lambda: LIT in self.read("/sim/leds.txt") and
                                "gpio 113 out 0" in self.read("/sim/gpio.txt"), "power on")
                self.set_gain(0)
                recall()
                self.wait_until(lambda: self.gain_cell() == words[2], "preset 2 on the DSP")
                self.wait_until(lambda: LIT not in self.read("/sim/leds.txt"), "standby")
                # The power worker runs a recall's writes in one pass: preset 3 reaching the DSP
                # from a later recall means preset 2's pass is over, audio-mute line and all.
                self.assertEqual(self.web({"comhead": "set preset recall", "preset": 3}), 1)
                self.wait_until(lambda: self.gain_cell() == words[3], "preset 3 on the DSP")
                self.assertIn(AUDIO_MUTE_RAISED, self.published("/sim/gpio.txt"))
                self.assertEqual(json.loads(self.read("/oem/app.json"))["system"]["power"], 0)


    def test_a_failed_save_of_the_usb_button_is_not_told_to_rs232(self):
        serial = self.client(SerialClient(self.path("/sim/rs232")))
        self.failing_saves()
        self.raw.mark_now()
        self.board_input("gpio %d 0" % USB_BUTTON)
        self.board_input("# held a board period")
        self.board_input("gpio %d 1" % USB_BUTTON)
        self.raw.wait_for("[SUCCESS]Set USB port to USB-")
        self.raw.wait_for(SAVE_FAILED)
        self.saves_again()
        # A later change is told to every port in its turn, after the button's.
        self.command("IN 1 GAIN 3", "CH1 gain to 3dB.")
        serial.wait_for("CH1 gain to 3dB.")
        self.assertNotIn(b"could not be saved", serial.seen[:serial.mark])
        self.assertNotIn(b"USB port", serial.seen[:serial.mark])

    def test_a_network_mode_the_panel_could_not_save_is_told_taken_back(self):
        self.wait_until(lambda: self.lcd(0) == "     VX7206     ", "the home page")
        self.key("MENU", lambda: self.lcd(0) == "1.USB Select    ")
        self.key("DOWN", lambda: self.lcd(0) == "2.Network Config")
        self.key("OK", lambda: self.lcd(0).endswith("IP GW SM   "))
        self.key("UP", lambda: self.lcd(1).startswith("Static"))
        self.failing_saves()
        self.raw.mark_now()
        self.board_input("key OK press")
        self.raw.wait_for("[SUCCESS]Set IP mode: Static")
        self.raw.wait_for(SAVE_FAILED)
        self.board_input("key OK release")
        self.saves_again()
        # The mode taken back is told with the failure, ahead of any later change.
        self.raw.sock.sendall(b"IN 1 GAIN 4\r\n")
        self.assertEqual(self.raw.wait_for("Set IP mode: DHCP", "CH1 gain to 4dB."),
                         "Set IP mode: DHCP")
        self.raw.wait_for("CH1 gain to 4dB.")
        self.assertEqual(json.loads(self.read("/oem/app.json"))["network"]["dhcp"], 1)

if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
