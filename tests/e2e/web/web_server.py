"""Runs devctl the way the board does: as the FastCGI application of lighttpd (bin-path, the
listen socket on standard input), with the device's URL layout, on a free loopback port."""

import json
import os
import shutil
import socket
import subprocess
import tempfile
import time

CONF = """server.modules = ( "mod_rewrite", "mod_fastcgi" )
server.document-root = "{dir}/www"
server.bind = "127.0.0.1"
server.port = {port}
server.errorlog = "{dir}/error.log"
server.breakagelog = "{dir}/breakage.log"
url.rewrite-once = (
  "^/cgi-bin/((instr|getinfo|update_netaudio|update_soc|update_ota)\\.cgi)(\\?(.*))?$" => "/fcgi?$1&$4",
  "^/cgi-bin/(getjson|getxml)\\.cgi(\\?.*)?$" => "/fcgi"
)
fastcgi.server = ( "/fcgi" => ((
  "bin-path" => "{program}",
  "socket" => "{dir}/devctl.sock",
  "max-procs" => 1,
  "check-local" => "disable",
  "bin-environment" => ( "DEVCTL_SIM_ROOT" => "{root}" )
)) )
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class WebServer:
    """lighttpd serving devctl; use as a context manager."""

    def __init__(self, program, root=None, workdir=None):
        self.program = os.path.abspath(program)
        self.own_dir = workdir is None
        self.dir = workdir or tempfile.mkdtemp(prefix="devctl_web_e2e_")
        self.root = root or os.path.join(self.dir, "root")
        self.port = free_port()
        self.proc = None

    @property
    def url(self):
        return "http://127.0.0.1:%d" % self.port

    def prepare_root(self):
        """A unit folder whose control ports sit on free loopback ports."""
        for sub in ("oem", "tmp", "dev", "sim/in", "etc", "usr/local/backend/apps"):
            os.makedirs(os.path.join(self.root, sub), exist_ok=True)
        app = os.path.join(self.root, "oem", "app.json")
        if not os.path.exists(app):
            with open(app, "w") as f:
                json.dump({"network": {"tcpport": free_port(), "telnetport": free_port(),
                                       "tcpportenable": 1, "telnet_enable": 1}}, f)
        with open(os.path.join(self.root, "usr/local/backend/apps/version"), "w") as f:
            f.write("V1.0.0-test\n")

    def __enter__(self):
        os.makedirs(os.path.join(self.dir, "www"), exist_ok=True)
        self.prepare_root()
        conf = os.path.join(self.dir, "lighttpd.conf")
        with open(conf, "w") as f:
            f.write(CONF.format(dir=self.dir, port=self.port, program=self.program,
                                root=self.root))
        self.proc = subprocess.Popen(["lighttpd", "-D", "-f", conf],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 90
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return self
            except OSError:
                if self.proc.poll() is not None:
                    break
                time.sleep(0.05)
        self.__exit__(None, None, None)
        raise RuntimeError("lighttpd did not start: " + self.log())

    def __exit__(self, *exc):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.own_dir and not os.environ.get("KEEP_WEB_E2E_DIR"):
            shutil.rmtree(self.dir, ignore_errors=True)

    def log(self):
        text = ""
        for name in ("error.log", "breakage.log"):
            path = os.path.join(self.dir, name)
            if os.path.exists(path):
                with open(path, errors="replace") as f:
                    text += f.read()[-4000:]
        return text


def curl(url, body=None, headers=False):
    """One request with curl; returns (headers, body) as text, headers only when asked."""
    cmd = ["curl", "-sS", "--max-time", "120"]
    if headers:
        cmd.append("-i")
    if body is not None:
        cmd += ["-H", "Content-Type: application/json", "--data-binary", body]
    cmd.append(url)
    out = subprocess.run(cmd, check=True, capture_output=True).stdout.decode("utf-8", "replace")
    if not headers:
        return "", out
    head, _, rest = out.partition("\r\n\r\n")
    return head, rest
