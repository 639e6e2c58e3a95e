#!/usr/bin/env python3
"""IN round trips through tq905: one session fed query by query, or one process a query.

usage: bench_tq905.py session TQ905 DEVICE COUNT WARMUP GAP_MS
       bench_tq905.py process DEVICE COUNT WARMUP GAP_MS -- COMMAND...

session: `TQ905 --json --device DEVICE -` gets one `in` line at a time and
answers it before the next; one line per query on stdout: the nanoseconds
tq905 says the reply took (from discarding stale input to the reply in hand,
the span the termios client times), then the nanoseconds from writing the
line to reading its answer.

process: COMMAND, an `in` query on DEVICE, is started once per query; one line
per query: the nanoseconds from starting it to its end, start-up included. It
must print "5A 3C".

The board must report port A 5A and, for process, port B 3C; session sets port B
to 3C itself.
"""
import json
import subprocess
import sys
import time


def session(tq905, device, count, warmup, gap):
    child = subprocess.Popen([tq905, "--json", "--device", device, "-"], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, bufsize=0)
    answers = child.stdout
    child.stdin.write(b"out 3C\n")
    answers.readline()
    time.sleep(gap)
    out = []
    for i in range(warmup + count):
        start = time.perf_counter_ns()
        child.stdin.write(b"in\n")
        answer = answers.readline()
        elapsed = time.perf_counter_ns() - start
        values = json.loads(answer).get("values")
        if values != {"portA": "5A", "portB": "3C"}:
            sys.exit(f"bench_tq905: query {i} got {answer!r}")
        if i >= warmup:
            out.append(f"{round(json.loads(answer)['ms'] * 1e6)} {elapsed}\n")
        time.sleep(gap)
    child.stdin.close()
    if child.wait() != 0:
        sys.exit(f"bench_tq905: the session ended with {child.returncode}")
    sys.stdout.write("".join(out))


def processes(command, count, warmup, gap):
    out = []
    for i in range(warmup + count):
        start = time.perf_counter_ns()
        done = subprocess.run(command, stdout=subprocess.PIPE)
        elapsed = time.perf_counter_ns() - start
        if done.returncode != 0 or done.stdout != b"5A 3C\n":
            sys.exit(f"bench_tq905: run {i} of {command[0]} ended {done.returncode}: {done.stdout!r}")
        if i >= warmup:
            out.append(f"{elapsed}\n")
        time.sleep(gap)
    sys.stdout.write("".join(out))


def main():
    args = sys.argv[1:]
    if len(args) == 6 and args[0] == "session":
        session(args[1], args[2], int(args[3]), int(args[4]), int(args[5]) / 1000)
    elif len(args) > 6 and args[0] == "process" and args[5] == "--":
        processes(args[6:], int(args[2]), int(args[3]), int(args[4]) / 1000)
    else:
        sys.exit(__doc__.strip())


if __name__ == "__main__":
    main()
