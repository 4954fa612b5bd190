"""The windowed application next to a windowless node: each sees the other, the node's status
reaches the app's list, a second copy of the app takes over from the first, and quitting says
"UO". The app runs under Xvfb in its own network namespace; its list is read from its store."""

import os
import signal
import time
import unittest

from desktop import App, Desktop
from lab import Lab
from node import Node


class AppTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(2)
        self.addCleanup(self.lab.close)
        self.desktop = Desktop(self.lab, 0)
        self.node = Node(self, self.lab, 1)
        self.node.command("name", "Node One")

    def listed(self, app, status):
        def check(users):
            row = users.get(self.node.user_id)
            return (row is not None and row[0] == "Node One" and row[1] == status
                    and not row[2] and not row[3] and row[4] is not None)
        return app.wait_store(check, 30, f"the node listed with status {status}")

    def test_app_and_node_see_each_other_and_a_second_copy_takes_over(self):
        first = App(self, self.desktop, self.lab.homes[0])
        first.main_window()
        seen = self.node.wait(lambda e: e[0] == "user" and e[2] == "0"
                              and e[4] == self.lab.addresses[0], 30)
        app_id = seen[1]
        self.listed(first, "0")

        self.node.command("status", "2")
        self.listed(first, "2")

        mark = self.node.mark()
        second = App(self, self.desktop, self.lab.homes[0])
        self.assertEqual(first.process.wait(timeout=20), 0, first.tail())  # asked to quit, it went
        self.node.wait(lambda e: e[0] == "user" and e[1] == app_id and e[2] == "10", 20, mark)
        mark = self.node.mark()
        self.node.wait(lambda e: e[0] == "user" and e[1] == app_id and e[2] == "0", 30, mark)
        second.main_window()
        self.assertIsNone(second.process.poll())
        self.node.command("status", "1")
        self.listed(second, "1")

        mark = self.node.mark()
        second.process.send_signal(signal.SIGTERM)
        self.assertEqual(second.process.wait(timeout=20), 0, second.tail())
        self.node.wait(lambda e: e[0] == "user" and e[1] == app_id and e[2] == "10", 10, mark)
        # The store was saved on the way out: the node is in it, offline now or not.
        self.assertIn(self.node.user_id, second.users())

    def test_show_brings_the_running_copy_forward_and_ends(self):
        running = App(self, self.desktop, self.lab.homes[0])
        window = running.main_window()
        self.desktop.tool("xdotool", "windowminimize", window)
        time.sleep(0.5)
        shown = App(self, self.desktop, self.lab.homes[0], args=["--show"])
        self.assertEqual(shown.process.wait(timeout=20), 0)
        self.assertIsNone(running.process.poll())
        self.assertTrue(self.desktop.windows("^Corvaline$"))


if __name__ == "__main__":
    unittest.main()
