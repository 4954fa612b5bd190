"""The windowed program under Xvfb against windowless nodes, all in a lab: messages open
conversation windows, text typed into a window reaches the node, group chats show their members'
messages and leaves. Every step waits a bounded time."""

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


if __name__ == "__main__":
    unittest.main()
