"""Web API benchmark: devctl behind lighttpd on loopback, each case beside lighttpd serving a
static file of the same size as that case's reply. Prints the figures and the ratios.

    python3 run_web_bench.py DEVCTL WEB_BENCH [THREADS] [REQUESTS]
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e", "web"))
from web_server import WebServer, curl  # noqa: E402

CASES = [
    ("status json", "GET", "/cgi-bin/getjson.cgi?json=mxsta", None),
    ("status xml", "GET", "/cgi-bin/getxml.cgi?xml=mxsta", None),
    ("getinfo", "POST", "/cgi-bin/getinfo.cgi", "{}"),
    ("help", "POST", "/cgi-bin/instr.cgi", '{"comhead":"help"}'),
    ("set input gain", "POST", "/cgi-bin/instr.cgi",
     '{"comhead":"set input gain","action":1,"chn":0,"gain":5}'),
]


def main():
    devctl, bench = sys.argv[1], os.path.abspath(sys.argv[2])
    threads = sys.argv[3] if len(sys.argv) > 3 else "8"
    requests = sys.argv[4] if len(sys.argv) > 4 else "2000"
    with WebServer(devctl) as server:
        args = []
        for name, method, path, body in CASES:
            _, reply = curl(server.url + path, body)
            static = "static_%s.txt" % name.replace(" ", "_")
            with open(os.path.join(server.dir, "www", static), "w") as f:
                f.write(reply)
            args += [name, method, path] + ([body] if body else [])
            args += ["static " + name, "GET", "/" + static]
        out = subprocess.run([bench, str(server.port), threads, requests] + args, check=True,
                             capture_output=True, text=True).stdout
    print("devctl behind lighttpd, %s client threads, keep-alive" % threads)
    print(out, end="")
    rows = {}
    for line in out.splitlines()[1:]:
        parts = line.rsplit(None, 5)
        rows[parts[0].strip()] = float(parts[3])
    for name, _, _, _ in CASES:
        api, static = rows.get(name, 0.0), rows.get("static " + name, 0.0)
        if static:
            print("%-24s %.3f of the static file's requests per second" % (name, api / static))


if __name__ == "__main__":
    main()
