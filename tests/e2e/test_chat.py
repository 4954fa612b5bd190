"""A group chat between three nodes in a lab: made, written to both ways, left."""

import unittest

from lab import Lab
from node import Node, start_nodes


class ChatTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(3)
        self.addCleanup(self.lab.close)
        self.nodes = start_nodes(self, self.lab, 3)

    def chat_message(self, node, room, sender, text, since):
        node.wait(lambda e: e == ["chat-message", room, sender.user_id, text], 15, since)

    def restart_b(self):
        """B quits and comes back, seen by the others; answers the new B."""
        a, b, c = self.nodes
        marks = [a.mark(), c.mark()]
        self.assertEqual(b.quit(), 0)
        for node, since in zip((a, c), marks):
            node.wait_user(b, "10", since=since)
        b = self.nodes[1] = Node(self, self.lab, 1)
        b.wait_user(a, "0")
        b.wait_user(c, "0")
        for node, since in zip((a, c), marks):
            node.wait_user(b, "0", since=since)
        return b

    def test_three_members_write_both_ways_and_see_one_leave(self):
        a, b, c = self.nodes
        marks = [node.mark() for node in self.nodes]
        a.command("chat", f"{b.user_id},{c.user_id}")
        room = a.wait(lambda e: e[0] == "chat", 10, marks[0])[1]
        for node, since in zip((b, c), marks[1:]):
            others = {n.user_id for n in self.nodes if n is not node}
            node.wait(lambda e: e[:2] == ["chat-joined", room] and set(e[2].split(",")) == others,
                      15, since)

        texts = {a: "hello both", b: "Привет ¦ from b", c: "🦊 c\tas well\nsecond line"}
        for writer in (a, b, c):
            marks = [node.mark() for node in self.nodes]
            writer.command("chat-send", room, texts[writer])
            for node, since in zip(self.nodes, marks):
                if node is not writer:
                    self.chat_message(node, room, writer, texts[writer], since)

        marks = [node.mark() for node in self.nodes]
        c.command("chat-leave", room)
        for node, since in zip((a, b), marks):
            node.wait(lambda e: e == ["chat-left", room, c.user_id], 15, since)

        # Those who stay still talk, and the one who left hears nothing more.
        a.command("chat-send", room, "after c left")
        self.chat_message(b, room, a, "after c left", marks[1])
        b.command("chat-send", room, "so it is")
        self.chat_message(a, room, b, "so it is", marks[0])
        self.assertEqual([e for e in c.events[marks[2]:] if e and e[0] == "chat-message"], [])
        for node in (a, b):
            received = [e for e in node.events if e and e[0] == "chat-message"]
            self.assertEqual(len(received), 3, received)

        # The last other member leaving ends the chat for the one who stays.
        since = a.mark()
        b.command("chat-leave", room)
        a.wait(lambda e: e == ["chat-left", room, b.user_id], 15, since)

    def test_after_a_restart_a_member_learns_who_is_in_the_room(self):
        a, b, c = self.nodes
        marks = [node.mark() for node in self.nodes]
        a.command("chat", f"{b.user_id},{c.user_id}")
        room = a.wait(lambda e: e[0] == "chat", 10, marks[0])[1]
        b.wait(lambda e: e[:2] == ["chat-joined", room], 15, marks[1])
        b = self.restart_b()
        since = b.mark()
        a.command("chat-send", room, "welcome back")
        self.chat_message(b, room, a, "welcome back", since)
        # The member list was not kept: b asks a for it and learns that c is in the room too.
        b.wait(lambda e: e[:2] == ["chat-joined", room] and c.user_id in e[2].split(","), 15,
               since)
        marks = [a.mark(), c.mark()]
        b.command("chat-send", room, "I am back")
        for node, since in zip((a, c), marks):
            self.chat_message(node, room, b, "I am back", since)

    def test_after_a_restart_the_first_message_waits_until_the_members_are_known(self):
        a, b, c = self.nodes
        marks = [node.mark() for node in self.nodes]
        a.command("chat", f"{b.user_id},{c.user_id}")
        room = a.wait(lambda e: e[0] == "chat", 10, marks[0])[1]
        a.command("chat-send", room, "before")
        self.chat_message(b, room, a, "before", marks[1])
        b = self.restart_b()
        # B writes first: it asks a member from its history and sends once it knows them all.
        marks = [a.mark(), c.mark()]
        b.command("chat-send", room, "first after the restart")
        for node, since in zip((a, c), marks):
            self.chat_message(node, room, b, "first after the restart", since)

    def test_chat_commands_that_cannot_be_carried_out_answer_an_error(self):
        a = self.nodes[0]
        for command in (["chat", "A000000000"], ["chat-send", "12345", "hi"],
                        ["chat-leave", "x"], ["chat"]):
            since = a.mark()
            a.command(*command)
            a.wait(lambda e: e[0] == "error" and len(e) == 2 and e[1], 5, since)


if __name__ == "__main__":
    unittest.main()
