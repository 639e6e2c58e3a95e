"""Drives tq905-demo --inspect --trace in a private X server: stdout carries the
board's trace ("< " frame read, "> " reply sent) and, for each "dump" on stdin,
"dump {json}" with the panel's controls and visible windows. Input goes through
xdotool, the operator's road: X server, Qt's event queue, the widget."""

import ctypes
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

XVFB_SCREEN = "-screen 0 1280x800x24 -dpi 96"
PANEL_TITLE = "TQ905_Panel"
BOARD_TITLE = "TQ905 virtual board"
NEEDED_TOOLS = ("xvfb-run", "xauth", "xdotool", "import")
_UNDER_XVFB = "TQ905_E2E_UNDER_XVFB"
SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests


# Well past the reply time-out of about three seconds.
TIME_OUT_BOUND = 10


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_equal(actual, expected, what):
    expect(actual == expected, "%s: %r, expected %r" % (what, actual, expected))


def run_under_xvfb():
    """Re-runs this script in its own X server (no window manager, nothing else
    takes the pointer or the focus) unless it already is in one."""
    if os.environ.get(_UNDER_XVFB):
        return
    missing = [tool for tool in NEEDED_TOOLS if shutil.which(tool) is None]
    if missing:
        print("skipped: missing " + ", ".join(missing) + " (tools/ensure-packages.sh installs them)")
        sys.exit(SKIP)
    env = dict(os.environ, **{_UNDER_XVFB: "1"})
    command = ["xvfb-run", "-a", "-s", XVFB_SCREEN, sys.executable] + sys.argv
    sys.exit(subprocess.call(command, env=env))


def _die_with_parent():
    # The demo must not outlive a test killed by ctest's time-out.
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def _terminate_on_signals():
    # Turn ctest's SIGTERM (and ^C) into SystemExit, so every finally runs.
    def handler(signum, _frame):
        raise SystemExit(128 + signum)

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, handler)


def xdotool(*args, check=True):
    result = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=10)
    if check and result.returncode != 0:
        raise Failure("xdotool %s failed: %s" % (" ".join(map(str, args)), result.stderr.strip()))
    return result


def find_window(title):
    """The id of the visible window with exactly this title, or None."""
    result = xdotool("search", "--onlyvisible", "--name", "^%s$" % title, check=False)
    ids = result.stdout.split()
    return ids[0] if ids else None


def window_geometry(window):
    out = xdotool("getwindowgeometry", "--shell", window).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def poll(condition, timeout, what, interval=0.05):
    """condition()'s first true value within timeout seconds; Failure naming what otherwise."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure("%s: not within %.0f s" % (what, timeout))
        time.sleep(interval)


def screen_pixel(x, y):
    """The (r, g, b) of the screen at x, y, read from the X server's frame buffer."""
    ppm = subprocess.run(["import", "-window", "root", "-crop", "1x1+%d+%d" % (x, y), "-depth", "8", "ppm:-"],
                         capture_output=True, timeout=20, check=True).stdout
    fields = ppm.split(maxsplit=4)
    if fields[0] != b"P6" or len(fields) < 5:
        raise Failure("import gave no PPM image")
    return tuple(fields[4][:3])


class Demo:
    """One run of tq905-demo with its board options; use it in a with block."""

    def __init__(self, executable, *board_options):
        _terminate_on_signals()
        self._lines = []
        self._changed = threading.Condition()
        self.runtime_dir = tempfile.mkdtemp(prefix="tq905-e2e-")
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime_dir)
        env.pop("QT_QPA_PLATFORM", None)  # the real X server, not offscreen
        self.process = subprocess.Popen(
            [executable, "--inspect", "--trace", *board_options],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            text=True, bufsize=1, env=env, preexec_fn=_die_with_parent)
        threading.Thread(target=self._collect, args=(self.process.stdout,), daemon=True).start()
        self.device = self._wait_line(lambda line: True, 10, "the device path on the first line")
        self.panel_window = poll(lambda: find_window(PANEL_TITLE), 10, "the panel window on screen")

    def __enter__(self):
        return self

    def __exit__(self, exc_type, exc, _traceback):
        if exc_type is Failure:
            trace = "\n    ".join(self.trace()[-12:]) or "(nothing)"
            exc.args = ("%s\n  board trace, last lines:\n    %s" % (exc, trace),)
        self.close()
        return False

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait(timeout=10)
        shutil.rmtree(self.runtime_dir, ignore_errors=True)

    def _collect(self, stream):
        for line in stream:
            with self._changed:
                self._lines.append(line.rstrip("\n"))
                self._changed.notify_all()
        with self._changed:
            self._changed.notify_all()

    def _wait_line(self, predicate, timeout, what, start=0):
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                for line in self._lines[start:]:
                    if predicate(line):
                        return line
                start = len(self._lines)
                left = deadline - time.monotonic()
                if left <= 0 or (self.process.poll() is not None and start == len(self._lines)):
                    break
                self._changed.wait(min(left, 0.2))
        raise Failure("%s: not seen within %.0f s" % (what, timeout))


    def trace(self):
        with self._changed:
            return [line for line in self._lines if line[:2] in ("< ", "> ")]

    def wait_trace(self, expected, after, timeout=5):
        poll(lambda: expected in self.trace()[after:], timeout, "board trace line %r" % expected, 0.02)


    def dump(self):
        with self._changed:
            start = len(self._lines)
        self.process.stdin.write("dump\n")
        self.process.stdin.flush()
        line = self._wait_line(lambda l: l.startswith("dump "), 5, "an answer to dump", start)
        state = json.loads(line[len("dump "):])
        return {c["name"]: c for c in state["controls"]}, state["windows"]

    def text(self, name):
        return self.dump()[0][name].get("text")

    def _on_screen(self, control):
        controls, windows = self.dump()
        panel = next(w for w in windows if w["title"] == PANEL_TITLE)
        window_x, window_y, _, _ = window_geometry(self.panel_window)
        c = controls[control]
        return window_x + c["x"] - panel["x"], window_y + c["y"] - panel["y"], c["w"], c["h"]

    def point(self, control, fx=0.5, fy=0.5):
        x, y, w, h = self._on_screen(control)
        return x + int(w * fx), y + int(h * fy)


    def click(self, control, fx=0.5, fy=0.5):
        x, y = self.point(control, fx, fy)
        xdotool("mousemove", "--sync", x, y, "click", "1")

    def type_into(self, box, text):
        """Replaces a text box's contents by typing, as an operator would."""
        self.click(box)
        xdotool("key", "--clearmodifiers", "ctrl+a")
        xdotool("type", "--delay", "20", text)
        poll(lambda: self.text(box) == text, 5, "%s showing the typed %r" % (box, text))

    def exit_code(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None


def run_scenarios(scenarios):
    """Runs the scenario named on the command line: SCRIPT DEMO SCENARIO."""
    if len(sys.argv) != 3 or sys.argv[2] not in scenarios:
        print("usage: %s TQ905-DEMO {%s}" % (sys.argv[0], ",".join(scenarios)), file=sys.stderr)
        sys.exit(2)
    run_under_xvfb()
    executable, name = os.path.abspath(sys.argv[1]), sys.argv[2]
    started = time.monotonic()
    try:
        scenarios[name](executable)
    except Failure as failure:
        print("FAIL: %s" % failure)
        sys.exit(1)
    print("passed in %.1f s" % (time.monotonic() - started))
