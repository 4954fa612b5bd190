"""Load test (run by hand, not by ctest: it takes minutes): many messages from eight nodes sending
at once to one node. Every message must be answered with a receipt and stored once in the
receiver's history. A sender that gets no receipt marks the receiver offline and keeps the
message for relay, so an unanswered request shows as a relay record or an offline report on
the sender's side.

    sudo CORVALINE_NODE=build/src/node/corvaline-node python3 tests/e2e/load_messages.py
         [MESSAGES [IN_FLIGHT]]

MESSAGES (default 50000) are spread evenly over the senders; each sender has at most IN_FLIGHT
(default 16) messages that the receiver has not reported yet, so the receiver always has
about SENDERS x IN_FLIGHT connections coming at it. The receiver takes at most 32 requests
at once from one address (more are refused by design), so IN_FLIGHT stays below that.
"""

import os
import sys
import threading
import time
import unittest

from lab import Lab
from node import Node
from test_relay import held_copies

SENDERS = 8
# A sender that gets no receipt finds out at the latest when its read times out.
REPLY_TIMEOUT = 10
# Trace lines that tell why an exchange failed, on either side.
WHY = ("offline because", "cannot be extracted", "too many", "hold too many")


def traced(home):
    """A wrapper that runs the node with its trace on, written to a file in its home."""
    script = f'CORVALINE_TRACE=1 exec "$0" "$@" 2>>{os.path.join(home, "trace.log")}'
    return ("sh", "-c", script)


def failures_traced(node):
    try:
        with open(os.path.join(node.home, "trace.log"), errors="replace") as trace:
            return [line.strip() for line in trace if any(why in line for why in WHY)]
    except FileNotFoundError:
        return []


class Progress:
    """How many messages of each sender the receiver reported, for the sending threads."""

    def __init__(self, total):
        self.total = total
        self.counts = {}
        self.seen = 0
        self.changed = threading.Condition()

    def count(self, event):
        """A predicate for Node.wait: counts each message event, true at the last one."""
        if event[0] != "message":
            return False
        with self.changed:
            self.counts[event[1]] = self.counts.get(event[1], 0) + 1
            self.seen += 1
            self.changed.notify_all()
            return self.seen >= self.total

    def wait_below(self, sender, sent, limit, deadline):
        with self.changed:
            while sent - self.counts.get(sender, 0) >= limit:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise AssertionError(f"sender {sender}: no progress, {sent} sent")
                self.changed.wait(remaining)


class LoadMessages(unittest.TestCase):
    def runTest(self):
        arguments = [a for a in sys.argv[1:] if not a.startswith("-")]
        total = int(arguments[0]) if arguments else 50000
        in_flight = int(arguments[1]) if len(arguments) > 1 else 16
        each = total // SENDERS
        total = each * SENDERS

        lab = Lab(SENDERS + 1)
        self.addCleanup(lab.close)
        receiver = Node(self, lab, 0, wrapper=traced(lab.homes[0]))
        senders = [Node(self, lab, i + 1, wrapper=traced(lab.homes[i + 1]))
                   for i in range(SENDERS)]
        for sender in senders:
            sender.wait_user(receiver, "0")
            receiver.wait_user(sender, "0", timeout=30)
        marks = [sender.mark() for sender in senders]

        progress = Progress(total)
        start = time.monotonic()
        deadline = start + max(600, total / 20)
        failures = []

        def send_all(sender):
            try:
                for i in range(each):
                    progress.wait_below(sender.user_id, i, in_flight, deadline)
                    sender.command("send", receiver.user_id, f"load {sender.user_id} {i}")
            except AssertionError as error:
                failures.append(str(error))

        threads = [threading.Thread(target=send_all, args=(s,), daemon=True) for s in senders]
        for thread in threads:
            thread.start()
        try:
            receiver.wait(progress.count, deadline - time.monotonic())
        finally:
            for thread in threads:
                thread.join(timeout=5)
        seconds = time.monotonic() - start
        self.assertEqual(failures, [])

        # A receipt that never came is seen once the read on its connection timed out.
        time.sleep(REPLY_TIMEOUT + 2)
        for node in (receiver, *senders):
            for line in failures_traced(node):
                print(f"\nnode {node.user_id}: {line}")
        for sender, mark in zip(senders, marks):
            offline = [e for e in sender.events[mark:]
                       if e and e[0] == "user" and e[1] == receiver.user_id and e[2] != "0"]
            self.assertEqual(offline, [], f"sender {sender.user_id} lost the receiver")
            self.assertEqual(held_copies(sender), 0,
                             f"sender {sender.user_id} holds messages that had no receipt")

        for sender in senders:
            history = receiver.request("history", sender.user_id, timeout=120)
            texts = [entry[6] for entry in history if entry[2] == "1"]
            self.assertEqual(sorted(texts),
                             sorted(f"load {sender.user_id} {i}" for i in range(each)),
                             f"history of sender {sender.user_id}")
        print(f"\n{total} messages from {SENDERS} senders ({in_flight} in flight each):"
              f" all receipted and stored once, in {seconds:.1f} s"
              f" ({total / seconds:.0f} messages/s)")


if __name__ == "__main__":
    result = unittest.TextTestRunner(verbosity=2).run(LoadMessages())
    sys.exit(0 if result.wasSuccessful() else 1)
