"""devctl's web API through lighttpd with curl: commands, help, unknown commands and the status
documents, as a browser or a control system reaches them."""

import json
import os
import sys
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
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

    def test_getinfo(self):
        _, text = curl(self.server.url + "/cgi-bin/getinfo.cgi", "ignored")
        self.assertEqual(list(json.loads(text)), ["ipaddress", "subnet", "gateway", "macaddress"])


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
