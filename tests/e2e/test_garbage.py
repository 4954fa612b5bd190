"""Nodes keep working after a flood of garbage datagrams and TCP lines."""

import sys
import threading
import time
import unittest

from lab import Lab
from node import Node

FLOOD = r"""
import os, socket, sys
targets = sys.argv[1:]
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
for i in range(10000):
    size = 1 + i % 700
    udp.sendto(os.urandom(size) if i % 2 else b"Zm9v" * (size // 4 + 1) + b"\x1f\x1f",
               (targets[i % len(targets)], 19771))
for i in range(1000):
    tcp = socket.create_connection((targets[i % len(targets)], 19771), timeout=10)
    tcp.sendall((os.urandom(1 + i % 300).replace(b"\r\n", b"") if i % 2 else b"garbage") + b"\r\n")
    tcp.settimeout(10)
    try:
        while tcp.recv(4096):
            pass
    except OSError:
        pass
    tcp.close()
print("done", flush=True)
"""

# Datagrams of the largest size, unpaced, for a few seconds.
LARGE_DATAGRAMS = r"""
import os, socket, sys, time
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
junk = os.urandom(65507)
end = time.monotonic() + float(sys.argv[2])
while time.monotonic() < end:
    try:
        udp.sendto(junk, (sys.argv[1], 19771))
    except OSError:
        pass
print("done", flush=True)
"""


def resident_megabytes(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0


class GarbageTest(unittest.TestCase):
    def test_every_node_still_answers_after_a_flood(self):
        lab = Lab(4)
        self.addCleanup(lab.close)
        nodes = [Node(self, lab, i) for i in range(3)]
        for node in nodes:
            for other in nodes:
                if other is not node:
                    node.wait_user(other, "0")
        flood = lab.run(3, [sys.executable, "-c", FLOOD, *lab.addresses[:3]],
                        capture_output=True, text=True, timeout=300)
        self.assertEqual(flood.stdout.strip(), "done", flood.stderr)
        for node in nodes:
            self.assertEqual(len(node.request("roster")), 2)
        for sender, receiver in zip(nodes, nodes[1:] + nodes[:1]):
            since = receiver.mark()
            sender.command("send", receiver.user_id, "still here")
            receiver.wait(lambda e: e == ["message", sender.user_id, "0", "0", "still here"], 15,
                          since)

    def test_a_flood_of_large_datagrams_leaves_memory_bounded_and_presence_answered(self):
        lab = Lab(3)
        self.addCleanup(lab.close)
        a, b = Node(self, lab, 0), Node(self, lab, 1)
        a.wait_user(b, "0")
        before = resident_megabytes(a.process.pid)
        peak = [before]
        flooding = threading.Event()

        def sample():
            while not flooding.is_set():
                peak[0] = max(peak[0], resident_megabytes(a.process.pid))
                time.sleep(0.05)

        sampler = threading.Thread(target=sample, daemon=True)
        sampler.start()
        flood = lab.run(2, [sys.executable, "-c", LARGE_DATAGRAMS, a.address, "5"],
                        capture_output=True, text=True, timeout=60)
        flooding.set()
        sampler.join(timeout=5)
        self.assertEqual(flood.stdout.strip(), "done", flood.stderr)
        # Waiting datagrams are bounded (a few MiB); without the bound this grew by gigabytes.
        self.assertLess(peak[0] - before, 100, f"from {before:.0f} MB to {peak[0]:.0f} MB")
        since = a.mark()
        b.command("status", "2")
        a.wait_user(b, "2", timeout=2, since=since)


if __name__ == "__main__":
    unittest.main()
