"""One user's journey through the real program: the footer's Zalo button, a phone number sent
with no network, the error line, and the dialog's Zalo link handed to the desktop."""
import os
import subprocess
import tempfile
import unittest

from desktop import Program, geometry, run, wait_for

WHITE, PRIMARY, RED = "#ffffff", "#0060eb", "#c81e1e"
FOOTER_HEIGHT = 37  # 9 px padding twice, one 12 px line and the top border
ZALO_LINK = "https://zalo.me/0901234567"


def screenshot(window, name):
    path = os.path.join(os.environ.get("SCREENSHOTS", tempfile.gettempdir()), f"journey-{name}.png")
    run("import", "-window", window, path)
    return path


def box_of(shot, colour, region=None):
    """The smallest box (x, y, width, height) holding every pixel of exactly `colour`, or None."""
    crop = ["-crop", "{2}x{3}+{0}+{1}".format(*region), "+repage"] if region else []
    found = subprocess.run(
        ["convert", shot, *crop, "-alpha", "off", "-fill", "black", "+opaque", colour,
         "-fill", "white", "-opaque", colour, "-format", "%@", "info:"],
        check=True, capture_output=True, text=True).stdout
    size, x, y = found.split("+")
    width, height = map(int, size.split("x"))
    if width == 0 or height == 0:
        return None
    left, top = (region[0], region[1]) if region else (0, 0)
    return left + int(x), top + int(y), width, height


def dialog_box(shot):
    """The open dialog: with the page behind it dimmed, it holds the only pure white."""
    box = box_of(shot, WHITE)
    return box if box and box[2] <= 430 else None


def centre(box):
    x, y, width, height = box
    return str(x + width // 2), str(y + height // 2)


def click(window, point):
    run("xdotool", "mousemove", "--window", window, *point, "click", "1")


@unittest.skipUnless(os.geteuid() == 0, "a private network namespace needs root")
class JourneyTest(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.opened = os.path.join(folder.name, "opened.txt")
        # A recording xdg-open first on PATH: links reach it instead of a desktop.
        bin_dir = os.path.join(folder.name, "bin")
        os.mkdir(bin_dir)
        recorder = os.path.join(bin_dir, "xdg-open")
        with open(recorder, "w") as script:
            script.write(f"#!/bin/sh\nprintf '%s\\n' \"$@\" >> '{self.opened}'\n")
        os.chmod(recorder, 0o755)
        # In a network namespace of its own the lead fails at once, and its name lookup
        # never leaves this machine. X and the recorder are reached through the file system.
        self.program = Program(env={"PATH": bin_dir + os.pathsep + os.environ["PATH"]},
                               argv_prefix=("unshare", "-n"))
        self.addCleanup(self.program.close)

    def recorded(self):
        try:
            with open(self.opened) as record:
                return record.read()
        except FileNotFoundError:
            return ""

    def test_zalo_consultation_without_network_then_the_zalo_link(self):
        window = self.program.window()
        wait_for(lambda: geometry(window) == (820, 620), 10, "820 × 620 client area")
        run("xdotool", "windowactivate", "--sync", window)

        # The catalogue is taller than the window: scroll to the end, where the footer is.
        # Found at the same place twice in a row, so that the page has stopped scrolling (on a
        # busy machine a card's button may still be passing through the footer's strip).
        footer = (410, 620 - FOOTER_HEIGHT, 410, FOOTER_HEIGHT)
        seen = []
        def footer_button():
            run("xdotool", "mousemove", "--window", window, "410", "300", "click", "--repeat", "10", "5")
            seen.append(box_of(screenshot(window, "footer"), PRIMARY, footer))
            return seen[-1] if len(seen) > 1 and seen[-1] == seen[-2] else None
        click(window, centre(wait_for(footer_button, 30, "the footer's Zalo button")))

        dialog_shot = wait_for(lambda: (lambda shot: shot if dialog_box(shot) else None)(
            screenshot(window, "dialog")), 10, "the dialog over the dimmed page")
        dialog = dialog_box(dialog_shot)
        self.assertIsNone(box_of(dialog_shot, RED, dialog), "no error line before sending")

        # The phone input has the focus (the dialog's 40 ms timer).
        run("xdotool", "type", "--delay", "20", "0912345678")
        run("xdotool", "key", "Return")

        # api.orvanta.vn cannot be resolved here: the network-failure text, in red.
        def error_shown():
            shot = screenshot(window, "error")
            box = dialog_box(shot)
            return shot if box and box_of(shot, RED, box) else None
        error_shot = wait_for(error_shown, 60, "the red error line in the dialog")
        dialog = dialog_box(error_shot)

        # "Mở Zalo ngay →" closes the dialog's last row, at its right, above 22 px of padding.
        x, y, width, height = dialog
        last_row = (x + width // 2, y + height - 22 - 24, width // 2 - 22, 24)
        link = box_of(error_shot, PRIMARY, last_row)
        self.assertIsNotNone(link, "the dialog's Zalo link")
        self.assertEqual(self.recorded(), "")
        click(window, centre(link))
        wait_for(self.recorded, 10, "the link handed to xdg-open")
        self.assertEqual(self.recorded(), ZALO_LINK + "\n")

        run("wmctrl", "-i", "-c", window)
        code, _ = self.program.wait()
        self.assertEqual(code, 0)
        self.assertEqual(self.recorded(), ZALO_LINK + "\n", "one start, with exactly the link")


if __name__ == "__main__":
    unittest.main()
