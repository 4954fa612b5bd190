"""A store written by a newer version of the program is kept aside, and the user is told where."""

import os
import sqlite3
import unittest

from lab import Lab
from node import Node


class StoreTest(unittest.TestCase):
    def test_a_newer_store_is_moved_aside_with_an_error_naming_where(self):
        lab = Lab(1)
        self.addCleanup(lab.close)
        first = Node(self, lab, 0)
        self.assertEqual(first.quit(), 0)
        folder = os.path.join(first.home, ".local", "share", "com.tarvelo.Corvaline")
        store = os.path.join(folder, "Corvaline-v2.storedata")
        with sqlite3.connect(store) as database:
            database.execute("PRAGMA user_version = 999")
        database.close()

        second = Node(self, lab, 0)
        errors = [e for e in second.events if e and e[0] == "error"]
        self.assertEqual(len(errors), 1, second.events)
        aside = [name for name in os.listdir(folder)
                 if name.startswith("Corvaline-v2.storedata.") and not name.endswith("-wal")]
        self.assertEqual(len(aside), 1, os.listdir(folder))
        self.assertIn(os.path.join(folder, aside[0]), errors[0][1])
        with sqlite3.connect(os.path.join(folder, aside[0])) as kept:
            self.assertEqual(kept.execute("PRAGMA user_version").fetchone()[0], 999)
        kept.close()
        # The same identity goes on in a new store.
        self.assertEqual(second.user_id, first.user_id)
        self.assertEqual(second.quit(), 0)


if __name__ == "__main__":
    unittest.main()
