"""The web's network settings, network defaults, status getters and accounts through lighttpd
with curl, on devctl running the simulated board: the replies, and the files under the unit
folder (dhcpcd.conf, the host name, the reboot marker, the recorded dhcpcd restart)."""

import json
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import read_text, read_when_there, wait_for  # noqa: E402
from web_server import WebServer, curl  # noqa: E402

PROGRAM = ""


class WebNetworkTest(unittest.TestCase):
    def setUp(self):
        self.server = WebServer(PROGRAM).__enter__()
        os.makedirs(self.path("usr/local/backend/apps"), exist_ok=True)
        with open(self.path("usr/local/backend/apps/dhcpcd.conf"), "w") as f:
            f.write("# dhcp template\n")

    def tearDown(self):
        self.server.__exit__(None, None, None)

    def path(self, rel):
        return os.path.join(self.server.root, rel)

    def read(self, rel):
        return read_text(self.path(rel))

    def read_when_there(self, rel):
        return read_when_there(self.path(rel))

    def command(self, request):
        body = request if isinstance(request, str) else json.dumps(request)
        _, text = curl(self.server.url + "/cgi-bin/instr.cgi", body)
        return json.loads(text)

    def settings(self, **changes):
        status = self.command({"comhead": "get status"})
        request = {"comhead": "set network", "dhcp": status["dhcp"],
                   "tcpport": status["tcpport"], "telnetport": status["telnetport"],
                   "ipaddress": "192.168.0.200", "subnet": "255.255.255.0",
                   "gateway": "192.168.0.1", "hostname": status["hostname"],
                   "model": status["model"]}
        request.update(changes)
        return request

    def test_injection_attempts_change_nothing(self):
        self.settings()  # devctl is started and has written its configuration
        files = ("oem/app.json", "etc/dhcpcd.conf", "etc/hostname", "tmp/reboot")
        before = [self.read(f) for f in files]
        attempts = [
            {"dhcp": 0, "ipaddress": "10.0.0.5\nnohook resolv.conf"},
            {"dhcp": 0, "ipaddress": "10.0.0.5\" x"},
            {"dhcp": 0, "gateway": "10.0.0.1; reboot"},
            {"dhcp": 0, "subnet": "255.255.255.0" + " " * 60},
            {"hostname": "studio\nevil"},
            {"hostname": "stu'dio"},
            {"hostname": "h" * 300},
            {"model": "M" * 300},
            {"model": "MX\r\n[SUCCESS]forged"},
            {"tcpport": 80},
            {"telnetport": 70000},
        ]
        for changes in attempts:
            reply = self.command(self.settings(**changes))
            self.assertEqual(reply, {"comhead": "set network", "result": 0}, changes)
        self.assertEqual([self.read(f) for f in files], before)
        self.assertIsNone(before[3])

    def test_static_addressing_is_written_and_applied(self):
        reply = self.command(self.settings(dhcp=0, ipaddress="10.0.0.5", subnet="255.255.0.0",
                                           gateway="10.0.0.1", hostname="studio-b"))
        self.assertEqual(reply, {"comhead": "set network", "result": 1})
        conf = self.read("etc/dhcpcd.conf")
        self.assertIn("static ip_address=10.0.0.5/16\n", conf)
        self.assertIn("static routers=10.0.0.1\n", conf)
        self.assertEqual(self.read("etc/hostname"), "studio-b")
        self.assertEqual(self.read_when_there("tmp/reboot"), "1")
        with open(self.path("oem/app.json")) as f:
            saved = json.load(f)["network"]
        self.assertEqual((saved["dhcp"], saved["ipaddress"], saved["hostname"]),
                         (0, "10.0.0.5", "studio-b"))
        # The dhcpcd restart runs on its own thread a moment later.
        wait_for(lambda: "S41dhcpcd restart" in (self.read("sim/commands.log") or ""),
                 "the dhcpcd restart recorded", retry_on=())

    def test_defaults_getters_and_accounts(self):
        self.command(self.settings(hostname="custom"))
        reply = self.command({"comhead": "set defaults network"})
        self.assertEqual(reply, {"comhead": "set defaults network", "result": 1})
        self.assertEqual(self.read("etc/hostname"), "VX7206")
        self.assertEqual(self.read("etc/dhcpcd.conf"), "# dhcp template\n")
        with open(self.path("oem/app.json")) as f:
            saved = json.load(f)
        self.assertEqual(saved["network"]["hostname"], "VX7206")

        system = self.command({"comhead": "get system status"})
        self.assertEqual(list(system), ["powerled", "key_lock", "front_lcd", "baudrate", "power",
                                        "standby", "auto_standby_time", "macaddress", "comhead"])
        self.assertEqual(system["baudrate"], saved["system"]["baudrate"])
        self.assertEqual(system["auto_standby_time"], saved["system"]["standbytime"])

        self.assertEqual(self.command({"comhead": "login", "user": "Guest", "password": ""}),
                         {"comhead": "login", "result": 1})
        self.assertEqual(self.command({"comhead": "add login user", "user": "tech",
                                       "password": "p1"})["result"], 1)
        users = self.command({"comhead": "get login user"})["user"]
        self.assertEqual([u["user"] for u in users], ["Guest", "tech"])
        self.assertNotIn("password", users[1])
        with open(self.path("oem/app.json")) as f:
            self.assertEqual(json.load(f)["user_cnt"], 3)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
