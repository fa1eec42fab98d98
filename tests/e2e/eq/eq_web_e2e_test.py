"""The equaliser web commands through lighttpd with curl: a memory selected and a band edited on
an EQ-locked pair reach the DSP cells, the editor's channel shows them, the file keeps them, and a
non-finite quality is refused.

Usage: eq_web_e2e_test.py DEVCTL"""

import json
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import dsp_cells, poll_until  # noqa: E402
from web_server import WebServer, curl  # noqa: E402

PROGRAM = os.environ.get("DEVCTL_PROGRAM", "")
PEAKING = [0x00E93397, 0xFE1ED94A, 0x00FC19FD, 0xFF1AB26C, 0x01E126B6]


class EqWebTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = WebServer(PROGRAM).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__(None, None, None)

    def command(self, body):
        if not isinstance(body, str):
            body = json.dumps(body)
        _, text = curl(self.server.url + "/cgi-bin/instr.cgi", body)
        return json.loads(text)

    def wait_for_section(self, name, base, words):
        got = None

        def shown():
            nonlocal got
            cells = dsp_cells(self.server.root, name)
            got = [cells.get(base + i) for i in range(5)]
            return got == words

        if not poll_until(shown, 60, interval=0.05, retry_on=()):
            self.fail("section at 0x%X is %r" % (base, got))

    def test_band_edit_on_a_locked_pair(self):
        reply = self.command({"comhead": "set eq preset", "action": 0, "chn": 6, "preset": 1})
        self.assertEqual(reply, {"comhead": "set eq preset", "result": 1})
        reply = self.command({"comhead": "set peq", "action": 0, "chn": 7, "preset": 2, "id": 0,
                              "frequency": 1000, "gain": -3, "quality": 1.41,
                              "type": "PARAMETRIC"})
        self.assertEqual(reply, {"comhead": "set peq", "result": 1})
        # Tarvo inputs 3 and 4 (slots 6, 7) sit on DSP B at 0x254 and 0x27C.
        self.wait_for_section("dsp_b.txt", 0x254, PEAKING)
        self.wait_for_section("dsp_b.txt", 0x27C, PEAKING)

        reply = self.command({"comhead": "set peq chn", "action": 0, "chn": 7})
        self.assertEqual(list(reply), ["power", "input_chn", "input_preset", "input_stereo",
                                       "input_flat", "input_custom1", "input_custom2",
                                       "input_name", "comhead", "result"])
        self.assertEqual(reply["input_preset"], 1)
        band = reply["input_custom1"][0]
        self.assertEqual(list(band), ["id", "frequency", "gain", "type", "quality", "bypass"])
        self.assertEqual(band["frequency"], 1000)
        self.assertAlmostEqual(band["gain"], -3.0, places=5)
        self.assertAlmostEqual(band["quality"], 1.41, places=5)
        self.assertEqual(band["type"], "PARAMETRIC")
        with open(os.path.join(self.server.root, "oem", "app.json")) as f:
            peq = json.load(f)["peq"]
        self.assertEqual(peq["input_geq_chn"], 7)
        self.assertEqual(peq["input_custom1_date6"]["frequency"][0], 1000)

    def test_non_finite_and_unknown_values_are_refused(self):
        for body in ('{"comhead":"set peq","action":0,"chn":0,"preset":1,"id":0,'
                     '"frequency":1000,"gain":0,"quality":1e999,"type":"PARAMETRIC"}',
                     '{"comhead":"set peq","action":0,"chn":0,"preset":1,"id":0,'
                     '"frequency":1000,"gain":-1e999,"quality":1,"type":"PARAMETRIC"}',
                     '{"comhead":"set peq","action":0,"chn":0,"preset":1,"id":0,'
                     '"frequency":1000,"gain":1,"quality":1,"type":"parametric"}'):
            self.assertEqual(self.command(body), {"comhead": "set peq", "result": 0}, body)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
