"""The real program on the current X display, driven the way a desktop user drives it."""
import os
import subprocess
import tempfile
import time

TITLE = "Orvanta Tool — Bản quyền Windows & Office"
PROGRAM = os.environ.get("ORVANTA_TOOL", "orvanta-tool")


def run(*argv, check=True):
    return subprocess.run(argv, check=check, capture_output=True, text=True).stdout


def wait_for(probe, timeout=30.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}")


def windows_of(pid, title=TITLE):
    """X windows of the process whose title is exactly `title`."""
    found = run("xdotool", "search", "--all", "--pid", str(pid), "--name", ".", check=False).split()
    return [w for w in found if run("xdotool", "getwindowname", w, check=False).strip() == title]


def geometry(window):
    info = run("xwininfo", "-id", window)
    fields = dict(line.strip().split(": ", 1) for line in info.splitlines() if ": " in line)
    return int(fields["Width"]), int(fields["Height"])


def colours(window):
    """The set of pixel colours of a window, as '#rrggbb'; empty while it is not viewable yet."""
    histogram = subprocess.run(
        ["import", "-window", window, "-depth", "8", "-format", "%c", "histogram:info:-"],
        check=False, capture_output=True, text=True).stdout
    return {part.split("#", 1)[1][:6].lower() for part in histogram.splitlines() if "#" in part}


def descendants(pid, name):
    """Processes below `pid` whose command name is `name` (as /proc cuts it, 15 bytes)."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
                with open(f"/proc/{entry}/comm") as comm:
                    parents[int(entry)] = (int(fields[1]), comm.read().strip())
            except (FileNotFoundError, ProcessLookupError, IndexError):
                pass
    def below(child):
        while child in parents:
            child = parents[child][0]
            if child == pid:
                return True
        return False
    return {child for child, (_, comm) in parents.items() if comm == name[:15] and below(child)}


class Program:
    """One start of the program with a cache folder of its own."""

    def __init__(self, env=None, argv_prefix=()):
        self.cache = tempfile.TemporaryDirectory()
        environment = dict(os.environ, XDG_CACHE_HOME=self.cache.name)
        environment.update(env or {})
        self.process = subprocess.Popen([*argv_prefix, PROGRAM], env=environment,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def window(self, title=TITLE, timeout=30.0):
        return wait_for(lambda: (windows_of(self.process.pid, title) or [None])[0], timeout, f"window {title!r}")

    def wait(self, timeout=30.0):
        try:
            _, err = self.process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise
        return self.process.returncode, err

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.communicate()
        self.cache.cleanup()
