"""The test network itself: hosts reach each other, broadcasts stay inside, cleanup is whole."""

import subprocess
import sys
import unittest

from lab import Lab

RECEIVER = r"""
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("", 47001)); s.settimeout(10)
print("ready", flush=True)
data, peer = s.recvfrom(100)
print(data.decode(), peer[0], flush=True)
"""

SENDER = r"""
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.sendto(b"hello", (sys.argv[1], 47001))
"""


class LabTest(unittest.TestCase):
    def test_a_broadcast_reaches_the_other_hosts(self):
        with Lab(3) as lab:
            receivers = [lab.popen(i, [sys.executable, "-c", RECEIVER], stdout=subprocess.PIPE,
                                   text=True) for i in (1, 2)]
            for receiver in receivers:
                self.assertEqual(receiver.stdout.readline().strip(), "ready")
            lab.run(0, [sys.executable, "-c", SENDER, lab.broadcast], check=True, timeout=10)
            for receiver in receivers:
                line = receiver.stdout.readline().split()
                self.assertEqual(line, ["hello", lab.addresses[0]])

    def test_namespaces_are_gone_after_close(self):
        lab = Lab(2)
        names = [lab.hub, *lab.hosts]
        lab.close()
        listed = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout
        for name in names:
            self.assertNotIn(name, listed)


if __name__ == "__main__":
    unittest.main()
