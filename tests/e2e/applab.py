"""The application under Xvfb on the first host of a three-host lab, with a windowless node on
each of the other two; every test starts once both nodes see the application online."""

import json
import os
import unittest

from desktop import STORE, App, Desktop
from lab import Lab
from node import Node


class AppWithTwoNodes(unittest.TestCase):
    # Settings the application finds stored when it starts (key -> JSON value).
    app_defaults = {}

    def setUp(self):
        self.lab = Lab(3)
        self.addCleanup(self.lab.close)
        self.desktop = Desktop(self.lab, 0)
        self.home = self.lab.homes[0]
        if self.app_defaults:
            folder = os.path.join(self.home, ".config", "com.tarvelo.Corvaline")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "defaults.json"), "w") as stored:
                json.dump(self.app_defaults, stored)
        self.app = App(self, self.desktop, self.home)
        self.store = os.path.join(self.home, STORE)
        self.a = Node(self, self.lab, 1)
        self.b = Node(self, self.lab, 2)
        app_address = self.lab.addresses[0]
        seen = self.a.wait(lambda e: e[0] == "user" and e[4] == app_address and e[2] == "0", 30)
        self.app_id = seen[1]
        self.b.wait(lambda e: e[:2] == ["user", self.app_id] and e[2] == "0", 30)
