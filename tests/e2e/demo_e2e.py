#!/usr/bin/env python3
"""demo_e2e.py TQ905-DEMO SCENARIO: the demo in a real X server (the script runs
itself under xvfb-run, where no window manager takes the pointer or the focus),
driven by X input. What the operator presses reaches the board, what the board
answers shows, a flood of presses sends one query at a time, and every way the program can be
asked to end closes the port, removes its lock file and ends it.

tq905-demo --inspect --trace prints the board's trace ("< " frame read, "> "
reply sent) and answers "dump" on stdin with the controls and windows as JSON.
"""

import ctypes
import json
import os
import signal
import subprocess
import sys
import threading
import time

PANEL = "TQ905_Panel"
# Well past a reply time-out of about three seconds, and past the next query's
# wait of as long again for the lost reply.
TIME_OUT_BOUND = 10


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def poll(condition, what, timeout=5):
    """condition()'s first true value within timeout seconds."""
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        expect(time.monotonic() < deadline, "%s: not within %d s" % (what, timeout))
        time.sleep(0.05)
    return value


def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=10).stdout


def find_window(title):
    ids = xdotool("search", "--onlyvisible", "--name", "^%s$" % title).split()
    return ids[0] if ids else None


def send_delete_window(window):
    """A window manager's close request (WM_DELETE_WINDOW), sent through libX11."""
    xlib = ctypes.CDLL("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    display = ctypes.c_void_p(xlib.XOpenDisplay(None))
    atom = lambda name: xlib.XInternAtom(display, name, False)
    # An XClientMessageEvent in longs (LP64): type, serial, send_event, display,
    # window, message_type, format, data[0].
    event = (ctypes.c_long * 24)(33, 0, 0, 0, int(window), atom(b"WM_PROTOCOLS"), 32,
                                 atom(b"WM_DELETE_WINDOW"))
    xlib.XSendEvent(display, ctypes.c_ulong(int(window)), False, 0, event)
    xlib.XCloseDisplay(display)


def run_under_xvfb():
    """Runs this script again in a private X server unless it already is in one."""
    if not os.environ.get("TQ905_E2E_UNDER_XVFB"):
        command = ["xvfb-run", "-a", "-s", "-screen 0 1280x800x24 -dpi 96", sys.executable] + sys.argv
        sys.exit(subprocess.call(command, env=dict(os.environ, TQ905_E2E_UNDER_XVFB="1")))


class Demo:
    """One tq905-demo with these board options, started with the signals in
    ignore ignored (as nohup does); use it in a with block."""

    def __init__(self, executable, *options, ignore=()):
        def in_child():
            ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG: never outlive the test
            for signum in ignore:
                signal.signal(signum, signal.SIG_IGN)

        env = {k: v for k, v in os.environ.items() if k != "QT_QPA_PLATFORM"}  # the real X server
        self.process = subprocess.Popen([executable, "--inspect", "--trace", *options], env=env, text=True,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, preexec_fn=in_child)
        self.lines = []
        threading.Thread(target=self._collect, daemon=True).start()
        self.device = poll(lambda: self.lines[:1], "the device path on the first line", 10)[0]
        self.window = poll(lambda: find_window(PANEL), "the panel window on screen", 10)

    def _collect(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def __enter__(self):
        return self

    def __exit__(self, exc_type, exc, _traceback):
        self.process.kill()
        self.process.wait(timeout=10)

    def trace(self):
        return [line for line in self.lines if line[:2] in ("< ", "> ")]

    def dump(self):
        """The controls by name and the visible windows."""
        start = len(self.lines)
        self.process.stdin.write("dump\n")
        self.process.stdin.flush()
        answer = poll(lambda: [line for line in self.lines[start:] if line.startswith("dump ")], "a dump")
        state = json.loads(answer[0][len("dump "):])
        return {c["name"]: c for c in state["controls"]}, state["windows"]

    def point(self, name, fx=0.5, fy=0.5):
        """A point of the control, in the panel window's coordinates."""
        controls, windows = self.dump()
        panel = next(w for w in windows if w["title"] == PANEL)
        c = controls[name]
        return c["x"] - panel["x"] + int(c["w"] * fx), c["y"] - panel["y"] + int(c["h"] * fy)

    def click(self, name, fx=0.5, fy=0.5):
        xdotool("mousemove", "--window", self.window, *self.point(name, fx, fy), "click", "1")

    def press_and_see(self, name, trace_line):
        seen = len(self.trace())
        self.click(name)
        poll(lambda: trace_line in self.trace()[seen:], "board trace line %r after %s" % (trace_line, name))


def operator(executable):
    """Each kind of control pressed with X input reaches the board; the replies show."""
    with Demo(executable, "--port-a", "5A", "--analog", "2=2A7") as demo:
        def indicator():
            crop = "1x1+%d+%d" % demo.point("Shape1")
            command = ["import", "-window", demo.window, "-crop", crop, "-depth", "8", "ppm:-"]
            return tuple(subprocess.run(command, capture_output=True, timeout=20, check=True).stdout[-3:])

        # Mapped is not yet painted: a slow start shows black for a moment.
        poll(lambda: indicator() == (192, 192, 192), "the indicator drawn grey before SET")
        demo.click("COMset")
        poll(lambda: indicator() == (0, 255, 0), "the indicator drawn green after SET")
        for box, text in [("Pdata", "3C"), ("TRIS", "F0")]:
            demo.click(box)
            xdotool("key", "--clearmodifiers", "ctrl+a")
            xdotool("type", "--delay", "20", text)
        demo.click("HScroll0", 0.8)  # a click in the trough pages by 500
        demo.click("HScroll1", 0.99)  # the right arrow of HScroll1 steps by 8
        presses = [("B%dcmd" % bit, "< bit %d on" % bit) for bit in range(8)] + [
            ("B3cmd", "< bit 3 off"), ("PORTout", "< port B 0x3C"), ("TRIScmd", "< direction 0xF0"),
            ("BZcmd", "< buzzer length 0x64 frequency 0x90"), ("PWM0cmd", "< PWM0 duty 500"),
            ("PWM1cmd", "< PWM1 duty 8"), ("INcmd", "> \\x02I5A3C\\x0D"), ("AD2cmd", "> \\x02A2A7\\x0D")]
        for button, trace_line in presses:
            demo.press_and_see(button, trace_line)
        expected = {"INdataA": "5A", "INdataB": "3C", "AD2data": "2A7", "AD0data": "0", "Label1": "A2A7\r"}
        shown = lambda: {name: demo.dump()[0][name]["text"] for name in expected}
        poll(lambda: shown() == expected, "the replies in the boxes and CMD:")
        expect(len([line for line in demo.trace() if line.startswith("< ")]) == len(presses),
               "the board read other than %d frames for as many presses" % len(presses))


def holds_lock(demo):
    """Whether the port's lock file is there and names the demo (a stale one of
    another program may be left on a reused device number)."""
    try:
        with open("/run/lock/LCK.." + demo.device[len("/dev/"):].replace("/", "_")) as lock:
            return lock.readline().strip() == str(demo.process.pid)
    except FileNotFoundError:
        return False


def open_port(demo):
    demo.click("COMset")
    poll(lambda: holds_lock(demo), "the lock file after SET")


def start_waiting(demo):
    open_port(demo)
    demo.press_and_see("INcmd", "< read ports")


def box_up(demo):
    return poll(lambda: find_window("ERROR"), "an ERROR box", TIME_OUT_BOUND)


def box_texts(demo):
    return [w.get("text") for w in demo.dump()[1] if w["title"] == "ERROR"]


def dismiss_box(demo):
    box = box_up(demo)
    xdotool("windowfocus", "--sync", box)
    xdotool("key", "Return")
    poll(lambda: find_window("ERROR") != box, "ERROR box %s closing" % box)


def expect_clean_end(demo, how, code=0):
    """The demo ends with this exit code and leaves no lock file behind."""
    status = demo.process.wait(timeout=TIME_OUT_BOUND)
    expect(status == code, "exit code %d after %s" % (status, how))
    expect(not holds_lock(demo), "the lock file left behind after %s" % how)
    print("ok: %s ends the program, lock file gone" % how)


def press_flood(executable):
    """2,500 presses of IN with a silent board: one query goes, one more waits its
    turn with IN held down, the rest change nothing; then the time-out with Return
    held, and EXIT during a wait."""
    with Demo(executable, "--fault", "no-reply") as demo:
        open_port(demo)
        xdotool("mousemove", "--window", demo.window, *demo.point("INcmd"),
                "click", "--repeat", 2500, "--delay", 0, 1)
        time.sleep(0.5)
        expect(demo.process.poll() is None, "the demo died under the flood: %s" % demo.process.poll())
        expect(box_texts(demo) == [], "boxes during the first wait: %r" % box_texts(demo))
        queries = demo.trace().count("< read ports")
        expect(queries == 1, "%d queries sent at once for 2500 presses" % queries)
        expect(demo.dump()[0]["INcmd"]["held"], "IN not held down while a press of it waits")
        for sent in (1, 2):  # each its "Receive ERR", the second after the first's reply had its time
            box_up(demo)
            texts, queries = box_texts(demo), demo.trace().count("< read ports")
            expect(texts == ["Receive ERR"] and queries == sent, "boxes %r after %d queries" % (texts, queries))
            dismiss_box(demo)
        expect(not demo.dump()[0]["INcmd"]["held"], "IN still held down with nothing waiting")
        time.sleep(0.5)
        expect(find_window("ERROR") is None, "an ERROR box beyond the two expected")

        # The window works as before. Return held on IN (focused by the clicks) through
        # the time-out sends one frame, and its repeats cannot close the box.
        seen = len(demo.trace())
        asked = time.monotonic()
        xdotool("keydown", "Return")
        box_up(demo)
        waited = time.monotonic() - asked
        time.sleep(0.5)
        xdotool("keyup", "Return")
        time.sleep(0.3)
        texts = box_texts(demo)
        expect(waited > 2 and texts == ["Receive ERR"], "boxes %r %.1f s after IN" % (texts, waited))
        expect(demo.trace()[seen:] == ["< read ports"], "sent for a held Return: %r" % demo.trace()[seen:])
        dismiss_box(demo)
        demo.press_and_see("INcmd", "< read ports")
        demo.click("EXIT_button")
        poll(lambda: demo.process.poll() is not None or find_window("ERROR"), "an end", TIME_OUT_BOUND)
        expect(find_window("ERROR") is None, "an ERROR box came up after EXIT during the wait")
        expect_clean_end(demo, "EXIT during the wait")


def ends(executable):
    """Each other way to end, in a demo of its own with a silent board."""
    def receive_err_box(demo):
        start_waiting(demo)
        box_up(demo)

    def error_box(demo):  # before any SET: "the port is not open"
        demo.click("INcmd")
        box_up(demo)

    def term_ignored_then_int(demo):
        demo.process.send_signal(signal.SIGTERM)
        time.sleep(1)
        expect(demo.process.poll() is None, "SIGTERM, ignored from the start, ended the demo")
        demo.process.send_signal(signal.SIGINT)

    send = lambda signum: lambda demo: demo.process.send_signal(signum)
    x_request = lambda action: lambda demo: xdotool(action, demo.window)
    delete = lambda demo: send_delete_window(demo.window)
    # (how, signals ignored from the start, what comes before, the request, exit code)
    cases = [("SIGTERM during a wait", (), start_waiting, send(signal.SIGTERM), 0),
             ("SIGHUP with the Receive ERR box up", (), receive_err_box, send(signal.SIGHUP), 0),
             ("SIGINT, SIGTERM ignored from the start", (signal.SIGTERM,), open_port, term_ignored_then_int, 0),
             ("WM_DELETE_WINDOW with an ERROR box up", (), error_box, delete, 0),
             ("WM_DELETE_WINDOW with the Receive ERR box up", (), receive_err_box, delete, 0),
             ("the window destroyed during a wait", (), start_waiting, x_request("windowclose"), 0),
             # Qt ends the process itself, with exit code 1, when its X connection breaks.
             ("the X connection killed during a wait", (), start_waiting, x_request("windowkill"), 1)]
    for how, ignored, provoke, request, code in cases:
        with Demo(executable, "--fault", "no-reply", ignore=ignored) as demo:
            provoke(demo)
            request(demo)
            expect_clean_end(demo, how, code)


def main():
    scenarios = {"operator": operator, "press-flood": press_flood, "ends": ends}
    if len(sys.argv) != 3 or sys.argv[2] not in scenarios:
        sys.exit("usage: %s TQ905-DEMO {%s}" % (sys.argv[0], ",".join(scenarios)))
    run_under_xvfb()
    try:
        scenarios[sys.argv[2]](os.path.abspath(sys.argv[1]))
    except (Failure, subprocess.TimeoutExpired) as failure:  # the latter: a demo that does not end
        sys.exit("FAIL: %s" % failure)


if __name__ == "__main__":
    main()
