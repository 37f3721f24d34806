"""trelko as a user meets it: the folder, the prompt, the error dialog, closing."""
import os
import shutil
import signal
import time
import unittest

from harness import SLOW, ProgramTest, program

PROMPT = "Press any key to continue"


class Trelko(ProgramTest):
    def test_first_run_makes_folder_shows_prompt_and_ends_on_a_key(self):
        p = self.start("trelko")
        wid, w, h = self.wait_window("Untitled", p)
        self.assertEqual((w, h), (640, 400))
        self.wait_path(os.path.join(self.drive_c, "TRELKO"))
        self.wait_text_cells(wid, 25, PROMPT, p)
        # Nothing else on the screen.
        self.assertEqual(self.lit_cells(wid, 24), [False] * 80)
        # Waiting for the key costs almost no CPU.
        before = self.cpu_seconds(p.pid)
        time.sleep(2)
        used = self.cpu_seconds(p.pid) - before
        self.assertLess(used, 0.2 * SLOW, "CPU seconds used in 2 s of waiting")
        self.assertIsNone(p.poll())
        self.key(wid, "space")
        self.assertEqual(self.wait_exit(p), 0)

    def test_second_run_yes_continues_with_end(self):
        os.mkdir(os.path.join(self.drive_c, "trelko"))  # any spelling counts
        p = self.start("trelko")
        box, _, _ = self.wait_window("Unhandled Error #75", p)
        self.key(box, "Return")
        wid, _, _ = self.wait_window("Untitled", p)
        self.wait_text_cells(wid, 25, PROMPT, p)
        self.key(wid, "a")
        self.assertEqual(self.wait_exit(p), 0)
        self.assertEqual(sorted(os.listdir(self.drive_c)), ["trelko"])

    def test_second_run_no_ends_at_once(self):
        os.mkdir(os.path.join(self.drive_c, "TRELKO"))
        p = self.start("trelko")
        box, _, _ = self.wait_window("Unhandled Error #75", p)
        self.key(box, "Escape")
        self.assertEqual(self.wait_exit(p, timeout=5), 0)

    def test_close_button_during_end_ends_with_0(self):
        p = self.start("trelko")
        wid, _, _ = self.wait_window("Untitled", p)
        self.wait_text_cells(wid, 25, PROMPT, p)
        self.close_window(wid)
        self.assertEqual(self.wait_exit(p, timeout=5), 0)

    def test_sigterm_during_end_ends_with_0(self):
        p = self.start("trelko")
        wid, _, _ = self.wait_window("Untitled", p)
        self.wait_text_cells(wid, 25, PROMPT, p)
        p.send_signal(signal.SIGTERM)
        self.assertEqual(self.wait_exit(p, timeout=5), 0)

    def test_keys_typed_before_end_do_not_end_it(self):
        # The dialog holds the program before END; keys typed into the window
        # meanwhile are drained when END starts.
        os.mkdir(os.path.join(self.drive_c, "TRELKO"))
        p = self.start("trelko")
        wid, _, _ = self.wait_window("Untitled", p)
        self.key(wid, "x", "y")
        time.sleep(0.3)
        box, _, _ = self.wait_window("Unhandled Error #75", p)
        self.key(box, "Return")
        self.wait_text_cells(wid, 25, PROMPT, p)
        time.sleep(0.5)
        self.assertIsNone(p.poll(), "END took a key typed before it")
        self.key(wid, "Return")
        self.assertEqual(self.wait_exit(p), 0)

    def test_relative_names_resolve_against_the_executable_folder(self):
        exe_dir = os.path.join(self.tmp, "app")
        os.mkdir(exe_dir)
        exe = os.path.join(exe_dir, "trelko")
        shutil.copy(program("trelko"), exe)
        os.mkdir(os.path.join(exe_dir, "cdrive"))
        p = self.start("trelko", cwd="/", exe=exe, env=self.env(KXRT_DRIVE_C="cdrive"))
        self.wait_path(os.path.join(exe_dir, "cdrive", "TRELKO"))
        wid, _, _ = self.wait_window("Untitled", p)
        self.key(wid, "space")
        self.assertEqual(self.wait_exit(p), 0)

    def test_default_drive_folder_is_made_under_xdg_data_home(self):
        env = self.env(KXRT_DRIVE_C=None)
        p = self.start("trelko", env=env)
        self.wait_path(os.path.join(env["XDG_DATA_HOME"], "kxrt", "drive_c", "TRELKO"))
        wid, _, _ = self.wait_window("Untitled", p)
        self.key(wid, "space")
        self.assertEqual(self.wait_exit(p), 0)

    def test_without_a_display_start_up_fails_with_100(self):
        # Only the X11 driver, and no X server to talk to.
        p = self.start("trelko", env=self.env(DISPLAY=None, SDL_VIDEODRIVER="x11"))
        self.assertEqual(self.wait_exit(p), 100)
        self.assertIn(b"Unable to init SDL: ", p.stderr.read())


if __name__ == "__main__":
    unittest.main()
