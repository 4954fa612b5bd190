"""The windowed program under Xvfb beside a windowless node, in a lab: resting the pointer on
the node's row of the main list shows the node's information tool tip (after the node's
answer arrives) until a click in the list or another window taking the focus closes it, and
the history viewer shows a conversation held with the node and saves it as text. Every step
waits a bounded time."""

import os
import sqlite3
import time
import unittest

from desktop import STORE, App, Desktop, fill_store, until
from lab import Lab
from node import Node


class AppInfoTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(2)
        self.addCleanup(self.lab.close)
        self.node = Node(self, self.lab, 1)
        self.node.command("name", "Ann Lee")
        home = self.lab.homes[0]
        fill_store(self.lab, 0, f"Friends/{self.node.user_id}/Ann Lee/offline", me="Robin Hale")
        self.desktop = Desktop(self.lab, 0)
        self.app = App(self, self.desktop, home)
        self.store = os.path.join(home, STORE)
        self.window = self.app.main_window()
        self.app.wait_store(lambda users: not users[self.node.user_id][2], 30, "the node online")
        app_address = self.lab.addresses[0]
        self.app_id = self.node.wait(
            lambda e: e[0] == "user" and e[4] == app_address and e[2] == "0", 30)[1]

    def stored_pc(self):
        with sqlite3.connect(f"file:{self.store}?mode=ro", uri=True, timeout=5) as db:
            row = db.execute('SELECT pc FROM "TreeItem" WHERE userId = ?',
                             (self.node.user_id,)).fetchone()
            return row and row[0] not in (None, "", "*") and row[0]

    def test_tool_tip_and_history(self):
        # The first user row: below the "Friends" row at the top of the list.
        self.desktop.activate(self.window)
        tip = None
        for y in (81, 60, 100):
            self.desktop.tool("xdotool", "mousemove", "--window", self.window, "120", str(y))
            time.sleep(0.3)
            self.desktop.tool("xdotool", "mousemove_relative", "1", "0")
            tip = until(lambda: self.desktop.windows("^User Info: Ann Lee$"), 5)
            if tip:
                break
        self.assertTrue(tip, "no tool tip over the node's row\n" + self.app.tail())
        self.assertTrue(until(self.stored_pc, 15), "the node's information never arrived")
        # Away from the row and the tool tip: it closes by itself.
        self.desktop.tool("xdotool", "mousemove", "--window", self.window, "600", "600")
        self.assertTrue(until(lambda: not self.desktop.windows("^User Info: Ann Lee$"), 10))

        self.node.command("send", self.app_id, "history line from the node")
        self.desktop.wait_window("^Ann Lee - Conversation$")
        self.desktop.key(self.window, "ctrl+shift+h")
        history = self.desktop.wait_window("^History$")
        self.desktop.click(history, 60, 22)  # the first row of the list: the node
        time.sleep(1)
        saved = os.path.join(self.lab.homes[0], "ann-history.txt")
        self.desktop.key(history, "ctrl+s")
        panel = self.desktop.wait_window("^Save History$")
        self.desktop.activate(panel)
        self.desktop.tool("xdotool", "key", "ctrl+a")
        self.desktop.tool("xdotool", "type", "--delay", "20", saved)
        self.desktop.tool("xdotool", "key", "Return")
        self.assertTrue(until(lambda: os.path.exists(saved), 15), self.app.tail())
        with open(saved, encoding="utf-8") as text:
            content = text.read()
        self.assertIn("history line from the node", content)
        self.assertIn("(Incoming) Ann Lee:", content)


    def hover_first_row(self):
        """Rests the pointer on the node's row until its tool tip shows."""
        for y in (81, 60, 100):
            self.desktop.tool("xdotool", "mousemove", "--window", self.window, "120", str(y))
            time.sleep(0.3)
            self.desktop.tool("xdotool", "mousemove_relative", "1", "0")
            if until(lambda: self.desktop.windows("^User Info: Ann Lee$"), 5):
                return
        self.fail("no tool tip over the node's row\n" + self.app.tail())

    def test_the_tool_tip_closes_on_clicks_and_when_the_window_loses_the_focus(self):
        # Another window of the program, small and away from the pointer, to take the focus.
        self.desktop.tool("xdotool", "windowmove", self.window, "0", "0")
        self.desktop.key(self.window, "ctrl+m")
        other = self.desktop.wait_window("^Mass Message$")
        self.desktop.tool("xdotool", "windowsize", other, "320", "240")
        self.desktop.tool("xdotool", "windowmove", other, "560", "440")
        tip_closed = lambda: not self.desktop.windows("^User Info: Ann Lee$")  # noqa: E731
        # The pointer stays on the row throughout: only the action may close the tool tip.
        for what, act in (
                ("a click on the row", lambda: self.desktop.tool("xdotool", "click", "1")),
                ("another window taking the focus",
                 lambda: self.desktop.tool("xdotool", "windowactivate", other))):
            self.desktop.activate(self.window)
            self.hover_first_row()
            time.sleep(1)  # it stays while the pointer rests there
            self.assertFalse(tip_closed(), what)
            act()
            self.assertTrue(until(tip_closed, 5), what)


if __name__ == "__main__":
    unittest.main()
