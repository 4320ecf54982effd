"""A private X server and the program's window on it, driven with xdotool like a user would.

Every wait has a deadline; processes run in their own process groups so that stopping them
also stops anything they started."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.parse

from pictures import Screen

MAIN_TITLE = r"^Mirelay 1\.2\.0$"
MESSAGE_TITLE = r"^Mirelay$"
SCREEN_SIZE = "1600x1000x24"
LIST_ROW_HEIGHT = 12
CLIENT_HEIGHT = 616  # the window's height below its menu bar


class ScenarioFailure(Exception):
    pass


def wait_until(predicate, timeout, what, interval=0.05):
    """Returns the predicate's first true value; fails with `what` when the deadline passes."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise ScenarioFailure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def stop_group(process, grace=3):
    if process is None or process.poll() is not None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            return
        try:
            process.wait(timeout=grace)
            return
        except subprocess.TimeoutExpired:
            continue


class XServer:
    """Xvfb on the first free display from :90 to :140, without TCP."""

    def __init__(self):
        self.process = None
        self.display = None

    def __enter__(self):
        for number in range(90, 141):
            if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(
                    f"/tmp/.X11-unix/X{number}"):
                continue
            # -noreset: the readiness probe must not make the server restart as it leaves.
            command = ["Xvfb", f":{number}", "-screen", "0", SCREEN_SIZE, "-dpi", "96",
                       "-nolisten", "tcp", "-noreset"]
            process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL, start_new_session=True)
            if self._answers(process, f":{number}"):
                self.process, self.display = process, f":{number}"
                return self
            stop_group(process)
        raise ScenarioFailure("no free X display between :90 and :140")

    def __exit__(self, *exc):
        stop_group(self.process)

    @staticmethod
    def _answers(process, display):
        """The socket appears before the server takes clients: wait for a real answer."""
        deadline = time.monotonic() + 10
        while process.poll() is None and time.monotonic() < deadline:
            probe = subprocess.run(["xdpyinfo", "-display", display], capture_output=True,
                                   timeout=10)
            if probe.returncode == 0:
                return True
            time.sleep(0.1)
        return False


class WindowManager:
    """openbox on the display, as a desktop user would have it; ready once it owns the root."""

    def __init__(self, display, workspace):
        self.display = display
        self.workspace = workspace
        self.process = None

    def __enter__(self):
        env = dict(os.environ, DISPLAY=self.display,
                    XDG_CONFIG_HOME=self.workspace.folder("wm-config"),
                    XDG_CACHE_HOME=self.workspace.folder("wm-cache"))
        log = open(self.workspace.path("openbox.log"), "wb")
        self.process = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=log,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        log.close()
        wait_until(self._ready, 10, "openbox to manage the display")
        return self

    def __exit__(self, *exc):
        stop_group(self.process)

    def _ready(self):
        if self.process.poll() is not None:
            raise ScenarioFailure(f"openbox ended with status {self.process.returncode}")
        probe = subprocess.run(["xprop", "-display", self.display, "-root",
                                "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True,
                               timeout=10)
        return "window id" in probe.stdout


class Workspace:
    """A fresh folder holding a copy of the executable, as a user would lay it out.

    With `installed`, the executable stays where it is, in a folder the user cannot write, and
    the program runs with a fresh home (as "nobody" when the tests run as root): the workspace is
    then ~/Mirelay, which the program itself lays out."""

    NOBODY = 65534

    # A byte that is not UTF-8 in every path (Shift-JIS "ー"): folders are named in bytes, and the
    # program must find its settings and pictures and open out/ all the same.
    PREFIX = "mirelay-e2e-" + os.fsdecode(b"\x81\x5b") + "-"

    def __init__(self, binary, prefix=PREFIX, installed=False):
        self.home = tempfile.mkdtemp(prefix=prefix) if installed else None
        self.user = self.NOBODY if installed and os.geteuid() == 0 else None
        if installed:
            self.root = os.path.join(self.home, "Mirelay")
            self.executable = binary
        else:
            self.root = tempfile.mkdtemp(prefix=prefix)
            self.executable = os.path.join(self.root, "mirelay")
            shutil.copy2(binary, self.executable)
        # PATH and XDG_RUNTIME_DIR are read as text, so the desktop's own folders stay UTF-8.
        self.tools = tempfile.mkdtemp(prefix="mirelay-e2e-tools-")
        self.stubs = os.path.join(self.tools, "stubs")
        self.runtime = os.path.join(self.tools, "runtime")
        self.ini = os.path.join(self.root, "mirelay.ini")
        self.opened_log = os.path.join(self.stubs, "opened.log")
        os.makedirs(self.stubs)
        os.makedirs(self.runtime, mode=0o700)
        # The program opens out/ in the desktop at the end of a batch; here that is only noted.
        stub = os.path.join(self.stubs, "xdg-open")
        with open(stub, "w", encoding="utf-8", errors="surrogateescape") as script:
            script.write(f'#!/bin/sh\necho "$*" >> "{self.opened_log}"\nexit 0\n')
        os.chmod(stub, 0o755)

    def hand_over(self):
        """Gives the home and all laid out in it to the user the program runs as."""
        if self.user is None:
            return
        for top in (self.home, self.tools):
            for folder, names, files in os.walk(top):
                for name in [folder] + [os.path.join(folder, n) for n in names + files]:
                    os.lchown(name, self.user, self.user)

    def folder(self, name):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        return path

    def path(self, *names):
        return os.path.join(self.root, *names)

    def outputs(self):
        """Finished output files of out/, without the writer's temporary files."""
        out = self.path("out")
        return sorted(n for n in os.listdir(out) if not n.startswith(".mirelay-"))

    def temporaries(self):
        return sorted(n for n in os.listdir(self.path("out")) if n.startswith(".mirelay-"))

    def opened_folders(self):
        """The folders the program asked the desktop to open, as paths."""
        return [os.fsdecode(urllib.parse.unquote_to_bytes(urllib.parse.urlparse(url).path))
                for url in self.open_requests()]

    def open_requests(self):
        if not os.path.exists(self.opened_log):
            return []
        with open(self.opened_log, encoding="utf-8", errors="surrogateescape") as log:
            return log.read().splitlines()

    def remove(self):
        shutil.rmtree(self.home or self.root, ignore_errors=True)
        shutil.rmtree(self.tools, ignore_errors=True)


class Program:
    """The running program and its main window."""

    def __init__(self, workspace, display):
        self.workspace = workspace
        self.env = dict(os.environ)
        # Keeps the developer's own session (input method, bus) out of the private display.
        for name in ("QT_IM_MODULE", "XMODIFIERS", "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self.env.update(DISPLAY=display, LC_ALL="C.UTF-8", QT_QPA_PLATFORM="xcb",
                        XDG_RUNTIME_DIR=workspace.runtime,
                        PATH=workspace.stubs + os.pathsep + os.environ.get("PATH", ""))
        if workspace.home:
            self.env.update(HOME=workspace.home)
            self.env.pop("MIRELAY_HOME", None)
        # Only matters for sanitizer builds, whose leak check would fail every clean exit.
        self.env.setdefault("LSAN_OPTIONS", "suppressions=" + os.path.join(
            os.path.dirname(os.path.abspath(__file__)), "lsan.supp"))
        self.log_path = os.path.join(workspace.home or workspace.root, "program.log")
        self.process = None
        self.window = None

    def __enter__(self):
        log = open(self.log_path, "wb")
        self.workspace.hand_over()
        user = self.workspace.user
        self.process = subprocess.Popen([self.workspace.executable],
                                        cwd=self.workspace.home or self.workspace.root,
                                        env=self.env, stdout=log, stderr=subprocess.STDOUT,
                                        start_new_session=True, user=user, group=user,
                                        extra_groups=[] if user else None)
        log.close()
        self.window = wait_until(lambda: self._alive() and self.find(MAIN_TITLE), 20,
                                 "the main window")[0]
        self.origin, self.size = self.geometry()
        self.menu_height = self.size[1] - CLIENT_HEIGHT
        return self

    def __exit__(self, *exc):
        stop_group(self.process)

    def _alive(self):
        if self.process.poll() is not None:
            raise ScenarioFailure(f"the program ended with status {self.process.returncode}: "
                                  f"{self.log_tail()}")
        return True

    def log_tail(self):
        with open(self.log_path, "rb") as log:
            return log.read()[-800:].decode(errors="replace")

    def xdotool(self, *args, timeout=10):
        try:
            result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True,
                                    text=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"xdotool {' '.join(args)} hung for {timeout} s")
        return result

    def find(self, title):
        """Ids of the visible windows whose title matches the pattern."""
        result = self.xdotool("search", "--onlyvisible", "--name", title)
        return result.stdout.split()

    def geometry(self, window=None):
        text = self.xdotool("getwindowgeometry", window or self.window).stdout
        position = re.search(r"Position: (-?\d+),(-?\d+)", text)
        size = re.search(r"Geometry: (\d+)x(\d+)", text)
        if not position or not size:
            raise ScenarioFailure(f"no geometry for window {window or self.window}: {text!r}")
        return ((int(position[1]), int(position[2])), (int(size[1]), int(size[2])))

    def frame_extents(self):
        """(left, right, top, bottom) of the window manager's frame; zeros without one."""
        text = subprocess.run(["xprop", "-id", self.window, "_NET_FRAME_EXTENTS"], env=self.env,
                              capture_output=True, text=True, timeout=10).stdout
        found = re.search(r"= (\d+), (\d+), (\d+), (\d+)", text)
        return tuple(int(n) for n in found.groups()) if found else (0, 0, 0, 0)

    def outer_bounds(self):
        """(left, top, width, height) of the window with its frame.

        xwininfo, since xdotool adds the frame offset to the position of a framed window."""
        text = subprocess.run(["xwininfo", "-id", self.window], env=self.env,
                              capture_output=True, text=True, timeout=10).stdout
        numbers = [re.search(rf"{name}:\s+(-?\d+)", text) for name in
                   ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]
        if not all(numbers):
            raise ScenarioFailure(f"no geometry for window {self.window}: {text!r}")
        x, y, width, height = (int(number[1]) for number in numbers)
        left, right, top, bottom = self.frame_extents()
        return (x - left, y - top, width + left + right, height + top + bottom)

    def focus(self, window=None):
        result = self.xdotool("windowfocus", "--sync", window or self.window)
        if result.returncode != 0:
            raise ScenarioFailure(f"cannot focus window: {result.stderr.strip()}")

    def press(self, keys):
        """Focuses the main window, since a closed dialog leaves the focus on the root."""
        self._alive()
        self.focus()
        self.xdotool("key", keys)

    def click_row(self, pane, row):
        """Clicks a row of List1 (pane 0) or List2 (pane 1)."""
        list_width = self.size[0] // 4
        x = pane * list_width + 30
        y = self.menu_height + LIST_ROW_HEIGHT * row + 7
        self._alive()
        self.focus()
        self.xdotool("mousemove", "--window", self.window, str(x), str(y), "click", "1")

    def answer_box(self, title, text):
        """Types into a modal input box, whose text starts selected, and confirms it."""
        box = wait_until(lambda: self._alive() and self.find(title), 10,
                         f"the input box {title!r}")[0]
        self.focus(box)
        self.xdotool("type", "--delay", "30", text)
        self.xdotool("key", "Return")
        wait_until(lambda: not self.find(title), 10, f"the input box {title!r} to close")

    def dismiss_message(self):
        box = wait_until(lambda: self._alive() and self.find(MESSAGE_TITLE), 10,
                         "the message box")[0]
        self.focus(box)
        self.xdotool("key", "Return")
        wait_until(lambda: not self.find(MESSAGE_TITLE), 10, "the message box to close")

    def screenshot(self):
        try:
            dump = subprocess.run(["xwd", "-root", "-silent"], env=self.env,
                                  capture_output=True, timeout=10, check=True).stdout
        except (subprocess.TimeoutExpired, subprocess.CalledProcessError) as error:
            raise ScenarioFailure(f"xwd failed: {error}")
        return Screen(dump)

    def client_pixel(self, screen, x, y):
        """A pixel of the client area below the menu bar."""
        return screen.pixel(self.origin[0] + x, self.origin[1] + self.menu_height + y)

    def quit(self):
        """Alt+X, then the process must end by itself with status 0."""
        self.press("alt+x")
        try:
            status = self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure("the window did not close after Alt+X")
        if status != 0:
            raise ScenarioFailure(f"the program exited with status {status}: {self.log_tail()}")
