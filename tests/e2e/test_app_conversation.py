"""The windowed program under Xvfb against windowless nodes, all in a lab: messages open
conversation windows, text typed into a window reaches the node, group chats show their members'
messages and leaves. Every step waits a bounded time."""

import os
import shutil
import sqlite3
import subprocess
import time
import unittest

from lab import Lab
from node import Node

DISPLAY = ":77"


def app_program():
    program = os.environ.get("CORVALINE_APP")
    if not program or not os.access(program, os.X_OK):
        raise unittest.SkipTest("CORVALINE_APP does not name the corvaline program")
    for tool in ("Xvfb", "openbox", "xdotool"):
        if shutil.which(tool) is None:
            raise unittest.SkipTest(f"{tool} is not installed")
    return program


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
        program = app_program()
        self.lab = Lab(3)
        self.addCleanup(self.lab.close)
        home = self.lab.homes[0]
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_RUNTIME_DIR": home,
            "LANG": "C.UTF-8",
            "DISPLAY": DISPLAY,
            "QT_QPA_PLATFORM": "xcb",
        }
        # The display lives in the application's host: its socket is not seen outside.
        self.lab.popen(0, ["Xvfb", DISPLAY, "-nolisten", "tcp", "-screen", "0", "1280x800x24"],
                       env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertTrue(until(lambda: self.x(["xdotool", "getdisplaygeometry"]), 15))
        self.lab.popen(0, ["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.lab.popen(0, [program], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.store = os.path.join(home, ".local", "share", "com.tarvelo.Corvaline",
                                  "Corvaline-v2.storedata")
        self.a = Node(self, self.lab, 1)
        self.b = Node(self, self.lab, 2)
        app_address = self.lab.addresses[0]
        seen = self.a.wait(lambda e: e[0] == "user" and e[4] == app_address and e[2] == "0", 30)
        self.app_id = seen[1]
        self.b.wait(lambda e: e[:2] == ["user", self.app_id] and e[2] == "0", 30)

    def x(self, argv):
        """The output of an X tool run in the application's host, or None when it failed."""
        done = self.lab.run(0, argv, env=self.env, capture_output=True, text=True, timeout=20)
        return done.stdout.strip() if done.returncode == 0 else None

    def window(self, title, timeout=20):
        found = until(lambda: self.x(["xdotool", "search", "--name", "^" + title + "$"]), timeout)
        self.assertTrue(found, f"no window named {title!r}")
        return found.split()[0]

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

        self.x(["xdotool", "windowactivate", "--sync", window])
        self.x(["xdotool", "type", "--delay", "60", "hi node"])
        self.a.wait(lambda e: e == ["typing", self.app_id], 15, since)
        self.x(["xdotool", "key", "Return"])
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
