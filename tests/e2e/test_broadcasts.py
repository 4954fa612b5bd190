"""A broadcast target of the subnet kind reaches the neighbours on that subnet."""

import json
import subprocess
import unittest

from lab import SUBNET, Lab
from node import Node


def stored_number(address):
    """The stored form of an address: its bytes in network order read as a little-endian word."""
    return sum(int(part) << (8 * i) for i, part in enumerate(address.split(".")))


class SubnetTargetTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(2)
        self.addCleanup(self.lab.close)

    def only_the_subnet_entry_reaches_out(self, host):
        """The host keeps its address but loses its interface broadcast: a /32 address, the
        subnet on the link, and the subnet's broadcast address known to the kernel. Only a
        target that names that broadcast address reaches anybody."""
        name, address = self.lab.hosts[host], self.lab.addresses[host]
        for args in (["addr", "flush", "dev", "eth0"],
                     ["addr", "add", f"{address}/32", "dev", "eth0"],
                     ["route", "add", f"{SUBNET}.0/24", "dev", "eth0", "src", address],
                     ["route", "add", "broadcast", self.lab.broadcast, "dev", "eth0", "table",
                      "local", "scope", "link", "src", address]):
            subprocess.run(["ip", "-n", name, *args], check=True, capture_output=True)

    def test_a_neighbour_hears_an_announcement_sent_to_a_subnet_entry(self):
        neighbour = Node(self, self.lab, 1)
        # The neighbour announced itself before the other was there: only the other's own
        # announcement, through the subnet entry, can bring the two together.
        self.only_the_subnet_entry_reaches_out(0)
        entry = {"look": f"{SUBNET}.0/255.255.255.0", "type": "2",
                 "value1": str(stored_number(f"{SUBNET}.0")),
                 "value2": str(stored_number("255.255.255.0"))}
        node = Node(self, self.lab, 0, defaults=[("broadcasts", json.dumps([entry]))])
        neighbour.wait_user(node, "0", 15)
        node.wait_user(neighbour, "0", 15)


if __name__ == "__main__":
    unittest.main()
