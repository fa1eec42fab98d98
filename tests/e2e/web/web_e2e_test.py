"""devctl's web API through lighttpd with curl: commands, help, unknown commands and the status
documents, as a browser or a control system reaches them."""

import json
import os
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import dsp_cells, poll_until  # noqa: E402
from web_server import WebServer, curl  # noqa: E402

PROGRAM = os.environ.get("DEVCTL_PROGRAM", "")


class WebApiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = WebServer(PROGRAM).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__(None, None, None)

    def command(self, body):
        _, text = curl(self.server.url + "/cgi-bin/instr.cgi", body)
        return json.loads(text)

    def test_help_lists_every_command(self):
        reply = self.command('{"comhead":"help"}')
        self.assertEqual(list(reply), ["comhead", "help"])
        self.assertEqual(reply["comhead"], "help")
        self.assertEqual(reply["help"], "help:\r\n" * 56)

    def test_unknown_and_malformed_commands(self):
        cases = [
            ('{"comhead":"no such command"}', {"comhead": "no such command",
                                               "error": "unsupported command", "result": "fail"}),
            ('{"comhead":"HELP"}', {"comhead": "HELP", "error": "unsupported command",
                                    "result": "fail"}),
        ]
        for body, expected in cases:
            self.assertEqual(self.command(body), expected, body)
        for body in ("not json", '{"comhead":5}', '{"comhead":"help"} trailing'):
            self.assertEqual(self.command(body)["comhead"], "help", body)

    def test_headers_of_each_ending(self):
        head, _ = curl(self.server.url + "/cgi-bin/instr.cgi", '{"comhead":"help"}', headers=True)
        self.assertIn("HTTP/1.1 200", head)
        self.assertIn("access-control-allow-origin: *", head.lower())
        self.assertIn("content-type: text/html", head.lower())
        head, _ = curl(self.server.url + "/cgi-bin/getjson.cgi?json=mxsta", headers=True)
        self.assertIn("content-type: application/json", head.lower())
        self.assertNotIn("access-control-allow-origin", head.lower())
        head, _ = curl(self.server.url + "/cgi-bin/getxml.cgi?xml=mxsta", headers=True)
        self.assertIn("content-type: text/xml", head.lower())
        self.assertNotIn("access-control-allow-origin", head.lower())
        _, body = curl(self.server.url + "/cgi-bin/getjson.cgi?json=other")
        self.assertEqual(body, "unknow")

    def test_status_documents_parse(self):
        _, text = curl(self.server.url + "/cgi-bin/getjson.cgi?json=mxsta")
        doc = json.loads(text)
        self.assertEqual(list(doc), ["syssta", "websta", "input", "output", "preset", "peq"])
        self.assertEqual(len(doc["input"]["input_name"]), 18)
        self.assertEqual(len(doc["peq"]), 2 * (3 + 54))

        _, text = curl(self.server.url + "/cgi-bin/getxml.cgi?xml=mxsta")
        self.assertTrue(text.startswith('<?xml version="1.0" encoding="utf-8"?><MATRIX>'))
        root = ET.fromstring(text)
        self.assertEqual(root.tag, "MATRIX")
        self.assertEqual([c.tag for c in root],
                         ["syssta", "websta", "input", "output", "preset", "peq"])
        self.assertEqual(root.find("syssta/devname").text or "", doc["syssta"]["devname"])
        names = root.find("input/input_name").text or ""
        self.assertEqual(names.split(","), doc["input"]["input_name"])

    def test_set_input_gain_reaches_the_dsp(self):
        before = dsp_cells(self.server.root, "dsp_b.txt")
        reply = self.command('{"comhead":"set input gain","action":1,"chn":2,"gain":-6}')
        self.assertEqual(reply, {"comhead": "set input gain", "result": 1})
        expected = round(10 ** (-6 / 20) * (1 << 24))
        changed = {}

        def took_the_word():
            nonlocal changed
            after = dsp_cells(self.server.root, "dsp_b.txt")
            changed = {a: w for a, w in after.items() if before.get(a) != w}
            return any(abs(w - expected) <= 1 for w in changed.values())

        poll_until(took_the_word, 60, retry_on=())
        self.assertTrue(any(abs(w - expected) <= 1 for w in changed.values()),
                        "no DSP B cell took the -6 dB word: %r" % changed)
        _, text = curl(self.server.url + "/cgi-bin/getjson.cgi?json=mxsta")
        self.assertEqual(json.loads(text)["input"]["tarvo_input_gain"][2], -6)
        with open(os.path.join(self.server.root, "oem", "app.json")) as f:
            self.assertEqual(json.load(f)["input"]["tarvo_input_gain"][2], -6)

    def test_parallel_writes_leave_a_valid_configuration(self):
        def one(i):
            body = ('{"comhead":"set input gain","action":0,"chn":%d,"gain":%d}'
                    % (i % 4, (i % 61) - 30))
            return self.command(body)
        with ThreadPoolExecutor(max_workers=8) as pool:
            replies = list(pool.map(one, range(1000)))
        self.assertEqual(len(replies), 1000)
        for reply in replies:
            self.assertEqual(reply, {"comhead": "set input gain", "result": 1})
        with open(os.path.join(self.server.root, "oem", "app.json")) as f:
            saved = json.load(f)
        _, text = curl(self.server.url + "/cgi-bin/getjson.cgi?json=mxsta")
        live = json.loads(text)["input"]["analogue_input_gain"]
        self.assertEqual(saved["input"]["analogue_input_gain"], live)

    def test_getinfo(self):
        _, text = curl(self.server.url + "/cgi-bin/getinfo.cgi", "ignored")
        self.assertEqual(list(json.loads(text)), ["ipaddress", "subnet", "gateway", "macaddress"])


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
