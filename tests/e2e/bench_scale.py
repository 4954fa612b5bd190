"""Benchmark (not run by ctest): presence at scale, in a lab of network namespaces.

Nodes mode (default): N nodes on one bridge, each host with permanent neighbour entries for
the others. Prints the time from the last start until every roster holds every other node
online, then the CPU each node spends idle over one refresh cycle and its resident memory.

Crowd mode (--crowd): one node, and on a second host corvaline-presence-crowd with N users
behind one address, all announcing at once. Prints when every user is online in the node's
roster, how many were still missing 10 s after the burst (lost announcements wait for the
next refresh), and the node's idle CPU and memory afterwards.

    sudo CORVALINE_NODE=build/src/node/corvaline-node \\
         CORVALINE_PRESENCE_CROWD=build/tests/e2e/corvaline-presence-crowd \\
         python3 tests/e2e/bench_scale.py [--nodes 100] [--crowd 1000] [--cycle 360]
"""

import argparse
import os
import subprocess
import sys
import time
import unittest

from lab import Lab, LineReader
from node import Node

REFRESH_CYCLE = 360
DEADLINE = 10
TICKS = os.sysconf("SC_CLK_TCK")


class Roster:
    """The statuses one node has reported, read from its events as they come. Used by the
    benchmark's thread only."""

    def __init__(self, node):
        self.node = node
        self.status = {}
        self._next = 0

    def update(self):
        with self.node._changed:
            events = self.node.events[self._next:]
            self._next = len(self.node.events)
        for event in events:
            if event is not None and event[0] == "user":
                self.status[event[1]] = event[2]

    def online(self, ids):
        self.update()
        return sum(1 for user_id in ids if self.status.get(user_id) == "0")

    def known(self, ids):
        self.update()
        return sum(1 for user_id in ids if user_id in self.status)


def udp_drops(lab, host):
    """Datagrams the kernel dropped on the host's presence port (19771), receive buffer full."""
    table = lab.run(host, ["cat", "/proc/net/udp"], capture_output=True, text=True).stdout
    return sum(int(line.split()[-1]) for line in table.splitlines()[1:]
               if line.split()[1].endswith(":4D3B"))


def receive_buffer(lab, host):
    """The receive buffer of the host's presence socket in bytes, as the kernel reports it."""
    table = lab.run(host, ["ss", "-uamnH", "sport", "=", ":19771"], capture_output=True,
                    text=True).stdout
    sizes = [word.split(",rb", 1)[1].split(",", 1)[0] for word in table.split()
             if word.startswith("skmem:")]
    return int(sizes[0]) if sizes else 0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime and stime


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as file:
        for line in file:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def wait_until(condition, limit, step=0.1):
    """Seconds until condition() held, or None when it did not within limit."""
    start = time.monotonic()
    while True:
        if condition():
            return time.monotonic() - start
        if time.monotonic() - start > limit:
            return None
        time.sleep(step)


def idle_figures(pids, cycle, since):
    """Per process: share of one core over the cycle (per cent) and resident memory (KiB).
    The cycle starts no earlier than DEADLINE s after `since`, once the follow-up requests
    of the starts are done."""
    time.sleep(max(0.0, since + DEADLINE - time.monotonic()))
    before = [cpu_seconds(pid) for pid in pids]
    time.sleep(cycle)
    after = [cpu_seconds(pid) for pid in pids]
    shares = [100 * (b - a) / cycle for a, b in zip(before, after)]
    return shares, [resident_kib(pid) for pid in pids]


def describe(values, unit):
    return (f"mean {sum(values) / len(values):.2f} {unit}, max {max(values):.2f} {unit}"
            if values else "none")


class Bench(unittest.TestCase):
    options = None

    def runTest(self):
        if self.options.crowd:
            self.crowd(self.options.crowd)
        else:
            self.nodes(self.options.nodes)

    def nodes(self, count):
        lab = Lab(count)
        self.addCleanup(lab.close)
        lab.pin_neighbours()
        nodes = []
        for host in range(count):
            nodes.append(Node(self, lab, host))
        last_start = time.monotonic()
        rosters = [Roster(node) for node in nodes]
        ids = [node.user_id for node in nodes]

        def complete():
            return all(roster.online(ids) == count - 1 for roster in rosters)

        took = wait_until(complete, max(60, count))
        missing = sum(count - 1 - roster.online(ids) for roster in rosters)
        print(f"\n{count} nodes: every roster complete "
              + (f"{took:.2f} s after the last start" if took is not None
                 else f"NOT within {max(60, count)} s ({missing} entries missing)")
              + f" (goal: {DEADLINE} s)")
        shares, memory = idle_figures([node.process.pid for node in nodes], self.options.cycle,
                                       last_start)
        print(f"idle CPU per node over {self.options.cycle} s: {describe(shares, '%')} of a core"
              " (goal: < 0.5 %)")
        print(f"resident memory per node: {describe([m / 1024 for m in memory], 'MiB')}")
        missing = sum(count - 1 - roster.online(ids) for roster in rosters)
        print(f"roster entries not online at the end: {missing}")

    def crowd(self, count):
        program = os.environ.get("CORVALINE_PRESENCE_CROWD")
        if not program or not os.access(program, os.X_OK):
            raise unittest.SkipTest("CORVALINE_PRESENCE_CROWD does not name the crowd program")
        lab = Lab(2)
        self.addCleanup(lab.close)
        lab.pin_neighbours()
        node = Node(self, lab, 0)
        roster = Roster(node)
        ids = [f"B5{i:08d}" for i in range(count)]
        lifetime = 2 * DEADLINE + self.options.cycle + 30
        crowd = lab.popen(1, [program, str(count), lab.broadcast, str(lifetime)],
                          stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(crowd.stdout.close)
        lines = LineReader(crowd.stdout)
        self.assertEqual(lines.wait_for(lambda line: line == "ready", 10), "ready")
        burst = time.monotonic()
        took = wait_until(lambda: roster.online(ids) == count, DEADLINE)
        seen = roster.online(ids)
        print(f"\n{count} simulated users announcing at once: "
              + (f"all online in the roster after {took:.2f} s" if took is not None
                 else f"{count - seen} not online after {DEADLINE} s")
              + f" (goal: all within {DEADLINE} s)")
        if took is None:
            later = wait_until(lambda: roster.online(ids) == count, DEADLINE)
            print(f"  still missing after {2 * DEADLINE} s: {count - roster.online(ids)}"
                  f" ({count - roster.known(ids)} never seen)"
                  + (f"; the last came {DEADLINE + later:.2f} s after the burst"
                     if later is not None else ""))
        print(f"  datagrams the node's presence socket dropped: {udp_drops(lab, 0)}"
              f" (receive buffer {receive_buffer(lab, 0)} bytes)")
        shares, memory = idle_figures([node.process.pid], self.options.cycle, burst)
        print(f"node's idle CPU over {self.options.cycle} s from {DEADLINE} s after the burst: "
              f"{shares[0]:.2f} % of a core (goal: < 1 %); "
              f"resident memory {memory[0] / 1024:.1f} MiB")
        print(f"online at the end of the cycle: {roster.online(ids)} of {count}; "
              f"dropped datagrams in all: {udp_drops(lab, 0)}")
        crowd.stdin.close()
        print("crowd:", lines.wait_for(lambda line: line.startswith("answered"), 10))


def run_bench(bench, parser):
    """Runs the benchmark case with the command line's options; exits with its outcome."""
    bench.options = parser.parse_args()
    result = unittest.TextTestRunner(verbosity=0).run(bench())
    sys.exit(0 if result.wasSuccessful() else 1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--nodes", type=int, default=100, help="nodes in the lab")
    parser.add_argument("--crowd", type=int, default=0,
                        help="simulated users behind one address instead of nodes")
    parser.add_argument("--cycle", type=int, default=REFRESH_CYCLE,
                        help="seconds of idle measurement (one refresh cycle is 360)")
    run_bench(Bench, parser)


if __name__ == "__main__":
    main()
