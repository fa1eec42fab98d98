"""The network, reset, identity and status text commands over raw TCP, on devctl running the
simulated board: the files they leave under the unit folder and the replies a client sees.

Usage: text_network_e2e_test.py DEVCTL"""

import json
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import (DirectUnit, TextPort, free_port, read_text,  # noqa: E402
                         read_when_there)

DEVCTL = ""
HINT = ', (Please use "NET RB" command or re-power device to apply new config!)\r\n'
TEMPLATE = "# dhcp template\n"


class Client(TextPort):
    """A raw TCP control client: every reply of every port reaches it, so each wait looks only at
    what arrived after the line it sent."""

    def __init__(self, port):
        super().__init__(port, patience=60.0, wait_timeout=30.0, encoding="latin-1")

    def send(self, line, expect="VX7206>"):
        """Sends a line and returns what came back up to and including the prompt."""
        self.drain()  # replies to other clients' lines that reached this one too
        self.mark_now()
        self.send_line(line)
        text = self.read_until(expect).decode("latin-1")
        # The port echoes what was typed before it answers.
        return text[len(line):] if text.startswith(line) else text


class TextNetworkTest(unittest.TestCase):
    def setUp(self):
        self.unit = DirectUnit("devctl_net_e2e_")
        self.port = free_port()
        self.unit.write_config({"dhcp": 1, "ipaddress": "192.168.0.200", "subnet": "255.255.255.0",
                                "gateway": "192.168.0.1", "dnsserver": "192.168.0.1",
                                "hostname": "VX7206", "tcpport": self.port,
                                "telnetport": free_port(), "telnet_enable": 1,
                                "tcpportenable": 1},
                               more_dirs=("usr/local/backend/apps",))
        with open(self.path("usr/local/backend/apps/dhcpcd.conf"), "w") as f:
            f.write(TEMPLATE)
        self.unit.start_devctl(DEVCTL)
        self.clients = []

    def tearDown(self):
        for c in self.clients:
            c.close()
        self.unit.stop(keep_folder=bool(os.environ.get("KEEP_NET_E2E_DIR")))

    def path(self, rel):
        return self.unit.path(rel)

    def read(self, rel):
        return read_text(self.path(rel))

    def read_when_there(self, rel):
        return read_when_there(self.path(rel))

    def client(self):
        c = Client(self.port)
        self.clients.append(c)
        return c

    def test_net_edit_sequence_applies_with_net_rb(self):
        c = self.client()
        self.assertEqual(c.send("NET DHCP OFF"),
                         '\r\n[SUCCESS]Set IP mode: Static (Please use "NET RB" command or '
                         're-power device to apply new config!)\r\nVX7206>')
        # Malformed values are refused before anything is written.
        conf, hostname = self.read("etc/dhcpcd.conf"), self.read("etc/hostname")
        for line, error in [("NET IP 10.0.0", "[ERROR]IP address param out of range."),
                            ("NET GW 300.1.1.1", "[ERROR]Gateway param out of range."),
                            ("NET SM 255.0.255.0", "[ERROR]Subnet mask param out of range."),
                            ("NET DNS a/b", "[ERROR]DNS domain name param out of range."),
                            ("NET DNS " + "x" * 33, "[ERROR]DNS domain name param out of range.")]:
            self.assertIn(error, c.send(line), line)
            self.assertEqual(self.read("etc/dhcpcd.conf"), conf, line)
            self.assertEqual(self.read("etc/hostname"), hostname, line)
        self.assertEqual(c.send("NET IP 10.0.0.5"),
                         "\r\n[SUCCESS]Set IP address: 10.0.0.5" + HINT + "VX7206>")
        self.assertEqual(c.send("NET GW 10.0.0.1"),
                         "\r\n[SUCCESS]Set gateway:10.0.0.1" + HINT + "VX7206>")
        self.assertEqual(c.send("NET SM 255.255.255.0"),
                         "\r\n[SUCCESS]Set subnet mask:255.255.255.0" + HINT + "VX7206>")
        self.assertEqual(c.send("NET DNS studio"),
                         "\r\n[SUCCESS]Set DNS domain name: STUDIO" + HINT + "VX7206>")
        self.assertIsNone(self.read("tmp/reboot"))
        self.assertEqual(c.send("NET RB"),
                         "\r\n[SUCCESS]Set network reboot and apply new config.\r\nVX7206>")
        conf = self.read("etc/dhcpcd.conf")
        self.assertIn("static ip_address=10.0.0.5/24\n", conf)
        self.assertIn("static routers=10.0.0.1\n", conf)
        self.assertEqual(self.read("etc/hostname"), "STUDIO")
        self.assertEqual(self.read_when_there("tmp/reboot"), "1")
        with open(self.path("oem/app.json")) as f:
            saved = json.load(f)["network"]
        self.assertEqual((saved["dhcp"], saved["ipaddress"], saved["subnet"], saved["gateway"],
                          saved["hostname"]),
                         (0, "10.0.0.5", "255.255.255.0", "10.0.0.1", "STUDIO"))

    def test_reset_confirmation_belongs_to_the_asking_client(self):
        a, b = self.client(), self.client()
        self.assertIn("Sure to reset system settings to default?", a.send("RESET"))
        self.assertEqual(b.send("YES"), "\r\n[ERROR]Command not found.\r\nVX7206>")
        self.assertIsNone(self.read("tmp/reboot"))
        self.assertEqual(a.send("NO"), "\r\n[SUCCESS]RESET process ignored.\r\nVX7206>")
        self.assertIn("Sure to reset system settings", a.send("RESET"))
        self.assertEqual(a.send("yes"),
                         "\r\n[SUCCESS]System reset, please wait a moment...\r\nVX7206>")
        self.assertEqual(self.read_when_there("tmp/reboot"), "1")

    def test_identity_and_status(self):
        c = self.client()
        self.assertEqual(c.send("NETSN ab-12"), "\r\n[SUCCESS]Set SN to AB-12.\r\nVX7206>")
        self.assertEqual(c.send("GETNETSN"), "\r\nNET SN:AB-12\r\nVX7206>")
        self.assertEqual(c.send("NETMAC 02/00/00/aa/bb/cc"),
                         "\r\n[SUCCESS]Set MAC:02:00:00:AA:BB:CC" + HINT + "VX7206>")
        self.assertEqual(self.read("oem/mac"), "02:00:00:AA:BB:CC")
        self.assertRegex(c.send("TEMP"), r"^\r\nThe temperature of the system is -?\d+C\.\r\nVX7206>$")
        status = c.send("STATUS").split("\r\n")
        self.assertEqual(status[0:4], ["", "", "=" * 65, "      VX7206 Status"])
        with open(self.path("oem/app.json")) as f:
            telnet = json.load(f)["network"]["telnetport"]
        self.assertEqual(status[-5:], ["Telnet   TCP/IP   Mac                Local",
                                       "%-5d    %-5d    02:00:00:AA:BB:CC  VX7206 "
                                       % (telnet, self.port),
                                       "=" * 65, "", "VX7206>"])
        self.assertIn("DHCP      IP               Subnet Mask      Gateway", status)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        DEVCTL = sys.argv.pop(1)
    unittest.main()
