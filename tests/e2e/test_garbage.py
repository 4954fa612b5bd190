"""Nodes keep working after a flood of garbage datagrams and TCP lines."""

import sys
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


if __name__ == "__main__":
    unittest.main()
