#!/usr/bin/env python3
"""A query round trip through pyserial: write STX "I" CR, read the 7-byte reply.

usage: bench_pyserial.py DEVICE COUNT WARMUP GAP_MS
       bench_pyserial.py --once DEVICE

DEVICE may be a URL of pyserial's, such as rfc2217://HOST:PORT?ign_set_control.

One line per query on stdout: nanoseconds from discarding stale input to the
reply read. The board must report port A 5A; port B is set to 3C here.
With --once, one query and its values, "5A 3C", as a script that runs once per
query does it (port B as it is).
"""
import sys
import time

import serial


def open_line(device):
    return serial.serial_for_url(device, 9600, bytesize=serial.EIGHTBITS, parity=serial.PARITY_NONE,
                         stopbits=serial.STOPBITS_ONE, timeout=3)


def once(device):
    line = open_line(device)
    line.reset_input_buffer()
    line.write(b"\x02I\r")
    reply = line.read(7)
    line.close()
    if len(reply) != 7 or reply[0] != 2:
        sys.exit(f"bench_pyserial: got {reply!r}")
    print(reply[2:4].decode("latin-1"), reply[4:6].decode("latin-1"))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--once":
        once(sys.argv[2])
        return
    if len(sys.argv) != 5:
        sys.exit(__doc__.strip())
    device = sys.argv[1]
    count, warmup, gap_ms = (int(a) for a in sys.argv[2:5])
    gap = gap_ms / 1000
    line = open_line(device)
    query = b"\x02I\r"
    expected = b"\x02I5A3C\r"
    line.write(b"\x02O3C\r")
    time.sleep(gap)
    out = []
    for i in range(warmup + count):
        start = time.perf_counter_ns()
        line.reset_input_buffer()
        line.write(query)
        reply = line.read(len(expected))
        elapsed = time.perf_counter_ns() - start
        if reply != expected:
            sys.exit(f"bench_pyserial: query {i} got {reply!r}, not {expected!r}")
        if i >= warmup:
            out.append(elapsed)
        time.sleep(gap)
    line.close()
    sys.stdout.write("".join(f"{n}\n" for n in out))


if __name__ == "__main__":
    main()
