"""Benchmark (not run by ctest): message latency between two nodes in a lab, from the "send"
command on A to the "message" event on B, beside a plain one-shot TCP exchange (connect,
line of the same size, reply line, close) between the same two hosts.

    sudo CORVALINE_NODE=build/src/node/corvaline-node python3 tests/e2e/bench_roundtrip.py [N]
"""

import statistics
import subprocess
import sys
import time
import unittest

from lab import Lab
from node import Node

TEXT = "benchmark message " * 4
PORT = 47002

ECHO = r"""
import socket
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
    connection.sendall(b"x" * 120 + b"\r\n")
    connection.close()
""" % PORT

CLIENT = r"""
import socket, sys, time
host, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
line = b"y" * size + b"\r\n"
for _ in range(count):
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
    print(time.monotonic() - start)
s = socket.create_connection((host, %d), timeout=10)
s.sendall(b"stop\r\n")
""" % (PORT, PORT)


def summary(samples):
    ordered = sorted(samples)
    return statistics.median(ordered), ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]


class Bench(unittest.TestCase):
    def runTest(self):
        count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
        lab = Lab(2)
        self.addCleanup(lab.close)
        a, b = Node(self, lab, 0), Node(self, lab, 1)
        a.wait_user(b, "0")
        b.wait_user(a, "0")
        messages = []
        for i in range(count):
            since = b.mark()
            text = f"{i} {TEXT}"
            start = time.monotonic()
            a.command("send", b.user_id, text)
            b.wait(lambda e: e[0] == "message" and e[4] == text, 15, since)
            messages.append(time.monotonic() - start)

        echo = lab.popen(1, [sys.executable, "-c", ECHO], stdout=subprocess.PIPE, text=True)
        self.addCleanup(echo.stdout.close)
        self.assertEqual(echo.stdout.readline().strip(), "ready")
        size = 4 * len(TEXT.encode()) + 120  # about the size of an encoded message line
        plain = lab.run(0, [sys.executable, "-c", CLIENT, lab.addresses[1], str(count), str(size)],
                        capture_output=True, text=True, timeout=600, check=True)
        exchanges = [float(x) for x in plain.stdout.split()]

        m_median, m_p99 = summary(messages)
        p_median, p_p99 = summary(exchanges)
        print(f"\n{count} messages, node A send -> node B message event:"
              f" median {m_median * 1e3:.2f} ms, p99 {m_p99 * 1e3:.2f} ms")
        print(f"{len(exchanges)} plain one-shot TCP exchanges:"
              f" median {p_median * 1e3:.2f} ms, p99 {p_p99 * 1e3:.2f} ms")
        print(f"ratio (median): {m_median / p_median:.1f}, (p99): {m_p99 / p_p99:.1f}")


if __name__ == "__main__":
    unittest.TextTestRunner(verbosity=0).run(Bench())
