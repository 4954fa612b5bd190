"""The windowed program under Xvfb against windowless nodes, all in a lab: messages open
conversation windows, text typed into a window reaches the node, group chats show their members'
messages and leaves. Every step waits a bounded time."""

import os
import sqlite3
import time
import unittest

from desktop import App, Desktop
from lab import Lab
from node import Node


def until(predicate, timeout, step=0.2):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


class AppConversationTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(3)
        self.addCleanup(self.lab.close)
        self.desktop = Desktop(self.lab, 0)
        home = self.lab.homes[0]
        self.app = App(self, self.desktop, home)
        self.store = os.path.join(home, ".local", "share", "com.tarvelo.Corvaline",
                                  "Corvaline-v2.storedata")
        self.a = Node(self, self.lab, 1)
        self.b = Node(self, self.lab, 2)
        app_address = self.lab.addresses[0]
        seen = self.a.wait(lambda e: e[0] == "user" and e[4] == app_address and e[2] == "0", 30)
        self.app_id = seen[1]
        self.b.wait(lambda e: e[:2] == ["user", self.app_id] and e[2] == "0", 30)

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


if __name__ == "__main__":
    unittest.main()
