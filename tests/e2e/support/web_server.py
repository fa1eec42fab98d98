"""Runs devctl the way the board does: as the FastCGI application of lighttpd (bin-path, the
listen socket on standard input), with the device's URL layout, on a free loopback port."""

import json
import os
import shutil
import socket
import subprocess
import tempfile
import time

from e2e_support import free_port, listening, stop_process, tail

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


def prepare_root(root):
    """A unit folder whose control ports sit on free loopback ports."""
    for sub in ("oem", "tmp", "dev", "sim/in", "etc", "usr/local/backend/apps"):
        os.makedirs(os.path.join(root, sub), exist_ok=True)
    app = os.path.join(root, "oem", "app.json")
    if not os.path.exists(app):
        with open(app, "w") as f:
            json.dump({"network": {"tcpport": free_port(), "telnetport": free_port(),
                                   "tcpportenable": 1, "telnet_enable": 1}}, f)
    with open(os.path.join(root, "usr/local/backend/apps/version"), "w") as f:
        f.write("V1.0.0-test\n")


def wait_for_port(port, proc, what, log):
    """Until the server proc listens on port; RuntimeError with its log when it ends first or
    does not listen within 90 s."""
    deadline = time.monotonic() + 90
    while time.monotonic() < deadline:
        if listening(port):
            return
        if proc.poll() is not None:
            break
        time.sleep(0.05)
    raise RuntimeError(what + " did not start: " + log())


def remove_work_dir(path):
    """A server's working folder goes with it, unless KEEP_WEB_E2E_DIR asks to keep it."""
    if not os.environ.get("KEEP_WEB_E2E_DIR"):
        shutil.rmtree(path, ignore_errors=True)


def logs_of(work_dir, names):
    """The end of each of the server's logs, one after the other."""
    return "".join(tail(os.path.join(work_dir, name), encoding="utf-8") for name in names)


class FrontServer:
    """What the web servers in front of devctl share: the URL on their port, and the wait for
    them to listen, which stops everything started when they never do."""

    @property
    def url(self):
        return "http://127.0.0.1:%d" % self.port

    def listening_or_stopped(self, proc, what):
        try:
            wait_for_port(self.port, proc, what, self.log)
        except RuntimeError:
            self.__exit__(None, None, None)
            raise
        return self


class WebServer(FrontServer):
    """lighttpd serving devctl; use as a context manager."""

    def __init__(self, program, root=None, workdir=None):
        self.program = os.path.abspath(program)
        self.own_dir = workdir is None
        self.dir = workdir or tempfile.mkdtemp(prefix="devctl_web_e2e_")
        self.root = root or os.path.join(self.dir, "root")
        self.port = free_port()
        self.proc = None

    def prepare_root(self):
        prepare_root(self.root)

    def __enter__(self):
        os.makedirs(os.path.join(self.dir, "www"), exist_ok=True)
        self.prepare_root()
        conf = os.path.join(self.dir, "lighttpd.conf")
        with open(conf, "w") as f:
            f.write(CONF.format(dir=self.dir, port=self.port, program=self.program,
                                root=self.root))
        self.proc = subprocess.Popen(["lighttpd", "-D", "-f", conf],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self.listening_or_stopped(self.proc, "lighttpd")

    def devctl_pid(self):
        """The pid of the devctl lighttpd started (None when there is none)."""
        program = os.path.realpath(self.program)
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                if ppid == self.proc.pid and os.path.realpath("/proc/%s/exe" % entry) == program:
                    return int(entry)
            except (OSError, IndexError, ValueError):
                continue
        return None

    def __exit__(self, *exc):
        stop_process(self.proc)
        if self.own_dir:
            remove_work_dir(self.dir)

    def log(self):
        return logs_of(self.dir, ("error.log", "breakage.log"))


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


NGINX_CONF = """daemon off;
master_process off;
worker_processes 1;
%(user)s
pid %(dir)s/nginx.pid;
error_log %(dir)s/nginx_error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path %(dir)s/nginx_body;
  fastcgi_temp_path %(dir)s/nginx_fastcgi;
  proxy_temp_path %(dir)s/nginx_proxy;
  uwsgi_temp_path %(dir)s/nginx_uwsgi;
  scgi_temp_path %(dir)s/nginx_scgi;
  upstream devctl {
    server unix:%(dir)s/devctl.sock;
    %(keepalive)s
  }
  server {
    listen 127.0.0.1:%(port)d;
    keepalive_requests 100000;
    location / { root %(dir)s/www; }
    location ~ ^/cgi-bin/(instr|getinfo|update_netaudio|update_soc|update_ota)\\.cgi$ {
      fastcgi_pass devctl;
      %(keep_conn)s
      fastcgi_param QUERY_STRING $1.cgi&$args;
      fastcgi_param REQUEST_URI $request_uri;
      fastcgi_param REQUEST_METHOD $request_method;
      fastcgi_param CONTENT_LENGTH $content_length;
    }
    location ~ ^/cgi-bin/(getjson|getxml)\\.cgi$ {
      fastcgi_pass devctl;
      %(keep_conn)s
      fastcgi_param QUERY_STRING $args;
      fastcgi_param REQUEST_URI $request_uri;
      fastcgi_param REQUEST_METHOD $request_method;
      fastcgi_param CONTENT_LENGTH $content_length;
    }
  }
}
"""


class NginxServer(FrontServer):
    """nginx in the foreground serving devctl, which gets its FastCGI listen socket (a local
    socket made here) on standard input as from a spawner. keep_conn: fastcgi_keep_conn with an
    upstream keepalive pool of pool connections. Use as a context manager."""

    def __init__(self, program, keep_conn=True, pool=8):
        self.program = os.path.abspath(program)
        self.keep_conn = keep_conn
        self.pool = pool
        self.dir = tempfile.mkdtemp(prefix="devctl_nginx_e2e_")
        self.root = os.path.join(self.dir, "root")
        self.port = free_port()
        self.devctl = self.nginx = None

    def __enter__(self):
        prepare_root(self.root)
        os.makedirs(os.path.join(self.dir, "www"), exist_ok=True)
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(os.path.join(self.dir, "devctl.sock"))
        listener.listen(1024)
        with open(os.path.join(self.dir, "devctl.log"), "w") as log:
            self.devctl = subprocess.Popen(
                [self.program], stdin=listener, stdout=log, stderr=log,
                env=dict(os.environ, DEVCTL_SIM_ROOT=self.root))
        listener.close()
        conf = os.path.join(self.dir, "nginx.conf")
        with open(conf, "w") as f:
            f.write(NGINX_CONF % {
                "dir": self.dir, "port": self.port,
                "user": "user root;" if os.geteuid() == 0 else "",
                "keepalive": "keepalive %d;" % self.pool if self.keep_conn else "",
                "keep_conn": "fastcgi_keep_conn on;" if self.keep_conn else ""})
        self.nginx = subprocess.Popen(
            ["nginx", "-p", self.dir, "-c", conf, "-e", os.path.join(self.dir, "nginx_error.log")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self.listening_or_stopped(self.nginx, "nginx")

    def __exit__(self, *exc):
        for proc in (self.nginx, self.devctl):
            stop_process(proc)
        remove_work_dir(self.dir)

    def log(self):
        return logs_of(self.dir, ("nginx_error.log", "devctl.log"))
