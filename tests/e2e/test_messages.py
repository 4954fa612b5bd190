"""Messages between nodes in a lab: text intact, once, to the chosen users."""

import unittest

from lab import Lab
from node import start_nodes

TEXTS = [
    "Привет, как дела?",
    "emoji 🦊🎉 and a broken bar ¦ inside",
    "tab\tnew line\nbackslash \\ end",
    "long " + "Жx🦊" * 3330 + "-end-",  # 10 000 characters, some beyond the 16-bit range
]


class MessagesTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(3)
        self.addCleanup(self.lab.close)
        self.nodes = start_nodes(self, self.lab, 3)

    def test_a_message_arrives_once_with_its_text_intact(self):
        a, b, _ = self.nodes
        self.assertEqual(len(TEXTS[-1]), 10000)
        since = b.mark()
        for text in TEXTS:
            a.command("send", b.user_id, text)
        for text in TEXTS:
            b.wait(lambda e: e[:4] == ["message", a.user_id, "0", "0"] and e[4] == text, 15,
                   since)
        received = b.request("history", a.user_id)
        # Each message travels on a connection of its own, so they may arrive in any order.
        self.assertCountEqual([e[6] for e in received], TEXTS)
        self.assertTrue(all(e[2:4] == ["1", "0"] and e[5] == a.name for e in received))
        arrived = [e for e in b.events[since:] if e and e[0] == "message"]
        self.assertEqual(len(arrived), len(TEXTS))
        sent = a.request("history", b.user_id)
        self.assertEqual([(e[2], e[6]) for e in sent], [("0", t) for t in TEXTS])

    def test_a_mass_message_reaches_every_chosen_user(self):
        a, b, c = self.nodes
        marks = [b.mark(), c.mark()]
        a.command("mass", f"{b.user_id},{c.user_id}", "to you both")
        for node, since in zip((b, c), marks):
            node.wait(lambda e: e == ["message", a.user_id, "1", "0", "to you both"], 15, since)
        since = b.mark()
        a.command("mass", c.user_id, "only for c")
        c.wait(lambda e: e == ["message", a.user_id, "1", "0", "only for c"], 15)
        # b was not chosen: its next message from a is the plain one after this.
        a.command("send", b.user_id, "after")
        b.wait(lambda e: e[0] == "message", 15, since)
        self.assertEqual([e for e in b.events[since:] if e and e[0] == "message"],
                         [["message", a.user_id, "0", "0", "after"]])

    def test_commands_that_cannot_be_carried_out_answer_an_error(self):
        a = self.nodes[0]
        for command in (["send", "A000000000", "hi"], ["status", "7"], ["frobnicate"]):
            since = a.mark()
            a.command(*command)
            a.wait(lambda e: e[0] == "error" and len(e) == 2 and e[1], 5, since)
        self.assertEqual(len(a.request("roster")), 2)


if __name__ == "__main__":
    unittest.main()
