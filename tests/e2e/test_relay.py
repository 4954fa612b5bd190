"""A message for a user who is away waits at the other nodes and reaches him when he is back."""

import os
import sqlite3
import time
import unittest

from lab import Lab
from node import Node, start_nodes

TEXT = "while you were out ¦ 🦊"


def held_copies(node):
    """The relay records in the node's store, read beside the running (or ended) node."""
    store = os.path.join(node.home, ".local", "share", "com.tarvelo.Corvaline",
                         "Corvaline-v2.storedata")
    connection = sqlite3.connect(f"file:{store}?mode=ro", uri=True, timeout=5)
    try:
        return connection.execute("SELECT COUNT(*) FROM MessageForForwarding").fetchone()[0]
    finally:
        connection.close()


class RelayTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(3)
        self.addCleanup(self.lab.close)
        self.nodes = start_nodes(self, self.lab, 3)

    def wait_held(self, node, count, timeout=15):
        deadline = time.monotonic() + timeout
        while True:
            try:
                held = held_copies(node)
            except sqlite3.OperationalError:  # the node is writing just now
                held = None
            if held == count:
                return
            if time.monotonic() > deadline:
                self.fail(f"node on host {node.host} holds {held} copies, not {count}")
            time.sleep(0.1)

    def test_a_message_for_a_user_who_is_away_reaches_him_once_through_another_node(self):
        a, b, c = self.nodes
        marks = [a.mark(), c.mark()]
        self.assertEqual(b.quit(), 0)
        for node, since in zip((a, c), marks):
            node.wait_user(b, "10", 10, since)

        a.command("send", b.user_id, TEXT)
        self.wait_held(c, 1)
        self.wait_held(a, 1)
        [sent] = a.request("history", b.user_id)
        self.assertEqual(a.quit(), 0)

        # Only C is there to deliver the message.
        since = c.mark()
        b = Node(self, self.lab, 1)
        c.wait_user(b, "0", 15, since)
        b.wait(lambda e: e == ["message", a.user_id, "0", "1", TEXT], 20)
        self.wait_held(c, 0)
        [received] = b.request("history", a.user_id)
        self.assertEqual(received[1], sent[1], "the time the author sent it")
        self.assertEqual(received[2:], ["1", "0", "1", a.name, TEXT])

        # A comes back with its own copy: B answers it as one it has, and A drops it.
        a = Node(self, self.lab, 0)
        a.wait_user(b, "0", 15)
        self.wait_held(a, 0, 90)
        self.assertEqual(len(b.request("history", a.user_id)), 1)
        self.assertEqual(len([e for e in b.events if e and e[0] == "message"]), 1)
        self.wait_held(b, 0)


class MassRelayTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(4)
        self.addCleanup(self.lab.close)
        self.nodes = start_nodes(self, self.lab, 4)

    wait_held = RelayTest.wait_held

    def test_a_mass_message_to_two_users_who_are_away_arrives_once_at_each(self):
        a, b, c, d = self.nodes
        marks = [a.mark(), d.mark()]
        self.assertEqual(b.quit(), 0)
        self.assertEqual(c.quit(), 0)
        for node, since in zip((a, d), marks):
            node.wait_user(b, "10", 10, since)
            node.wait_user(c, "10", 10, since)

        a.command("mass", f"{b.user_id},{c.user_id}", TEXT)
        self.wait_held(d, 2)

        # A and D both hold the message for each of them and both deliver it.
        back = [Node(self, self.lab, 1), Node(self, self.lab, 2)]
        for node in back:
            node.wait(lambda e: e[0] == "message" and e[-1] == TEXT, 30)
        for holder in (a, d):
            self.wait_held(holder, 0, 90)
        for node in back:
            self.assertEqual(len([e for e in node.events if e and e[0] == "message"]), 1,
                             node.events)
            self.assertEqual(len(node.request("history", a.user_id)), 1)


if __name__ == "__main__":
    unittest.main()
