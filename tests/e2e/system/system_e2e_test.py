"""Presets and system settings as a control system reaches them: web commands with curl through
lighttpd, text commands on the raw TCP port, and devctl started again on the same unit folder."""

import json
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import TextPort, free_port, listening, wait_for  # noqa: E402
from web_server import WebServer, curl  # noqa: E402

PROGRAM = os.environ.get("DEVCTL_PROGRAM", "")
PROMPT = b"VX7206>"


class TextClient(TextPort):
    """A raw TCP client of the text port: sends a line, reads up to the next prompt."""

    def command(self, line):
        """The reply lines of one command, without the leading line end and the prompt."""
        self.send_line(line)
        while True:
            text = self.read_until(PROMPT)[:-len(PROMPT)]
            # The raw port echoes what it receives; the reply follows, starting with a line end.
            # Notices of other commands end with a prompt too and are skipped.
            if text.startswith(line.encode()):
                text = text[len(line):]
            if text.startswith(b"\r\n"):
                return text[2:].decode("latin-1")


class PresetsAndSystem(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="devctl_system_e2e_")
        cls.root = os.path.join(cls.dir, "root")
        cls.server = None
        cls.start()

    @classmethod
    def tearDownClass(cls):
        cls.stop()
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def start(cls):
        work = os.path.join(cls.dir, "web%d" % time.monotonic_ns())
        os.makedirs(work)
        cls.server = WebServer(PROGRAM, root=cls.root, workdir=work).__enter__()
        # devctl starts with the first request.
        curl(cls.server.url + "/cgi-bin/instr.cgi", '{"comhead":"help"}')

    @classmethod
    def stop(cls):
        if cls.server:
            cls.server.__exit__(None, None, None)
            cls.server = None

    def web(self, body):
        _, text = curl(self.server.url + "/cgi-bin/instr.cgi", json.dumps(body))
        return json.loads(text)

    def config(self):
        with open(os.path.join(self.root, "oem", "app.json")) as f:
            return json.load(f)

    def tcp_port(self):
        return self.config()["network"]["tcpport"]

    def test_1_preset_saved_on_the_web_is_recalled_on_the_text_port(self):
        self.assertEqual(self.web({"comhead": "set preset name", "chn": 2, "name": "Lobby A"}),
                         {"comhead": "set preset name", "result": 1})
        self.assertEqual(self.web({"comhead": "set preset save", "preset": 2}),
                         {"comhead": "set preset save", "result": 1})
        preset_file = os.path.join(self.root, "oem", "app_preset2.json")
        self.assertTrue(os.path.exists(preset_file))
        client = TextClient(self.tcp_port())
        try:
            status = client.command("preset 2 status")
            self.assertTrue(status.startswith("Input   Name "), status)
            self.assertIn("\r\n13      USB_In_Left        --              ", status)
            self.assertIn("\r\nOutput   Name ", status)
            self.assertEqual(client.command("preset 2 apply"),
                             "[SUCCESS]Recall preset 2 to the current setting.\r\n")
            self.assertEqual(client.command("preset 3 apply"), "[ERROR]Preset 3 not enable.\r\n")
            # Text save, web recall.
            self.assertEqual(client.command("preset 3 name Stage Left"),
                             "[SUCCESS]Set preset 3 with the name StageLeft.\r\n")
            self.assertEqual(client.command("preset 3 save"),
                             "[SUCCESS]Save current config to preset 3.\r\n")
        finally:
            client.close()
        self.assertEqual(self.web({"comhead": "set preset recall", "preset": 3}),
                         {"comhead": "set preset recall", "result": 1})
        wait_for(lambda: self.config()["preset"]["preset_recall"] == 3, what="recall saved")
        self.assertEqual(self.config()["preset"]["preset_name"][2], "StageLeft")

    def test_2_text_port_moves_and_a_client_reconnects(self):
        old = self.tcp_port()
        new = free_port()
        client = TextClient(old)
        try:
            self.assertEqual(client.command("net tcpport %d" % new),
                             "[SUCCESS]Set TCP/IP port:%d.\r\n" % new)
        finally:
            client.close()
        # The service loop restarts the server on the new port.
        client = TextClient(new)
        try:
            self.assertRegex(client.command("uptime"),
                             r"^The uptime of the system is \d{4}:\d\d:\d\d:\d\d\.\r\n$")
            self.assertEqual(client.command("auto stb 0"),
                             "[SUCCESS]Set auto standby time to 0 mins.(Disable auto standby)\r\n")
            self.assertEqual(client.command("preset 4 delete"),
                             "[SUCCESS]Delete preset 4 from the system.\r\n")
        finally:
            client.close()
        self.assertEqual(self.config()["network"]["tcpport"], new)
        self.assertEqual(self.config()["system"]["standbytime"], 0)

    def test_3_settings_and_presets_survive_a_restart(self):
        self.assertEqual(self.web({"comhead": "delete preset", "chn": 3}),
                         {"comhead": "delete preset", "result": 1})
        self.assertEqual(self.web({"comhead": "set_auto_standby_time", "time": 45}),
                         {"comhead": "set_auto_standby_time", "result": 1})
        self.assertEqual(self.web({"comhead": "set_auto_standby_time", "time": 121}),
                         {"comhead": "set_auto_standby_time", "result": 0})
        self.stop()
        self.start()
        client = TextClient(self.tcp_port())
        try:
            self.assertEqual(client.command("preset 3 status"), "[ERROR]Preset 3 not enable.\r\n")
            self.assertTrue(client.command("preset 2 status").startswith("Input   Name "))
        finally:
            client.close()
        config = self.config()
        self.assertEqual(config["preset"]["preset_enable"][:3], [0, 1, 0])
        self.assertEqual(config["preset"]["preset_name"][1], "Lobby A")
        self.assertEqual(config["preset"]["preset_name"][2], "Preset 3")
        self.assertEqual(config["system"]["standbytime"], 45)
        self.assertFalse(os.path.exists(os.path.join(self.root, "oem", "app_preset3.json")))

    def test_4_web_settings_stop_and_start_the_telnet_server(self):
        self.assertEqual(self.web({"comhead": "set baudrate", "baudrate": 6}),
                         {"comhead": "set baudrate", "result": 1})
        self.assertEqual(self.web({"comhead": "set power", "power": 2}),
                         {"comhead": "set power", "result": 0})
        port = self.config()["network"]["telnetport"]

        def accepts():
            return listening(port, timeout=5)

        wait_for(accepts, what="telnet server listening")
        self.assertEqual(self.web({"comhead": "set telnetportenable", "value": 0}),
                         {"comhead": "set telnetportenable", "result": 1})
        wait_for(lambda: not accepts(), what="telnet server stopped")
        self.assertEqual(self.web({"comhead": "set telnetportenable", "value": 1}),
                         {"comhead": "set telnetportenable", "result": 1})
        wait_for(accepts, what="telnet server started again")
        config = self.config()
        self.assertEqual(config["system"]["baudrate"], 6)
        self.assertEqual(config["network"]["telnet_enable"], 1)
        self.assertEqual(config["system"]["power"], 1)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
