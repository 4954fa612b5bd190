"""Benchmark (not run by ctest): a 1 GiB file sent between two nodes in a lab, encrypted and
unencrypted, beside a plain TCP copy of the same file over the same link (tcp_copy_bench: read
and write in pieces of the transfer's chunk size, the copy written to disk like the node's) and
beside the rate of one AES-256-CBC chain on this machine, which bounds the encrypted stream.

    sudo CORVALINE_NODE=build-bench/src/node/corvaline-node \\
         CORVALINE_AES_BENCH=build-bench/bench/aes_chain_bench \\
         CORVALINE_TCP_COPY=build-bench/bench/tcp_copy_bench \\
         python3 tests/e2e/bench_files.py [MiB [ROUNDS]]
"""

import os
import shutil
import subprocess
import sys
import time
import unittest

from lab import Lab
from node import Node

PORT = 47003

def rate(size, seconds):
    return size / seconds / 1e6


def main_thread_seconds(node):
    """CPU time (user + system) of the node's main thread, from /proc/PID/task/PID/stat."""
    pid = node.process.pid
    with open(f"/proc/{pid}/task/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the line, 12 and 13 after the command name.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main_thread_wakes(node):
    """How often the node's main thread went to sleep and was woken again."""
    pid = node.process.pid
    with open(f"/proc/{pid}/task/{pid}/status") as status:
        return sum(int(line.split()[1]) for line in status
                   if line.startswith("voluntary_ctxt_switches"))


def plain_copy(lab, copier, source, target_host, target_file):
    receiver = lab.popen(1, [copier, "receive", str(PORT), target_file], stdout=subprocess.PIPE,
                         text=True)
    assert receiver.stdout.readline().strip() == "ready"
    start = time.monotonic()
    lab.run(0, [copier, "send", target_host, str(PORT), source], check=True, timeout=300)
    received = int(receiver.stdout.readline())
    seconds = time.monotonic() - start
    receiver.wait(timeout=10)
    return received, seconds


def node_transfer(a, b, verb, path):
    """The folder the file arrived in, the seconds it took, the share of those seconds the
    sender's and the receiver's main threads were busy, and their CPU seconds and wake-ups
    (which a busy machine does not dilute)."""
    since_a, since_b = a.mark(), b.mark()
    busy = [main_thread_seconds(a), main_thread_seconds(b)]
    wakes = [main_thread_wakes(a), main_thread_wakes(b)]
    start = time.monotonic()
    a.command(verb, b.user_id, path)
    done = b.wait(lambda e: e[0] == "transfer" and len(e) == 7 and e[3] == a.user_id
                  and e[2] in ("0", "4", "6", "7"), 600, since_b)
    seconds = time.monotonic() - start
    cpu = [main_thread_seconds(node) - before for node, before in zip((a, b), busy)]
    busy = [used / seconds for used in cpu]
    wakes = [main_thread_wakes(node) - before for node, before in zip((a, b), wakes)]
    if done[2] != "6":
        raise AssertionError(f"transfer ended in state {done[2]}")
    a.wait(lambda e: e[0] == "transfer" and len(e) == 7 and e[2] == "6", 60, since_a)
    return done[6], seconds, busy, cpu, wakes


class Bench(unittest.TestCase):
    def runTest(self):
        mib = int(sys.argv[1]) if len(sys.argv) > 1 else 1024
        rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 2
        size = mib << 20
        aes = None
        if os.environ.get("CORVALINE_AES_BENCH"):
            out = subprocess.run([os.environ["CORVALINE_AES_BENCH"], str(mib)],
                                 capture_output=True, text=True, check=True)
            aes = float(out.stdout.split()[3])
        copier = os.environ.get("CORVALINE_TCP_COPY", "")
        if not os.access(copier, os.X_OK):
            self.skipTest("CORVALINE_TCP_COPY does not name tcp_copy_bench")
        lab = Lab(2)
        self.addCleanup(lab.close)
        a, b = Node(self, lab, 0), Node(self, lab, 1)
        a.wait_user(b, "0")
        b.wait_user(a, "0")
        source = os.path.join(a.home, "payload.bin")
        with open(source, "wb") as file:
            for _ in range(mib // 64):
                file.write(os.urandom(64 << 20))
            file.write(os.urandom((mib % 64) << 20))
        subprocess.run(["sync"], check=True)

        # Rounds interleave the three kinds so that a busy machine hurts them alike; the best
        # round of each counts.
        best = {"tcp": 0.0, "files": 0.0, "plainfiles": 0.0}
        busiest = {"files": [0.0, 0.0], "plainfiles": [0.0, 0.0]}
        most_cpu = {"files": [0.0, 0.0], "plainfiles": [0.0, 0.0]}
        most_wakes = {"files": [0, 0], "plainfiles": [0, 0]}
        for _ in range(rounds):
            copy = os.path.join(b.home, "copy.bin")
            received, tcp_seconds = plain_copy(lab, copier, source, lab.addresses[1], copy)
            self.assertEqual(received, size)
            os.remove(copy)
            best["tcp"] = max(best["tcp"], rate(size, tcp_seconds))
            for verb in ("files", "plainfiles"):
                folder, seconds, busy, cpu, wakes = node_transfer(a, b, verb, source)
                busiest[verb] = [max(pair) for pair in zip(busiest[verb], busy)]
                most_cpu[verb] = [max(pair) for pair in zip(most_cpu[verb], cpu)]
                most_wakes[verb] = [max(pair) for pair in zip(most_wakes[verb], wakes)]
                self.assertEqual(os.path.getsize(os.path.join(folder, "payload.bin")), size)
                shutil.rmtree(folder)
                best[verb] = max(best[verb], rate(size, seconds))
        tcp = best["tcp"]
        results = best

        print(f"\nfile of {mib} MiB between two namespaces over a veth bridge, best of {rounds}")
        print(f"plain TCP copy (read -> write):      {tcp:9.1f} MB/s")
        if aes:
            print(f"one AES-256-CBC chain (this CPU):    {aes:9.1f} MB/s")
        for verb, label in (("files", "node transfer, encrypted:   "),
                            ("plainfiles", "node transfer, unencrypted: ")):
            line = f"{label}        {results[verb]:9.1f} MB/s   {results[verb] / tcp:5.2f} x TCP"
            if aes and verb == "files":
                line += f"   {results[verb] / aes:5.2f} x AES chain"
            print(line)
            sender, receiver = busiest[verb]
            print(f"    main threads busy (most of any round): sender {sender:6.1%}, "
                  f"receiver {receiver:6.1%}")
            sender, receiver = most_cpu[verb]
            print(f"    main threads' CPU (most of any round):  sender {sender:6.2f} s, "
                  f"receiver {receiver:6.2f} s")
            sender, receiver = most_wakes[verb]
            print(f"    main threads' wake-ups (most of any round): sender {sender}, "
                  f"receiver {receiver}")


if __name__ == "__main__":
    unittest.TextTestRunner(verbosity=0).run(Bench())
