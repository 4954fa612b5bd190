"""Ending and starting the windowed program as a desktop does: with a group chat's window open,
Quit from the menu, SIGTERM and a second plain start each end the running copy in order ("UO"
reaches the nodes, the process exits in time; the second copy then announces itself), and the
desktop entry's own command brings a running copy forward instead of ending it."""

import configparser
import os
import shlex
import signal
import time
import unittest

from applab import AppWithTwoNodes
from desktop import App, Desktop, until
from lab import Lab

DESKTOP_ENTRY = os.path.join(os.path.dirname(__file__), "..", "..", "data",
                             "com.tarvelo.Corvaline.desktop")
OFFLINE, AVAILABLE = "10", "0"


class QuitWithAGroupChatOpenTest(AppWithTwoNodes):
    def setUp(self):
        super().setUp()
        since = self.a.mark()
        self.a.command("chat", f"{self.app_id},{self.b.user_id}")
        room = self.a.wait(lambda e: e[0] == "chat", 10, since)[1]
        self.a.command("chat-send", room, "everybody stays a while")
        names = sorted([self.a.name, self.b.name])
        self.desktop.wait_window("^(" + "|".join(f"{n}, {m}" for n, m in (names, names[::-1])) +
                                 ") - Conversation$")

    def assert_ends_in_order(self, process, since, started):
        """The app's "UO" reaches a node and its process ends, both within 10 s of `started`."""
        self.a.wait(lambda e: e[:2] == ["user", self.app_id] and e[2] == OFFLINE,
                    10 - (time.monotonic() - started), since)
        remaining = max(0.1, 10 - (time.monotonic() - started))
        self.assertEqual(process.wait(timeout=remaining), 0, self.app.tail())

    def test_quit_from_the_menu(self):
        window = self.app.main_window()
        since, started = self.a.mark(), time.monotonic()
        self.desktop.key(window, "ctrl+q")
        self.assert_ends_in_order(self.app.process, since, started)

    def test_sigterm(self):
        since, started = self.a.mark(), time.monotonic()
        self.app.process.send_signal(signal.SIGTERM)
        self.assert_ends_in_order(self.app.process, since, started)

    def test_a_second_plain_start_takes_over(self):
        since, started = self.a.mark(), time.monotonic()
        second = App(self, self.desktop, self.home)
        self.assert_ends_in_order(self.app.process, since, started)
        # The new copy may announce itself while the old one is still ending: it is the first
        # "available" after the "UO", whenever it came.
        gone = False

        def back(event):
            nonlocal gone
            if event[:2] == ["user", self.app_id]:
                gone = gone or event[2] == OFFLINE
                return gone and event[2] == AVAILABLE
            return False

        self.a.wait(back, 30, since)
        second.main_window()
        self.assertIsNone(second.process.poll(), second.tail())


def desktop_entry_command():
    """The Exec line of the project's desktop entry, split, without field codes."""
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(DESKTOP_ENTRY)
    argv = shlex.split(entry["Desktop Entry"]["Exec"])
    return [arg for arg in argv if not (len(arg) == 2 and arg.startswith("%"))]


class DesktopEntryTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(1)
        self.addCleanup(self.lab.close)
        self.desktop = Desktop(self.lab, 0)

    def active_window(self):
        return self.desktop.tool("xdotool", "getactivewindow")

    def test_the_desktop_entry_brings_a_running_copy_forward(self):
        running = App(self, self.desktop, self.lab.homes[0])
        main = running.main_window()
        self.desktop.key(main, "ctrl+comma")
        settings = self.desktop.wait_window("^Settings$")
        self.desktop.tool("xdotool", "windowminimize", main)
        self.desktop.activate(settings)
        self.assertTrue(until(lambda: self.active_window() == settings, 10))

        argv = desktop_entry_command()
        self.assertEqual(argv[0], "corvaline")
        program = os.environ.get("CORVALINE_APP")
        env = dict(running.env, PATH=os.path.dirname(program) + os.pathsep + running.env["PATH"])
        launched = self.lab.popen(0, argv, env=env)
        self.assertEqual(launched.wait(timeout=20), 0)
        self.assertTrue(until(lambda: self.active_window() == main, 10),
                        f"active: {self.active_window()}, main window: {main}")
        self.assertIn(main, self.desktop.windows("^Corvaline$"))
        self.assertIsNone(running.process.poll(), running.tail())


if __name__ == "__main__":
    unittest.main()
