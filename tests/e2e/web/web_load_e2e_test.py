"""Many clients at once through lighttpd and nginx (with and without kept FastCGI connections):
50 clients of 100 requests each, getters and setters mixed. No request is lost or hangs, each
answer is the one its request asked for, and every setter is applied."""

import http.client
import json
import os
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from web_server import NginxServer, WebServer  # noqa: E402

PROGRAM = os.environ.get("DEVCTL_PROGRAM", "")
CLIENTS = 50
REQUESTS = 100
# The gain slots the setting clients own, one each: (action, chn, member of the status document).
SLOTS = [(0, chn, "analogue_input_gain") for chn in range(4)] + \
        [(1, chn, "tarvo_input_gain") for chn in range(8)]


def run_client(port, client):
    """One client on its own keep-alive connection. Clients that own a slot alternate a setter on
    it with a status document that must show the value just set; the others alternate the status
    document with a JSON getter. Returns a list of faults (empty when every answer was right)."""
    faults = []
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    slot = SLOTS[client] if client < len(SLOTS) else None
    last = None
    for i in range(REQUESTS):
        try:
            if i % 2 == 0 and slot:
                last = (client * 7 + i) % 41 - 20
                body = json.dumps({"comhead": "set input gain", "action": slot[0],
                                   "chn": slot[1], "gain": last})
                conn.request("POST", "/cgi-bin/instr.cgi", body,
                             {"Content-Type": "application/json"})
                expected = {"comhead": "set input gain", "result": 1}
            elif i % 2 == 0:
                conn.request("POST", "/cgi-bin/instr.cgi", '{"comhead":"get input status"}',
                              {"Content-Type": "application/json"})
                expected = "get input status"
            else:
                conn.request("GET", "/cgi-bin/getjson.cgi?json=mxsta")
                expected = "status"
            response = conn.getresponse()
            text = response.read().decode("utf-8", "replace")
            reply = json.loads(text)
            if response.status != 200:
                faults.append((client, i, response.status, text[:200]))
            elif expected == "status":
                if list(reply) != ["syssta", "websta", "input", "output", "preset", "peq"]:
                    faults.append((client, i, "not the status document", text[:200]))
                elif slot and last is not None and reply["input"][slot[2]][slot[1]] != last:
                    faults.append((client, i, "setter not applied", slot, last))
            elif isinstance(expected, dict):
                if reply != expected:
                    faults.append((client, i, "setter answered", text[:200]))
            elif reply.get("comhead") != expected:
                faults.append((client, i, "getter answered", text[:200]))
        except (OSError, ValueError, http.client.HTTPException) as e:
            faults.append((client, i, "failed", repr(e)))
            conn.close()
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    conn.close()
    return faults


class ParallelClientsTest(unittest.TestCase):
    def run_load(self, server):
        with server:
            with ThreadPoolExecutor(max_workers=CLIENTS) as pool:
                results = list(pool.map(lambda c: run_client(server.port, c), range(CLIENTS)))
            faults = [f for r in results for f in r]
            self.assertEqual(faults[:10], [], "%d faults; log: %s" % (len(faults), server.log()))
            self.assertIsNone(getattr(server, "devctl", None) and server.devctl.poll())

    def test_nginx_with_kept_connections(self):
        self.run_load(NginxServer(PROGRAM, keep_conn=True))

    def test_nginx_without_kept_connections(self):
        self.run_load(NginxServer(PROGRAM, keep_conn=False))

    def test_lighttpd(self):
        self.run_load(WebServer(PROGRAM))


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
