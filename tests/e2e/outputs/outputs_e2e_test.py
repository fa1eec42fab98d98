"""Output volume, mute, delay, routing, links, groups and names end to end: text commands typed on
a raw TCP port, web commands sent with curl through lighttpd, on one simulated unit. Each command
is checked in its reply, the configuration file, the status document and the simulated DSP."""

import json
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import TextPort, dsp_cells, poll_until, read_text  # noqa: E402
from web_server import WebServer, curl  # noqa: E402

PROGRAM = os.environ.get("DEVCTL_PROGRAM", "")
DEADLINE = 90


class Port(TextPort):
    """A client of one control port that collects everything the unit sends; each wait reads on
    from where the last one stopped."""

    def __init__(self, port):
        super().__init__(port, patience=DEADLINE)

    def command(self, line):
        """Sends one line; returns the reply up to the prompt that follows it."""
        return super().command(line).decode("latin-1")


class OutputCommandsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = WebServer(PROGRAM).__enter__()
        # Any request starts devctl; the control ports follow.
        curl(cls.server.url + "/cgi-bin/getjson.cgi?json=mxsta")
        # The start-up writes the stored settings to the DSPs; commands follow once it has
        # released the audio mute, so its writes cannot overtake theirs.
        gpio = os.path.join(cls.server.root, "sim", "gpio.txt")
        poll_until(lambda: "gpio 113 out 0" in (read_text(gpio) or ""), DEADLINE, retry_on=())
        with open(os.path.join(cls.server.root, "oem", "app.json")) as f:
            network = json.load(f)["network"]
        cls.tcp = Port(network["tcpport"])
        cls.telnet = Port(network["telnetport"])

    @classmethod
    def tearDownClass(cls):
        for port in (cls.tcp, cls.telnet):
            port.close()
        cls.server.__exit__(None, None, None)

    def saved(self):
        with open(os.path.join(self.server.root, "oem", "app.json")) as f:
            return json.load(f)

    def status(self):
        _, text = curl(self.server.url + "/cgi-bin/getjson.cgi?json=mxsta")
        return json.loads(text)

    def web(self, body):
        _, text = curl(self.server.url + "/cgi-bin/instr.cgi", json.dumps(body))
        return json.loads(text)

    def wait_cell(self, dsp, address, word, tolerance=0):
        """Waits until the simulated DSP publishes word (within tolerance) at address."""
        last = None

        def published():
            nonlocal last
            last = dsp_cells(self.server.root, dsp).get(address, last)
            return last is not None and abs(last - word) <= tolerance

        if not poll_until(published, DEADLINE, retry_on=()):
            self.fail("DSP %s cell %#x is %r, not %#x" % (dsp, address, last, word))

    # Text commands, one of each kind of command.

    def test_text_volume_mute_and_delay(self):
        reply = self.tcp.command("OUT 2 VOL 30")
        self.assertIn("[SUCCESS]Set analogue output CH2 volume to 30.\r\n", reply)
        self.wait_cell("dsp_a.txt", 0x1B23, round(0.30 * (1 << 24)), tolerance=2)
        reply = self.tcp.command("OUT 1 VOL")  # a missing volume changes nothing
        self.assertIn("[ERROR]Set output volume param out of range.", reply)
        reply = self.tcp.command("out 7 mute on")
        self.assertIn("[SUCCESS]Set tarvo output CH3 mute on.\r\n", reply)
        self.wait_cell("dsp_b.txt", 0x323A, 0)
        reply = self.tcp.command("OUT 3 DLYT 20")
        self.assertIn("[SUCCESS]Set analogue CH3 output delay time to 20ms.\r\n", reply)
        self.wait_cell("dsp_a.txt", 0x1B45, 960)
        output = self.saved()["output"]
        self.assertEqual(output["analogue_output_vol"][1], 30)
        self.assertEqual(output["analogue_output_vol"][0], 50)
        self.assertEqual(output["tarvo_output_mute"][2], 1)
        self.assertEqual(output["analogue_output_delay"][2], 20)

    def test_text_lock_group_name_and_routing(self):
        reply = self.tcp.command("IN 2 CH LOCK ON")
        self.assertIn("[SUCCESS]Set analogue input CH1/CH2 locked.\r\n", reply)
        reply = self.tcp.command("OUT GROUP 3 MEMBER 00000000000011")
        self.assertIn("[SUCCESS]Set output group C include USB output left,right\r\n", reply)
        reply = self.tcp.command("out 18 name Zone Left")
        self.assertIn("[SUCCESS]Set output group D name to ZoneLeft.\r\n", reply)
        # The telnet client sees the same reply.
        self.telnet.wait_for("[SUCCESS]Set output group D name to ZoneLeft.\r\n")
        reply = self.tcp.command("OUT 0 FR 0")
        self.assertEqual(reply.count("from none."), 15)
        self.wait_cell("dsp_a.txt", 0x1B49, 0)
        saved = self.saved()
        self.assertEqual(saved["input"]["analogue_input_stereo"][0], 1)
        self.assertEqual(saved["output"]["group_output_stereo3"][12:], [1, 1])
        self.assertEqual(saved["control"], [0] * 14)
        self.assertEqual(self.status()["output"]["output_name"][17], "ZoneLeft")

    # Web commands, one of each Part's commands.

    def test_web_volume_routing_links_names_and_delay(self):
        self.assertEqual(self.web({"comhead": "set output vol", "action": 1, "chn": 0, "vol": 0}),
                         {"comhead": "set output vol", "result": 1})
        self.telnet.wait_for("[SUCCESS]Set tarvo output CH1 volume to 0.\r\n")
        self.wait_cell("dsp_b.txt", 0x3238, 0)  # muted with the volume
        self.assertEqual(self.web({"comhead": "set control status", "chn": 13, "status": 5}),
                         {"comhead": "set control status", "result": 1})
        self.tcp.wait_for("[SUCCESS]Set output USB left from tarvo input CH1.\r\n")
        self.wait_cell("dsp_a.txt", 0x40E5, 7)
        self.assertEqual(self.web({"comhead": "set output stereo", "action": 1, "chn": 3,
                                   "stereo": 1}),
                         {"comhead": "set output stereo", "result": 1})
        self.tcp.wait_for("[SUCCESS]Set tarvo output CH7/CH8 locked.\r\n")
        self.assertEqual(self.web({"comhead": "set input name", "chn": 5, "name": "Stage Mic"}),
                         {"comhead": "set input name", "result": 1})
        self.telnet.wait_for("[SUCCESS]Set tarvo input CH1 name to Stage Mic.\r\n")
        self.assertEqual(self.web({"comhead": "set input name", "chn": 5, "name": "a\r\nb"}),
                         {"comhead": "set input name", "result": 0})
        self.assertEqual(self.web({"comhead": "set output delay", "action": 0, "chn": 0,
                                   "delay": 7}),
                         {"comhead": "set output delay", "result": 1})
        self.tcp.wait_for("[SUCCESS]Set analogue CH1 output delay time to 7ms.\r\n")
        self.wait_cell("dsp_a.txt", 0x1B43, 336)
        status = self.status()
        self.assertEqual(status["output"]["tarvo_output_vol"][0], 0)
        self.assertEqual(status["output"]["control"][12], 5)
        self.assertEqual(status["output"]["tarvo_output_stereo"][3], 1)
        self.assertEqual(status["input"]["input_name"][4], "Stage Mic")
        self.assertEqual(status["output"]["analogue_output_delay"][0], 7)
        saved = self.saved()
        self.assertEqual(saved["control"][12], 5)
        self.assertEqual(saved["output"]["analogue_output_delay"][0], 7)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
