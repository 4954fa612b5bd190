"""Benchmark (not run by ctest): the windowed application under a crowd, beside a node.

The application runs under Xvfb in one lab host, a windowless node in a second and
corvaline-presence-crowd with N users behind one address in a third; the crowd announces all
its users at once, so the application and the node receive the same burst in the same run.
The application's main-thread probe (CORVALINE_MAIN_PROBE) reports every 50 ms how many online
users its main list shows and the longest time its event loop was kept from a 5 ms heartbeat.

Prints the time until the application's list and the node's roster hold all N online, the
main thread's longest stall, the CPU both spent on the burst, their idle CPU afterwards (the
probe has stopped by then) and their resident memory.

    sudo CORVALINE_APP=build/src/app/corvaline CORVALINE_NODE=build/src/node/corvaline-node \\
         CORVALINE_PRESENCE_CROWD=build/tests/e2e/corvaline-presence-crowd \\
         python3 tests/e2e/bench_app_crowd.py [--crowd 5000] [--cycle 120] [--perf FILE]

With --perf the application's samples over the burst, with their call stacks, go to FILE (read
them with perf report -i FILE).
"""

import argparse
import os
import signal
import subprocess
import time
import unittest

from bench_scale import Roster, cpu_seconds, run_bench, udp_drops, wait_until
from desktop import App, Desktop, program
from lab import Lab, LineReader
from node import Node

DEADLINE = 10       # the goal: all online within this, and within 2 x the node's time
STALL_GOAL_MS = 100
PROBE_SECONDS = 90  # the probe's heartbeat ends before the idle measurement


def memory_mib(pid):
    """Resident memory and its anonymous part (heap and stacks, no program files) in MiB."""
    fields = {}
    with open(f"/proc/{pid}/status") as file:
        for line in file:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "RssAnon"):
                fields[key] = int(value.split()[0]) / 1024
    return fields["VmRSS"], fields["RssAnon"]


class Probe:
    """The lines the application's probe wrote: steady-clock time, online users, the longest
    stall in ms with its time on a CPU and waiting for one, the most CPU between two beats."""

    def __init__(self, path):
        self.path = path

    def lines(self):
        try:
            with open(self.path) as file:
                rows = [line.split() for line in file]
        except FileNotFoundError:
            return []
        return [(float(r[0]), int(r[1]), *map(float, r[2:])) for r in rows if len(r) == 6]

    def online(self):
        rows = self.lines()
        return rows[-1][1] if rows else 0

    def first_with(self, count):
        """When the list first showed `count` online users, or None."""
        return next((line[0] for line in self.lines() if line[1] >= count), None)

    def between(self, since, until):
        return [line for line in self.lines() if since <= line[0] <= until]


class Bench(unittest.TestCase):
    options = None

    def runTest(self):
        count = self.options.crowd
        crowd_program = program("CORVALINE_PRESENCE_CROWD", "crowd program")
        lab = Lab(3)
        self.addCleanup(lab.close)
        lab.pin_neighbours()
        desktop = Desktop(lab, 0)
        probe = Probe(os.path.join(lab.homes[0], "probe.txt"))
        app = App(self, desktop, lab.homes[0],
                  environment={"CORVALINE_MAIN_PROBE": probe.path,
                               "CORVALINE_MAIN_PROBE_SECONDS": str(PROBE_SECONDS)})
        started = time.monotonic()
        app.main_window(30)
        node = Node(self, lab, 1)
        node.wait(lambda e: e[0] == "user" and e[4] == lab.addresses[0] and e[2] == "0", 30)
        self.assertIsNotNone(wait_until(lambda: probe.online() >= 1, 30),
                             "the application's probe wrote nothing: " + app.tail())
        # Before the burst the list shows the node (and the local user) online already.
        time.sleep(1)
        baseline = probe.online()
        roster = Roster(node)
        ids = [f"B5{i:08d}" for i in range(count)]
        lifetime = PROBE_SECONDS + self.options.cycle + 60
        crowd = lab.popen(2, [crowd_program, str(count), lab.broadcast, str(lifetime)],
                          stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(crowd.stdout.close)
        lines = LineReader(crowd.stdout)
        self.assertEqual(lines.wait_for(lambda line: line == "ready", 10), "ready")
        pids = {"application": app.process.pid, "node": node.process.pid}
        profile = None
        if self.options.perf:
            profile = subprocess.Popen(["perf", "record", "-e", "cpu-clock", "-F", "250",
                                        "--call-graph", "dwarf,16384", "-q", "-o",
                                        self.options.perf, "-p", str(app.process.pid)])
            self.addCleanup(profile.wait, 30)
            time.sleep(1)
        cpu_before = {who: cpu_seconds(pid) for who, pid in pids.items()}
        memory_before = {who: memory_mib(pid) for who, pid in pids.items()}
        burst = time.monotonic()

        limit = 6 * DEADLINE
        node_took = wait_until(lambda: roster.online(ids) == count, limit)
        app_done = wait_until(lambda: probe.online() >= baseline + count, limit)
        reached = probe.first_with(baseline + count)
        app_took = reached - burst if reached is not None else None
        # The follow-up requests of the burst are done DEADLINE s after it at the latest.
        time.sleep(max(0.0, burst + DEADLINE - time.monotonic()))
        settled = time.monotonic()
        if profile:
            profile.send_signal(signal.SIGINT)
        cpu_burst = {who: cpu_seconds(pid) - cpu_before[who] for who, pid in pids.items()}
        window = probe.between(burst, settled)
        stall = max(window, key=lambda line: line[2], default=(burst, 0, 0, 0, 0, 0))
        busy = max(window, key=lambda line: line[5], default=(burst, 0, 0, 0, 0, 0))
        print(f"\n{count} simulated users announcing at once, N = {count}:")
        print("  node: all online in its roster "
              + (f"after {node_took:.2f} s" if node_took is not None
                 else f"NOT within {limit} s ({count - roster.online(ids)} missing)"))
        goal = min(DEADLINE, 2 * node_took) if node_took is not None else DEADLINE
        print("  application: all online in the main list "
              + (f"after {app_took:.2f} s" if app_took is not None and app_done is not None
                 else f"NOT within {limit} s ({baseline + count - probe.online()} missing)")
              + f" (goal: within {goal:.2f} s: 2 x the node's, at most {DEADLINE} s)")
        print(f"  application's main thread: longest stall {stall[2]:.0f} ms"
              f" ({stall[0] - burst:.1f} s after the burst; {stall[3]:.0f} ms of it on a CPU,"
              f" {stall[4]:.0f} ms waiting for one, the rest blocked), longest busy stretch"
              f" {busy[5]:.0f} ms of CPU ({busy[0] - burst:.1f} s after it)"
              f" (goal: <= {STALL_GOAL_MS} ms)")
        over = [line for line in window if max(line[2], line[5]) > STALL_GOAL_MS]
        if over:
            print("    over the goal (s after the burst: stall, on a CPU, waiting, busy ms): "
                  + "; ".join(f"{line[0] - burst:.2f}: " + ", ".join(
                      f"{value:.0f}" for value in line[2:]) for line in over))
        print(f"  CPU over the {settled - burst:.1f} s from the burst: "
              + ", ".join(f"{who} {seconds:.2f} s" for who, seconds in cpu_burst.items()))
        print(f"  datagrams dropped: application {udp_drops(lab, 0)}, node {udp_drops(lab, 1)}")

        idle_from = max(settled, started + PROBE_SECONDS + 1)
        time.sleep(max(0.0, idle_from - time.monotonic()))
        before = {who: cpu_seconds(pid) for who, pid in pids.items()}
        time.sleep(self.options.cycle)
        shares = {who: 100 * (cpu_seconds(pid) - before[who]) / self.options.cycle
                  for who, pid in pids.items()}
        memory = {who: memory_mib(pid) for who, pid in pids.items()}
        print(f"  idle CPU over {self.options.cycle} s: "
              + ", ".join(f"{who} {share:.2f} %" for who, share in shares.items())
              + " of a core (goal for the application: < 0.5 %)")
        for index, what in enumerate(("resident memory", "of it anonymous (heap)")):
            before = {who: values[index] for who, values in memory_before.items()}
            after = {who: values[index] for who, values in memory.items()}
            grown = {who: after[who] - before[who] for who in after}
            print(f"  {what} before -> after: "
                  + ", ".join(f"{who} {before[who]:.1f} -> {after[who]:.1f} MiB"
                              for who in after)
                  + f"; application / node: {after['application'] / after['node']:.2f} x,"
                  f" grown by {grown['application'] / max(grown['node'], 0.1):.2f} x"
                  " (goal: <= 1.5 x)")
        print(f"  online at the end: application {probe.online() - baseline} of {count}, "
              f"node {roster.online(ids)} of {count}")
        crowd.stdin.close()
        print("  crowd:", lines.wait_for(lambda line: line.startswith("answered"), 10))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--crowd", type=int, default=5000, help="simulated users")
    parser.add_argument("--cycle", type=int, default=120,
                        help="seconds of idle measurement after the burst")
    parser.add_argument("--perf", help="record the application's samples over the burst here")
    run_bench(Bench, parser)


if __name__ == "__main__":
    main()
