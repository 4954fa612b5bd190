"""Benchmark (not run by ctest): message latency between two nodes in a lab, from the "send"
command on A to the "message" event on B (B reports it once the message is durably stored and
its receipt is on its way), beside its baseline from the same run: a plain one-shot TCP
exchange between the same two hosts (connect, line of the same size, reply line, close) whose
server commits one row durably (SQLite, WAL, synchronous = FULL, on the filesystem of the
nodes' stores) before it replies. Also prints the CPU time and the context switches per
message on each side (all threads of each node, from /proc), and the driver's own share: the
median of a "roster" request on A, which crosses the same pipes and threads of this script and
of the node as a message does (command in, event out) with no network between.

    sudo CORVALINE_NODE=build/src/node/corvaline-node python3 tests/e2e/bench_roundtrip.py [N]
         [--one-cpu-each]

--one-cpu-each confines all threads of each node to one CPU of its own (A the first the bench
may use, B the last), so that a hand-off between a node's threads never crosses CPUs: beside a
run without it, it shows what those crossings cost on this machine
(thread_wake_bench, built with the benchmarks, measures one such hand-off).
"""

import glob
import os
import statistics
import subprocess
import sys
import time
import unittest

from bench_scale import cpu_seconds
from lab import Lab
from node import Node

TEXT = "benchmark message " * 4
PORT = 47002
# A new write-ahead log grows with each commit, and syncing a growing file costs the
# filesystem's journal too: both stores are measured once their logs are reused.
WARM_UP_MESSAGES = 300
WARM_UP_COMMITS = 1200

# Each line is answered after the commit when it starts with "c", at once otherwise.
ECHO = r"""
import socket, sqlite3, sys
store = sqlite3.connect(sys.argv[1], isolation_level=None)
store.execute("PRAGMA journal_mode = WAL")
store.execute("PRAGMA synchronous = FULL")
store.execute("CREATE TABLE IF NOT EXISTS line (id INTEGER PRIMARY KEY, text BLOB)")
for _ in range(%d):
    store.execute("INSERT INTO line (text) VALUES (?)", (b"w" * 300,))
server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("", %d)); server.listen(64); server.settimeout(120)
print("ready", flush=True)
while True:
    try:
        connection, _ = server.accept()
    except socket.timeout:
        break
    connection.settimeout(10)
    data = b""
    while not data.endswith(b"\r\n"):
        chunk = connection.recv(65536)
        if not chunk:
            break
        data += chunk
    if data == b"stop\r\n":
        break
    if data.startswith(b"c"):
        store.execute("BEGIN")
        store.execute("INSERT INTO line (text) VALUES (?)", (data,))
        store.execute("COMMIT")
    connection.sendall(b"x" * 120 + b"\r\n")
    connection.close()
""" % (WARM_UP_COMMITS, PORT)

# Prints one line per exchange: the seconds without and with the server's commit.
CLIENT = r"""
import socket, sys, time
host, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def exchange(line):
    start = time.monotonic()
    s = socket.create_connection((host, %d), timeout=10)
    s.sendall(line)
    reply = b""
    while not reply.endswith(b"\r\n"):
        chunk = s.recv(65536)
        if not chunk:
            break
        reply += chunk
    s.close()
    return time.monotonic() - start
for _ in range(count):
    print(exchange(b"p" * size + b"\r\n"), exchange(b"c" * size + b"\r\n"))
s = socket.create_connection((host, %d), timeout=10)
s.sendall(b"stop\r\n")
""" % (PORT, PORT)


def summary(samples):
    ordered = sorted(samples)
    return statistics.median(ordered), ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]


def context_switches(pid):
    """Voluntary and involuntary switches of all the process's threads."""
    total = 0
    for status in glob.glob(f"/proc/{pid}/task/*/status"):
        try:
            with open(status) as file:
                total += sum(int(line.split()[1]) for line in file
                             if line.startswith(("voluntary_ctxt_switches",
                                                 "nonvoluntary_ctxt_switches")))
        except FileNotFoundError:
            pass  # the thread ended meanwhile
    return total


def confine(pid, cpu):
    """All present threads of the process on that CPU; threads they start inherit it."""
    for task in os.listdir(f"/proc/{pid}/task"):
        os.sched_setaffinity(int(task), {cpu})


def usage(nodes):
    return [(cpu_seconds(n.process.pid), context_switches(n.process.pid)) for n in nodes]


class Bench(unittest.TestCase):
    def runTest(self):
        arguments = [argument for argument in sys.argv[1:] if argument != "--one-cpu-each"]
        count = int(arguments[0]) if arguments else 1000
        lab = Lab(2)
        self.addCleanup(lab.close)
        a, b = Node(self, lab, 0), Node(self, lab, 1)
        if "--one-cpu-each" in sys.argv:
            cpus = sorted(os.sched_getaffinity(0))
            confine(a.process.pid, cpus[0])
            confine(b.process.pid, cpus[-1])
            print(f"\nnode A confined to CPU {cpus[0]}, node B to CPU {cpus[-1]}")
        a.wait_user(b, "0")
        b.wait_user(a, "0")

        def send(text):
            since = b.mark()
            start = time.monotonic()
            a.command("send", b.user_id, text)
            b.wait(lambda e: e[0] == "message" and e[4] == text, 15, since)
            return time.monotonic() - start

        for i in range(WARM_UP_MESSAGES):
            send(f"warm-up {i} {TEXT}")
        time.sleep(0.5)  # the last receipt is handled
        before = usage([a, b])
        messages = [send(f"{i} {TEXT}") for i in range(count)]
        time.sleep(0.5)
        after = usage([a, b])

        def roster():
            start = time.monotonic()
            a.request("roster")
            return time.monotonic() - start

        driver = statistics.median(roster() for _ in range(count))

        # The baseline's store lies beside B's, on the same filesystem.
        store = os.path.join(lab.homes[1], "baseline.sqlite")
        echo = lab.popen(1, [sys.executable, "-c", ECHO, store], stdout=subprocess.PIPE,
                         text=True)
        self.addCleanup(echo.stdout.close)
        self.assertEqual(echo.stdout.readline().strip(), "ready")  # after its warm-up
        size = 4 * len(TEXT.encode()) + 120  # about the size of an encoded message line
        plain = lab.run(0, [sys.executable, "-c", CLIENT, lab.addresses[1], str(count), str(size)],
                        capture_output=True, text=True, timeout=600, check=True)
        pairs = [line.split() for line in plain.stdout.splitlines()]
        exchanges = [float(p[0]) for p in pairs]
        baselines = [float(p[1]) for p in pairs]

        m_median, m_p99 = summary(messages)
        p_median, p_p99 = summary(exchanges)
        b_median, b_p99 = summary(baselines)
        print(f"\n{count} messages, node A send -> node B message event:"
              f" median {m_median * 1e3:.2f} ms, p99 {m_p99 * 1e3:.2f} ms")
        print(f"{len(exchanges)} plain one-shot TCP exchanges:"
              f" median {p_median * 1e3:.2f} ms, p99 {p_p99 * 1e3:.2f} ms")
        print(f"{len(baselines)} baseline exchanges (TCP + one durable SQLite commit):"
              f" median {b_median * 1e3:.2f} ms, p99 {b_p99 * 1e3:.2f} ms")
        print(f"ratio to the baseline (median): {m_median / b_median:.2f}, "
              f"(p99): {m_p99 / b_p99:.2f}; to the plain exchange (median):"
              f" {m_median / p_median:.1f}")
        print(f"driver (a roster request on A): median {driver * 1e3:.2f} ms; without it the"
              f" message median is {(m_median - driver) * 1e3:.2f} ms, ratio to the baseline"
              f" {(m_median - driver) / b_median:.2f}")
        for side, (cpu0, switches0), (cpu1, switches1) in zip("AB", before, after):
            print(f"node {side}: CPU {(cpu1 - cpu0) / count * 1e3:.3f} ms per message,"
                  f" {(switches1 - switches0) / count:.1f} context switches per message")


if __name__ == "__main__":
    unittest.TextTestRunner(verbosity=0).run(Bench())
