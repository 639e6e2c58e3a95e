#!/usr/bin/env python3
"""wine_e2e.py {installed,ends,companion,console}: the Windows panel under Wine (tools/scripts/test-windows
gives the X server and WINEPREFIX) against tq905-board of the Linux build on a
pseudo-terminal linked as a COM port, driven by X input; boxes are read back
through the clipboard, which Wine shares with X. installed: installer, an upgrade
and an uninstall refused while tq905.exe runs, the window's icon, queries, SET on an
rfc2217:// address served by ser2net and ser2net killed, time-out, a late reply discarded, EXIT,
uninstaller. ends: the unzipped panel ended in the other
ways. companion: the unzipped tq905.exe as a script runs it, also on rfc2217:// and
socket:// ports of ser2net on 127.0.0.1 (Wine's sockets are the host's). console: --version
of both programs started by a console program that hands them its console's handles.
"""

import glob
import os
import re
import shlex
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from demo_e2e import Failure, expect, find_window, poll, send_delete_window, xdotool  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BOARD = os.path.join(ROOT, "build", "tools", "tq905-board")
PACKAGES = os.path.join(ROOT, "build-windows", "tq905-panel-*-win64")
PANEL = "TQ905_Panel"
ICON = os.path.join(ROOT, "build-windows", "tq905-panel.ico")
INSTALLED = "C:\\Program Files\\TQ905 Panel"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TQ905 Panel"

# Twips as the layout gives them: a frame's children count from its corner.
FRAMES = {"Frame1": (135, 600), "Frame2": (4560, 600)}
CONTROLS = {"Shape1": (None, 180, 270, 150, 195), "COMNOcmb": (None, 930, 225, 690, 300),
            "COMset": (None, 1800, 180, 600, 360), "EXIT_button": (None, 6120, 4320, 915, 400),
            "B3cmd": ("Frame1", 2025, 270, 375, 315), "Pdata": ("Frame1", 360, 990, 600, 360),
            "PORTout": ("Frame1", 360, 1440, 600, 360), "INcmd": ("Frame1", 3240, 1440, 645, 315),
            "INdataA": ("Frame1", 2520, 990, 600, 360), "INdataB": ("Frame1", 3240, 990, 600, 360),
            "AD0data": ("Frame2", 735, 360, 600, 360), "AD0cmd": ("Frame2", 1470, 405, 825, 315),
            "AD1cmd": ("Frame2", 1470, 810, 825, 315)}


def point(name):
    frame, left, top, width, height = CONTROLS[name]
    x0, y0 = FRAMES.get(frame, (0, 0))
    return (x0 + left + width // 2) // 15, (y0 + top + height // 2) // 15


def wine(*args):
    return subprocess.Popen(["wine", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def copied(window, x, y, *keys):
    """What the keys pressed after a click at x, y of the window put on the clipboard."""
    xclip = lambda *args, **io: subprocess.run(["xclip", "-selection", "clipboard", *args], timeout=10, **io)
    xclip("-i", input=b"-")
    xdotool("mousemove", "--window", window, x, y, "click", "1", "key", "--clearmodifiers", *keys)
    text = lambda: xclip("-o", capture_output=True).stdout.decode(errors="replace")
    return poll(lambda: text() != "-" and text(), "the clipboard after %s" % " ".join(keys))


def target(link):
    try:
        return os.readlink(link)
    except OSError:  # gone meanwhile, or not ours to read
        return None


class Board:
    """tq905-board on a pseudo-terminal that Wine sees as COM<number>, or that only ser2net opens."""

    def __init__(self, number, *options):
        self.process = subprocess.Popen([BOARD, "--headless", "--trace", *options], text=True,
                                        stdout=subprocess.PIPE)
        self.device = self.process.stdout.readline().strip()
        self.lines = []
        if number is not None:
            link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "com%d" % number)
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(self.device, link)
        os.set_blocking(self.process.stdout.fileno(), False)

    def trace(self):
        while line := self.process.stdout.readline():
            self.lines.append(line.rstrip("\n"))
        return self.lines

    def held_by_others(self):
        """The processes other than the board that hold the device open."""
        holders = {int(fd.split("/")[2]) for fd in glob.glob("/proc/[0-9]*/fd/*") if target(fd) == self.device}
        return holders - {self.process.pid}

    def close(self):
        self.process.kill()


class Ser2net:
    """ser2net on 127.0.0.1 and a free port serving the board's pseudo-terminal, as an RFC 2217 port
    (scheme rfc2217) or a raw TCP one (socket); Wine's sockets are the host's."""

    def __init__(self, board, scheme):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.url = "%s://127.0.0.1:%d" % (scheme, self.port)
        accepter = "telnet(rfc2217),tcp" if scheme == "rfc2217" else "tcp"
        self.folder = tempfile.TemporaryDirectory()
        config = os.path.join(self.folder.name, "ser2net.yaml")
        with open(config, "w") as yaml:
            yaml.write("connection: &board\n    accepter: %s,127.0.0.1,%d\n"
                       "    connector: serialdev,%s,9600n81,local\n"
                       "    options:\n      kickolduser: false\n      chardelay: false\n"
                       % (accepter, self.port, board.device))
        self.process = subprocess.Popen(["ser2net", "-n", "-d", "-c", config], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        # The kernel's table of listening sockets: a client to find out would open the device.
        listening = "0100007F:%04X 00000000:0000 0A" % self.port
        poll(lambda: listening in open("/proc/net/tcp").read(), "ser2net listening on %s" % self.url)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)


class Panel:
    """tq905-panel.exe under Wine, its window found on the X server."""

    def __init__(self, executable):
        self.process = wine(executable)
        self.window = poll(lambda: find_window(PANEL), "the panel window on screen", 60)

    def click(self, name):
        xdotool("mousemove", "--window", self.window, *point(name), "click", "1")

    def type_into(self, name, text):
        self.click(name)
        xdotool("key", "--clearmodifiers", "ctrl+a", "type", "--delay", "30", text)

    def text_of(self, name):
        return copied(self.window, *point(name), "ctrl+a", "ctrl+c")

    def colour(self, name):
        command = ["import", "-window", self.window, "-crop", "1x1+%d+%d" % point(name), "-depth", "8", "ppm:-"]
        return tuple(subprocess.run(command, capture_output=True, timeout=20, check=True).stdout[-3:])

    def open_port(self, port):
        """SET on a port number or a network port's URL."""
        self.type_into("COMNOcmb", str(port))
        self.click("COMset")
        poll(lambda: self.colour("Shape1") == (0, 255, 0), "the indicator green after SET on %s" % port)

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.process.pid) as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def exited(self, how, _board):
        expect(self.process.wait(timeout=20) == 0, "exit code %s after %s" % (self.process.returncode, how))

    def ended(self, how, board):
        self.exited(how, board)
        holders = board.held_by_others()
        expect(not holders, "COM port still held by %s after %s" % (holders, how))

    def closes_before_it_is_ended(self, how, board):
        """The system ends the process at the session's end: the port must be closed first."""
        poll(lambda: not board.held_by_others(), "the port closed after %s" % how, 20)
        expect(self.process.poll() is None, "the port closed only by the end of the process after %s" % how)
        self.process.wait(timeout=20)



def shows_own_icon(window):
    """Whether the window's icon, as Wine hands it to X for the title bar and the task bar, is the
    panel's own: its first picture against the picture of that size in the .ico (colours where opaque)."""
    icon = subprocess.run(["xprop", "-notype", "-id", window, "32c", "_NET_WM_ICON"], capture_output=True,
                          text=True, timeout=10).stdout
    values = [int(value) for value in icon.partition("=")[2].replace(",", " ").split()]
    if len(values) < 2:
        return False
    width, height, shown = values[0], values[1], values[2:2 + values[0] * values[1]]
    sizes = subprocess.run(["identify", "-format", "%wx%h\n", ICON], capture_output=True, text=True,
                           timeout=20).stdout.split()
    if "%dx%d" % (width, height) not in sizes:
        return False
    own = subprocess.run(["convert", "%s[%d]" % (ICON, sizes.index("%dx%d" % (width, height))), "-depth", "8",
                          "rgba:-"], capture_output=True, timeout=20).stdout
    argb = [(a << 24) | (r << 16) | (g << 8) | b for r, g, b, a in zip(*[iter(own)] * 4)]
    visible = lambda pixel: pixel if pixel >> 24 > 128 else pixel & 0xFF000000
    return list(map(visible, shown)) == list(map(visible, argb))


def box_text():
    """The text of the ERROR box on screen (Ctrl+C copies a message box whole)."""
    return copied(poll(lambda: find_window("ERROR"), "an ERROR box", 10), 5, 5, "ctrl+c")


def dismiss_box():
    xdotool("key", "Return")
    poll(lambda: not find_window("ERROR"), "the ERROR box closed")


def installed():
    installer = glob.glob(PACKAGES + ".exe")[0]
    expect(wine(installer, "/S").wait(timeout=120) == 0, "the installer failed")
    registered = lambda: wine("reg", "query", UNINSTALL_KEY).wait(30) == 0
    menu = glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "ProgramData", "Microsoft", "Windows",
                                  "Start Menu", "Programs", "TQ905 Test Panel", "*.lnk"))
    expect(menu and registered(), "no Start-menu entry or uninstall entry after the installation")
    expect(wine(INSTALLED + "\\tq905.exe", "--version").wait(timeout=30) == 0, "no tq905.exe beside the panel")
    board, late = Board(7, "--port-a", "5A", "--analog", "0=2A7"), Board(8, "--fault", "delay", "--delay", "3500")
    try:
        nothing_changes_while_tq905_runs(installer, board, registered)
        panel = Panel(INSTALLED + "\\tq905-panel.exe")
        poll(lambda: panel.colour("Shape1") == (192, 192, 192), "the indicator grey before SET")
        expect(shows_own_icon(panel.window), "the window shows another icon than the panel's")
        panel.type_into("COMNOcmb", "250")
        panel.click("COMset")
        text = box_text()
        expect("Port 250 (COM250): no such device" in text, "%r for a port that is not there" % text)
        dismiss_box()
        panel.open_port(7)
        panel.type_into("Pdata", "3C")
        for button, line in [("B3cmd", "< bit 3 on"), ("PORTout", "< port B 0x3C"),
                             ("INcmd", "> \\x02I5A3C\\x0D"), ("AD0cmd", "> \\x02A2A7\\x0D")]:
            seen = len(board.trace())
            panel.click(button)
            poll(lambda: line in board.trace()[seen:], "%r on the line after %s" % (line, button))
        shown = {name: panel.text_of(name) for name in ("INdataA", "INdataB", "AD0data")}
        expect(shown == {"INdataA": "5A", "INdataB": "3C", "AD0data": "2A7"}, "the boxes show %r" % shown)
        far = Board(None, "--port-a", "A5")
        server = Ser2net(far, "rfc2217")
        try:
            panel.open_port(server.url)
            panel.click("INcmd")
            poll(lambda: "< read ports" in far.trace(), "IN through ser2net")
            expect(panel.text_of("INdataA") == "A5", "IN through ser2net shows %r" % panel.text_of("INdataA"))
            server.close()  # the adapter unplugged: told at once, without a press
            text = box_text()
            expect("closed the connection" in text, "%r when ser2net was killed" % text)
            dismiss_box()
            poll(lambda: panel.colour("Shape1") == (192, 192, 192), "the indicator grey after ser2net went")
            expect(not find_window("ERROR"), "told more than once that ser2net went")
            print("ok: SET on %s, IN through it, ser2net killed" % server.url)
        finally:
            server.close()
            far.close()

        panel.open_port(8)
        asked = time.monotonic()
        panel.click("AD1cmd")
        time.sleep(0.5)  # the press and its repaint done, two seconds of the wait alone
        cpu = panel.cpu_seconds()
        time.sleep(2)
        cpu = panel.cpu_seconds() - cpu
        text = box_text()
        waited = time.monotonic() - asked
        print("the unanswered query's box after %.2f s; the wait took %.1f %% of a core" % (waited, cpu * 50))
        expect("Receive ERR" in text and 2.8 < waited < 6, "%r after %.1f s" % (text, waited))
        expect(cpu < 0.2, "the wait took %.2f s of CPU in 2 s: it spins" % cpu)
        poll(lambda: any(line.startswith("> ") for line in late.trace()), "the late reply sent")
        dismiss_box()
        panel.click("AD1cmd")  # the late reply waiting since is discarded, not taken for this one's
        expect("Receive ERR" in box_text(), "a reply waiting before the press was taken for its answer")
        dismiss_box()
        panel.click("EXIT_button")
        panel.ended("EXIT", late)
        print("ok: EXIT ends the program, the port closed")
    finally:
        board.close()
        late.close()
    uninstaller = wine(INSTALLED + "\\Uninstall.exe", "/S")
    expect(uninstaller.wait(timeout=60) == 0, "the uninstaller failed")
    folder = os.path.join(os.environ["WINEPREFIX"], "drive_c", "Program Files", "TQ905 Panel")
    poll(lambda: not os.path.exists(folder) and not any(os.path.exists(m) for m in menu),
         "the installed files and the Start-menu entry gone", 30)
    expect(not registered(), "the uninstall entry left in the registry")
    print("ok: installed, used and uninstalled without a trace")


def windows_processes(name):
    """The Wine processes whose command line holds name."""
    found = []
    for path in glob.glob("/proc/[0-9]*/cmdline"):
        try:
            with open(path, "rb") as cmdline:
                if name.encode() in cmdline.read():
                    found.append(path)
        except OSError:  # ended meanwhile
            pass
    return found


def nothing_changes_while_tq905_runs(installer, board, registered):
    """An upgrade or an uninstall while tq905.exe runs: silent, nothing is there to ask, so each
    ends at once and leaves the installation whole."""
    session = subprocess.Popen(["wine", INSTALLED + "\\tq905.exe", "--port", "7", "-"], stdin=subprocess.PIPE,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    folder = os.path.join(os.environ["WINEPREFIX"], "drive_c", "Program Files", "TQ905 Panel")
    installation = {"Qt6Core.dll", "Qt6Network.dll", "tq905-panel.exe", "Uninstall.exe"}
    whole = lambda: installation <= set(os.listdir(folder)) and registered()
    try:
        poll(lambda: board.held_by_others(), "tq905.exe holding COM7")
        status = wine(installer, "/S").wait(timeout=120)
        expect(status == 2 and whole(), "installing over a running tq905.exe: status %d" % status)
        # The uninstaller runs as a copy of itself (Au_.exe) and returns at once.
        expect(wine(INSTALLED + "\\Uninstall.exe", "/S").wait(timeout=60) == 0, "the uninstaller did not start")
        poll(lambda: not windows_processes("Au_.exe"), "the uninstaller's copy ended", 60)
        expect(whole(), "uninstalling while tq905.exe runs took files or the uninstall entry away")
    finally:
        session.stdin.close()
        session.wait(timeout=30)
    print("ok: an upgrade or an uninstall while tq905.exe runs changes nothing")


def unzipped(program):
    unpacked = os.path.join(os.environ["WINEPREFIX"], "drive_c", "unzipped")
    subprocess.run(["unzip", "-q", "-o", glob.glob(PACKAGES + ".zip")[0], "-d", unpacked], check=True)
    return glob.glob(os.path.join(unpacked, "*", program))[0]


def ends():
    executable = unzipped("tq905-panel.exe")

    def waiting(panel):
        panel.click("INcmd")

    def receive_err(panel):
        panel.click("INcmd")
        poll(lambda: find_window("ERROR"), "the Receive ERR box", 10)

    def unplugged(panel):  # the board's end closes on the query: the read fails
        panel.click("INcmd")
        text = box_text()
        expect("has gone away" in text, "%r when the device went away" % text)
        dismiss_box()
        poll(lambda: panel.colour("Shape1") == (192, 192, 192), "the indicator grey after the loss")

    # (how, what comes first with the port open, the request to end, how the end is seen)
    close_button = lambda panel: send_delete_window(panel.window)
    cases = [("the close button during a wait", waiting, close_button, Panel.ended),
             ("the close button with the Receive ERR box up", receive_err, close_button, Panel.ended),
             ("the end of the session during a wait", waiting, lambda _: wine("wineboot", "--end-session"),
              Panel.closes_before_it_is_ended),
             # A device gone is no one's: its number may be another program's by now.
             ("EXIT after the device went away", unplugged, lambda panel: panel.click("EXIT_button"),
              Panel.exited)]
    for how, provoke, request, seen in cases:
        board = Board(9, "--fault", "vanish" if provoke == unplugged else "no-reply")
        try:
            panel = Panel(executable)
            panel.open_port(9)
            provoke(panel)
            request(panel)
            seen(panel, how, board)
            print("ok: " + how)
        finally:
            board.close()


def companion():
    tq905 = unzipped("tq905.exe")
    board, silent = Board(5, "--port-a", "5A", "--analog", "0=2A7"), Board(6, "--fault", "no-reply")
    gone = Board(4, "--fault", "vanish")
    served, served_silent = Board(None, "--port-a", "A5", "--analog", "1=3FF"), Board(None, "--fault", "no-reply")
    servers = [Ser2net(served, "rfc2217"), Ser2net(served, "socket"), Ser2net(served_silent, "rfc2217")]
    rfc2217, raw, unanswered = (server.url for server in servers)

    def run(args, stdin):
        """Its exit status, output and error; into files, which Wine's services may inherit."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            status = subprocess.run(["wine", tq905, *args], input=stdin, stdout=out, stderr=err, timeout=60).returncode
            return status, *(f.seek(0) or f.read().decode() for f in (out, err))

    # (arguments, standard input, the board, exit status, output, error, frames read, seconds);
    # a reply that does not come is waited for as long again, so the next run cannot take it.
    cases = [(["--port", "5", "in", "ad", "0"], b"", board, 0, "5A 00\n2A7\n", "", ["read ports", "read channel 0"],
              (0, 30)),
             (["--port", "5", "-"], b"out 3C\r\n# note\n\nin\nbogus 1\nad 0\n", board, 2, "5A 3C\n2A7\n",
              'line 5: "bogus" is no command', ["port B 0x3C", "read ports", "read channel 0"], (0, 30)),
             (["--port", "6", "out", "11", "in", "out", "22"], b"", silent, 1, "\n", "tq905: in: Receive ERR\n",
              ["port B 0x11", "read ports"], (5.9, 9)),
             (["--port", "4", "-"], b"out 11\nin\nout 22\n", gone, 4, "\n", "line 2: in: Port 4 (COM4): the device has gone",
              ["port B 0x11", "read ports"], (0, 2.5)),
             (["--port", "250", "in"], b"", board, 3, "", "tq905: Port 250 (COM250): no such device.", [], (0, 30)),
             (["--device", rfc2217, "in", "ad", "1"], b"", served, 0, "A5 00\n3FF\n", "",
              ["read ports", "read channel 1"], (0, 30)),
             (["--device", raw, "-"], b"out 3C\nin\n", served, 0, "A5 3C\n", "", ["port B 0x3C", "read ports"],
              (0, 30)),
             (["--timeout", "1000", "--device", unanswered, "in"], b"", served_silent, 1, "\n",
              "tq905: in: Receive ERR\n", ["read ports"], (0.9, 5))]
    try:
        for args, stdin, far, status, out, err, frames, (least, most) in cases:
            seen, started = len(far.trace()), time.monotonic()
            done = run(args, stdin)
            took = time.monotonic() - started
            time.sleep(0.3)  # what it read has been traced
            shown = (*done[:2], err in done[2], [line[2:] for line in far.trace()[seen:] if line.startswith("< ")])
            expect(shown == (status, out, True, frames) and least < took < most,
                   "tq905 %s: %r after %.1f s, %r" % (" ".join(args), shown, took, done[2]))
            print("ok: tq905 %s" % " ".join(args))
        # Ctrl+C (Wine makes one of SIGINT) in a wait and while reading standard input: the
        # program ends at once with STATUS_CONTROL_C_EXIT, whose low byte Wine passes on.
        for args in (["--timeout", "10000", "in"], ["--timeout", "100", "-"]):
            seen = len(silent.trace())
            process = subprocess.Popen(["wine", tq905, "--port", "6", *args], stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            process.stdin.write(b"in\n")  # for the session, whose wait then runs out before the signal
            process.stdin.flush()
            poll(lambda: "< read ports" in silent.trace()[seen:], "the query on the line")
            time.sleep(0.5)
            started = time.monotonic()
            process.send_signal(signal.SIGINT)
            status = process.wait(timeout=20)
            took = time.monotonic() - started
            expect(status == 0xC000013A & 0xFF and took < 1, "status %d %.1f s after Ctrl+C" % (status, took))
            print("ok: Ctrl+C ends tq905 %s at once" % " ".join(args))
        server_gone_ends_the_run(tq905, served, served_silent)
    finally:
        for end in (*servers, board, silent, gone, served, served_silent):
            end.close()


def server_gone_ends_the_run(tq905, served, served_silent):
    """ser2net killed in a session, between its lines and in the wait for a reply: the connection
    closed by the server is the unplugged adapter of a network port, told once, status 4."""
    for how, board, answered in (("between session lines", served, True), ("in a wait", served_silent, False)):
        server = Ser2net(board, "rfc2217")
        seen = len(board.trace())
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen(["wine", tq905, "--device", server.url, "-"], stdin=subprocess.PIPE,
                                       stdout=out, stderr=err)
            try:
                process.stdin.write(b"in\n")
                process.stdin.flush()
                poll(lambda: "< read ports" in board.trace()[seen:], "the query on the line", 30)
                if answered:
                    poll(lambda: out.seek(0) or out.read(), "the reply printed")
                started = time.monotonic()
                server.close()
                process.stdin.write(b"in\n")
                process.stdin.close()
                status = process.wait(timeout=20)
            finally:
                server.close()
            took = time.monotonic() - started
            told = err.seek(0) or err.read().decode()
        expect(status == 4 and told.count("closed the connection") == 1 and took < 2,
               "ser2net killed %s: status %d after %.1f s, %r" % (how, status, took, told))
        print("ok: ser2net killed %s ends tq905 with status 4" % how)


def in_terminal(command):
    """What command shows on a terminal of its own (script(1)'s), control sequences left out;
    Wine's console moves the cursor over a blank rather than write it."""
    # Its input stays open until the end: script(1) ends the session at its end.
    terminal = subprocess.Popen(["script", "-qec", shlex.join(command), "/dev/null"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE)
    shown = terminal.stdout.read().decode(errors="replace")
    terminal.wait(timeout=60)
    terminal.stdin.close()
    return re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", shown.replace("\x1b[K\x1b[1C", " "))


def console():
    """--version of the panel and of tq905.exe, started by a console program that hands
    them its own console's handles, shows on that console."""
    launcher = os.path.join(ROOT, "build-windows", "tests", "start_with_console.exe")
    drive = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    for program in ("tq905-panel", "tq905"):
        windows_path = "C:\\" + os.path.relpath(unzipped(program + ".exe"), drive).replace("/", "\\")
        shown = in_terminal(["wine", launcher, windows_path, "--version"])
        expect(re.search(r"\b%s \d+\.\d+" % program, shown), "%s --version shows %r" % (program, shown))
        print("ok: %s --version shows on the console it was handed" % program)


def main():
    scenarios = {"installed": installed, "ends": ends, "companion": companion, "console": console}
    if len(sys.argv) != 2 or sys.argv[1] not in scenarios or "WINEPREFIX" not in os.environ:
        sys.exit("usage: WINEPREFIX=... %s {%s}; tools/scripts/test-windows runs it" % (sys.argv[0], ",".join(scenarios)))
    try:
        scenarios[sys.argv[1]]()
    except (Failure, subprocess.TimeoutExpired) as failure:
        sys.exit("FAIL: %s" % failure)


if __name__ == "__main__":
    main()
