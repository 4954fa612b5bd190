"""File and folder transfers between two nodes in a lab: trees arrive byte for byte with their
permissions, refusals and broken transfers end in the right states, and a hostile sender writes
nothing outside the download folder."""

import glob
import os
import subprocess
import time
import unittest

from lab import Lab
from node import Node

FINAL = {"0", "4", "6", "7"}

TREE = {
    "Tree/a.txt": (b"hello\n" * 1000, 0o640),
    "Tree/empty": (b"", 0o644),
    "Tree/sub/deeper/big.bin": (None, 0o755),  # 50 MB of random bytes
    "Tree/sub/run.sh": (b"#!/bin/sh\necho hi\n", 0o755),
}


def transfer_event(n=None, state=None, from_id=None):
    return lambda e: (e[0] == "transfer" and len(e) == 7 and (n is None or e[1] == n)
                      and (state is None or e[2] in state) and (from_id is None or e[3] == from_id))


class FilesTest(unittest.TestCase):
    def setUp(self):
        self.lab = Lab(2)
        self.addCleanup(self.lab.close)

    def start(self, receiver_defaults=(), receiver_wrapper=()):
        a = Node(self, self.lab, 0)
        b = Node(self, self.lab, 1, defaults=receiver_defaults, wrapper=receiver_wrapper)
        a.wait_user(b, "0")
        b.wait_user(a, "0")
        return a, b

    def send(self, a, b, verb, paths):
        """Starts a transfer on a; answers its number there and the mark of b's events."""
        since_a, since_b = a.mark(), b.mark()
        a.command(verb, b.user_id, *paths)
        answer = a.wait(lambda e: e[0] in ("transfer", "error") and len(e) == 2, 10, since_a)
        self.assertEqual(answer[0], "transfer", answer)
        return answer[1], since_a, since_b

    def test_a_folder_tree_arrives_whole_with_its_permissions_encrypted_or_not(self):
        a, b = self.start()
        for relative, (content, mode) in TREE.items():
            path = os.path.join(a.home, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as file:
                file.write(content if content is not None else os.urandom(50 * 1000 * 1000))
            os.chmod(path, mode)
        folders = []
        for verb in ("files", "plainfiles"):
            n, since_a, since_b = self.send(a, b, verb, [os.path.join(a.home, "Tree")])
            sent = a.wait(transfer_event(n, FINAL), 60, since_a)
            got = b.wait(transfer_event(None, FINAL, a.user_id), 60, since_b)
            self.assertEqual(sent[2], "6", sent)
            self.assertEqual(got[2], "6", got)
            self.assertEqual(got[4:6], [str(len(TREE)), sent[5]])
            folder = got[6]
            folders.append(folder)
            received = sorted(os.path.relpath(p, folder)
                              for p in glob.glob(os.path.join(folder, "**"), recursive=True)
                              if os.path.isfile(p))
            self.assertEqual(received, sorted(TREE))
            for relative, (_, mode) in TREE.items():
                with open(os.path.join(a.home, relative), "rb") as original, \
                        open(os.path.join(folder, relative), "rb") as copy:
                    self.assertTrue(original.read() == copy.read(), relative)
                self.assertEqual(os.stat(os.path.join(folder, relative)).st_mode & 0o7777, mode,
                                 relative)
        self.assertEqual(folders[1], folders[0] + " (2)")
        self.assertTrue(folders[0].startswith(os.path.join(b.home, "Downloads", "Corvaline", "")))

    def test_a_refusal_ends_both_sides_in_zero(self):
        a, b = self.start([("fileTransferAutoAccept", "false")])
        path = os.path.join(a.home, "note.txt")
        with open(path, "w") as file:
            file.write("not wanted")
        n, since_a, since_b = self.send(a, b, "files", [path])
        waiting = b.wait(transfer_event(None, {"5"}, a.user_id), 15, since_b)
        self.assertEqual(waiting[4:6], ["1", "10"])
        b.command("transfer", waiting[1], "0")
        self.assertEqual(a.wait(transfer_event(n, FINAL), 15, since_a)[2], "0")
        self.assertEqual(b.wait(transfer_event(waiting[1], FINAL), 15, since_b)[2], "0")
        self.assertFalse(os.path.exists(waiting[6]))  # made only for an accepted file

    def test_a_receiver_killed_mid_transfer_leaves_the_sender_failed_and_no_complete_file(self):
        a, b = self.start()
        path = os.path.join(a.home, "huge.bin")
        with open(path, "wb") as file:
            file.truncate(4 << 30)  # sparse: cheap to read, long to send
        n, since_a, since_b = self.send(a, b, "files", [path])
        running = b.wait(transfer_event(None, {"1"}, a.user_id), 15, since_b)
        folder = running[6]
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            partial = glob.glob(os.path.join(folder, "huge.bin.partial*"))
            if partial and os.path.getsize(partial[0]) > 0:
                break
            time.sleep(0.002)
        b.process.kill()
        b.process.wait(timeout=10)
        self.assertEqual(a.wait(transfer_event(n, FINAL), 30, since_a)[2], "7")
        self.assertFalse(os.path.exists(os.path.join(folder, "huge.bin")))
        self.assertEqual([os.path.basename(p) for p in glob.glob(os.path.join(folder, "*"))],
                         ["huge.bin.partial"])
        self.assertLess(os.path.getsize(os.path.join(folder, "huge.bin.partial")), 4 << 30)

    def test_a_hostile_sender_writes_nothing_outside_the_download_folder(self):
        client = os.environ.get("CORVALINE_TRANSFER_CLIENT")
        if not client or not os.access(client, os.X_OK):
            raise unittest.SkipTest("CORVALINE_TRANSFER_CLIENT does not name the test client")
        a, b = self.start()
        cases = [
            # FILES-NUMBER, FILES-TOTALSIZE, FILE-PATH, FILE-NAME, FILE-SIZE -> what comes back
            ("1", "5", "..", "evil-up", "5", ["decision 1", "answer 4"]),
            ("1", "5", "..\\..\\..\\..\\tmp", "evil-far", "5", ["decision 1", "answer 4"]),
            ("1", "5", "\\tmp", "evil-root", "5", ["decision 1", "answer 4"]),
            ("1", "5", "/tmp", "evil-abs", "5", ["decision 1", "answer 4"]),
            ("1", "5", "", "../evil-name", "5", ["decision 1", "answer 4"]),
            ("1", "5", "", "/tmp/evil-absname", "5", ["decision 1", "answer 4"]),
            ("1", "5", "ok", "sub\\evil-sep", "5", ["decision 1", "answer 4"]),
            ("1", "5", "", "..", "5", ["decision 1", "answer 4"]),
            ("1", "5", "", "evil-size", "-5", ["decision 1", "answer 4"]),
            ("1", "5", "", "evil-big", "1000000000", ["decision 1", "answer 4"]),
            ("-1", "5", "", "evil-count", "5", ["decision 0"]),
            ("99999999999999999999", "5", "", "evil-many", "5", ["decision 0"]),
            ("1", "lots", "", "evil-total", "5", ["decision 0"]),
            ("1", "5", "ok\\deeper", "fine.txt", "5", ["decision 1", "answer 1"]),
        ]
        for count, total, file_path, name, size, expected in cases:
            result = self.lab.run(0, [client, b.address, count, total, file_path, name, size],
                                  capture_output=True, text=True, timeout=30)
            self.assertEqual(result.stdout.split("\n")[:-1], expected, (name, result.stderr))
        # The fine file is stored and named on its transfer's own queue after the last byte
        # arrives, so its end is awaited before the folder is looked at.
        b.wait(transfer_event(state={"6", "7"}), 15)
        downloads = os.path.join(b.home, "Downloads", "Corvaline")
        written = [os.path.relpath(p, b.home) for p in glob.glob(os.path.join(b.home, "**"),
                                                                 recursive=True)
                   if os.path.isfile(p) and "evil" in os.path.basename(p)]
        self.assertEqual(written, [])
        self.assertEqual(glob.glob("/tmp/evil*"), [])
        self.assertEqual(glob.glob(os.path.join(os.path.dirname(b.home), "evil*")), [])
        fine = glob.glob(os.path.join(downloads, "*", "ok", "deeper", "fine.txt"))
        self.assertEqual(len(fine), 1, fine)
        with open(fine[0], "rb") as file:
            self.assertEqual(file.read(), b"evil!")
        # Each hostile header was refused on its own transfer, which ended in 4.
        refused = [e for e in b.events if e and transfer_event(state={"4"})(e)]
        self.assertEqual(len(refused), 10)

    def test_a_receiver_whose_disk_fills_up_fails_and_so_does_the_sender(self):
        # The download folder of the receiver is a small file system in a mount namespace of
        # its own; the file fits into the connection's buffers but not onto that disk, so the
        # sender has handed over its last chunk when the receiver fails.
        downloads = os.path.join(self.lab.homes[1], "Downloads")
        os.makedirs(downloads)
        wrapper = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                   'mount -t tmpfs -o size=2m tmpfs "$0" && exec "$@"', downloads]
        a, b = self.start([("fileTransferPath", f'"{downloads}"')], wrapper)
        path = os.path.join(a.home, "big.bin")
        with open(path, "wb") as file:
            file.write(os.urandom(3 * 1000 * 1000))
        for _ in range(3):
            n, since_a, since_b = self.send(a, b, "files", [path])
            got = b.wait(transfer_event(None, FINAL, a.user_id), 60, since_b)
            sent = a.wait(transfer_event(n, FINAL), 60, since_a)
            self.assertEqual(got[2], "7", got)
            self.assertEqual(sent[2], "7", sent)


if __name__ == "__main__":
    unittest.main()
