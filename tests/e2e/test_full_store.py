"""A message the receiver's store cannot hold is not lost: no receipt goes back, and the
sender keeps it for the relay."""

import os
import shutil
import subprocess
import unittest

from lab import Lab
from node import Node, start_nodes
from test_relay import RelayTest

# The store of the receiver lives on a file system of its own, this small.
STORE_SPACE = "4m"


def data_home(home):
    return os.path.join(home, ".local", "share")


class FullStoreTest(unittest.TestCase):
    def setUp(self):
        if shutil.which("unshare") is None or shutil.which("nsenter") is None:
            raise unittest.SkipTest("needs unshare and nsenter (util-linux)")
        self.lab = Lab(2)
        self.addCleanup(self.lab.close)

    wait_held = RelayTest.wait_held

    def fill(self, node):
        """Takes the last free byte of the node's store file system."""
        filler = os.path.join(data_home(node.home), "filler")
        subprocess.run(["nsenter", "-t", str(node.process.pid), "-m", "--",
                        "sh", "-c", f"cat /dev/zero > '{filler}'"], capture_output=True)

    def test_a_receiver_whose_store_is_full_sends_no_receipt_and_the_sender_keeps_the_message(self):
        os.makedirs(data_home(self.lab.homes[1]), exist_ok=True)
        # The receiver's mount namespace of its own holds a small file system for its store.
        wrapper = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                   f'mount -t tmpfs -o size={STORE_SPACE} tmpfs "$0" && exec "$@"',
                   data_home(self.lab.homes[1])]
        a = Node(self, self.lab, 0)
        b = Node(self, self.lab, 1, wrapper=wrapper)
        a.wait_user(b, "0")
        b.wait_user(a, "0")
        self.fill(b)

        since = [a.mark(), b.mark()]
        for text in ("first", "second"):
            a.command("send", b.user_id, text)
        # No receipt: A takes B for offline and keeps both messages to deliver later.
        a.wait_user(b, "10", 15, since[0])
        self.wait_held(a, 2)
        b.wait(lambda e: e[0] == "error", 15, since[1])
        self.assertEqual([e for e in b.events[since[1]:] if e and e[0] == "message"], [])
        self.assertEqual(len([e for e in b.events[since[1]:] if e and e[0] == "error"]), 1,
                         "the store error is shown once")


if __name__ == "__main__":
    unittest.main()
