#!/usr/bin/env python3
"""real_drivers.py FOLDER TQ905 VMHELPER: tq905 on Linux's own serial drivers.

Boots Debian's kernel under QEMU's software emulation (tools/scripts/vm-image
makes the machine in FOLDER) with a second 16550 UART and QEMU's usb-serial
adapter (an FTDI chip: ftdi_sio) on an xHCI controller; each is a chardev with
a board of this script's own on the host side, one that follows the protocol
and numbers its answers. The guest's /init (init.sh) runs the checks and asks
for what only the host can do: a board's count started again, a reply lost,
the adapter unplugged and plugged in again through QEMU's QMP monitor.
Where QEMU cannot start, the check says why and counts as not run (exit 77),
unless TQ905_REAL_DRIVERS_REQUIRED is set: then that is a failure.
"""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

SKIPPED = 77
GUEST_TIME_LIMIT = 120  # seconds, from the start of QEMU to the guest's "@ done"
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class Board(threading.Thread):
    """The far end of a chardev: answers IN with the number of the query as port A
    and 3C as port B, ADn with 2A0 + n, and nothing to an output; it can lose the
    reply to one query."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.listener = socket.socket(socket.AF_UNIX)
        self.listener.bind(path)
        self.listener.listen(1)
        self.queries = 0
        self.lose = None

    def run(self):
        connection, _ = self.listener.accept()
        pending = b""
        while data := connection.recv(4096):
            pending += data
            while (start := pending.find(b"\x02")) >= 0 and (end := pending.find(b"\r", start)) >= 0:
                body, pending = pending[start + 1:end], pending[end + 1:]
                if reply := self.answer(body):
                    connection.sendall(b"\x02" + reply + b"\r")

    def answer(self, body):
        if body[:1] not in (b"I", b"A"):
            return None
        self.queries += 1
        if self.queries == self.lose:
            return None
        return b"I%02X3C" % (self.queries % 256) if body == b"I" else b"A%03X" % (0x2A0 + int(body[1:]))

    def start_count(self, lose=None):
        self.queries, self.lose = 0, lose


class Monitor:
    """QEMU's QMP monitor: commands, and the events that answer them."""

    def __init__(self, path):
        self.socket = socket.socket(socket.AF_UNIX)
        for _ in range(100):
            try:
                self.socket.connect(path)
                break
            except OSError:
                time.sleep(0.05)
        self.lines = self.socket.makefile("r")
        self.lines.readline()  # the greeting
        self.execute("qmp_capabilities")

    def execute(self, command, **arguments):
        self.socket.sendall(json.dumps({"execute": command, "arguments": arguments}).encode() + b"\n")
        while "return" not in (answer := json.loads(self.lines.readline())) and "error" not in answer:
            pass
        if "error" in answer:
            raise RuntimeError("%s: %s" % (command, answer["error"]["desc"]))


def not_run(why):
    print("real_drivers: not run: " + why)
    sys.exit(1 if os.environ.get("TQ905_REAL_DRIVERS_REQUIRED") else SKIPPED)


def machine(folder, tq905, helper):
    made = subprocess.run([os.path.join(ROOT, "tools/scripts/vm-image"), folder, tq905, helper,
                           os.path.join(ROOT, "tests/realdrivers/init.sh")], capture_output=True, text=True)
    if made.returncode != 0:
        not_run("no virtual machine could be made: " + made.stderr.strip())
    return made.stdout.split()


def qemu_command(kernel, initramfs, scratch):
    return ["qemu-system-x86_64", "-machine", "pc", "-accel", "tcg", "-smp", "1", "-m", "512",
            "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
            "-kernel", kernel, "-initrd", initramfs, "-append", "console=ttyS0 quiet panic=-1",
            "-chardev", "stdio,id=console,signal=off", "-serial", "chardev:console",
            "-chardev", "socket,id=uart,path=%s/uart" % scratch, "-serial", "chardev:uart",
            "-device", "qemu-xhci,id=xhci",
            "-chardev", "socket,id=usb,path=%s/usb" % scratch,
            "-device", "usb-serial,id=adapter,chardev=usb,bus=xhci.0",
            "-qmp", "unix:%s/qmp,server=on,wait=off" % scratch]


def serve(guest, boards, monitor, started):
    """Answers the guest's requests until its "@ done"; the lines of its checks, and all it said."""
    results, console = [], []
    for line in guest.stdout:
        line = line.strip()
        if not console:
            print("real_drivers: the guest's first words %.1f s after QEMU started" % (time.monotonic() - started))
        console.append(line)
        words = line.split()
        if line.startswith(("ok ", "FAIL ", "figure ")):
            results.append(line)
        if words[:1] != ["@"]:
            continue
        if words[1] == "done":
            print("real_drivers: the guest ran its checks %.1f s after QEMU started" % (time.monotonic() - started))
            return results, console
        if words[1] in ("count", "lose"):
            boards[words[2]].start_count(int(words[3]) if words[1] == "lose" else None)
        elif words[1] == "unplug":
            monitor.execute("device_del", id="adapter")
        elif words[1] == "replug":
            monitor.execute("device_add", driver="usb-serial", id="adapter", chardev="usb", bus="xhci.0")
        guest.stdin.write("ok\n")
        guest.stdin.flush()
    return results + ["FAIL the guest ended before its checks did"], console


def main():
    folder, tq905, helper = sys.argv[1:4]
    if not shutil.which("qemu-system-x86_64"):
        not_run("no qemu-system-x86_64 (Debian's qemu-system-x86)")
    kernel, initramfs = machine(folder, tq905, helper)
    with tempfile.TemporaryDirectory() as scratch:
        boards = {"/dev/ttyS1": Board(scratch + "/uart"), "/dev/ttyUSB0": Board(scratch + "/usb")}
        for board in boards.values():
            board.start()
        started = time.monotonic()
        guest = subprocess.Popen(qemu_command(kernel, initramfs, scratch), stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace")
        watchdog = threading.Timer(GUEST_TIME_LIMIT, guest.kill)
        watchdog.start()
        try:
            monitor = Monitor(scratch + "/qmp")
        except (OSError, ValueError):
            guest.kill()
            not_run("QEMU cannot start: " + guest.communicate()[1].strip())
        results, console = serve(guest, boards, monitor, started)
        watchdog.cancel()
        guest.kill()
        guest.wait()
    failed = [line for line in results if line.startswith("FAIL")]
    print("\n".join(console if failed else results))
    checks = [line for line in results if not line.startswith("figure")]
    print("%d passed, %d failed" % (len(checks) - len(failed), len(failed)))
    sys.exit(1 if failed or not checks else 0)


if __name__ == "__main__":
    main()
