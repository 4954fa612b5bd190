"""The windowed program under Xvfb against windowless nodes, all in a lab: messages open
conversation windows, text typed into a window reaches the node, group chats made by an
invitation from a window or by a node show their members' messages and leaves. Every step
waits a bounded time."""

import os
import sqlite3
import unittest

from applab import AppWithTwoNodes
from desktop import until


class AppConversationTest(AppWithTwoNodes):
    def window(self, title):
        return self.desktop.wait_window("^" + title + "$")

    def stored(self, column, text):
        def count():
            with sqlite3.connect(f"file:{self.store}?mode=ro", uri=True) as db:
                return db.execute(f"SELECT COUNT(*) FROM LogEntry WHERE {column} = ?",
                                  (text,)).fetchone()[0]
        return until(lambda: os.path.exists(self.store) and count() > 0, 15)

    def test_messages_typing_and_a_group_chat(self):
        since = self.a.mark()
        self.a.command("send", self.app_id, "hello application")
        window = self.window(f"{self.a.name} - Conversation")
        self.assertTrue(self.stored("message", "hello application"))

        self.desktop.activate(window)
        self.desktop.tool("xdotool", "type", "--delay", "60", "hi node")
        self.a.wait(lambda e: e == ["typing", self.app_id], 15, since)
        self.desktop.key(window, "Return")
        self.a.wait(lambda e: e[0] == "message" and e[1] == self.app_id and e[4] == "hi node",
                    15, since)

        since = self.a.mark()
        self.a.command("chat", f"{self.app_id},{self.b.user_id}")
        room = self.a.wait(lambda e: e[0] == "chat", 10, since)[1]
        self.a.command("chat-send", room, "to the group")
        names = sorted([self.a.name, self.b.name])
        self.window("(" + "|".join(f"{n}, {m}" for n, m in (names, names[::-1])) + ")"
                    " - Conversation")
        self.assertTrue(self.stored("message", "to the group"))

        self.b.command("chat-leave", room)
        self.assertTrue(self.stored("text", f"{self.b.name} has left the conversation."))
        self.window(f"{self.a.name} - Conversation")

    def test_a_group_chat_made_by_inviting_from_the_window(self):
        since_a, since_b = self.a.mark(), self.b.mark()
        self.a.command("send", self.app_id, "hello application")
        window = self.window(f"{self.a.name} - Conversation")

        # The window's own menu, "Conversation", first item "Invite...".
        self.desktop.click(window, 40, 10)
        self.desktop.tool("xdotool", "key", "Down", "Return")
        sheet = self.window("Invite")
        # The first row is the group holding the other node (the window's user and the local
        # one are not offered): ticking it ticks the node.
        self.desktop.click(sheet, 60, 22)
        self.desktop.tool("xdotool", "key", "Return")

        self.a.wait(lambda e: e[0] == "chat-joined" and self.b.user_id in e[2], 15, since_a)
        room = self.b.wait(lambda e: e[0] == "chat-joined" and self.a.user_id in e[2], 15,
                           since_b)[1]
        names = sorted([self.a.name, self.b.name])
        window = self.window("(" + "|".join(f"{n}, {m}" for n, m in (names, names[::-1])) +
                             ") - Conversation")

        since_a, since_b = self.a.mark(), self.b.mark()
        self.desktop.activate(window)
        self.desktop.tool("xdotool", "type", "--delay", "40", "to you both")
        self.desktop.key(window, "Return")
        for node, since in ((self.a, since_a), (self.b, since_b)):
            node.wait(lambda e: e[:2] == ["chat-message", room] and e[2] == self.app_id and
                      e[3] == "to you both", 15, since)



class KeyboardStaysWhereThePersonTypes(AppWithTwoNodes):
    """Two conversation windows are open; the person types into the first while messages
    arrive for the second: every keystroke lands in the first, which keeps the focus, with
    "Bring a window with a new message to the front" off (here) or on (the class below)."""

    def window(self, node):
        return self.desktop.wait_window(f"^{node.name} - Conversation$")

    def stored(self, text):
        def count():
            with sqlite3.connect(f"file:{self.store}?mode=ro", uri=True) as db:
                return db.execute("SELECT COUNT(*) FROM LogEntry WHERE message = ?",
                                  (text,)).fetchone()[0]
        return until(lambda: os.path.exists(self.store) and count() > 0, 15)

    def test_keystrokes_land_in_the_window_being_typed_in(self):
        self.a.command("send", self.app_id, "from a")
        typed_into = self.window(self.a)
        self.b.command("send", self.app_id, "from b")
        self.window(self.b)
        self.assertTrue(self.stored("from b"))
        self.desktop.activate(typed_into)
        self.assertEqual(self.desktop.tool("xdotool", "getactivewindow"), typed_into)

        since_a, since_b = self.a.mark(), self.b.mark()
        words = ["every", "key", "stays", "in", "this", "window"]
        for number, word in enumerate(words):
            # The message arrives while the word is being typed.
            self.b.command("send", self.app_id, f"interruption {number}")
            self.desktop.tool("xdotool", "type", "--delay", "40", word + " ")
            self.assertTrue(self.stored(f"interruption {number}"))
        # Typed into whichever window has the keyboard, as a person's keys are.
        self.desktop.tool("xdotool", "key", "Return")
        sent = " ".join(words) + " "
        self.a.wait(lambda e: e[0] == "message" and e[1] == self.app_id, 15, since_a)
        self.assertEqual(self.desktop.tool("xdotool", "getactivewindow"), typed_into)
        received_a = [e[4] for e in self.a.events[since_a:]
                      if e and e[0] == "message" and e[1] == self.app_id]
        self.assertEqual(received_a, [sent])
        strays = [e for e in self.b.events[since_b:]
                  if e and e[0] in ("message", "typing") and e[1] == self.app_id]
        self.assertEqual(strays, [])


class KeyboardStaysWithWindowsBroughtToTheFront(KeyboardStaysWhereThePersonTypes):
    app_defaults = {"keepFocus": True}


if __name__ == "__main__":
    unittest.main()
