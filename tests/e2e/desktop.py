"""The windowed application in a lab host: an Xvfb display with openbox inside the host's
network namespace, the app started on it with a HOME of its own, and xdotool and ImageMagick
to drive it and take pictures. Every process is a lab process, so it ends with the lab."""

import os
import select
import shutil
import sqlite3
import subprocess
import time
import unittest


STORE = os.path.join(".local", "share", "com.tarvelo.Corvaline", "Corvaline-v2.storedata")


def program(variable, what):
    path = os.environ.get(variable)
    if not path or not os.access(path, os.X_OK):
        raise unittest.SkipTest(f"{variable} does not name the {what}")
    return path


def until(predicate, timeout, step=0.2):
    """The first true value of predicate within timeout seconds, else None."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


def require_desktop_tools():
    for tool in ("Xvfb", "openbox", "xdotool", "import"):
        if shutil.which(tool) is None:
            raise unittest.SkipTest(f"{tool} is not installed (scripts/setup installs it)")


def home_environment(home, display):
    runtime = os.path.join(home, "run")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    return {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "HOME": home,
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
        "XDG_RUNTIME_DIR": runtime,
        "LANG": "C.UTF-8",
        "LC_ALL": "en_US.UTF-8",
        "DISPLAY": display,
        "QT_QPA_PLATFORM": "xcb",
        "CORVALINE_TRACE": os.environ.get("CORVALINE_TRACE", "0"),
        # Read only by a sanitizer build. The leak scan at exit would hold the single-instance
        # lock for seconds (the unit tests look for leaks); the quarantine is kept small.
        "ASAN_OPTIONS": "detect_leaks=0:quarantine_size_mb=16",
    }


def fill_store(lab, host, *users, me=None):
    """Writes groups and users ("GROUP/USERID/NAME/STATE") into the store of the host's HOME,
    inside the host (whose machine decides the local user's id)."""
    home = lab.homes[host]
    argv = [program("CORVALINE_FILL_STORE", "corvaline-fill-store program")]
    if me:
        argv += ["--me", me]
    env = {"PATH": os.environ.get("PATH", ""), "HOME": home,
           "XDG_CONFIG_HOME": os.path.join(home, ".config"),
           "XDG_DATA_HOME": os.path.join(home, ".local", "share"), "LANG": "C.UTF-8"}
    lab.run(host, argv + list(users), env=env, check=True, timeout=30)


def stored_users(home):
    """userId -> (name, status, offline, removed, group name) as the store of `home` has them."""
    uri = "file:" + os.path.join(home, STORE) + "?mode=ro"
    with sqlite3.connect(uri, uri=True, timeout=5) as db:
        columns = [row[1] for row in db.execute('PRAGMA table_info("TreeItem")')]
        group = "group" if "group" in columns else None
        names = {row[0]: row[1] for row in db.execute(
            'SELECT id, name FROM "TreeItem" WHERE entity = \'Group\'')}
        query = ('SELECT userId, name, status, userOffline, removed' +
                 (', "group"' if group else ', NULL') +
                 ' FROM "TreeItem" WHERE userId IS NOT NULL')
        return {row[0]: (row[1], row[2], bool(row[3]), bool(row[4]), names.get(row[5]))
                for row in db.execute(query)}


class Desktop:
    """Xvfb and openbox in lab host `host`; `display` is the X display name."""

    def __init__(self, lab, host, size="900x700"):
        require_desktop_tools()
        self.lab, self.host = lab, host
        # Xvfb picks a free display itself and writes its number to the pipe: several test runs
        # on one machine (each in namespaces of its own) share /tmp/.X11-unix.
        read_end, write_end = os.pipe()
        env = {"PATH": os.environ.get("PATH", ""), "HOME": lab.homes[host]}
        try:
            lab.popen(host, ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{size}x24",
                             "-nolisten", "tcp", "-noreset"], env=env, pass_fds=(write_end,),
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = -1
            number = self._read_display(read_end, 15)
        finally:
            if write_end >= 0:
                os.close(write_end)
            os.close(read_end)
        self.display = f":{number}"
        self.env = {**env, "DISPLAY": self.display}
        lab.popen(host, ["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                  stderr=subprocess.DEVNULL)
        time.sleep(0.5)

    @staticmethod
    def _read_display(fd, timeout):
        text = b""
        deadline = time.monotonic() + timeout
        while not text.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([fd], [], [], remaining)[0]:
                raise AssertionError(f"Xvfb did not come up within {timeout} s")
            chunk = os.read(fd, 16)
            if not chunk:
                raise AssertionError("Xvfb ended before it chose a display")
            text += chunk
        return int(text)

    def tool(self, *argv, timeout=15):
        result = self.lab.run(self.host, list(argv), env=self.env, capture_output=True,
                              text=True, timeout=timeout)
        return result.stdout.strip()

    def windows(self, name):
        found = self.tool("xdotool", "search", "--onlyvisible", "--name", name)
        return [w for w in found.split() if w]

    def wait_window(self, name, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.windows(name)
            if found:
                return found[0]
            time.sleep(0.2)
        raise AssertionError(f"no window named {name!r} within {timeout} s")

    def activate(self, window):
        self.tool("xdotool", "windowactivate", window)
        time.sleep(0.3)

    def key(self, window, *keys):
        self.activate(window)
        self.tool("xdotool", "key", "--clearmodifiers", *keys)

    def click(self, window, x, y, button=1):
        self.activate(window)
        self.tool("xdotool", "mousemove", "--window", window, str(x), str(y), "click",
                  str(button))

    def picture(self, path, window="root"):
        self.tool("import", "-window", window, path, timeout=30)

    def pixels(self, path, window="root"):
        """A picture of the window, kept at path: (width, height, rows of (r, g, b))."""
        self.picture(path, window)
        ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True,
                             check=True, timeout=30).stdout
        fields, at = [], 0
        while len(fields) < 4:  # "P6", width, height, the largest value, each after spaces
            while ppm[at:at + 1].isspace():
                at += 1
            start = at
            while not ppm[at:at + 1].isspace():
                at += 1
            fields.append(ppm[start:at])
        width, height = int(fields[1]), int(fields[2])
        data = ppm[at + 1:]
        rows = [[tuple(data[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
                for y in range(height)]
        return width, height, rows


class App:
    """One copy of the application in the desktop's host, with its own HOME."""

    def __init__(self, test, desktop, home, args=(), environment=None):
        self.desktop, self.home = desktop, home
        self.env = {**home_environment(home, desktop.display), **(environment or {})}
        argv = [program("CORVALINE_APP", "corvaline program"), *args]
        self.log = os.path.join(home, "app.log")
        with open(self.log, "a") as log:
            self.process = desktop.lab.popen(desktop.host, argv, env=self.env,
                                             stdout=log, stderr=subprocess.STDOUT)
        if test is not None:
            test.addCleanup(self.close)

    def tail(self, size=4000):
        """The end of the copy's output, for a failure's message."""
        with open(self.log, errors="replace") as log:
            return log.read()[-size:]

    def main_window(self, timeout=20):
        return self.desktop.wait_window("^Corvaline$", timeout)

    def users(self):
        return stored_users(self.home)

    def wait_store(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        last = None
        while time.monotonic() < deadline:
            try:
                last = self.users()
                if predicate(last):
                    return last
            except sqlite3.Error:
                pass
            time.sleep(0.2)
        raise AssertionError(f"the app's store never showed {what}; last: {last}")

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
