"""The web process ends under the running program, as a crash or the out-of-memory killer
would end it: the page comes back, and a web process that cannot live ends the program."""
import os
import signal
import time
import unittest

from desktop import Program, colours, run, wait_for, descendants
from journey_test import PRIMARY, box_of, centre, click, dialog_box, screenshot

WHITE, BACKGROUND = "ffffff", "eef2f5"
WEB_PROCESS = "WebKitWebProcess"


def pid_socket(pid):
    """What the socket named by a web process's last argument is, or None once it is closed."""
    try:
        with open(f"/proc/{pid}/cmdline") as cmdline:
            number = cmdline.read().rstrip("\0").split("\0")[-1]
        return os.readlink(f"/proc/{pid}/fd/{number}")
    except OSError:
        return None


def kill_all(pids):
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


class WebProcessTest(unittest.TestCase):
    def setUp(self):
        self.program = Program()
        self.addCleanup(self.program.close)
        self.window = self.program.window()
        wait_for(lambda: {WHITE, BACKGROUND} <= colours(self.window), 30, "the painted page")

    def web_processes(self):
        return descendants(self.program.process.pid, WEB_PROCESS)

    def test_the_page_comes_back_in_a_new_web_process_and_answers_clicks(self):
        killed = wait_for(self.web_processes, 10, "the page's web process")
        kill_all(killed)
        wait_for(lambda: self.web_processes() - killed, 15, "a new web process")

        # The first card's "Mua / Tư vấn" button: the only primary blue in the right half of
        # the first card, below the filter row.
        def first_card_button():
            return box_of(screenshot(self.window, "reloaded"), PRIMARY, (205, 250, 205, 150))
        click(self.window, centre(wait_for(first_card_button, 15, "the reloaded catalogue")))
        wait_for(lambda: dialog_box(screenshot(self.window, "reloaded-dialog")), 10, "the dialog over the dimmed page")
        self.assertIsNone(self.program.process.poll(), "the program still runs")

        run("wmctrl", "-i", "-c", self.window)
        code, _ = self.program.wait()
        self.assertEqual(code, 0)

    def test_a_web_process_that_dies_again_before_the_page_loads_ends_in_the_error_box(self):
        # Every web process is killed once it has told WebKit its pid, the first thing it does:
        # it then closes the socket named by its last argument (or the number is taken again).
        # Killed before that, it would take the whole program down with it: WebKit ends the
        # process with a fatal error, which no program can answer.
        loaded = wait_for(self.web_processes, 10, "the page's web process")
        sockets = {pid: None for pid in loaded}  # long past it: their page has painted
        deadline = time.monotonic() + 15
        box = []
        while not box and time.monotonic() < deadline:
            for pid in self.web_processes():
                now = pid_socket(pid)
                if now is None or now != sockets.setdefault(pid, now):
                    kill_all([pid])
            box = [w for w in run("xdotool", "search", "--all", "--pid", str(self.program.process.pid),
                                  "--name", "^Orvanta Tool$", check=False).split()]
            time.sleep(0.002)
        self.assertTrue(box, "the error box")
        wait_for(lambda: len(colours(box[0])) > 2, 30, "the error box painted")
        run("xdotool", "windowactivate", "--sync", box[0], "key", "Return")
        code, err = self.program.wait()
        self.assertNotEqual(code, 0)
        self.assertIn("WebKitGTK init error: WebKitGTK error: the web process ended before the page loaded", err)


if __name__ == "__main__":
    unittest.main()
