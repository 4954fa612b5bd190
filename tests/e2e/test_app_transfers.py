"""The windowed program under Xvfb against windowless nodes, all in a lab: a mass message typed
into the mass-message window reaches each node once as a mass message, files offered by a node
are taken by the item in the conversation (auto-accept on) and arrive byte for byte, and a
transfer cut by killing its sender ends failed in the application's history; an item whose
line leaves the view when the window narrows does not stay behind over other lines. Every step
waits a bounded time."""

import glob
import hashlib
import os
import sqlite3
import time
import unittest

from applab import AppWithTwoNodes
from desktop import until


def digest(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


class AppTransferTest(AppWithTwoNodes):
    def setUp(self):
        super().setUp()
        self.app.wait_store(lambda users: self.a.user_id in users and self.b.user_id in users
                            and not users[self.a.user_id][2] and not users[self.b.user_id][2],
                            30, "both nodes online")

    def transfer_states(self):
        """The states of the incoming transfers in the application's store, oldest first."""
        if not os.path.exists(self.store):
            return []
        try:
            with sqlite3.connect(f"file:{self.store}?mode=ro", uri=True) as db:
                return [row[0] for row in db.execute(
                    "SELECT transferState FROM LogEntry WHERE entity = 'FileTransfer' "
                    "AND incoming = 1 ORDER BY id")]
        except sqlite3.Error:
            return []

    def test_a_mass_message_reaches_each_node_once(self):
        since_a, since_b = self.a.mark(), self.b.mark()
        window = self.app.main_window()
        self.desktop.key(window, "ctrl+m")
        mass = self.desktop.wait_window("^Mass Message$")
        self.desktop.activate(mass)
        self.desktop.tool("xdotool", "type", "--delay", "40", "to both nodes")
        self.desktop.key(mass, "Return")
        for node, since in ((self.a, since_a), (self.b, since_b)):
            node.wait(lambda e: e[:3] == ["message", self.app_id, "1"] and e[4] == "to both nodes",
                      15, since)
        self.assertTrue(until(lambda: not self.desktop.windows("^Mass Message$"), 10))
        time.sleep(1)
        for node, since in ((self.a, since_a), (self.b, since_b)):
            got = [e for e in node.events[since:] if e and e[0] == "message"]
            self.assertEqual(len(got), 1, got)

    def test_offered_files_arrive_whole_and_a_cut_transfer_fails(self):
        files = {"one.bin": os.urandom(3 * 1000 * 1000), "Docs/two.txt": b"two\n" * 1000,
                 "Docs/sub/three.txt": b""}
        for relative, content in files.items():
            path = os.path.join(self.a.home, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as file:
                file.write(content)
        since = self.a.mark()
        self.a.command("files", self.app_id, os.path.join(self.a.home, "one.bin"),
                       os.path.join(self.a.home, "Docs"))
        done = self.a.wait(lambda e: e[0] == "transfer" and len(e) == 7
                           and e[2] in ("0", "4", "6", "7"), 60, since)
        self.assertEqual(done[2], "6", done)
        self.desktop.wait_window(f"^{self.a.name} - Conversation$")
        self.assertEqual(until(lambda: self.transfer_states() == [6], 15) and
                         self.transfer_states(), [6])
        received = glob.glob(os.path.join(self.home, "Downloads", "Corvaline", "*"))
        self.assertEqual(len(received), 1, received)
        for relative in files:
            self.assertEqual(digest(os.path.join(received[0], relative)),
                             digest(os.path.join(self.a.home, relative)), relative)

        # A long transfer from the other node, cut by killing it once bytes arrive.
        huge = os.path.join(self.b.home, "huge.bin")
        with open(huge, "wb") as file:
            file.truncate(4 << 30)  # sparse: cheap to read, long to send
        since = self.b.mark()
        self.b.command("files", self.app_id, huge)
        self.b.wait(lambda e: e[0] == "transfer" and len(e) == 7 and e[2] == "1", 20, since)
        partial = until(lambda: [p for p in glob.glob(os.path.join(
            self.home, "Downloads", "Corvaline", "*", "huge.bin*")) if os.path.getsize(p) > 0],
            30, step=0.01)
        self.assertTrue(partial)
        self.b.process.kill()
        self.b.process.wait(timeout=10)
        self.assertEqual(until(lambda: self.transfer_states() == [6, 7], 30) and
                         self.transfer_states(), [6, 7])


    def item_bar(self, window, name):
        """The colour and rows of the longest run of one bright colour in the window (the
        progress bar of a transfer item): (colour, [rows]), or None."""
        _, _, rows = self.desktop.pixels(os.path.join(self.home, name), window)
        best, colour = 0, None
        for row in rows:
            x = 0
            while x < len(row):
                end = x
                while end < len(row) and row[end] == row[x]:
                    end += 1
                if end - x > best and max(row[x]) - min(row[x]) > 60:
                    best, colour = end - x, row[x]
                x = end
        if best < 60:
            return None
        return colour, [y for y, row in enumerate(rows) if self.run_of(row, colour) >= 40]

    @staticmethod
    def run_of(row, colour):
        longest = length = 0
        for pixel in row:
            length = length + 1 if pixel == colour else 0
            longest = max(longest, length)
        return longest

    def test_a_transfer_item_whose_line_left_the_view_is_not_left_behind(self):
        words = "words that wrap again and again when the window narrows " * 5
        for number in range(4):
            self.a.command("send", self.app_id, f"{number} {words}")
        window = self.desktop.wait_window(f"^{self.a.name} - Conversation$")
        offered = os.path.join(self.a.home, "item.bin")
        with open(offered, "wb") as file:
            file.write(os.urandom(1000))
        self.a.command("files", self.app_id, offered)
        self.assertTrue(until(lambda: self.transfer_states() == [6], 30), self.transfer_states())
        self.desktop.tool("xdotool", "windowsize", window, "640", "480")
        time.sleep(1)
        bar = until(lambda: self.item_bar(window, "wide.png"), 10)
        self.assertTrue(bar, "the item is not in view at the end of the text")
        colour, rows = bar
        # Narrower: the lines above the item wrap, and the item's line leaves the view.
        self.desktop.tool("xdotool", "windowsize", window, "260", "480")
        time.sleep(1)
        _, _, pixels = self.desktop.pixels(os.path.join(self.home, "narrow.png"), window)
        stale = [y for y, row in enumerate(pixels) if self.run_of(row, colour) >= 40]
        self.assertEqual(stale, [], f"the item stayed over other lines (it was at {rows})")


if __name__ == "__main__":
    unittest.main()
