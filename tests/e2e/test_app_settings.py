"""The windowed program's settings under Xvfb against a windowless node, all in a lab: the full
name typed on the "User Info" page reaches the node; the global shortcut, Super+Shift+S,
pressed anywhere brings the main window back (from minimised, and over a conversation), while
Ctrl+Shift+S stays with the window that has the keyboard. Every step waits a bounded time."""

import time
import unittest

from desktop import App, Desktop, until
from lab import Lab
from node import Node


class AppSettingsTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(2)
        self.addCleanup(self.lab.close)
        self.desktop = Desktop(self.lab, 0)
        self.app = App(self, self.desktop, self.lab.homes[0])
        self.node = Node(self, self.lab, 1)
        app_address = self.lab.addresses[0]
        seen = self.node.wait(lambda e: e[0] == "user" and e[4] == app_address and e[2] == "0",
                              30)
        self.app_id = seen[1]

    def test_full_name_reaches_the_node_and_the_shortcut_brings_the_window_back(self):
        main = self.app.main_window()
        self.desktop.key(main, "ctrl+comma")
        settings = self.desktop.wait_window("^Settings$")
        self.desktop.click(settings, 369, 45)   # the "User Info" page of the toolbar
        time.sleep(0.5)
        self.desktop.click(settings, 290, 87)   # its full-name field
        since = self.node.mark()
        self.desktop.key(settings, "ctrl+a")
        self.desktop.tool("xdotool", "type", "--delay", "40", "Zoe Quill")
        self.desktop.key(settings, "Tab")
        self.node.wait(lambda e: e[:2] == ["user", self.app_id] and e[3] == "Zoe Quill", 15,
                       since)

        self.desktop.tool("xdotool", "windowminimize", main)
        deadline = time.monotonic() + 10
        while self.desktop.windows("^Corvaline$") and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertFalse(self.desktop.windows("^Corvaline$"), "the main window stayed shown")
        self.desktop.tool("xdotool", "key", "super+shift+s")
        self.app.main_window(timeout=10)

    def active_window(self):
        return self.desktop.tool("xdotool", "getactivewindow")

    def test_super_shift_s_brings_the_main_window_over_a_conversation_and_ctrl_shift_s_does_not(
            self):
        main = self.app.main_window()
        self.node.command("send", self.app_id, "hello application")
        conversation = self.desktop.wait_window(f"^{self.node.name} - Conversation$")
        self.desktop.activate(conversation)
        self.assertTrue(until(lambda: self.active_window() == conversation, 10),
                        "the conversation window never became active")

        # Ctrl+Shift+S between two pieces of typing: the message input gets every key in order
        # and keeps the keyboard; a grab of Ctrl+Shift+S would bring the main window forward
        # and the rest of the text would go there.
        since = self.node.mark()
        self.desktop.tool("xdotool", "type", "--delay", "40", "before")
        self.desktop.tool("xdotool", "key", "ctrl+shift+s")
        self.desktop.tool("xdotool", "type", "--delay", "40", " after")
        self.desktop.tool("xdotool", "key", "Return")
        self.node.wait(lambda e: e[0] == "message" and e[1] == self.app_id and
                       e[4] == "before after", 15, since)
        self.assertEqual(self.active_window(), conversation)

        self.desktop.tool("xdotool", "key", "super+shift+s")
        self.assertTrue(until(lambda: self.active_window() == main, 10),
                        "Super+Shift+S did not bring the main window forward")


if __name__ == "__main__":
    unittest.main()
