"""The window as a user meets it: its title and sizes, the painted page, and closing it."""
import os
import subprocess
import tempfile
import unittest

from desktop import Program, colours, geometry, run, wait_for, windows_of

WHITE, BACKGROUND = "ffffff", "eef2f5"


class WindowTest(unittest.TestCase):
    def start(self, **kwargs):
        program = Program(**kwargs)
        self.addCleanup(program.close)
        return program

    def test_opens_at_its_size_paints_the_page_and_holds_its_minimum(self):
        program = self.start()
        window = program.window()
        wait_for(lambda: geometry(window) == (820, 620), 10, "820 × 620 client area")
        # The page has painted: the top bar's white and the page's background both show.
        wait_for(lambda: {WHITE, BACKGROUND} <= colours(window), 30, "the painted page")

        run("xdotool", "windowsize", window, "300", "300")
        wait_for(lambda: geometry(window) == (500, 480), 10, "the 500 × 480 minimum")
        run("xdotool", "windowsize", window, "1000", "700")
        wait_for(lambda: geometry(window) == (1000, 700), 10, "a free resize above the minimum")

    def test_closing_the_way_a_desktop_does_exits_with_zero(self):
        for close in (lambda w: run("wmctrl", "-i", "-c", w),
                      lambda w: run("xdotool", "windowactivate", "--sync", w, "key", "--clearmodifiers", "alt+F4")):
            program = self.start()
            window = program.window()
            wait_for(lambda: {WHITE, BACKGROUND} <= colours(window), 30, "the painted page")
            close(window)
            code, _ = program.wait()
            self.assertEqual(code, 0)

    def test_two_starts_open_two_independent_windows(self):
        first, second = self.start(), self.start()
        first_window, second_window = first.window(), second.window()
        self.assertNotEqual(first_window, second_window)
        run("wmctrl", "-i", "-c", first_window)
        self.assertEqual(first.wait()[0], 0)
        self.assertIsNone(second.process.poll())
        self.assertEqual(windows_of(second.process.pid), [second_window])

    def test_without_a_display_it_fails_at_once_and_says_why(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        with tempfile.TemporaryDirectory() as cache:
            env["XDG_CACHE_HOME"] = cache
            result = subprocess.run([os.environ["ORVANTA_TOOL"]], env=env, capture_output=True, text=True, timeout=30)
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("Không tạo được cửa sổ ứng dụng: ", result.stderr)
            self.assertEqual(os.listdir(cache), [], "nothing is made before the window exists")

    @unittest.skipUnless(os.geteuid() == 0, "hiding the engine's helpers needs a private mount namespace")
    def test_an_engine_that_cannot_start_is_reported_in_an_error_box(self):
        helpers = run("pkg-config", "--variable=libdir", "webkitgtk-6.0").strip() + "/webkitgtk-6.0"
        empty = tempfile.TemporaryDirectory()
        self.addCleanup(empty.cleanup)
        program = self.start(argv_prefix=("unshare", "-m", "sh", "-c",
                                          f'mount --bind "{empty.name}" "{helpers}" && exec "$0"'))
        box = program.window(title="Orvanta Tool")
        wait_for(lambda: len(colours(box)) > 2, 30, "the error box painted")
        # The theme's full-colour error icon, inside the box: nothing else in it is red.
        def red(colour):
            r, g, b = (int(colour[i:i + 2], 16) for i in (0, 2, 4))
            return r >= 0xb0 and g <= 0x50 and b <= 0x50
        wait_for(lambda: any(red(c) for c in colours(box)), 10, "the error icon in the box")
        run("import", "-window", box, os.path.join(os.environ.get("SCREENSHOTS", tempfile.gettempdir()),
                                                    "engine-error-box.png"))
        run("xdotool", "windowactivate", "--sync", box, "key", "Return")
        code, err = program.wait()
        self.assertNotEqual(code, 0)
        self.assertIn("WebKitGTK init error: WebKitGTK error: ", err)
        self.assertIn("WebKitWebProcess", err)


if __name__ == "__main__":
    unittest.main()
