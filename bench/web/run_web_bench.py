"""Web API benchmark: devctl behind lighttpd on loopback, each case beside lighttpd serving a
static file of the same size as that case's reply, in the same run. Every case (static ones
included) runs for SECONDS (at least 2). Prints the figures and each case's requests per second as
a ratio to its static file.

    python3 run_web_bench.py DEVCTL WEB_BENCH [THREADS] [SECONDS] [BEFORE_DEVCTL]

With BEFORE_DEVCTL (a devctl built from an earlier commit) both programs run one after the other,
the status documents are printed as before/after ratios, and the status document and a setter
are measured through lighttpd and through nginx with a pool of kept FastCGI connections, printed
side by side in requests per second. Then POOL_CLIENTS clients (300) send POOL_REQUESTS (50)
requests each, the status document and the setter in turn, through nginx with a pool of 64 kept
connections: p50, p99 and the slowest request, before and after.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e", "support"))
from web_server import NginxServer, WebServer, curl  # noqa: E402

CASES = [
    ("status json", "GET", "/cgi-bin/getjson.cgi?json=mxsta", None),
    ("status xml", "GET", "/cgi-bin/getxml.cgi?xml=mxsta", None),
    ("getinfo", "POST", "/cgi-bin/getinfo.cgi", "{}"),
    ("help", "POST", "/cgi-bin/instr.cgi", '{"comhead":"help"}'),
    ("set input gain", "POST", "/cgi-bin/instr.cgi",
     '{"comhead":"set input gain","action":1,"chn":0,"gain":5}'),
]
STATUS = ("status json", "status xml")
SIDE_BY_SIDE = ("status json", "set input gain")
SERVERS = {"lighttpd": WebServer, "nginx keepalive": NginxServer}
POOL, POOL_CLIENTS, POOL_REQUESTS = 64, 300, 50


def measure(devctl, bench, threads, seconds, cases, server_class=WebServer):
    """{case: (api req/s, static req/s, reply bytes)} for one devctl program."""
    with server_class(devctl) as server:
        args, sizes = [], {}
        for name, method, path, body in cases:
            _, reply = curl(server.url + path, body)
            sizes[name] = len(reply.encode())
            static = "static_%s.txt" % name.replace(" ", "_")
            with open(os.path.join(server.dir, "www", static), "w") as f:
                f.write(reply)
            args += [name, method, path] + ([body] if body else [])
            args += ["static " + name, "GET", "/" + static]
        out = subprocess.run([bench, str(server.port), threads, "%gs" % seconds] + args,
                             check=True, capture_output=True, text=True).stdout
    print(out, end="")
    rows = {}
    for line in out.splitlines()[1:]:
        parts = line.rsplit(None, 6)
        rows[parts[0].strip()] = float(parts[3])
    return {name: (rows.get(name, 0.0), rows.get("static " + name, 0.0), sizes[name])
            for name, _, _, _ in cases}


def main():
    devctl, bench = sys.argv[1], os.path.abspath(sys.argv[2])
    threads = sys.argv[3] if len(sys.argv) > 3 else "8"
    seconds = max(2.0, float(sys.argv[4])) if len(sys.argv) > 4 else 2.0
    before = sys.argv[5] if len(sys.argv) > 5 else None
    print("devctl behind lighttpd, %s client threads, keep-alive, %g s per case" %
          (threads, seconds))
    print("load average: %.2f %.2f %.2f" % os.getloadavg())
    results = {}
    if before:
        print("-- before: %s" % before)
        results["before"] = measure(before, bench, threads, seconds,
                                    [c for c in CASES if c[0] in STATUS])
        print("-- after: %s" % devctl)
    results["after"] = measure(devctl, bench, threads, seconds, CASES)
    for name, _, _, _ in CASES:
        cells = []
        for which in ("before", "after"):
            row = results.get(which, {}).get(name)
            if row and row[1]:
                cells.append("%s %.3f (%d bytes)" % (which, row[0] / row[1], row[2]))
        if cells:
            print("%-16s %s of the static file's requests per second" % (name, ", ".join(cells)))
    if before:
        side_by_side(devctl, before, bench, threads, seconds)
        large_pool(devctl, before, bench)
    print("load average: %.2f %.2f %.2f" % os.getloadavg())


def side_by_side(devctl, before, bench, threads, seconds):
    """The status document and a setter through each web server, before and after."""
    cases = [c for c in CASES if c[0] in SIDE_BY_SIDE]
    rows = {}
    for server_name, server_class in SERVERS.items():
        for which, program in (("before", before), ("after", devctl)):
            print("-- %s, %s" % (server_name, which))
            rows[server_name, which] = measure(program, bench, threads, seconds, cases,
                                               server_class)
    print("%-16s %-16s %12s %12s %8s" % ("case", "web server", "before req/s", "after req/s",
                                          "after/before"))
    for server_name in SERVERS:
        for name in SIDE_BY_SIDE:
            old = rows[server_name, "before"][name][0]
            new = rows[server_name, "after"][name][0]
            print("%-16s %-16s %12.0f %12.0f %8.3f" % (name, server_name, old, new,
                                                       new / old if old else 0.0))


def large_pool(devctl, before, bench):
    """Many clients through nginx with a large pool of kept connections, before and after: how
    long the requests wait, the slowest above all."""
    cases = [c for c in CASES if c[0] in SIDE_BY_SIDE]
    args = ["--mixed"]
    for name, method, path, body in cases:
        args += [name, method, path] + ([body] if body else [])
    figures = {}
    for which, program in (("before", before), ("after", devctl)):
        print("-- nginx keepalive %d, %d clients x %d requests, %s" %
              (POOL, POOL_CLIENTS, POOL_REQUESTS, which))
        with NginxServer(program, pool=POOL) as server:
            out = subprocess.run([bench, str(server.port), str(POOL_CLIENTS), str(POOL_REQUESTS)] +
                                 args, check=True, capture_output=True, text=True).stdout
        print(out, end="")
        figures[which] = out.splitlines()[1].split()[-6:]
    print("%-8s %7s %5s %10s %10s %10s %10s" % ("nginx %d" % POOL, "reqs", "fail", "req/s",
                                                 "p50 ms", "p99 ms", "max ms"))
    for which in ("before", "after"):
        print("%-8s %7s %5s %10s %10s %10s %10s" % tuple([which] + figures[which]))


if __name__ == "__main__":
    main()
