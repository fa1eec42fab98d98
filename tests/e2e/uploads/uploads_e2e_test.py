"""Firmware uploads as the web pages send them: one curl request per chunk through lighttpd to
devctl on the simulated unit, then the progress poll until the unit asks for its reboot."""

import io
import json
import os
import subprocess
import sys
import tarfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from web_server import WebServer, curl  # noqa: E402

PROGRAM = os.environ.get("DEVCTL_PROGRAM", "")

MARKERS = ("oem/upgrade_app", "tmp/upgrade_mcu", "tmp/upgrade_netaudio", "oem/upgrade_ota")


def make_tar(members):
    """A tar archive of {name: bytes}; names are stored exactly as given."""
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.GNU_FORMAT) as tar:
        for name, data in members.items():
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = 1700000000
            tar.addfile(info, io.BytesIO(data))
    return out.getvalue()


def system_package(product=b"VX7206\n", extra=None):
    members = {"backend/apps/product": product,
               "backend/apps/devctl": os.urandom(150000),
               "backend/mcu/mcu_upgrade.bin": os.urandom(3000),
               "backend/mcu/version": b"V2.0\n"}
    members.update(extra or {})
    return make_tar(members)


def split(data, size):
    return [data[i:i + size] for i in range(0, len(data), size)]


class UploadsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = WebServer(PROGRAM)
        for sub in ("run", "userdata", "tmp"):
            os.makedirs(os.path.join(cls.server.root, sub), exist_ok=True)
        with open(os.path.join(cls.server.root, "tmp", "mcu_version"), "w") as f:
            f.write("V1.0\n")
        cls.server.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__(None, None, None)

    def setUp(self):
        for name in MARKERS + ("tmp/reboot", "sim/update_engine.log"):
            path = self.unit(name)
            if os.path.exists(path):
                os.remove(path)

    def unit(self, name):
        return os.path.join(self.server.root, name)

    def unit_bytes(self, name):
        with open(self.unit(name), "rb") as f:
            return f.read()

    def chunk(self, script, kind, data):
        """One chunk; kind is the third byte of the chunk command (0 first, 0x80 last)."""
        path = os.path.join(self.server.dir, "chunk.bin")
        with open(path, "wb") as f:
            f.write(data)
        url = "%s/cgi-bin/%s?cmd=hex(00,00,%02x,00,00)" % (self.server.url, script, kind)
        out = subprocess.run(["curl", "-sS", "-g", "--max-time", "300", "--data-binary",
                              "@" + path, url], check=True, capture_output=True).stdout
        return out.decode("utf-8", "replace")

    def upload(self, script, chunks, kinds=None):
        """Sends the chunks (first, middles, last); returns every reply."""
        kinds = kinds or [0x00] + [0x01] * (len(chunks) - 2) + [0x80]
        return [self.chunk(script, kind, data) for kind, data in zip(kinds, chunks)]

    def result(self, reply):
        return json.loads(reply)

    def poll(self, type_):
        _, text = curl(self.server.url + "/cgi-bin/instr.cgi",
                       json.dumps({"comhead": "get upgrade status", "type": type_}))
        return json.loads(text)

    def commands(self):
        with open(self.unit("sim/commands.log")) as f:
            return f.read().splitlines()

    def assert_no_marker(self, why):
        for name in MARKERS:
            self.assertFalse(os.path.exists(self.unit(name)), "%s: %s" % (why, name))
        self.assertFalse(os.path.exists(self.unit("sim/update_engine.log")), why)

    def test_system_package_in_chunks_is_staged_and_installed_to_the_reboot(self):
        package = system_package()
        chunks = split(package, 40000)
        self.assertGreaterEqual(len(chunks), 4)
        replies = self.upload("update_soc.cgi", chunks)
        sent = 0
        for reply, data in zip(replies[:-1], chunks[:-1]):
            sent += len(data)
            self.assertEqual(reply, "length: %d upLength: %d \n" % (len(data), sent))
        self.assertEqual(self.result(replies[-1]),
                         {"command": "update_soc.cgi", "result": "success"})
        self.assertEqual(self.unit_bytes("tmp/soc.tar"), package)
        self.assertEqual(self.unit_bytes("oem/upgrade_app"), b"1")
        self.assertEqual(self.unit_bytes("tmp/upgrade_mcu"), b"1")
        with open(self.unit("sim/commands.log")) as f:
            log = f.read()
        self.assertIn("tar -tf /tmp/soc.tar\ntar -tvf /tmp/soc.tar\n"
                      "(mkdir -p /tmp/soctmp) && (tar --no-same-owner --no-same-permissions -x -C /tmp/soctmp -f /tmp/soc.tar)\n", log)

        # The figure grows while the scripts install, and stops at 99.
        last = 0
        deadline = time.monotonic() + 120
        while True:
            progress = self.poll(1)
            self.assertEqual(list(progress), ["comhead", "upgrade_type", "status"])
            self.assertEqual(progress["upgrade_type"], 1)
            self.assertGreaterEqual(progress["status"], last)
            self.assertLessEqual(progress["status"], 99)
            last = progress["status"]
            if last == 99 or time.monotonic() > deadline:
                break
            time.sleep(0.5)
        self.assertEqual(last, 99)
        self.assertFalse(os.path.exists(self.unit("tmp/reboot")))

        # The scripts remove the marker when done: the unit asks for its reboot.
        os.remove(self.unit("oem/upgrade_app"))
        self.assertEqual(self.poll(1),
                         {"comhead": "get upgrade status", "upgrade_type": 1, "status": 100})
        self.assertEqual(self.unit_bytes("tmp/reboot"), b"1")

    def test_truncated_upload_fails_and_leaves_no_marker(self):
        package = make_tar({"netaudio/tarvo_package/product": b"VX7206",
                            "netaudio/tarvo_package/engine": os.urandom(200000)})
        chunks = split(package, 60000)
        del chunks[1]  # one chunk lost on the way
        replies = self.upload("update_netaudio.cgi", chunks)
        self.assertEqual(self.result(replies[-1]),
                         {"command": "update_netaudio.cgi", "result": "fail"})
        self.assert_no_marker("truncated upload")
        self.assertFalse(os.path.exists(self.unit("tmp/netaudio.tar")))
        self.assertFalse(os.path.exists(self.unit("run/netaudiotmp")))
        self.assertEqual(self.poll(2)["upgrade_type"], 0)

    def test_out_of_order_chunks_fail_and_leave_no_marker(self):
        image = os.urandom(5000)
        replies = self.upload("update_ota.cgi", [image[:2500], image[2500:]], kinds=[0x01, 0x80])
        for reply in replies:
            self.assertEqual(self.result(reply), {"command": "upload_ota.cgi", "result": "fail"})
        self.assert_no_marker("chunks without a first")

    def test_bad_model_code_fails_and_leaves_no_marker(self):
        for product in (b"VX7207\n", b"VX7206x\n"):
            replies = self.upload("update_soc.cgi", split(system_package(product), 50000))
            self.assertEqual(self.result(replies[-1]),
                             {"command": "update_soc.cgi", "result": "fail"}, product)
            self.assert_no_marker(product)
            self.assertFalse(os.path.exists(self.unit("tmp/soc.tar")))
            self.assertFalse(os.path.exists(self.unit("tmp/soctmp")))

    def test_members_outside_the_folder_are_refused(self):
        for name in ("../../evil", "/abs_evil", "backend/../../evil"):
            package = system_package(extra={name: b"payload"})
            before = self.commands()
            replies = self.upload("update_soc.cgi", split(package, 50000))
            self.assertEqual(self.result(replies[-1]),
                             {"command": "update_soc.cgi", "result": "fail"}, name)
            self.assert_no_marker(name)
            # Refused on the listing: the archive is never unpacked.
            new = self.commands()[len(before):]
            self.assertIn("tar -tf /tmp/soc.tar", new)
            self.assertFalse([line for line in new if " -x " in line], new)
        for base in (self.server.root, os.path.dirname(self.server.root),
                     os.path.join(self.server.root, "tmp")):
            self.assertFalse(os.path.exists(os.path.join(base, "evil")), base)
            self.assertFalse(os.path.exists(os.path.join(base, "abs_evil")), base)
        self.assertFalse(os.path.exists("/abs_evil"))

    def test_ota_image_is_handed_to_update_engine(self):
        image = os.urandom(70000)
        replies = self.upload("update_ota.cgi", split(image, 30000))
        self.assertEqual(self.result(replies[-1]), {"command": "upload_ota.cgi", "result": "success"})
        self.assertEqual(self.unit_bytes("userdata/update-ota.img"), image)
        self.assertEqual(self.unit_bytes("oem/upgrade_ota"), b"1")
        with open(self.unit("sim/update_engine.log")) as f:
            self.assertEqual(f.read(),
                             "updateEngine --image_url=/userdata/update-ota.img --update --reboot\n")


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PROGRAM = sys.argv.pop(1)
    unittest.main()
