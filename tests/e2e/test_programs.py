"""Small translated programs: error numbers, exit codes, _EXIT and COMMAND$."""
import os
import time
import unittest

from harness import ProgramTest


class Programs(ProgramTest):
    def test_mkdir_on_a_drive_without_folder_is_error_76(self):
        p = self.start("mkdir_unmapped")
        box, _, _ = self.wait_window("Unhandled Error #76", p)
        self.key(box, "Escape")
        self.assertEqual(self.wait_exit(p, timeout=5), 0)

    def test_critical_error_shows_its_box_and_ends_with_0(self):
        p = self.start("critical")
        box, _, _ = self.wait_window("Critical Error", p)
        self.assertIsNone(p.poll())
        self.key(box, "Return")
        self.assertEqual(self.wait_exit(p, timeout=5), 0)

    def test_on_error_without_handler_ends_with_99(self):
        p = self.start("on_error")
        self.assertEqual(self.wait_exit(p), 99)

    def test_command_line_joins_arguments_with_one_space(self):
        p = self.start("command_line", "a", "b")
        self.wait_path(os.path.join(self.drive_c, "a b"))
        wid, _, _ = self.wait_window("Untitled", p)
        self.key(wid, "space")
        self.assertEqual(self.wait_exit(p), 0)

    def test_exit_blocks_close_and_break_and_reports_them(self):
        p = self.start("exit_blocked")
        wid, _, _ = self.wait_window("Untitled", p)
        self.wait_path(os.path.join(self.drive_c, "READY"))
        self.close_window(wid)
        self.wait_path(os.path.join(self.drive_c, "EXIT1"))
        time.sleep(0.3)
        self.assertIsNone(p.poll(), "the close button ended a program that called _EXIT")
        self.key(wid, "ctrl+Pause")
        self.wait_path(os.path.join(self.drive_c, "EXIT2"))
        # Both before the program looks: one report with both bits.
        os.kill(p.pid, 19)  # SIGSTOP holds the program while both requests queue up
        try:
            self.close_window(wid)
            self.key(wid, "ctrl+Pause")
        finally:
            os.kill(p.pid, 18)  # SIGCONT
        self.wait_path(os.path.join(self.drive_c, "EXIT3"))
        self.assertEqual(sorted(os.listdir(self.drive_c)), ["EXIT1", "EXIT2", "EXIT3", "READY"])
        self.key(wid, "space")
        self.assertEqual(self.wait_exit(p), 0)


if __name__ == "__main__":
    unittest.main()
