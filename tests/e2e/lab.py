"""A small network of test hosts: a bridge and N hosts, each a network namespace of its own
with a veth link to the bridge and an address of a private range. Nothing reaches the
machine's own network. Names are unique per run; everything is removed on every exit path."""

import atexit
import os
import queue
import secrets
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

SUBNET = "10.231.77"
NETNS_ETC = "/etc/netns"


def _ip(*args, check=True):
    return subprocess.run(["ip", *args], check=check, capture_output=True, text=True)


def require_root():
    if os.geteuid() != 0 or shutil.which("ip") is None:
        raise unittest.SkipTest("the test network needs root and iproute2 (network namespaces)")


class Lab:
    def __init__(self, hosts):
        require_root()
        self.tag = f"cvl{os.getpid() % 100000}{secrets.token_hex(2)}"
        self.hub = f"{self.tag}-hub"
        self.hosts = [f"{self.tag}-h{i}" for i in range(hosts)]
        self.addresses = [f"{SUBNET}.{i + 10}" for i in range(hosts)]
        self.broadcast = f"{SUBNET}.255"
        self.homes = []
        self.processes = []
        self._made = []
        self._etc = []
        atexit.register(self.close)
        try:
            self._build()
        except Exception:
            self.close()
            raise

    def _build(self):
        _ip("netns", "add", self.hub)
        self._made.append(self.hub)
        _ip("-n", self.hub, "link", "add", "br0", "type", "bridge")
        _ip("-n", self.hub, "link", "set", "br0", "up")
        for index, (host, address) in enumerate(zip(self.hosts, self.addresses)):
            _ip("netns", "add", host)
            self._made.append(host)
            outer = f"v{index}"
            _ip("-n", self.hub, "link", "add", outer, "type", "veth", "peer", "name", "eth0",
                "netns", host)
            _ip("-n", self.hub, "link", "set", outer, "master", "br0", "up")
            _ip("-n", host, "addr", "add", f"{address}/24", "brd", "+", "dev", "eth0")
            _ip("-n", host, "link", "set", "eth0", "up")
            _ip("-n", host, "link", "set", "lo", "up")
            self._give_machine_id(host)
            home = tempfile.mkdtemp(prefix=f"{host}-home-")
            self.homes.append(home)

    def _give_machine_id(self, host):
        """Each host is a machine of its own: `ip netns exec` shows /etc/netns/<host>/machine-id
        as /etc/machine-id there, so programs that derive an identity from it differ."""
        folder = os.path.join(NETNS_ETC, host)
        os.makedirs(folder, exist_ok=True)
        self._etc.append(folder)
        with open(os.path.join(folder, "machine-id"), "w") as file:
            file.write(secrets.token_hex(16) + "\n")

    def command(self, host_index, argv):
        """argv run inside host `host_index`."""
        return ["ip", "netns", "exec", self.hosts[host_index], *argv]

    def run(self, host_index, argv, **kwargs):
        return subprocess.run(self.command(host_index, argv), **kwargs)

    def popen(self, host_index, argv, env=None, **kwargs):
        process = subprocess.Popen(self.command(host_index, argv), env=env, **kwargs)
        self.processes.append(process)
        return process

    def pin_neighbours(self):
        """Gives every host a permanent neighbour entry for every other one. The kernel's
        neighbour table is shared by all namespaces and capped (net.ipv4.neigh.default.
        gc_thresh3), so a lab of more than about 30 hosts otherwise loses packets while it
        resolves addresses; permanent entries do not count against the cap."""
        macs = []
        for host in self.hosts:
            words = _ip("-n", host, "-o", "link", "show", "eth0").stdout.split()
            macs.append(words[words.index("link/ether") + 1])
        for host, own in zip(self.hosts, self.addresses):
            lines = "".join(f"neigh replace {address} lladdr {mac} dev eth0 nud permanent\n"
                            for address, mac in zip(self.addresses, macs) if address != own)
            subprocess.run(["ip", "-n", host, "-batch", "-"], input=lines, text=True,
                           check=True, capture_output=True)

    def link(self, host_index, up):
        """Takes a host's network link down or up, as a pulled cable would."""
        _ip("-n", self.hub, "link", "set", f"v{host_index}", "up" if up else "down")

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    pass
        self.processes = []
        for name in reversed(self._made):
            _ip("netns", "del", name, check=False)
        self._made = []
        for folder in self._etc:
            shutil.rmtree(folder, ignore_errors=True)
        if self._etc and os.path.isdir(NETNS_ETC) and not os.listdir(NETNS_ETC):
            os.rmdir(NETNS_ETC)
        self._etc = []
        for home in self.homes:
            shutil.rmtree(home, ignore_errors=True)
        self.homes = []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def _close_on_signal(signum, frame):
    raise SystemExit(128 + signum)


signal.signal(signal.SIGTERM, _close_on_signal)


class LineReader:
    """Collects the lines a process writes, on a thread, for tests that wait for them."""

    def __init__(self, stream):
        self.lines = queue.Queue()
        self.seen = []
        self._thread = threading.Thread(target=self._pump, args=(stream,), daemon=True)
        self._thread.start()

    def _pump(self, stream):
        for line in stream:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def wait_for(self, predicate, timeout):
        """The first line (also among those seen before) for which predicate holds, or None."""
        for line in self.seen:
            if predicate(line):
                return line
        deadline = time.monotonic() + timeout
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return None
            try:
                line = self.lines.get(timeout=remaining)
            except queue.Empty:
                return None
            if line is None:
                return None
            self.seen.append(line)
            if predicate(line):
                return line
