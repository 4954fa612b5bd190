"""Nodes in a lab find each other and follow each other's presence."""

import signal
import unittest

from lab import Lab
from node import Node, start_nodes


class PresenceTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(3)
        self.addCleanup(self.lab.close)

    def start_all(self):
        return start_nodes(self, self.lab, 3)

    def test_nodes_see_each_other_and_follow_names_and_status(self):
        a, b, c = self.start_all()
        self.assertEqual(len({a.user_id, b.user_id, c.user_id}), 3)
        roster = a.request("roster")
        self.assertEqual(sorted(line[1] for line in roster), sorted([b.user_id, c.user_id]))
        for line in roster:
            self.assertEqual(line[2], "0")
            self.assertEqual(line[4], b.address if line[1] == b.user_id else c.address)

        marks = [b.mark(), c.mark()]
        a.command("name", "Zoë Ålander")
        for node, since in zip((b, c), marks):
            node.wait(lambda e: e[0] == "user" and e[1] == a.user_id and e[3] == "Zoë Ålander",
                      10, since)
        for code in ("1", "2", "0"):
            marks = [b.mark(), c.mark()]
            a.command("status", code)
            for node, since in zip((b, c), marks):
                node.wait_user(a, code, 10, since)

    def test_info_fills_the_user_information(self):
        a, b, _ = self.start_all()
        since = a.mark()
        a.command("info", b.user_id)
        # The answer shows what is known now; the request brings the rest.
        line = a.wait(lambda e: e[0] == "info", 10, since)
        for _ in range(50):
            fields = dict(f.split("=", 1) for f in line[2:])
            if "logonUser" in fields and "version" in fields and "oSversion" in fields:
                break
            since = a.mark()
            a.command("info", b.user_id)
            line = a.wait(lambda e: e[0] == "info", 10, since)
        self.assertEqual(fields.get("logonUser"), "root")
        self.assertTrue(fields.get("pc"))
        self.assertTrue(fields.get("version"))
        self.assertEqual(fields.get("status"), "0")

    def test_a_node_that_quits_is_offline_for_the_others_at_once(self):
        a, b, c = self.start_all()
        marks = [a.mark(), c.mark()]
        self.assertEqual(b.quit(), 0)
        for node, since in zip((a, c), marks):
            node.wait_user(b, "10", 5, since)

    def test_a_killed_node_goes_offline_when_a_message_to_it_fails(self):
        a, b, _ = self.start_all()
        b.process.send_signal(signal.SIGKILL)
        b.process.wait(timeout=5)
        self.lab.link(1, False)  # nothing answers any more, as with a machine switched off
        since = a.mark()
        a.command("send", b.user_id, "are you there?")
        a.wait_user(b, "10", 30, since)
        entries = a.request("history", b.user_id)
        self.assertEqual([(e[2], e[6]) for e in entries], [("0", "are you there?")])

    def test_a_second_copy_of_an_identity_stops_the_first(self):
        a = Node(self, self.lab, 0)
        copy_home = self.lab.homes[2]
        store = a.copy_home(copy_home)
        store.execute("UPDATE TreeItem SET sessionId = NULL WHERE entity = 'Me'")
        store.commit()
        store.close()
        since = a.mark()
        second = Node(self, self.lab, 1, home=copy_home)
        self.assertEqual(second.user_id, a.user_id)
        self.assertNotEqual(second.session, a.session)
        a.wait(lambda e: e == ["stopped"], 15, since)


if __name__ == "__main__":
    unittest.main()
