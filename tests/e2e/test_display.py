"""The window follows the visible page: sizes, palettes, text colours, the
blinking cursor and 32-bit pages."""
import os
import time
import unittest

from harness import SLOW, ProgramTest


def pixel(shot, x, y):
    w, _, raw = shot
    at = (y * w + x) * 3
    return tuple(raw[at:at + 3])


class Display(ProgramTest):
    def wait_size(self, wid_title, w, h, proc, timeout=10):
        deadline = time.monotonic() + timeout * SLOW
        seen = None
        while time.monotonic() < deadline:
            for wid, name, ww, hh in self.windows():
                if name == wid_title:
                    seen = (ww, hh)
                    if seen == (w, h):
                        return wid
            time.sleep(0.1)
        self.fail(f"window is {seen}, not {w}x{h}")

    def wait_pixel(self, wid, x, y, rgb, timeout=10):
        deadline = time.monotonic() + timeout * SLOW
        got = None
        while time.monotonic() < deadline:
            got = pixel(self.screenshot(wid), x, y)
            if got == rgb:
                return
            time.sleep(0.2)
        self.fail(f"pixel {x},{y} is {got}, not {rgb}")

    def test_screens_follow_one_another(self):
        p = self.start("screen_modes")
        self.wait_path(os.path.join(self.drive_c, "MODE13"))
        wid = self.wait_size("Untitled", 320, 200, p)
        # Each 20-pixel band shows the next entry of the default palette.
        self.wait_pixel(wid, 5, 100, (0, 0, 0))
        self.wait_pixel(wid, 25, 100, (0, 0, 0xAA))
        self.wait_pixel(wid, 125, 0, (0xAA, 0x55, 0))
        self.wait_pixel(wid, 205, 199, (0x55, 0xFF, 0x55))
        self.wait_pixel(wid, 315, 50, (0xFF, 0xFF, 0xFF))

        self.key(wid, "space")
        self.wait_path(os.path.join(self.drive_c, "TEXT40"))
        wid = self.wait_size("Untitled", 640, 400, p)  # 40 columns of 16-pixel cells
        # Yellow "Forty" on blue: the background of an empty cell is blue.
        self.wait_pixel(wid, 16 * 20 + 3, 16 * 10 + 3, (0, 0, 0xAA))
        lit = set()
        for _ in range(5):
            shot = self.screenshot(wid)
            for c in range(5):
                if any(pixel(shot, c * 16 + x, y) == (0xFF, 0xFF, 0x55)
                       for x in range(16) for y in range(16)):
                    lit.add(c)
        self.assertEqual(lit, {0, 1, 2, 3, 4})
        # The cursor stands after the text as a full block that blinks.
        states = set()
        deadline = time.monotonic() + 5 * SLOW
        while len(states) < 2 and time.monotonic() < deadline:
            states.add(pixel(self.screenshot(wid), 5 * 16 + 8, 8))
            time.sleep(0.05)
        self.assertEqual(states, {(0, 0, 0xAA), (0xFF, 0xFF, 0x55)})

        self.key(wid, "space")
        self.wait_path(os.path.join(self.drive_c, "IMAGE32"))
        wid = self.wait_size("Untitled", 300, 100, p)
        self.wait_pixel(wid, 150, 50, (0, 0xFF, 0))
        self.wait_pixel(wid, 299, 99, (0, 0xFF, 0))
        self.key(wid, "space")
        # END prints its prompt on the image's last row and waits for a key.
        time.sleep(0.5)
        self.key(wid, "space")
        self.assertEqual(self.wait_exit(p), 0)


if __name__ == "__main__":
    unittest.main()
