#!/usr/bin/env python3
"""wine_null_modem.py COMMAND...: runs a Windows test under Wine with a serial line
between two COM ports, as a null-modem cable joins two ports: two
pseudo-terminals whose masters are copied into each other, linked in WINEPREFIX
as the device (TQ905_TEST_DEVICE) and the far end (TQ905_TEST_FAR_END). Wine
programs cannot make a pseudo-terminal themselves.

Bytes move only as fast as the other side reads them, so a far end that stops
reading stalls the device's writes. When the far end closes its port, the
device's side is hung up (the device vanishes, as an unplugged adapter does)
and a fresh line is linked for the next test; the file TQ905_TEST_LINE_COUNT
then counts one more.
"""

import errno
import os
import select
import subprocess
import sys
import tempfile
import termios
import tty

DEVICE, FAR_END = 41, 42
HELD_BYTES = 4096  # copied but not yet taken by the other side


def raw_pty():
    master, slave = os.openpty()
    tty.setraw(slave, termios.TCSANOW)
    os.set_blocking(master, False)
    name = os.ttyname(slave)
    os.close(slave)
    return master, name


def link(number, device):
    path = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "com%d" % number)
    if os.path.lexists(path):
        os.unlink(path)
    os.symlink(device, path)


class Line:
    def __init__(self):
        (self.device, device_name), (self.far, far_name) = raw_pty(), raw_pty()
        link(DEVICE, device_name)
        link(FAR_END, far_name)
        self.held = {self.device: b"", self.far: b""}  # what waits to go to that master
        self.far_opened = False

    def close(self):
        os.close(self.device)
        os.close(self.far)

    def step(self):
        """Moves what it can; False once the far end has closed its port."""
        other = {self.device: self.far, self.far: self.device}
        polled = select.poll()
        for master in other:
            polled.register(master, (select.POLLIN if len(self.held[other[master]]) < HELD_BYTES else 0)
                            | (select.POLLOUT if self.held[master] else 0))
        events = dict(polled.poll(20))
        if events.get(self.far, 0) & select.POLLHUP:
            if self.far_opened:
                return False
        else:
            self.far_opened = True
        hung_up = any(event & select.POLLHUP for event in events.values())
        for master, event in events.items():
            try:
                if event & select.POLLIN:
                    self.held[other[master]] += os.read(master, HELD_BYTES)
                if event & select.POLLOUT and self.held[master]:
                    self.held[master] = self.held[master][os.write(master, self.held[master]):]
            except OSError as error:  # the port is closed at that end meanwhile
                if error.errno not in (errno.EIO, errno.EAGAIN):
                    raise
        if hung_up:
            select.select([], [], [], 0.01)  # a port not open at one end: no spinning
        return True


def main():
    if len(sys.argv) < 2 or "WINEPREFIX" not in os.environ:
        sys.exit("usage: WINEPREFIX=... %s COMMAND..." % sys.argv[0])
    with tempfile.NamedTemporaryFile("w") as count:
        lines = 1
        line = Line()
        count.write("1")
        count.flush()
        environment = dict(os.environ, TQ905_TEST_DEVICE="COM%d" % DEVICE, TQ905_TEST_FAR_END="COM%d" % FAR_END,
                           TQ905_TEST_LINE_COUNT="Z:" + count.name)
        test = subprocess.Popen(sys.argv[1:], env=environment)
        while test.poll() is None:
            if not line.step():
                line.close()
                line, lines = Line(), lines + 1
                count.seek(0)
                count.write(str(lines))
                count.flush()
    sys.exit(test.returncode)


if __name__ == "__main__":
    main()
