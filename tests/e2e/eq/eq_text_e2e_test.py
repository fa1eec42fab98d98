"""The equaliser text commands on the simulated unit through a raw TCP client: selecting a
memory, editing a band of an EQ-locked pair and switching it off reach the DSP cells and the saved
configuration.

Usage: eq_text_e2e_test.py DEVCTL"""

import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_support import (TextPort, dsp_cells, free_port, run_on_direct_unit,  # noqa: E402
                         wait_for)

DEVCTL = sys.argv[1]
PROMPT = b"VX7206>"


def checks(unit):
    tcp, telnet = free_port(), free_port()
    unit.write_config({"tcpport": tcp, "telnetport": telnet, "telnet_enable": 1,
                       "tcpportenable": 1})
    unit.start_serial_pair()
    wait_for(lambda: os.path.exists(unit.path("dev/ttyS6")), "the serial link",
             interval=0.05, retry_on=())
    unit.start_devctl(DEVCTL)
    client = TextPort(tcp)

    # Channels 3 and 4 are EQ-locked in the factory configuration.
    reply = client.command("IN 3 EQ PRESET 2")
    assert b"[SUCCESS]Set analogue input CH3/CH4 PEQ to Custom1.\r\n" + PROMPT in reply, reply
    reply = client.command("in 3 eq 2 type 1 frq 1000 gain -3 q 1.41")
    assert (b"[SUCCESS]Set analogue input CH3/CH4 EQ 2 to parametric with FRQ 1000Hz gain "
            b"-3dB Q 1.41.\r\n" + PROMPT) in reply, reply
    # Band 2 of input 3 at 0x1DD + 5 and of input 4 at 0x205 + 5, both on DSP A.
    peaking = [0x00E93397, 0xFE1ED94A, 0x00FC19FD, 0xFF1AB26C, 0x01E126B6]
    for base in (0x1E2, 0x20A):
        wait_for(lambda: [dsp_cells(unit.root, "dsp_a.txt").get(base + i) for i in range(5)]
                 == peaking, "the peaking section at 0x%X" % base, interval=0.05, retry_on=())
    with open(unit.path("oem/app.json")) as f:
        peq = json.load(f)["peq"]
    assert peq["input_preset"][2:4] == [1, 1], peq["input_preset"]
    for slot in (2, 3):
        band = peq["input_custom1_date%d" % slot]
        assert band["frequency"][1] == 1000 and band["type_name"][1] == "PARAMETRIC", band
        assert abs(band["gain"][1] + 3) < 1e-6 and abs(band["quality"][1] - 1.41) < 1e-6

    reply = client.command("IN 4 EQ 2 OFF")
    assert b"[SUCCESS]Set analogue input CH3/CH4 EQ 2 off.\r\n" + PROMPT in reply, reply
    wait_for(lambda: [dsp_cells(unit.root, "dsp_a.txt").get(0x1E2 + i) for i in range(5)]
             == [0, 0, 0x01000000, 0, 0], "the band passed through", interval=0.05,
             retry_on=())
    reply = client.command("IN 3 EQ 9 ON")
    assert (b"[ERROR]Set input PEQ param out of range. Type \"HELP\" for more reference.\r\n"
            + PROMPT) in reply, reply


if __name__ == "__main__":
    sys.exit(run_on_direct_unit("devctl_eq_text_", checks))
