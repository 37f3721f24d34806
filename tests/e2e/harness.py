"""Runs translated programs in a private X server and drives them as a user would.

Each test gets its own Xvfb, its own temporary folder (C: drive, HOME, XDG
folders) and SDL's disk audio driver, so nothing depends on the developer's
display, home folder or sound card. Every wait has a time bound, and every
process a test starts is ended when it finishes.
"""
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

BIN = os.environ.get("KXRT_BIN", "")
XCLOSE = os.environ.get("KXRT_XCLOSE", "xclose")
# Under the sanitizers everything is slower.
SLOW = float(os.environ.get("KXRT_E2E_SLOWDOWN", "1"))

WINDOW_LINE = re.compile(r'^\s*(0x[0-9a-f]+) "(.*)": \(.*\)\s+(\d+)x(\d+)\+')


def program(name):
    if name == "trelko":
        return os.environ.get("KXRT_TRELKO", os.path.join(BIN, name))
    return os.path.join(BIN, name)


class Xserver:
    def __init__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            # -noreset: a server that resets when its last client leaves can drop a
            # window that a program opens during the reset.
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        digits = b""
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and not digits.endswith(b"\n"):
            chunk = os.read(r, 16)
            if not chunk:
                break
            digits += chunk
        os.close(r)
        if not digits.strip():
            self.proc.kill()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + digits.decode().strip()

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


class ProgramTest(unittest.TestCase):
    """Base class: an X server, a scratch folder and helpers to run programs."""

    def setUp(self):
        self.x = Xserver()
        self.addCleanup(self.x.close)
        self.tmp = tempfile.mkdtemp(prefix="kxrt-e2e-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.drive_c = os.path.join(self.tmp, "drive_c")
        os.mkdir(self.drive_c)
        self.procs = []
        self.addCleanup(self._kill_all)

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("KXRT_DRIVE_", "XDG_", "WAYLAND"))}
        env.update({
            "DISPLAY": self.x.display,
            "HOME": self.tmp,
            "XDG_DATA_HOME": os.path.join(self.tmp, "xdg-data"),
            "XDG_RUNTIME_DIR": self.tmp,
            "KXRT_DRIVE_C": self.drive_c,
            "SDL_AUDIODRIVER": "disk",
            "SDL_DISKAUDIOFILE": os.path.join(self.tmp, "audio.raw"),
        })
        env.update(extra)
        return {k: v for k, v in env.items() if v is not None}

    def start(self, name, *args, cwd=None, env=None, exe=None):
        proc = subprocess.Popen([exe or program(name), *args], cwd=cwd or self.tmp,
                                env=env or self.env(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, start_new_session=True)
        self.procs.append(proc)
        return proc

    def _kill_all(self):
        for p in self.procs:
            if p.poll() is None:
                os.killpg(p.pid, signal.SIGKILL)
            try:
                p.communicate(timeout=10)
            except (subprocess.TimeoutExpired, ValueError):
                pass

    def x_env(self):
        return self.env()

    def windows(self):
        res = subprocess.run(["xwininfo", "-root", "-tree"], env=self.x_env(),
                             capture_output=True, text=True, timeout=10 * SLOW)
        out = res.stdout
        self.last_xwininfo_error = res.stderr
        found = []
        for line in out.splitlines():
            m = WINDOW_LINE.match(line)
            if m:
                found.append((m.group(1), m.group(2), int(m.group(3)), int(m.group(4))))
        return found

    def wait_window(self, title, proc=None, timeout=15):
        deadline = time.monotonic() + timeout * SLOW
        while time.monotonic() < deadline:
            for wid, name, w, h in self.windows():
                if name == title and w > 1 and h > 1:
                    return wid, w, h
            if proc is not None and proc.poll() is not None:
                self.fail(f"process ended with {proc.returncode} before window {title!r} "
                          f"appeared: {proc.stderr.read().decode(errors='replace')}")
            time.sleep(0.1)
        err = ""
        if proc is not None:
            os.killpg(proc.pid, signal.SIGKILL)
            err = proc.communicate(timeout=10)[1].decode(errors="replace")
        self.fail(f"no window titled {title!r}; windows: {self.windows()} "
                  f"{self.last_xwininfo_error}; program's standard error: {err}")

    def key(self, wid, *keys):
        subprocess.run(["xdotool", "windowfocus", wid], env=self.x_env(), check=True,
                       timeout=10 * SLOW)
        time.sleep(0.1)
        subprocess.run(["xdotool", "key", *keys], env=self.x_env(), check=True,
                       timeout=10 * SLOW)

    def close_window(self, wid):
        subprocess.run([XCLOSE, wid], env=self.x_env(), check=True, timeout=10 * SLOW)

    def screenshot(self, wid):
        """The window's pixels as (width, height, bytes of RGB)."""
        info = subprocess.run(["xwininfo", "-id", wid], env=self.x_env(), capture_output=True,
                              text=True, timeout=10 * SLOW).stdout
        w = int(re.search(r"Width: (\d+)", info).group(1))
        h = int(re.search(r"Height: (\d+)", info).group(1))
        raw = subprocess.run(["import", "-window", wid, "-depth", "8", "rgb:-"],
                             env=self.x_env(), capture_output=True, check=True,
                             timeout=20 * SLOW).stdout
        self.assertEqual(len(raw), w * h * 3)
        return w, h, raw

    def lit_cells(self, wid, row, cols=80, cell_w=8, cell_h=16):
        """For text row `row` (1-based), which character cells hold lit pixels."""
        w, h, raw = self.screenshot(wid)
        lit = []
        for c in range(cols):
            on = False
            for y in range((row - 1) * cell_h, row * cell_h):
                start = (y * w + c * cell_w) * 3
                if any(raw[start:start + cell_w * 3]):
                    on = True
                    break
            lit.append(on)
        return lit

    def wait_text_cells(self, wid, row, text, proc=None, timeout=15):
        want = [ch != " " for ch in text] + [False] * (80 - len(text))
        deadline = time.monotonic() + timeout * SLOW
        got = None
        while time.monotonic() < deadline:
            got = self.lit_cells(wid, row)
            if got == want:
                return
            if proc is not None and proc.poll() is not None:
                break
            time.sleep(0.2)
        self.fail(f"row {row} does not show {text!r}: lit cells {got}")

    def wait_exit(self, proc, timeout=15):
        try:
            proc.wait(timeout * SLOW)
        except subprocess.TimeoutExpired:
            self.fail("process did not end")
        return proc.returncode

    def wait_path(self, path, timeout=15):
        deadline = time.monotonic() + timeout * SLOW
        while time.monotonic() < deadline:
            if os.path.exists(path):
                return
            time.sleep(0.05)
        self.fail(f"{path} did not appear")

    @staticmethod
    def cpu_seconds(pid):
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        ticks = os.sysconf("SC_CLK_TCK")
        return (int(fields[11]) + int(fields[12])) / ticks
