#!/usr/bin/env python3
"""Turns the raw figures that ./bench leaves in RESULTS into BENCHMARKS.md (on stdout).

usage: report.py RESULTS
"""
import datetime
import math
import os
import platform
import statistics
import subprocess
import sys

# Ten bits a byte at 9600 baud: STX "I" CR out, STX "I" 4 digits CR back.
BYTE_TIME_MS = 10 / 9600 * 1000
WIRE_MS = (3 + 7) * BYTE_TIME_MS


def samples(path, scale):
    with open(path) as f:
        return [int(line) / scale for line in f if line.strip()]


def p99(values):
    ordered = sorted(values)
    return ordered[max(0, math.ceil(0.99 * len(ordered)) - 1)]


def package_version(name):
    try:
        return subprocess.run(["dpkg-query", "-W", "-f=${Version}", name], capture_output=True,
                              text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "?"


def machine():
    lscpu = {}
    for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
        key, _, value = line.partition(":")
        lscpu[key.strip()] = value.strip()
    with open("/proc/meminfo") as f:
        total_kb = int(next(line for line in f if line.startswith("MemTotal:")).split()[1])
    hypervisor = lscpu.get("Hypervisor vendor")
    return {
        "cpu": lscpu.get("Model name", "?") + (f" ({hypervisor} guest)" if hypervisor else ""),
        "cores": f"{lscpu.get('CPU(s)', '?')} cores ({lscpu.get('Thread(s) per core', '?')} thread per core)",
        "memory": f"{total_kb / 1024 / 1024:.1f} GiB",
        "kernel": platform.release(),
    }


def read_text(results, name):
    with open(os.path.join(results, name)) as f:
        return f.read().strip()


def fmt(value, unit):
    if unit == "us":
        return f"{value:.0f} µs"
    return f"{value:.2f} ms"


def ratio(a, b):
    if not b:
        return "–"
    r = a / b
    return f"{r:.0f}×" if r >= 100 else f"{r:.1f}×" if r >= 10 else f"{r:.2f}×"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip())
    results = sys.argv[1]
    clients = [("panel", "tq905-panel (TQ905Panel, Qt event loop)"),
               ("hidden", "tq905-panel, window not shown (no repaints)"),
               ("termios", "bare termios + poll() (the floor)"),
               ("pyserial", "pyserial script")]
    rt = {}
    for mode in ("unpaced", "paced"):
        for client, _ in clients:
            unit_scale = 1e3 if mode == "unpaced" else 1e6
            values = samples(os.path.join(results, f"rt-{mode}-{client}.txt"), unit_scale)
            rt[mode, client] = (statistics.median(values), p99(values), len(values))

    for client in ("panel", "termios"):
        values = samples(os.path.join(results, f"rt-unpaced-{client}-back-to-back.txt"), 1e3)
        rt["back-to-back", client] = (statistics.median(values), p99(values), len(values))

    # tq905: its session (own clock, then the driver's) and a process a query.
    with open(os.path.join(results, "tq905-session.txt")) as f:
        pairs = [line.split() for line in f if line.strip()]
    tq = {"own": [int(a) / 1e3 for a, _ in pairs], "driver": [int(b) / 1e3 for _, b in pairs]}
    for name, scale in (("termios", 1e3), ("pyserial", 1e3), ("process", 1e6),
                        ("pyserial-process", 1e6)):
        tq[name] = samples(os.path.join(results, f"tq905-{name}.txt"), scale)
    tq = {name: (statistics.median(v), p99(v), len(v)) for name, v in tq.items()}

    # Through ser2net: tq905's sessions by their own clock, the plain TCP floor, pyserial.
    net = {}
    for name in ("tq905-rfc2217", "tq905-socket"):
        with open(os.path.join(results, f"net-{name}.txt")) as f:
            net[name] = [int(line.split()[0]) / 1e3 for line in f if line.strip()]
    for name in ("socket", "rfc2217", "pyserial"):
        net[name] = samples(os.path.join(results, f"net-{name}.txt"), 1e3)
    net = {name: (statistics.median(v), p99(v), len(v)) for name, v in net.items()}

    waits = {"panel": [], "naive": [], "idle": []}
    for line in read_text(results, "timeout.txt").splitlines():
        kind, cpu, wall = line.split()
        waits[kind].append((float(cpu), float(wall)))

    starts = {}
    for name in ("panel", "bare", "cutecom"):
        rows = [line.split(maxsplit=2) for line in read_text(results, f"startup-{name}.txt").splitlines()]
        starts[name] = {
            "map": statistics.median(float(r[0]) for r in rows),
            "map_max": max(float(r[0]) for r in rows),
            "rss": statistics.median(int(r[1]) for r in rows) / 1024,
            "title": rows[0][2] if len(rows[0]) > 2 else "",
            "runs": len(rows),
        }

    m = machine()
    today = datetime.date.today().isoformat()
    load_before = read_text(results, "load-before.txt")
    load_after = read_text(results, "load-after.txt")
    seconds = read_text(results, "seconds.txt")
    out = []
    w = out.append

    fast = {c: rt["unpaced", c] for c, _ in clients}
    paced = {c: rt["paced", c] for c, _ in clients}
    panel_cpu = statistics.median(c for c, _ in waits["panel"])
    naive_cpu = statistics.median(c for c, _ in waits["naive"])
    idle_cpu = statistics.median(c for c, _ in waits["idle"])
    wait_wall = statistics.median(wl for _, wl in waits["panel"])

    w("# Benchmarks")
    w("")
    w(f"Measured on {today} by `./bench`, which installs what is missing (Debian packages),")
    w("builds a Release tree in `build-bench/`, runs everything below in one go on one")
    w(f"virtual X server and writes this file; this run took {seconds} s after the build.")
    w("`./bench --no-write` prints the report instead; the raw figures stay in")
    w("`build-bench/bench-results/`. Figures from a busy machine are worth little: the")
    w("load average is given below so a run can be judged.")
    w("")
    w("## Machine")
    w("")
    w(f"- CPU: {m['cpu']}, {m['cores']}")
    w(f"- Memory: {m['memory']}")
    w(f"- Kernel: Linux {m['kernel']}, Debian 12")
    w(f"- Qt {package_version('libqt6core6')} (panel), Qt {package_version('libqt5core5a')} (CuteCom "
      f"{package_version('cutecom')}), Python {package_version('python3')} with pyserial "
      f"{package_version('python3-serial')}")
    w(f"- Load average (1, 5, 15 min) before: {load_before}; after: {load_after}")
    w(f"- Niceness of every process of the run: {os.nice(0)} (0 is the default; below 0 runs")
    w("  ahead of whatever else the machine is doing)")
    w("")
    w("## Headline")
    w("")
    w("| Question | Measured | Compared with | Ratio |")
    w("|---|---|---|---|")
    w(f"| IN round trip, median (board answers at once) | {fmt(fast['panel'][0], 'us')} | "
      f"termios floor {fmt(fast['termios'][0], 'us')}, pyserial {fmt(fast['pyserial'][0], 'us')} | "
      f"{ratio(fast['panel'][0], fast['termios'][0])} the floor, "
      f"{ratio(fast['panel'][0], fast['pyserial'][0])} pyserial |")
    w(f"| IN round trip, median (board paced at 9600 baud) | {fmt(paced['panel'][0], 'ms')} | "
      f"wire time {WIRE_MS:.2f} ms, termios {fmt(paced['termios'][0], 'ms')} | "
      f"{ratio(paced['panel'][0], WIRE_MS)} the wire time, "
      f"{ratio(paced['panel'][0], paced['termios'][0])} the floor |")
    w(f"| tq905 session: IN round trip, median | {fmt(tq['own'][0], 'us')} | termios floor "
      f"{fmt(tq['termios'][0], 'us')} | {ratio(tq['own'][0], tq['termios'][0])} the floor (goal 1.1×) |")
    w(f"| tq905, one process per IN query, start to end, median | {fmt(tq['process'][0], 'ms')} | "
      f"pyserial script, one process per query, {fmt(tq['pyserial-process'][0], 'ms')} | "
      f"{ratio(tq['process'][0], tq['pyserial-process'][0])} pyserial's (goal 1.3×) |")
    w(f"| tq905 session through ser2net over RFC 2217: IN round trip, median | "
      f"{fmt(net['tq905-rfc2217'][0], 'us')} | floor with the purge's round trip "
      f"{fmt(net['rfc2217'][0], 'us')}, pyserial over RFC 2217 {fmt(net['pyserial'][0], 'us')} | "
      f"{ratio(net['tq905-rfc2217'][0], net['rfc2217'][0])} the floor (goal 1.1×); pyserial "
      f"takes {ratio(net['pyserial'][0], net['tq905-rfc2217'][0])} as long |")
    w(f"| CPU in a 3 s reply time-out | {panel_cpu:.1f} ms | busy processEvents() loop "
      f"{naive_cpu:.0f} ms | the busy loop costs {ratio(naive_cpu, panel_cpu)} as much |")
    w(f"| Start-up to window mapped, median | {starts['panel']['map']:.0f} ms | bare Qt window "
      f"{starts['bare']['map']:.0f} ms, CuteCom {starts['cutecom']['map']:.0f} ms | "
      f"{ratio(starts['panel']['map'], starts['bare']['map'])} the bare window's, "
      f"{ratio(starts['panel']['map'], starts['cutecom']['map'])} CuteCom's |")
    w(f"| Resident memory 1 s after the window, median | {starts['panel']['rss']:.1f} MiB | bare Qt "
      f"window {starts['bare']['rss']:.1f} MiB, CuteCom {starts['cutecom']['rss']:.1f} MiB | "
      f"{ratio(starts['panel']['rss'], starts['bare']['rss'])} the bare window's, "
      f"{ratio(starts['panel']['rss'], starts['cutecom']['rss'])} CuteCom's |")
    w("")

    w("## IN round trip against the virtual board")
    w("")
    w("All three clients talk, one after the other, to the same `tq905-board --headless")
    w("--port-a 5A` process over its pseudo-terminal; each first sets port B to 3C with")
    w("STX \"O3C\" CR, then sends STX \"I\" CR and checks that the reply is STX \"I5A3C\" CR")
    w("(the panel: that `INdataA` shows 5A and `INdataB` 3C). A query is timed from its")
    w("start (the panel: `INcmd` clicked; the others: discarding stale input) to the last")
    w("reply byte in hand (the panel: both result boxes filled). Each client does")
    n = fast['panel'][2]
    w(f"{n} timed queries per board, in 3 rounds that take turns (panel, hidden panel,")
    w("termios, pyserial, again and again), each round after 10 untimed queries, with")
    w("5 ms of idle event loop or sleep between queries. The panel is a real")
    w("`TQ905Panel`, shown on the X server, its port 3 mapped to the board's device;")
    w("the click and the wait run on its event thread as an operator's press would.")
    w("`bench_panel` makes the program's own choice of Qt event dispatcher and backing")
    w("store (`chooseQtRuntime()`) before its QApplication is made.")
    w("The hidden panel is the same with the window never shown, which tells how much")
    w("of the panel's time goes into repainting during the query.")
    w("")
    w("### Board answering at once")
    w("")
    w("| Client | Median | 99th percentile | Median ÷ floor | p99 ÷ floor |")
    w("|---|---|---|---|---|")
    for client, label in clients:
        med, top, _ = fast[client]
        w(f"| {label} | {fmt(med, 'us')} | {fmt(top, 'us')} | "
          f"{ratio(med, fast['termios'][0])} | {ratio(top, fast['termios'][1])} |")
    w("")
    w("### Board paced at 9600 baud (`--paced`)")
    w("")
    w(f"On a real line \"IN\" needs (3 + 7) × 10 bits / 9600 baud = {WIRE_MS:.2f} ms on the")
    w("wire alone. The virtual board paces only what it sends, one byte per 1.04 ms")
    w("byte time with the first byte leaving at once, and its send timer has whole")
    w("milliseconds, so the bytes go out about a millisecond apart and the last one")
    w("about 6 to 7 ms after the query. The frame to the board is not paced at all.")
    w("The floor here is therefore below the wire time; a ratio below 1 means the")
    w("virtual line is faster than a real one, not that a client beats physics.")
    w("")
    w("| Client | Median | 99th percentile | Median ÷ wire time | Median ÷ floor |")
    w("|---|---|---|---|---|")
    for client, label in clients:
        med, top, _ = paced[client]
        w(f"| {label} | {fmt(med, 'ms')} | {fmt(top, 'ms')} | {ratio(med, WIRE_MS)} | "
          f"{ratio(med, paced['termios'][0])} |")
    w("")
    w("### Where the panel's time goes")
    w("")
    behind_fast = fast['panel'][0] - fast['termios'][0]
    repaint_fast = fast['panel'][0] - fast['hidden'][0]
    w(f"Answering at once, the panel's median is {behind_fast:.0f} µs above the floor; with its")
    shown = (f"so about {repaint_fast:.0f} µs of a query still goes to the window being shown"
             if repaint_fast > 0 else "so in this run the window being shown costs no time that shows")
    w(f"window not shown it is {fast['hidden'][0] - fast['termios'][0]:.0f} µs above, {shown}.")
    w("The press sets `Label1` to the frame,")
    w("which posts a repaint, and writes the frame straight to the device (QSerialPort's")
    w("buffer takes only what the line refuses), so the board works on the query while")
    w("the panel goes on. For its first 2 ms the wait then listens on the device alone")
    w("(one `ppoll()` on its descriptor, sleeping, bounded by what is left of the 2 ms),")
    w("so a board that answers at once is read before the event loop runs the posted")
    w("repaint of `Label1`; after that, or on any other event, the wait yields to the")
    w("event loop as before, so ticks and repaints are never more than 2 ms late. Each")
    w("time the receiver asks what is waiting, QSerialPort first reads what the device")
    w("holds, so a reply that is there is taken without another pass. What the shown")
    w("window still adds is in the widgets' own updates: a visible `QLineEdit` or `QLabel`")
    w("marks its area dirty in the backing store on every `setText`, a hidden one does")
    w("not. What is left once nothing is shown is the panel's own work, which the termios")
    w("client has none of: `Label1` set before the write, the input buffer cleared, and")
    w("after the reply the body into `Label1` and the two result boxes, the largest part,")
    w("each of which lays its text out again (unshaped: their fonts skip HarfBuzz); Qt's")
    w("UNIX event dispatcher makes each pass of the loop one `ppoll()`. The 100 ms tick")
    w("plays no part: the wait sleeps until the reply's bytes wake it, never until the")
    w("next tick.")
    w("")
    b2b = {c: rt["back-to-back", c][0] for c in ("panel", "termios")}
    w("Back to back, with no idle between queries, the panel takes "
      f"{b2b['panel']:.0f} µs against the")
    w(f"floor's {b2b['termios']:.0f} µs, {b2b['panel'] - b2b['termios']:.0f} µs above it; "
      f"after the 5 ms of idle that an operator's")
    w(f"press always follows, {fast['panel'][0] - fast['termios'][0]:.0f} µs above it. "
      "The panel's own work is the same in both:")
    w("a press runs some 30,000 instructions of Qt code (counted once with callgrind;")
    w("each result box's `QLineEdit::setText` about 9,000, as many in the query as when")
    w("repeated at once); the termios client has a few hundred to run.")
    w("")
    w("The sub-millisecond figures depend mostly on how fast a sleeping core wakes up,")
    w("since every query is handed from process to process (client, board and, for the")
    w("shown panel, the X server): compare the ratios within one run rather than")
    w("absolute figures across runs or machines.")
    w("")
    w(f"Paced, the panel is {1e3 * (paced['panel'][0] - paced['termios'][0]):.0f} µs behind the floor at the median")
    w(f"({1e3 * (paced['hidden'][0] - paced['termios'][0]):.0f} µs with the window not shown).")
    w("")

    w("## tq905 from a shell")
    w("")
    w("One `tq905-board --headless --port-a 5A` answers at once; port B is set to 3C")
    w("first. In rounds that take turns, each of the following does")
    w(f"{tq['own'][2]} timed `in` queries in all ({tq['own'][2] // 4} a round after 10 untimed), with 5 ms between")
    w("queries: one `tq905 --json --device DEVICE -` session fed one `in` line at a time")
    w("by `benchmarks/bench_tq905.py`, which waits for each answer before the next;")
    w("the same driver starting `tq905 --device DEVICE in` once per query, and a pyserial")
    w("script (`bench_pyserial.py --once`) once per query, each checked for `5A 3C`;")
    w("and, for the floor, the termios client and the pyserial script of the panel's")
    w("round trips, each holding the line open.")
    w("")
    w("### One session")
    w("")
    w("tq905's own clock runs over the span the termios client times, from discarding")
    w("stale input to the reply in hand; it gives it as `ms` in each JSON answer. The")
    w("driver's clock runs from writing the `in` line to reading the answer's line, so it")
    w("adds two more hand-overs between processes (the pipes to and from tq905) and the")
    w("driver's own Python.")
    w("")
    w("| Client | Median | 99th percentile | Median ÷ floor |")
    w("|---|---|---|---|")
    for key, label in (("own", "tq905 session, its own clock"),
                       ("driver", "tq905 session, line written to answer read"),
                       ("termios", "bare termios + poll() (the floor)"),
                       ("pyserial", "pyserial script")):
        med, top, _ = tq[key]
        w(f"| {label} | {fmt(med, 'us')} | {fmt(top, 'us')} | {ratio(med, tq['termios'][0])} |")
    w("")
    w("### One process a query")
    w("")
    w("From starting the program to its end, start-up, opening the port and closing it")
    w("included.")
    w("")
    w("| Program | Median | 99th percentile | Median ÷ pyserial's |")
    w("|---|---|---|---|")
    for key, label in (("process", "tq905 --device DEVICE in"),
                       ("pyserial-process", "pyserial script, once")):
        med, top, _ = tq[key]
        w(f"| {label} | {fmt(med, 'ms')} | {fmt(top, 'ms')} | "
          f"{ratio(med, tq['pyserial-process'][0])} |")
    w("")

    w("## A board on another machine: through ser2net")
    w("")
    w("The same board, served by ser2net on 127.0.0.1 both as an RFC 2217 port")
    w("(`telnet(rfc2217)` accepter) and as a plain TCP port (`tcp` accepter), each")
    w("with `chardelay: false` (by default ser2net holds serial data back for a few")
    w("character times, some 3.3 ms a reply here). In rounds that take turns, one")
    w(f"client at a time, each does {net['socket'][2]} timed `in` queries in all,")
    w("with 5 ms between queries: a `tq905 --json --device rfc2217://… -` session")
    w("and a `socket://…` session fed by `bench_tq905.py` (tq905's own clock, from")
    w("discarding stale input, PURGE-DATA included over RFC 2217, to the reply in")
    w("hand); the termios client's code on a plain TCP connection to the `tcp`")
    w("accepter (discarding what has arrived, then the query; the floor for")
    w("`socket://`) and on the `telnet(rfc2217)` accepter, where it sends PURGE-DATA")
    w("and the query once ser2net has confirmed the purge (the floor for")
    w("`rfc2217://`: one round trip to the server more); and pyserial's RFC 2217")
    w("client (`rfc2217://…?ign_set_control`, since ser2net never acknowledges")
    w("SET-CONTROL on a pseudo-terminal).")
    w("")
    w("| Client | Median | 99th percentile | Median ÷ its floor |")
    w("|---|---|---|---|")
    for key, label, floor in (("tq905-rfc2217", "tq905 session, rfc2217://", "rfc2217"),
                              ("rfc2217", "plain client, rfc2217:// with the purge's round trip (floor)", "rfc2217"),
                              ("pyserial", "pyserial, rfc2217://…?ign_set_control", "rfc2217"),
                              ("tq905-socket", "tq905 session, socket://", "socket"),
                              ("socket", "plain TCP client, socket:// (floor)", "socket")):
        med, top, _ = net[key]
        w(f"| {label} | {fmt(med, 'us')} | {fmt(top, 'us')} | {ratio(med, net[floor][0])} |")
    w("")
    w(f"Over plain TCP the tq905 session takes {ratio(net['tq905-socket'][0], net['socket'][0])} its floor's time,")
    w(f"over RFC 2217 {ratio(net['tq905-rfc2217'][0], net['rfc2217'][0])}. The exact discard costs one round trip")
    w(f"to the server a query: the RFC 2217 floor takes {ratio(net['rfc2217'][0], net['socket'][0])} the plain one's time,")
    w("ser2net's telnet layer and its answer to the purge included.")
    w("")
    w("pyserial's `reset_input_buffer()` sends PURGE-DATA and then polls for ser2net's")
    w("acknowledgement every 50 ms, which sets its figure. tq905 sleeps on the socket")
    w("until the acknowledgement comes and sends the query then; it acknowledges what")
    w("it receives at once (`TCP_QUICKACK`), so ser2net does not hold the reply back")
    w("behind its answer to the purge until a delayed acknowledgement comes (Nagle's")
    w("rule; some 40 ms a query otherwise).")
    w("")

    w("## CPU during a reply time-out")
    w("")
    w("The board runs with `--fault no-reply`, so every query waits the full 30 ticks of")
    w("100 ms. In one process holding a shown panel with its port open, the bench")
    w("measures process CPU time (user + system, all threads, `getrusage`) across:")
    w("")
    w("- **panel**: a click on `INcmd` and the panel's own wait, up to its \"Receive ERR\"")
    w("  (recorded, not shown, so the box does not wait for a person);")
    w("- **busy loop**: the same reply receiver and the same link, but yielding with a")
    w("  bare `QCoreApplication::processEvents()` that never sleeps, until a countdown")
    w("  of 30 driven by its own 100 ms timer runs out: the obvious polling loop;")
    w("- **idle**: the panel's event loop doing nothing for the same 3 s, for scale.")
    w("")
    w(f"Each {len(waits['panel'])} times, in turn; medians.")
    w("")
    w("| Wait | CPU time | Wall time | CPU ÷ wall | CPU ÷ panel's |")
    w("|---|---|---|---|---|")
    for kind, label in (("panel", "panel"), ("naive", "busy processEvents() loop"), ("idle", "idle, no query")):
        cpu = statistics.median(c for c, _ in waits[kind])
        wall = statistics.median(wl for _, wl in waits[kind])
        w(f"| {label} | {cpu:.1f} ms | {wall:.0f} ms | {100 * cpu / wall:.2f} % | {ratio(cpu, panel_cpu)} |")
    w("")
    w(f"The panel's wait ends {wait_wall:.0f} ms after the click: the 30 ticks of a tick that")
    w("was already running, so 2.9 to 3.0 s.")
    w("")

    w("## Start-up and resident memory")
    w("")
    w("`bench_startup` opens the X display, watches the root window for maps, forks and")
    w("execs the program, and stops the clock at the first map of a top-level window")
    w("whose `_NET_WM_PID` is the child's (no window manager, no title guessing). One")
    w("second later it reads `VmRSS` from `/proc/PID/status`, then ends the program.")
    w("All three programs start the same way on the same Xvfb (1280×800×24, 96 dpi), each")
    w("with a fresh, empty `HOME`, after one uncounted start each to warm the caches,")
    w(f"then {starts['panel']['runs']} starts each, taking turns. None opens a serial port at start.")
    w("The bare Qt window (`bench_bare_window`) is the floor: a Qt 6 Widgets program that")
    w("shows one empty `QWidget` and nothing else. CuteCom is a general serial terminal")
    w(f"on Qt 5; its first window is its main window (\"{starts['cutecom']['title']}\").")
    w("")
    w("| Program | Start to window mapped, median | slowest | VmRSS 1 s later, median |")
    w("|---|---|---|---|")
    for name, label in (("panel", "tq905-panel"), ("bare", "bare Qt window (the floor)"),
                        ("cutecom", "CuteCom")):
        s = starts[name]
        w(f"| {label} | {s['map']:.0f} ms | {s['map_max']:.0f} ms | {s['rss']:.1f} MiB |")
    for name, label in (("bare", "the bare window"), ("cutecom", "CuteCom")):
        w(f"| ratio panel ÷ {label} | {ratio(starts['panel']['map'], starts[name]['map'])} | | "
          f"{ratio(starts['panel']['rss'], starts[name]['rss'])} |")
    w("")

    w("## The programs")
    w("")
    w("- `benchmarks/bench_panel.cpp`: the panel's round trip (`roundtrip`) and the three")
    w("  waits (`timeout`).")
    w("- `benchmarks/bench_termios.cpp`: the termios client: raw 9600 8N1, `tcflush`,")
    w("  `write`, then `poll()` and `read()` until 7 bytes; given `socket://IPV4:PORT`,")
    w("  the same on a TCP connection, what has arrived read away instead of `tcflush`;")
    w("  given `rfc2217://IPV4:PORT`, also PURGE-DATA and its confirmation before the query.")
    w("- `benchmarks/bench_pyserial.py`: the same through Debian's pyserial")
    w("  (`serial_for_url`, so a device or an `rfc2217://` URL):")
    w("  `reset_input_buffer()`, `write()`, `read(7)` with a 3 s time-out; with `--once`,")
    w("  one query from opening the line to closing it.")
    w("- `benchmarks/bench_tq905.py`: feeds a tq905 session, or starts a program once")
    w("  per query, and times each.")
    w("- `benchmarks/bench_startup.cpp`: start-up and memory.")
    w("- `benchmarks/bench_bare_window.cpp`: the bare Qt window, the floor for start-up.")
    w("- `benchmarks/report.py`: this file, from the raw figures.")
    print("\n".join(out))


if __name__ == "__main__":
    main()
