#!/usr/bin/env python3
"""The demo in a real X server, flooded with presses and ended in every way it
can be asked to end: each way must close the port, remove its lock file and end
the program.

    shutdown_e2e.py TQ905-DEMO SCENARIO
"""

import ctypes
import signal
import time

from demo_driver import Demo, Failure, find_window, poll, run_scenarios, xdotool

NESTING_BOUND = 64
FLOOD_PRESSES = 2500
REFUSAL_TEXT = "The query was not sent: %d queries are already waiting" % NESTING_BOUND
# Well past the reply time-out of about three seconds.
TIME_OUT_BOUND = 10


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_equal(actual, expected, what):
    expect(actual == expected, "%s: %r, expected %r" % (what, actual, expected))


class XEvent(ctypes.Union):
    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                    ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                    ("data", ctypes.c_long * 5)]

    _fields_ = [("client", ClientMessage), ("pad", ctypes.c_long * 24)]


def x_request(action, window):
    """Another X client's request about window, through libX11: "delete" sends the
    window manager's WM_DELETE_WINDOW, "destroy" destroys it."""
    xlib = ctypes.CDLL("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XInternAtom.restype = ctypes.c_ulong
    display = ctypes.c_void_p(xlib.XOpenDisplay(None))
    expect(display.value, "no X display for libX11")
    window = ctypes.c_ulong(int(window))
    if action == "destroy":
        xlib.XDestroyWindow(display, window)
    else:
        event = XEvent()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = xlib.XInternAtom(display, b"WM_PROTOCOLS", False)
        event.client.format = 32
        event.client.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", False)
        xlib.XSendEvent(display, window, False, 0, ctypes.byref(event))
    xlib.XCloseDisplay(display)


def lock_file(demo):
    return "/run/lock/LCK.." + demo.device[len("/dev/"):].replace("/", "_")


def holds_lock(demo):
    """Whether the demo's lock file is there and names the demo's process (a
    stale one of another program may be left on a reused device number)."""
    try:
        with open(lock_file(demo)) as lock:
            return lock.readline().strip() == str(demo.process.pid)
    except FileNotFoundError:
        return False


def open_port(demo):
    demo.click("COMset")
    poll(lambda: holds_lock(demo), 5, "the lock file %s after SET" % lock_file(demo))


def expect_clean_end(demo, how):
    """The demo ends with exit code 0 and leaves no lock file behind."""
    asked = time.monotonic()
    code = demo.exit_code(TIME_OUT_BOUND)
    expect_equal(code, 0, "exit code after %s" % how)
    expect(not holds_lock(demo), "%s left behind after %s" % (lock_file(demo), how))
    print("ok: %s ends the program with 0 in %.2f s, lock file gone" % (how, time.monotonic() - asked))


def start_waiting(demo):
    seen = len(demo.trace())
    demo.click("INcmd")
    demo.wait_trace("< read ports", seen)


def error_boxes(demo):
    return [w.get("text") for w in demo.dump()[1] if w["title"] == "ERROR"]


def dismiss_error_boxes(count):
    for _ in range(count):
        box = poll(lambda: find_window("ERROR"), TIME_OUT_BOUND, "an ERROR box to dismiss")
        xdotool("windowfocus", "--sync", box)
        xdotool("key", "Return")
        poll(lambda: find_window("ERROR") != box, 5, "ERROR box %s closing" % box)
    time.sleep(0.5)
    expect(find_window("ERROR") is None, "an ERROR box beyond the %d expected" % count)


def stack_kb(pid):
    with open("/proc/%d/status" % pid) as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmStk:"))


def press_flood(executable):
    with Demo(executable, "--fault", "no-reply") as demo:
        open_port(demo)
        started = time.monotonic()
        x, y = demo.point("INcmd")
        xdotool("mousemove", "--sync", x, y, "click", "--repeat", FLOOD_PRESSES, "--delay", 0, 1)
        flood_time = time.monotonic() - started
        time.sleep(0.5)
        expect(demo.process.poll() is None, "the demo died under the flood: %s" % demo.process.poll())
        boxes = error_boxes(demo)
        expect(len(boxes) == 1 and boxes[0].startswith(REFUSAL_TEXT),
               "%d boxes after the flood, the first %r" % (len(boxes), boxes[:1]))
        queries = demo.trace().count("< read ports")
        expect_equal(queries, NESTING_BOUND, "queries the board read for %d presses" % FLOOD_PRESSES)
        stack = stack_kb(demo.process.pid)
        expect(stack < 2048, "stack of %d KB after the flood" % stack)
        print("ok: %d presses in %.1f s: %d queries sent, one refusal, stack %d KB"
              % (FLOOD_PRESSES, flood_time, queries, stack))

        demo.click("B5cmd")
        time.sleep(0.5)
        expect("< bit 5 on" not in demo.trace(), "b5 pressed behind the box reached the board")
        print("ok: a press on the panel behind the box is dropped")

        # The refusal, then one "Receive ERR" for each query waiting.
        dismiss_error_boxes(NESTING_BOUND + 1)
        start_waiting(demo)
        poll(lambda: error_boxes(demo) == ["Receive ERR"], TIME_OUT_BOUND, "Receive ERR for the next IN")
        print("ok: after the %d boxes IN is sent again and times out alone" % (NESTING_BOUND + 1))


def signals(executable):
    cases = [(signum, when) for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
             for when in ("idle", "waiting")] + [(signal.SIGTERM, "box")]
    for signum, when in cases:
        with Demo(executable, "--fault", "no-reply") as demo:
            open_port(demo)
            if when != "idle":
                start_waiting(demo)
            if when == "box":
                poll(lambda: find_window("ERROR"), TIME_OUT_BOUND, "the Receive ERR box")
            demo.process.send_signal(signum)
            expect_clean_end(demo, "%s (%s)" % (signal.Signals(signum).name, when))


def close_during_box(executable):
    for box, provoke in (("ERROR", lambda demo: demo.click("INcmd")),
                         ("Receive ERR", lambda demo: (open_port(demo), start_waiting(demo)))):
        with Demo(executable, "--fault", "no-reply") as demo:
            provoke(demo)
            poll(lambda: find_window("ERROR"), TIME_OUT_BOUND, "the %s box" % box)
            x_request("delete", demo.panel_window)
            expect_clean_end(demo, "WM_DELETE_WINDOW while the %s box is up" % box)


def window_gone(executable):
    for how in ("destroyed", "connection lost"):
        with Demo(executable, "--fault", "no-reply") as demo:
            open_port(demo)
            start_waiting(demo)
            if how == "destroyed":
                x_request("destroy", demo.panel_window)
                expect_clean_end(demo, "the window destroyed by another client")
                continue
            # Qt ends the process itself, with exit code 1, when its X connection breaks.
            xdotool("windowkill", demo.panel_window)
            expect_equal(demo.exit_code(TIME_OUT_BOUND), 1, "exit code after the X connection broke")
            expect(not holds_lock(demo), "lock file left after the X connection broke")
            print("ok: the X connection lost ends the program, lock file gone")


if __name__ == "__main__":
    run_scenarios({
        "press-flood": press_flood,
        "signals": signals,
        "close-during-box": close_during_box,
        "window-gone": window_gone,
    })
