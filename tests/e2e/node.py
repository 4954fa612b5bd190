"""A driver for corvaline-node: starts a node in a lab host with a HOME of its own, sends
commands and waits for events. Lines are TAB-separated fields with \\t, \\n and \\\\ escaped."""

import os
import shutil
import subprocess
import threading
import time
import unittest

ESCAPES = {"t": "\t", "n": "\n", "\\": "\\"}


def format_line(fields):
    return "\t".join(f.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
                     for f in fields)


def parse_line(line):
    fields, field, i = [], [], 0
    while i < len(line):
        c = line[i]
        if c == "\t":
            fields.append("".join(field))
            field = []
        elif c == "\\" and i + 1 < len(line) and line[i + 1] in ESCAPES:
            i += 1
            field.append(ESCAPES[line[i]])
        else:
            field.append(c)
        i += 1
    fields.append("".join(field))
    return fields


def node_program():
    program = os.environ.get("CORVALINE_NODE")
    if not program or not os.access(program, os.X_OK):
        raise unittest.SkipTest("CORVALINE_NODE does not name the corvaline-node program")
    return program


class Node:
    """One running node. Events are kept in order; waits look at events from a mark on.
    `wrapper` is a command line the node program and its arguments are appended to."""

    def __init__(self, test, lab, host, home=None, defaults=(), wrapper=()):
        self.lab, self.host = lab, host
        self.home = home or lab.homes[host]
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "LANG": "C.UTF-8",
            # Read only by a sanitizer build: a small quarantine keeps memory figures meaningful.
            "ASAN_OPTIONS": "quarantine_size_mb=16",
        }
        argv = [*wrapper, node_program()]
        for key, value in defaults:
            argv += ["--default", f"{key}={value}"]
        self.process = lab.popen(host, argv, env=env, stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, text=True, encoding="utf-8",
                                 errors="replace", bufsize=1)
        test.addCleanup(self.close)
        self.events = []
        self._changed = threading.Condition()
        self._thread = threading.Thread(target=self._pump, daemon=True)
        self._thread.start()
        ready = self.wait(lambda e: e[0] == "ready", 15)
        self.user_id, self.session, self.name = ready[1], ready[2], ready[3]
        self.address = lab.addresses[host]

    def _pump(self):
        for line in self.process.stdout:
            with self._changed:
                self.events.append(parse_line(line.rstrip("\n")))
                self._changed.notify_all()
        with self._changed:
            self.events.append(None)
            self._changed.notify_all()

    def mark(self):
        with self._changed:
            return len(self.events)

    def command(self, *fields):
        self.process.stdin.write(format_line(fields) + "\n")
        self.process.stdin.flush()

    def wait(self, predicate, timeout, since=0):
        """The first event from `since` on that satisfies predicate; fails after timeout."""
        deadline = time.monotonic() + timeout
        index = since
        with self._changed:
            while True:
                while index < len(self.events):
                    event = self.events[index]
                    index += 1
                    if event is None:
                        raise AssertionError(f"node on host {self.host} ended: {self.events}")
                    if predicate(event):
                        return event
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise AssertionError(
                        f"no such event from node on host {self.host} within {timeout} s; "
                        f"events: {self.events[since:][-20:]}")
                self._changed.wait(remaining)

    def request(self, *fields, timeout=10):
        """Sends a command answered by lines and "end"; answers those lines."""
        since = self.mark()
        self.command(*fields)
        self.wait(lambda e: e[0] == "end", timeout, since)
        with self._changed:
            answer = self.events[since:]
        return [e for e in answer[:answer.index(["end"])] if e[0] in ("user", "entry")]

    def wait_user(self, other, status, timeout=15, since=0, name=None):
        """Waits until this node reports `other` (a Node) with that status (and name)."""
        return self.wait(lambda e: e[0] == "user" and e[1] == other.user_id and e[2] == status
                         and (name is None or e[3] == name), timeout, since)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=5)
        self._thread.join(timeout=5)
        self.process.stdin.close()
        self.process.stdout.close()

    def quit(self, timeout=10):
        self.command("quit")
        self.process.stdin.close()
        return self.process.wait(timeout=timeout)

    def copy_home(self, folder):
        """A copy of this node's HOME, the store taken consistently while the node runs."""
        import sqlite3
        shutil.copytree(self.home, folder, dirs_exist_ok=True,
                        ignore=shutil.ignore_patterns("*.storedata*"))
        store = os.path.join(self.home, ".local", "share", "com.tarvelo.Corvaline",
                             "Corvaline-v2.storedata")
        target = os.path.join(folder, ".local", "share", "com.tarvelo.Corvaline",
                              "Corvaline-v2.storedata")
        os.makedirs(os.path.dirname(target), exist_ok=True)
        source = sqlite3.connect(store)
        copy = sqlite3.connect(target)
        source.backup(copy)
        source.close()
        return copy


def start_nodes(test, lab, count):
    """One node on each of the first `count` hosts, returned once each sees all others online."""
    nodes = [Node(test, lab, i) for i in range(count)]
    for node in nodes:
        for other in nodes:
            if other is not node:
                node.wait_user(other, "0")
    return nodes
