"""Many clients at once through lighttpd and nginx (with and without kept FastCGI connections):
50 clients of 100 requests each, getters and setters mixed; and 300 clients of 50 requests through
nginx with a pool of 64 kept connections, more than devctl keeps idle. No request is lost or hangs,
each answer is the one its request asked for, and every setter is applied.

    web_load_e2e_test.py DEVCTL [TEST CLASS ...]"""

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


def run_client(port, client, requests=REQUESTS):
    """One client on its own keep-alive connection. Clients that own a slot alternate a setter on
    it with a status document that must show the value just set; the others alternate the status
    document with a JSON getter. Returns a list of faults (empty when every answer was right)."""
    faults = []
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    slot = SLOTS[client] if client < len(SLOTS) else None
    last = None
    for i in range(requests):
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


def run_load(test, server, clients=CLIENTS, requests=REQUESTS):
    with server:
        with ThreadPoolExecutor(max_workers=clients) as pool:
            results = list(pool.map(lambda c: run_client(server.port, c, requests),
                                    range(clients)))
        faults = [f for r in results for f in r]
        test.assertEqual(faults[:10], [], "%d faults; log: %s" % (len(faults), server.log()))
        test.assertIsNone(getattr(server, "devctl", None) and server.devctl.poll())


class ParallelClientsTest(unittest.TestCase):
    def test_nginx_with_kept_connections(self):
        run_load(self, NginxServer(PROGRAM, keep_conn=True))

    def test_nginx_without_kept_connections(self):
        run_load(self, NginxServer(PROGRAM, keep_conn=False))

    def test_lighttpd(self):
        run_load(self, WebServer(PROGRAM))


class LargeKeptPoolTest(unittest.TestCase):
    """nginx keeps up to 64 idle FastCGI connections and opens one for every request it has
    waiting: with 300 clients devctl serves many connections at once, closes idle ones beyond its
    cap while nginx reuses others, and a new connection is not left behind the kept ones."""

    def test_nginx_pool_of_64_with_300_clients(self):
        run_load(self, NginxServer(PROGRAM, keep_conn=True, pool=64), clients=300, requests=50)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
