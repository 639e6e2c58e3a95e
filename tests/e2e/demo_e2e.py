#!/usr/bin/env python3
"""The demo in a real X server, driven by X input: what the operator presses
reaches the board, what the board answers shows in the panel, a flood of
presses is bounded, and every way the program can be asked to end closes the
port, removes its lock file and ends it.

    demo_e2e.py TQ905-DEMO SCENARIO

Each scenario starts its own demo; the script runs itself under xvfb-run.
"""

import ctypes
import signal
import time

from demo_driver import (TIME_OUT_BOUND, Demo, Failure, expect, expect_equal, find_window, poll,
                         run_scenarios, screen_pixel, xdotool)

GREY = (192, 192, 192)
GREEN = (0, 255, 0)
NESTING_BOUND = 64
FLOOD_PRESSES = 2500
REFUSAL_TEXT = "The query was not sent: %d queries are already waiting" % NESTING_BOUND


def indicator_pixel(demo):
    return screen_pixel(*demo.point("Shape1"))


def press_and_see(demo, button, frame_line):
    """Presses button and waits for the board to report the frame it read."""
    seen = len(demo.trace())
    demo.click(button)
    demo.wait_trace(frame_line, seen)


def set_turns_the_indicator_green(demo):
    # Mapped is not yet painted: a slow start shows black for a moment.
    poll(lambda: indicator_pixel(demo) == GREY, 5, "indicator drawn grey before SET")
    demo.click("COMset")
    poll(lambda: indicator_pixel(demo) == GREEN, 5, "indicator drawn green after SET")
    expect_equal(demo.dump()[0]["Shape1"]["color"], "#00ff00", "Shape1's colour after SET")
    print("ok: SET turns the indicator from grey to green on screen")


def outputs_and_queries(executable):
    with Demo(executable, "--port-a", "5A", "--analog", "0=1F4", "--analog", "2=2A7") as demo:
        set_turns_the_indicator_green(demo)

        for bit in range(8):
            press_and_see(demo, "B%dcmd" % bit, "< bit %d on" % bit)
        press_and_see(demo, "B3cmd", "< bit 3 off")
        expect_equal(demo.text("Label1"), "\x02B30\r", "CMD: after the second b3")
        print("ok: b0 ... b7 each switch their bit on; b3 again switches it off")

        demo.type_into("Pdata", "3C")
        press_and_see(demo, "PORTout", "< port B 0x3C")
        demo.type_into("TRIS", "F0")
        press_and_see(demo, "TRIScmd", "< direction 0xF0")
        press_and_see(demo, "BZcmd", "< buzzer length 0x64 frequency 0x90")
        print("ok: typed OUT and TRIS bytes and the buzzer defaults reach the board")

        # A click in the trough pages by 500; the right arrow of HScroll1 steps by 8.
        demo.click("HScroll0", 0.8)
        demo.click("HScroll1", 0.99)
        poll(lambda: demo.dump()[0]["HScroll1"]["value"] == 8, 5, "HScroll1 at 8 after its arrow")
        expect_equal(demo.dump()[0]["HScroll0"]["value"], 500, "HScroll0 after a page")
        press_and_see(demo, "PWM0cmd", "< PWM0 duty 500")
        press_and_see(demo, "PWM1cmd", "< PWM1 duty 8")
        print("ok: PWM0 and PWM1 send the scroll bars' positions")

        press_and_see(demo, "INcmd", "> \\x02I5A3C\\x0D")
        poll(lambda: demo.text("INdataB") == "3C", 5, "INdataB showing the latch")
        controls = demo.dump()[0]
        expect_equal(controls["INdataA"]["text"], "5A", "INdataA after IN")
        expect_equal(controls["Label1"]["text"], "I5A3C\r", "CMD: after IN")
        print("ok: IN shows port A and the latch the board reports")

        press_and_see(demo, "AD2cmd", "> \\x02A2A7\\x0D")
        poll(lambda: demo.text("AD2data") == "2A7", 5, "AD2data showing channel 2")
        controls = demo.dump()[0]
        expect_equal(controls["AD0data"]["text"], "0", "AD0data after AD2")
        expect_equal(controls["Label1"]["text"], "A2A7\r", "CMD: after AD2")
        print("ok: AD2 shows channel 2's value in its own box only")

        expect_equal(len([line for line in demo.trace() if line.startswith("< ")]), 16,
                     "frames the board read for 16 presses")


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


def expect_clean_end(demo, how, code=0):
    """The demo ends with this exit code and leaves no lock file behind."""
    asked = time.monotonic()
    expect_equal(demo.exit_code(TIME_OUT_BOUND), code, "exit code after %s" % how)
    expect(not holds_lock(demo), "%s left behind after %s" % (lock_file(demo), how))
    print("ok: %s ends the program in %.2f s, lock file gone" % (how, time.monotonic() - asked))


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
        reply_timeout_and_exit(demo)


def reply_timeout_and_exit(demo):
    """One IN without a reply while the window keeps working, then EXIT during the next wait."""
    start_waiting(demo)
    asked = time.monotonic()
    press_and_see(demo, "B5cmd", "< bit 5 on")
    poll(lambda: find_window("ERROR"), TIME_OUT_BOUND, "ERROR box after IN without a reply")
    waited = time.monotonic() - asked
    expect(waited > 2, "ERROR box came after %.1f s, before the reply time-out" % waited)
    expect_equal(error_boxes(demo), ["Receive ERR"], "ERROR boxes' texts")
    xdotool("windowfocus", "--sync", find_window("ERROR"))
    xdotool("key", "Return")
    poll(lambda: find_window("ERROR") is None, 5, "ERROR box gone after Return")
    controls = demo.dump()[0]
    for name in ("INdataA", "INdataB", "Label1"):
        expect_equal(controls[name]["text"], "", "%s after the time-out" % name)
    expect(not any(line.startswith("> ") for line in demo.trace()), "the board sent a reply")
    print("ok: \"Receive ERR\" %.1f s after IN, b5 reached the board meanwhile" % waited)

    start_waiting(demo)
    demo.click("EXIT_button")

    def ended_or_error():
        expect(find_window("ERROR") is None, "an ERROR box came up after EXIT during the wait")
        return demo.process.poll() is not None

    poll(ended_or_error, TIME_OUT_BOUND, "the demo ending after EXIT during the wait")
    expect_clean_end(demo, "EXIT during the wait")


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


def window_ends(executable):
    """WM_DELETE_WINDOW while a box is up, the window destroyed, the X connection killed."""
    cases = [("ERROR box", lambda demo: demo.click("INcmd"), "delete", 0),
             ("Receive ERR box", lambda demo: (open_port(demo), start_waiting(demo)), "delete", 0),
             ("wait", lambda demo: (open_port(demo), start_waiting(demo)), "destroy", 0),
             # Qt ends the process itself, with exit code 1, when its X connection breaks.
             ("wait", lambda demo: (open_port(demo), start_waiting(demo)), "windowkill", 1)]
    for during, provoke, action, code in cases:
        with Demo(executable, "--fault", "no-reply") as demo:
            provoke(demo)
            if during.endswith("box"):
                poll(lambda: find_window("ERROR"), TIME_OUT_BOUND, "the %s" % during)
            if action == "windowkill":
                xdotool("windowkill", demo.panel_window)
            else:
                x_request(action, demo.panel_window)
            expect_clean_end(demo, "%s during the %s" % (action, during), code)


if __name__ == "__main__":
    run_scenarios({
        "outputs-and-queries": outputs_and_queries,
        "press-flood": press_flood,
        "signals": signals,
        "window-ends": window_ends,
    })
