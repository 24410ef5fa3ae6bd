#!/usr/bin/env python3
"""End-to-end checks of Tavaren.exe: the real launcher under wine64, driven like a user would drive it.

Each case gets a world of its own: a private Xvfb display, a private copy of the test Wine prefix (hard
links, so it costs next to nothing), a fresh working directory and its own URL log. Nothing else that runs
at the same time (other tests and their windows) can then receive a click meant for the launcher or change
the screen the launcher centres itself on.

    launcher_e2e.py CASE --launcher Tavaren.exe --game-stub _Tavaren.exe --gamepad-stub xpad.exe
                    --poke poke.exe --wine-run wine-run.sh --portal-origin http://127.0.0.1:18218
                    --work-root DIR [--code-page N] [--portal-certificate DIR]

An https portal origin (https://127.0.0.1:PORT) makes the portal case listen over TLS, with the certificate
that `demo_portal.py --make-certificate DIR` made in DIR.

Exit status: 0 passed, 1 failed, 77 skipped (CTest's SKIP_RETURN_CODE).
"""

import argparse
import http.server
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import threading
import time
import urllib.parse

# The demo portal's TLS server and its certificate serve the portal case over https.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "scripts"))
import demo_portal  # noqa: E402

# A display of the case's own (tests/support/x_display.py).
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))
import x_display  # noqa: E402

SKIPPED = 77

# Commands of the launcher window; each button's id is also the outcome the window ends with.
PLAY, OPTIONS, CLOSE, GAMEPAD = 1000, 1001, 1002, 1003
IDCANCEL = 2
IDC_BLOOM = 1009

# The launcher template: client area and the visible buttons, in dialog units (left, top, width, height).
CLIENT_UNITS = (0, 0, 433, 236)
PLAY_UNITS = (7, 215, 76, 14)
CLOSE_UNITS = (377, 215, 49, 14)

GAME_MARKER = "game-started.txt"
GAMEPAD_MARKER = "gamepad-started.txt"

# Wine's own long-lived processes; anything else that runs in a case's prefix was started by the launcher.
WINE_SYSTEM_PROGRAMS = {
    "wineserver",
    "wineserver64",
    "services.exe",
    "winedevice.exe",
    "plugplay.exe",
    "svchost.exe",
    "rpcss.exe",
    "explorer.exe",
    "conhost.exe",
}

WINDOW_TIMEOUT = 60.0  # a cold prefix under load takes several seconds to show the window
EXIT_TIMEOUT = 30.0
SETTLE_TIMEOUT = 30.0
URL_TIMEOUT = 10.0
PORTAL_TIMEOUT = 20.0


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def log(message):
    print(f"e2e: {message}", flush=True)


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout, interval=0.1):
    """Polls predicate until it returns something truthy or the timeout passes; returns its last result."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(interval)


def windows_path(unix_path):
    """The path Wine shows a Windows program for a Unix path outside the prefix (drive Z: is /)."""
    return "Z:" + os.path.realpath(unix_path).replace("/", "\\")


def same_windows_path(a, b):
    return a.rstrip("\\").lower() == b.rstrip("\\").lower()


def read_marker(path):
    with open(path, encoding="utf-8", errors="replace") as marker:
        fields = {}
        for line in marker.read().splitlines():
            key, _, value = line.partition("=")
            fields[key] = value
        return fields


class PortalServer:
    """The portal on 127.0.0.1: answers every GET with a small page and remembers what was asked for. With
    certificate_dir (made by demo_portal.py --make-certificate), over TLS: it also remembers each
    connection's ClientHello, how its handshake ended and how many connections have closed."""

    def __init__(self, port, certificate_dir=None):
        self.requests = []
        self.hellos = []
        self.handshakes = []
        self.closed = 0
        lock = threading.Lock()
        self._lock = lock
        requests = self.requests

        def on_hello(hello):
            with lock:
                self.hellos.append(hello)

        def on_handshake(error):
            with lock:
                self.handshakes.append("done" if error is None else f"failed: {error}")

        def on_closed():
            with lock:
                self.closed += 1

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                with lock:
                    requests.append(self.path)
                body = b"<html><body>portal</body></html>"
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        # The port may still be held for a moment by an earlier user of it.
        deadline = time.monotonic() + 10
        while True:
            try:
                if certificate_dir:
                    self._server = demo_portal.TlsServer(("127.0.0.1", port), Handler, certificate_dir, on_hello,
                                                         on_handshake, on_closed)
                else:
                    self._server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
                break
            except OSError as error:
                if time.monotonic() >= deadline:
                    raise Failure(f"cannot listen on 127.0.0.1:{port}: {error}")
                time.sleep(0.2)
        self._server.daemon_threads = True
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    def seen(self):
        with self._lock:
            return list(self.requests)

    def seen_tls(self):
        with self._lock:
            return list(self.hellos), list(self.handshakes), self.closed

    def stop(self):
        self._server.shutdown()
        self._server.server_close()
        self._thread.join(timeout=5)


class World:
    """One case's display, Wine prefix, working directory and launcher process."""

    def __init__(self, options, name, screen=(1280, 1024)):
        self.options = options
        self.name = name
        self.screen = screen
        self.support = os.path.dirname(os.path.abspath(options.wine_run))
        self.base_prefix = os.environ.get("WINEPREFIX") or os.path.join(
            os.environ.get("TMPDIR", "/tmp"), f"tavaren-wine-{os.getuid()}"
        )
        tag = f"{name}-{os.getpid()}"
        self.root = os.path.join(os.path.abspath(options.work_root), tag)
        # Beside the base prefix, so that hard links work whatever filesystem the build tree is on.
        self.prefix = os.path.join(self.base_prefix + ".e2e", tag)
        self.url_log = os.path.join(self.root, "urls.log")
        self.xvfb = None
        self.launcher = None
        self.launcher_path = None
        self.display = None
        self.poke_count = 0
        # --code-page N: Wine runs in the locale that tests/support/wine-locales names for ANSI code page N.
        self.code_page = getattr(options, "code_page", None)
        with open(os.path.join(self.support, "wine-locales"), encoding="utf-8") as f:
            self.locale = dict(line.split() for line in f if line.strip() and line[0] != "#").get(str(self.code_page))

    # --- setting up and tearing down -------------------------------------------------------------------

    def __enter__(self):
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        self._prepare_prefix()
        self._start_xvfb()
        return self

    def __exit__(self, kind, value, traceback):
        # A display that did not stay the case's own makes whatever the case saw meaningless: that is the
        # failure then, whatever the launcher did.
        shared = self.xvfb.check() if self.xvfb is not None else None
        if kind is not None and self.xvfb is not None and shared is None:
            # What the display showed when the case failed, for whoever reads its logs.
            with open(os.path.join(self.root, "x-windows.txt"), "wb") as out:
                subprocess.run(["xwininfo", "-root", "-tree"], env=self.env(), stdin=subprocess.DEVNULL,
                               stdout=out, stderr=subprocess.STDOUT, timeout=20)
        if self.launcher is not None and self.launcher.poll() is None:
            log("the launcher is still running: killing it")
            self._kill_group(self.launcher)
        self._run_quietly(["wineserver", "-k"], timeout=30)
        if self.xvfb is not None:
            self.xvfb.stop()
        if shared is not None:
            if kind is not None:
                log("(what failed above happened on a display that was not this case's alone)")
            kind = Failure
            value = Failure(f"{shared}: the case's outcome says nothing")
        shutil.rmtree(self.prefix, ignore_errors=True)
        for leftover in (self.prefix + ".lock", self.prefix + ".setup.log"):
            if os.path.exists(leftover):
                os.remove(leftover)
        if kind is None:
            shutil.rmtree(self.root, ignore_errors=True)
        else:
            self._show_logs()
        if shared is not None:
            raise value
        return False

    def _prepare_prefix(self):
        env = dict(os.environ, WINEPREFIX=self.base_prefix)
        with open(os.path.join(self.root, "prefix.log"), "wb") as out:
            status = subprocess.run(
                ["bash", "-c", '. "$0" && wine_prefix_ready', os.path.join(self.support, "wine-prefix.sh")],
                env=env,
                stdin=subprocess.DEVNULL,
                stdout=out,
                stderr=subprocess.STDOUT,
                timeout=300,
            ).returncode
        check(status == 0, f"the Wine prefix {self.base_prefix} could not be prepared")
        shutil.rmtree(self.prefix, ignore_errors=True)
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        subprocess.run(["cp", "-al", self.base_prefix, self.prefix], check=True)
        # The registry and the .ini files may be written in place: those get copies of their own, so that
        # nothing done here reaches the base prefix.
        windows_dir = os.path.join(self.prefix, "drive_c", "windows")
        candidates = [os.path.join(self.prefix, n) for n in os.listdir(self.prefix) if n.endswith(".reg")]
        if os.path.isdir(windows_dir):
            candidates += [os.path.join(windows_dir, n) for n in os.listdir(windows_dir) if n.endswith(".ini")]
        for path in candidates:
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as original:
                    data = original.read()
                os.remove(path)
                with open(path, "wb") as copy:
                    copy.write(data)

    def _start_xvfb(self):
        width, height = self.screen
        try:
            self.xvfb = x_display.Display(os.path.join(self.root, "xvfb.log"), f"{width}x{height}x24")
        except x_display.DisplayError as error:
            raise Failure(f"this case's X display: {error}")
        self.display = self.xvfb.name

    def env(self):
        env = dict(os.environ)
        env.update(
            DISPLAY=self.display,
            WINEPREFIX=self.prefix,
            WINEDEBUG="-all",
            TAVAREN_URL_LOG=self.url_log,
        )
        if self.locale:
            env.update(LANG=self.locale, LC_ALL=self.locale)
        return env

    def _run_quietly(self, command, timeout):
        try:
            subprocess.run(
                command,
                env=self.env(),
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
                timeout=timeout,
            )
        except subprocess.TimeoutExpired:
            log(f"{command[0]} did not finish in {timeout} s")

    @staticmethod
    def _kill_group(process):
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass

    def _show_logs(self):
        print(f"e2e: files of the failed case are kept in {self.root}", flush=True)
        for name in sorted(os.listdir(self.root)):
            path = os.path.join(self.root, name)
            if os.path.isfile(path) and name.endswith((".log", ".out")):
                with open(path, "rb") as f:
                    text = f.read()[-3000:].decode("utf-8", "replace")
                print(f"----- {name}\n{text}", flush=True)

    # --- the launcher -----------------------------------------------------------------------------------

    def workdir(self, name="run"):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        return path

    def put(self, source, directory):
        shutil.copy2(source, directory)

    def start(self, launcher, cwd):
        if self.code_page and self.launcher is None:
            # A locale that was never generated gives another code page, and the case would test nothing.
            status, text = self.poke("codepage")
            check(text.split() == ["acp", str(self.code_page)], f"Wine in locale {self.locale} said {text!r} "
                  f"({status}), expected acp {self.code_page}: is it generated (scripts/install-deps.sh)?")
        log(f"starting {launcher} in {cwd} on display {self.display}")
        self.launcher_path = launcher
        with open(os.path.join(self.root, "launcher.log"), "ab") as out:
            self.launcher = subprocess.Popen(
                [self.options.wine_run, launcher],
                cwd=cwd,
                env=self.env(),
                stdin=subprocess.DEVNULL,
                stdout=out,
                stderr=subprocess.STDOUT,
                start_new_session=True,
            )
        return self.launcher

    def visible_windows(self, title=None):
        """X ids of the launcher's mapped windows: those of its exe's window class on the case's own display,
        with the given title if one is given. Not by process id: a Wine that runs 32-bit programs in 64-bit
        processes starts the program in a process other than the one started here."""
        window_class = "^" + re.escape(os.path.basename(self.launcher_path)) + "$"
        result = subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--class", window_class],
            env=self.env(),
            stdin=subprocess.DEVNULL,
            capture_output=True,
            text=True,
            timeout=20,
        )
        ids = result.stdout.split()
        return [xid for xid in ids if not title or self.window_name(xid) == title]

    def window_name(self, xid):
        result = subprocess.run(["xdotool", "getwindowname", xid], env=self.env(), stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=20)
        return result.stdout.strip() if result.returncode == 0 else None

    def window(self):
        """Waits for the launcher's window to be mapped and returns its X window id."""

        def search():
            if self.launcher.poll() is not None:
                raise Failure(f"the launcher ended (exit code {self.launcher.returncode}) before showing its window")
            # By its title: the control's own question (an untrusted certificate) may be up already.
            ids = self.visible_windows("Tavaren")
            return ids[0] if len(ids) == 1 else None

        xid = wait_for(search, WINDOW_TIMEOUT, 0.2)
        check(xid, f"no single visible window of the launcher appeared within {WINDOW_TIMEOUT:.0f} s")
        return xid

    def x_geometry(self, xid):
        result = subprocess.run(
            ["xdotool", "getwindowgeometry", "--shell", xid],
            env=self.env(),
            stdin=subprocess.DEVNULL,
            capture_output=True,
            text=True,
            timeout=20,
        )
        values = dict(line.split("=", 1) for line in result.stdout.split() if "=" in line)
        check(result.returncode == 0 and "WIDTH" in values, f"xdotool cannot measure window {xid}")
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def xdotool(self, *arguments):
        result = subprocess.run(
            ["xdotool", *arguments],
            env=self.env(),
            stdin=subprocess.DEVNULL,
            capture_output=True,
            text=True,
            timeout=20,
        )
        check(result.returncode == 0, f"xdotool {' '.join(arguments)} failed: {result.stderr.strip()}")

    def poke(self, *arguments):
        """Runs poke.exe in the case's prefix; returns its exit code and what it printed."""
        self.poke_count += 1
        output = os.path.join(self.root, f"poke-{self.poke_count}.out")
        # The output goes to a file, not a pipe: Wine programs started by poke's process could otherwise
        # keep the pipe open long after poke has ended.
        with open(output, "wb") as out:
            status = subprocess.run(
                [self.options.wine_run, self.options.poke, *arguments],
                cwd=self.root,
                env=self.env(),
                stdin=subprocess.DEVNULL,
                stdout=out,
                stderr=subprocess.STDOUT,
                timeout=90,
            ).returncode
        with open(output, encoding="utf-8", errors="replace") as f:
            return status, f.read()

    def describe(self, *units):
        arguments = ["describe"]
        for rect in units:
            arguments += [str(v) for v in rect]
        status, text = self.poke(*arguments)
        check(status == 0, f"poke.exe describe failed ({status}): {text.strip()}")
        facts = {"controls": {}, "dlu": {}}
        for line in text.splitlines():
            words = line.split()
            if not words:
                continue
            if words[0] == "window":
                facts["window"] = tuple(int(w) for w in words[1:5])
            elif words[0] == "client":
                facts["client"] = tuple(int(w) for w in words[1:5])
            elif words[0] == "style":
                facts["style"] = int(words[1], 16)
            elif words[0] == "screen":
                facts["screen"] = (int(words[1]), int(words[2]))
            elif words[0] == "control":
                facts["controls"][int(words[1])] = {
                    "visible": words[2] == "1",
                    "rect": tuple(int(w) for w in words[3:7]),
                    "text": " ".join(words[7:]),
                }
            elif words[0] == "dlu":
                facts["dlu"][tuple(int(w) for w in words[1:5])] = tuple(int(w) for w in words[6:10])
        for key in ("window", "client", "style", "screen"):
            check(key in facts, f"poke.exe describe did not report the {key}: {text.strip()}")
        return facts

    def click(self, xid, control_id):
        """Clicks the middle of a visible control with the X pointer, as a user would."""
        facts = self.describe()
        control = facts["controls"].get(control_id)
        check(control is not None, f"the launcher window has no control {control_id}")
        check(control["visible"], f"control {control_id} ({control['text']}) is not visible, so it cannot be clicked")
        left, top, right, bottom = control["rect"]
        client_x, client_y = facts["client"][0], facts["client"][1]
        window_x, window_y, _, _ = self.x_geometry(xid)
        x = client_x + (left + right) // 2 - window_x
        y = client_y + (top + bottom) // 2 - window_y
        log(f"clicking {control['text'] or control_id} at ({x}, {y}) in window {xid}")
        self.xdotool("mousemove", "--window", xid, str(x), str(y), "click", "1")

    def post_command(self, control_id):
        log(f"posting WM_COMMAND {control_id}")
        status, text = self.poke("command", str(control_id))
        check(status == 0, f"poke.exe command {control_id} failed ({status}): {text.strip()}")

    def wait_exit(self):
        try:
            return self.launcher.wait(timeout=EXIT_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure(f"the launcher did not end within {EXIT_TIMEOUT:.0f} s")

    def _started_programs(self):
        """Processes of this case's prefix other than Wine's own, e.g. the launcher and what it started."""
        wanted = ("WINEPREFIX=" + self.prefix).encode()
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if wanted not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    command = f.read().split(b"\0")[0].decode("utf-8", "replace")
            except OSError:
                continue
            program = re.split(r"[\\/]", command)[-1].lower()
            if program not in WINE_SYSTEM_PROGRAMS:
                found.append(f"{entry} {command}")
        return found

    def settle(self):
        """Waits until everything the launcher started (browser hand-off, stub programs) has finished."""
        left = wait_for(lambda: not self._started_programs(), SETTLE_TIMEOUT, 0.1)
        check(left, f"programs started by the launcher still run after {SETTLE_TIMEOUT:.0f} s: "
              f"{self._started_programs()}")

    def urls(self):
        if not os.path.exists(self.url_log):
            return []
        with open(self.url_log, encoding="utf-8", errors="replace") as f:
            return [line.strip() for line in f if line.strip()]


# --- checks shared by the cases -------------------------------------------------------------------------


def expect_exit_zero(world):
    code = world.wait_exit()
    check(code == 0, f"the launcher exited with {code}, expected 0")
    log("the launcher exited with 0")


def expect_stats_url_only(world, options, *directories):
    expected = options.portal_origin + "/stats/tavaren.html"
    urls = wait_for(world.urls, URL_TIMEOUT)
    check(urls, f"no URL was opened within {URL_TIMEOUT:.0f} s; expected {expected}")
    world.settle()
    urls = world.urls()
    check(urls == [expected], f"opened URLs {urls}, expected exactly [{expected}]")
    for directory in directories:
        for marker in (GAME_MARKER, GAMEPAD_MARKER):
            check(not os.path.exists(os.path.join(directory, marker)), f"{marker} appeared in {directory}")
    log(f"the shell opened {expected} and nothing else")


def expect_stub_started(world, marker_name, cwd, stub_name, *other_directories):
    marker_path = os.path.join(cwd, marker_name)
    check(
        wait_for(lambda: os.path.exists(marker_path), EXIT_TIMEOUT),
        f"{stub_name} did not start: no {marker_name} in {cwd} within {EXIT_TIMEOUT:.0f} s",
    )
    world.settle()
    marker = read_marker(marker_path)
    check(same_windows_path(marker.get("cwd", ""), windows_path(cwd)),
          f"{stub_name} ran in {marker.get('cwd')!r}, expected {windows_path(cwd)!r}")
    expected_exe = windows_path(os.path.join(cwd, stub_name))
    check(same_windows_path(marker.get("exe", ""), expected_exe),
          f"the program started was {marker.get('exe')!r}, expected {expected_exe!r}")
    other = GAMEPAD_MARKER if marker_name == GAME_MARKER else GAME_MARKER
    for directory in (cwd, *other_directories):
        check(not os.path.exists(os.path.join(directory, other)), f"{other} appeared in {directory} as well")
    check(world.urls() == [], f"the shell opened URLs as well: {world.urls()}")
    log(f"{stub_name} started in {cwd} and nothing else was opened")


def populate(world, directory):
    world.put(world.options.game_stub, directory)
    world.put(world.options.gamepad_stub, directory)


# --- the cases ------------------------------------------------------------------------------------------


def case_play(options):
    with World(options, "play") as world:
        cwd = world.workdir()
        populate(world, cwd)
        world.start(options.launcher, cwd)
        world.click(world.window(), PLAY)
        expect_exit_zero(world)
        expect_stub_started(world, GAME_MARKER, cwd, "_Tavaren.exe")


def case_play_exe_elsewhere(options):
    with World(options, "play_exe_elsewhere") as world:
        # The launcher lies in a folder of its own that also holds stubs: they must not be the ones started.
        bin_dir = world.workdir("bin")
        world.put(options.launcher, bin_dir)
        populate(world, bin_dir)
        cwd = world.workdir("game")
        populate(world, cwd)
        world.start(os.path.join(bin_dir, os.path.basename(options.launcher)), cwd)
        world.click(world.window(), PLAY)
        expect_exit_zero(world)
        expect_stub_started(world, GAME_MARKER, cwd, "_Tavaren.exe", bin_dir)
        check(not os.path.exists(os.path.join(bin_dir, GAME_MARKER)), "the stub beside the launcher wrote a marker")


def case_close_button(options):
    with World(options, "close_button") as world:
        cwd = world.workdir()
        populate(world, cwd)
        world.start(options.launcher, cwd)
        world.click(world.window(), CLOSE)
        expect_exit_zero(world)
        expect_stats_url_only(world, options, cwd)


def case_close_alt_f4(options):
    with World(options, "close_alt_f4") as world:
        cwd = world.workdir()
        populate(world, cwd)
        world.start(options.launcher, cwd)
        xid = world.window()
        world.describe()  # the window is up and answering before the keys arrive
        log(f"pressing alt+F4 on window {xid}")
        result = subprocess.run(
            ["xdotool", "key", "--window", xid, "alt+F4"],
            env=world.env(),
            stdin=subprocess.DEVNULL,
            capture_output=True,
            text=True,
            timeout=20,
        )
        # The window may be gone before the keys are released; that is only an error while it is still up.
        check(result.returncode == 0 or not world.visible_windows(),
              f"xdotool key alt+F4 failed: {result.stderr.strip()}")
        expect_exit_zero(world)
        expect_stats_url_only(world, options, cwd)


def case_close_message(options):
    with World(options, "close_message") as world:
        cwd = world.workdir()
        populate(world, cwd)
        world.start(options.launcher, cwd)
        world.window()
        log("posting WM_CLOSE")
        status, text = world.poke("close")
        check(status == 0, f"poke.exe close failed ({status}): {text.strip()}")
        expect_exit_zero(world)
        expect_stats_url_only(world, options, cwd)


def case_gamepad(options):
    with World(options, "gamepad") as world:
        cwd = world.workdir()
        populate(world, cwd)
        world.start(options.launcher, cwd)
        world.window()
        world.post_command(GAMEPAD)
        expect_exit_zero(world)
        expect_stub_started(world, GAMEPAD_MARKER, cwd, "xpad.exe")


def case_missing_game(options):
    with World(options, "missing_game") as world:
        cwd = world.workdir()
        world.start(options.launcher, cwd)
        world.click(world.window(), PLAY)
        expect_exit_zero(world)
        world.settle()
        check(world.urls() == [], f"the shell opened URLs instead: {world.urls()}")
        check(os.listdir(cwd) == [], f"files appeared in the working directory: {os.listdir(cwd)}")
        log("with no game to start the launcher still exited with 0 and opened nothing")


def case_window_centred(options):
    # An odd screen size, so that centring has a half pixel to drop: the window goes left and up by it.
    with World(options, "window_centred", screen=(1025, 769)) as world:
        cwd = world.workdir()
        populate(world, cwd)
        world.start(options.launcher, cwd)
        xid = world.window()
        facts = world.describe(CLIENT_UNITS, PLAY_UNITS, CLOSE_UNITS)
        screen_w, screen_h = world.screen
        check(facts["screen"] == world.screen, f"Wine reports a {facts['screen']} screen, Xvfb has {world.screen}")

        left, top, right, bottom = facts["window"]
        width, height = right - left, bottom - top
        expected = ((screen_w - width) // 2, (screen_h - height) // 2)
        check((left, top) == expected, f"window at {(left, top)} size {width}x{height}, centred would be {expected}")
        x, y, x_width, x_height = world.x_geometry(xid)
        check((x, y, x_width, x_height) == (left, top, width, height),
              f"X shows the window at {(x, y)} size {x_width}x{x_height}, Windows at {(left, top)} {width}x{height}")
        log(f"{width}x{height} window at {(left, top)} on a {screen_w}x{screen_h} screen: centred")

        style = facts["style"]
        WS_POPUP, WS_CAPTION, WS_DLGFRAME, WS_THICKFRAME = 0x80000000, 0x00C00000, 0x00400000, 0x00040000
        check(style & WS_POPUP, f"style 0x{style:08x} is not a popup window")
        check(style & WS_CAPTION != WS_CAPTION and not style & (WS_DLGFRAME | WS_THICKFRAME),
              f"style 0x{style:08x} has a caption or a frame")

        client_units = facts["dlu"][CLIENT_UNITS]
        client_size = (client_units[2] - client_units[0], client_units[3] - client_units[1])
        check(facts["client"][2:] == client_size,
              f"client area is {facts['client'][2:]} pixels, 433x236 dialog units are {client_size}")

        controls = facts["controls"]
        for control_id, text, units in ((PLAY, "PLAY", PLAY_UNITS), (CLOSE, "CLOSE", CLOSE_UNITS)):
            control = controls.get(control_id)
            check(control is not None, f"no control {control_id}")
            check(control["visible"] and control["text"] == text,
                  f"control {control_id} is {control}, expected a visible {text} button")
            check(control["rect"] == facts["dlu"][units],
                  f"{text} is at {control['rect']}, its dialog units {units} are {facts['dlu'][units]}")
        for control_id in (OPTIONS, GAMEPAD):
            check(control_id in controls and not controls[control_id]["visible"],
                  f"control {control_id} should exist hidden: {controls.get(control_id)}")
        log("no caption; client area, PLAY and CLOSE where the template puts them; OPTIONS and GAMEPAD hidden")

        world.click(xid, CLOSE)
        expect_exit_zero(world)
        expect_stats_url_only(world, options, cwd)


def case_portal_request(options):
    origin = urllib.parse.urlsplit(options.portal_origin)
    if origin.scheme not in ("http", "https") or origin.hostname not in ("127.0.0.1", "localhost"):
        raise Skip(f"the portal origin {options.portal_origin} is not a local server this test can run")
    tls = origin.scheme == "https"
    if tls and not options.portal_certificate:
        raise Failure("an https portal needs --portal-certificate")
    portal = PortalServer(origin.port or 80, options.portal_certificate if tls else None)
    try:
        with World(options, "portal_request") as world:
            cwd = world.workdir()
            populate(world, cwd)
            world.start(options.launcher, cwd)
            xid = world.window()
            wanted = "/?mini=2&gameid=218"
            if tls:
                expect_tls_handshake(world, portal, wanted)
            else:
                arrived = wait_for(lambda: wanted in portal.seen(), PORTAL_TIMEOUT)
                check(arrived, f"the portal got {portal.seen()} within {PORTAL_TIMEOUT:.0f} s, expected GET {wanted}")
                log(f"the portal received GET {wanted}")
            world.click(xid, CLOSE)
            expect_exit_zero(world)
            expect_stats_url_only(world, options, cwd)
    finally:
        portal.stop()


# Wine's question when a site's certificate is not trusted: "There is a problem with the certificate for this
# site. ... Do you want to continue anyway?", with Yes (IDOK) and No (IDCANCEL).
CERTIFICATE_QUESTION = "Security Warning"


def expect_tls_handshake(world, portal, wanted):
    """The browser control opened a TLS connection to the portal: its ClientHello arrived, offering TLS 1.2
    or later. The portal's certificate is self-signed, which nothing trusts: the control must not ask for
    the page on its own. Under Wine it finishes the handshake, checks the certificate afterwards and asks
    the player whether to go on; answered Yes, it asks for the start page over TLS."""
    modern = ("TLS 1.2", "TLS 1.3")
    check(wait_for(lambda: any(portal.seen_tls()[0]), PORTAL_TIMEOUT),
          f"no TLS ClientHello reached the portal within {PORTAL_TIMEOUT:.0f} s (connections: {portal.seen_tls()[0]})")
    hello = next(h for h in portal.seen_tls()[0] if h)
    offered = [hello["version"], *hello["versions"]]
    check(any(v in modern for v in offered), f"the control's ClientHello offers {offered}, not TLS 1.2 or later")
    log(f"the portal received a TLS ClientHello: version {hello['version']}, supported_versions "
        f"{hello['versions'] or 'none'}, server name {hello['sni']!r}")

    def first_answer():
        if portal.seen():
            return "request"
        status, text = world.poke("--title", CERTIFICATE_QUESTION, "--wait-ms", "0", "describe")
        return text if status == 0 else None

    answer = wait_for(first_answer, PORTAL_TIMEOUT, 0.3)
    hellos, handshakes, closed = portal.seen_tls()
    log(f"so far {len(hellos)} connection(s), {closed} closed; handshakes: {handshakes}")
    check(answer != "request", f"the control asked for {portal.seen()} from a server whose certificate nothing "
          "trusts, without asking anyone")
    check(answer, f"within {PORTAL_TIMEOUT:.0f} s the control neither asked for the page nor asked about the "
          "certificate: a ClientHello alone shows nothing about what it does with the answer")
    question = [" ".join(line.split()[7:]) for line in answer.splitlines() if line.startswith("control ")]
    log(f"the control refused the certificate and asks: {' / '.join(t for t in question if t)}")
    status, text = world.poke("--title", CERTIFICATE_QUESTION, "command", "1")
    check(status == 0, f"could not answer Yes ({status}): {text.strip()}")
    check(wait_for(lambda: wanted in portal.seen(), PORTAL_TIMEOUT),
          f"answered Yes, the control asked the portal for {portal.seen()}, expected GET {wanted}")
    hellos, handshakes, _ = portal.seen_tls()
    log(f"answered Yes: the portal received GET {wanted} over TLS ({len(hellos)} connection(s), handshakes: "
        f"{handshakes})")


CONFIG_BYTES = (
    b"# settings shared with the game\r\n"
    b"screenWidth = 1024\r\n"
    b"screenHeight=768\n"
    b"\r\n"
    b"  screenBPP = 32   \r\n"
    b"unknownKey = kept as it is\r\n"
    b"bloom = 1"
)


def config_snapshot(directory):
    path = os.path.join(directory, "config.cfg")
    with open(path, "rb") as f:
        data = f.read()
    return data, os.stat(path).st_mtime_ns, sorted(os.listdir(directory))


def case_config_untouched(options):
    with World(options, "config_untouched") as world:
        cwd = world.workdir()
        with open(os.path.join(cwd, "config.cfg"), "wb") as f:
            f.write(CONFIG_BYTES)
        # An old time stamp: a rewrite with the same bytes still shows.
        os.utime(os.path.join(cwd, "config.cfg"), ns=(1_000_000_000_000_000_000, 1_000_000_000_000_000_000))
        before = config_snapshot(cwd)
        world.start(options.launcher, cwd)
        world.click(world.window(), CLOSE)
        expect_exit_zero(world)
        expect_stats_url_only(world, options, cwd)
        after = config_snapshot(cwd)
        check(after[0] == before[0], f"config.cfg changed: {before[0]!r} became {after[0]!r}")
        check(after[1] == before[1], "config.cfg was written again (its modification time changed)")
        check(after[2] == before[2], f"the working directory held {before[2]}, now {after[2]}")
        log("config.cfg is byte for byte what it was, and was not written")


# The text a save wrote in place of CONFIG_BYTES.
SAVED_CONFIG_BYTES = CONFIG_BYTES.replace(b"1024", b"1280").replace(b"768", b"960")


# The names a save of config.cfg uses beside it: its new file, its old one, and the lock that lets one save
# run at a time, which stays once made.
NEW_SUFFIX = ".launcher-new"
OLD_SUFFIX = ".launcher-old"
LOCK_SUFFIX = ".launcher-lock"


def saved_names(directory):
    """The names in directory, but a save's lock, which stays beside a saved file by design."""
    return {name for name in os.listdir(directory) if not name.endswith(LOCK_SUFFIX)}


def folder_bytes(directory):
    """Each file of directory with its bytes, but a save's lock."""
    found = {}
    for name in sorted(saved_names(directory)):
        with open(os.path.join(directory, name), "rb") as f:
            found[name] = f.read()
    return found


def writer_said(text):
    """The process id and start time that poke.exe hold printed, or None."""
    found = re.search(r"^pid (\d+) started (\d+)$", text, re.M)
    return found.groups() if found else None


class Holder:
    """poke.exe hold, as holder.exe in a folder of its own: a process that runs until it is released, holding
    the file given (a Windows path), if any, without sharing it. Once its id and start time are known it
    runs, and holds the file."""

    def __init__(self, world, *held):
        folder = world.workdir("holder")
        self.exe = os.path.join(folder, "holder.exe")
        self.release_file = os.path.join(folder, "release")
        shutil.copy2(world.options.poke, self.exe)
        output = os.path.join(world.root, "holder.out")
        with open(output, "wb") as out:
            self.process = subprocess.Popen([world.options.wine_run, self.exe, "hold", "release", *held],
                                            cwd=folder, env=world.env(), stdin=subprocess.DEVNULL, stdout=out,
                                            stderr=subprocess.STDOUT, start_new_session=True)

        def said():
            with open(output, encoding="utf-8", errors="replace") as f:
                return writer_said(f.read()) or self.process.poll() is not None

        found = wait_for(said, WINDOW_TIMEOUT, 0.2)
        check(found and self.process.poll() is None, f"{self.exe} was not holding on within {WINDOW_TIMEOUT:.0f} s "
              f"(exit code {self.process.poll()}; see holder.out)")
        self.pid, self.started = found

    def release(self):
        with open(self.release_file, "wb"):
            pass
        check(self.process.wait(timeout=EXIT_TIMEOUT) == 0, f"{self.exe} ended with {self.process.returncode}")


def case_config_recovered(options):
    # What a launcher killed between the two renames of a save leaves: no config.cfg, the old bytes under
    # config.cfg.launcher-old, the new ones under config.cfg.launcher-new. The next start puts the new bytes
    # in place, whatever the game wrote meanwhile, and no leftover is left; a reset the player does after
    # that start stays. A folder name the ANSI code page cannot spell, under 1252.
    folder = "Игры"
    check(options.code_page == 1252, f"this case runs under code page 1252, not {options.code_page}")
    try:
        folder.encode("cp1252")
        check(False, f"code page 1252 spells {folder}: the folder name shows nothing")
    except UnicodeEncodeError:
        pass
    with World(options, "config_recovered") as world:
        cwd = world.workdir(folder)
        new = os.path.join(cwd, "config.cfg" + NEW_SUFFIX)
        old = os.path.join(cwd, "config.cfg" + OLD_SUFFIX)

        def plant(files):
            for path, data in files:
                with open(path, "wb") as f:
                    f.write(data)

        def start_and_close(expected, moment):
            if os.path.exists(world.url_log):
                os.remove(world.url_log)
            world.start(options.launcher, cwd)
            xid = world.window()
            found = folder_bytes(cwd)
            check(found == expected, f"{moment}, when the window is up, {cwd} holds {found}; expected {expected}")
            world.click(xid, CLOSE)
            expect_exit_zero(world)
            expect_stats_url_only(world, options, cwd)

        recovered = {"config.cfg": SAVED_CONFIG_BYTES}
        plant(((old, CONFIG_BYTES), (new, SAVED_CONFIG_BYTES)))
        start_and_close(recovered, "after a save cut off between its renames")
        log("the next start put the new bytes in place and neither leftover was left")
        # The game wrote config.cfg after the crash: the start still finishes the save (the one choice).
        plant(((old, CONFIG_BYTES), (new, SAVED_CONFIG_BYTES), (os.path.join(cwd, "config.cfg"), b"// the game\r\n")))
        start_and_close(recovered, "after a crash pair beside a file the game wrote")
        # The player then empties config.cfg, and later deletes it, to reset: each reset stays.
        plant(((os.path.join(cwd, "config.cfg"), b""),))
        start_and_close({"config.cfg": b""}, "once the player had emptied config.cfg")
        os.remove(os.path.join(cwd, "config.cfg"))
        start_and_close({}, "once the player had deleted config.cfg")
        # A save whose old file could not go (a scanner held it) leaves it alone: it goes, and never brings a
        # deleted config.cfg back.
        plant(((old, CONFIG_BYTES),))
        start_and_close({}, "with a lone old file and no config.cfg")
        log("a reset after the recovering start stayed, and a lone old file went without coming back")


def options_dialog(world, *arguments):
    """Runs options_poke.exe (built beside poke.exe) on the Options dialog; fails the case unless it succeeds.
    show gives the dialog's state: the resolution items, the selected one and Bloom."""
    tool = os.path.join(os.path.dirname(world.options.poke), "options_poke.exe")
    world.poke_count += 1
    output = os.path.join(world.root, f"options-poke-{world.poke_count}.out")
    with open(output, "wb") as out:
        status = subprocess.run([world.options.wine_run, tool, *arguments], cwd=world.root, env=world.env(),
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                timeout=90).returncode
    with open(output, encoding="utf-8", errors="replace") as f:
        text = f.read()
    check(status == 0, f"options_poke.exe {' '.join(arguments)} failed ({status}): {text.strip()}")
    if arguments[0] != "show":
        return text
    lines = [line.split(" ", 3) for line in text.splitlines()]
    items = [words[3] for words in lines if words[0] == "item"]
    state = {words[0]: int(words[1]) for words in lines if words[0] in ("selected", "bloom")}
    check(len(state) == 2, f"options_poke.exe show said: {text.strip()}")
    return items, state["selected"], state["bloom"]


def case_options_cancel(options):
    # Cancel after choosing another mode and switching Bloom: config.cfg and the folder stay as they were;
    # the next opening shows the mode selected before, and Bloom as switched (it took effect at the click).
    with World(options, "options_cancel") as world:
        cwd = world.workdir()
        populate(world, cwd)
        with open(os.path.join(cwd, "config.cfg"), "wb") as f:
            f.write(CONFIG_BYTES)
        before = config_snapshot(cwd)
        world.start(options.launcher, cwd)
        xid = world.window()
        world.post_command(OPTIONS)
        items, selected, bloom = options_dialog(world, "show")
        log(f"the Options dialog is open: items {items}, selected {selected}, bloom {bloom}")
        # Another mode than the one selected where there is one; on a screen of one mode, that mode, which
        # is not config.cfg's (OK would write it).
        chosen = next((i for i in range(len(items)) if i != selected), selected)
        check(0 <= chosen < len(items) and items[chosen] != "1024 x 768 x 32",
              f"no mode to choose other than config.cfg's 1024 x 768 x 32: {items}, selected {selected}")
        options_dialog(world, "choose", items[chosen])
        options_dialog(world, "press", str(IDC_BLOOM))
        changed = options_dialog(world, "show")
        check(changed[1:] == (chosen, 1 - bloom), f"choosing {items[chosen]!r} and switching Bloom gave "
              f"selected {changed[1]}, bloom {changed[2]}")
        log(f"chose {items[chosen]!r} (config.cfg says 1024 x 768 x 32) and switched Bloom to {1 - bloom}")
        options_dialog(world, "press", str(IDCANCEL))
        options_dialog(world, "gone")
        check(world.launcher.poll() is None, "the launcher ended together with the Options dialog")
        log("Cancel closed the Options dialog and the launcher is still open")
        world.post_command(OPTIONS)
        # The mode chosen is not kept; Bloom took effect when it was clicked and stays so in memory.
        again = options_dialog(world, "show")
        check(again == (items, selected, 1 - bloom), f"Options opened again shows {again}; expected "
              f"{(items, selected, 1 - bloom)}")
        options_dialog(world, "press", str(IDCANCEL))
        options_dialog(world, "gone")
        log("opened again, Options shows the mode selected before and Bloom as it was switched")
        world.click(xid, CLOSE)
        expect_exit_zero(world)
        expect_stats_url_only(world, options, cwd)
        after = config_snapshot(cwd)
        check(after == before, "config.cfg or the working directory changed although Options was cancelled")


PLANTED_DLL = "uxtheme"
PLANTED_MARKER = "planted-dll-loaded.txt"


class WorldWithPlantedDll(World):
    """A case whose system lacks uxtheme.dll, which the window manager loads by name once the launcher's window
    exists. Wine keeps a stand-in file in its system folders for each DLL of its own and prefers its own DLLs, so a
    planted copy could never win there: the stand-ins go (system32 for 64-bit programs, syswow64 for 32-bit
    ones), and Wine is told to prefer a DLL found on the search path, as Windows always does."""

    def _prepare_prefix(self):
        super()._prepare_prefix()
        for folder in ("system32", "syswow64"):
            stand_in = os.path.join(self.prefix, "drive_c", "windows", folder, PLANTED_DLL + ".dll")
            if os.path.exists(stand_in):
                os.remove(stand_in)

    def env(self):
        env = super().env()
        env["WINEDLLOVERRIDES"] = (env.get("WINEDLLOVERRIDES") or "mscoree,mshtml=") + f";{PLANTED_DLL}=n,b"
        return env


def case_planted_dll(options):
    if not options.planted_dll or not options.load_library:
        raise Failure("planted_dll needs --planted-dll and --load-library")
    with WorldWithPlantedDll(options, "planted_dll") as world:
        cwd = world.workdir()
        populate(world, cwd)
        world.put(options.planted_dll, cwd)
        marker = os.path.join(cwd, PLANTED_MARKER)

        def loaders():
            if not os.path.exists(marker):
                return []
            with open(marker, encoding="utf-8", errors="replace") as f:
                return [line.strip() for line in f if line.strip()]

        # First a program that restricts nothing, in a folder of its own, run in the working directory: this
        # Wine finds the planted DLL there at all, so the launcher not loading it means something.
        helper = os.path.join(world.workdir("helper"), "load_library.exe")
        shutil.copy2(options.load_library, helper)
        with open(os.path.join(world.root, "load_library.out"), "wb") as out:
            status = subprocess.run([options.wine_run, helper, PLANTED_DLL + ".dll"], cwd=cwd, env=world.env(),
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                    timeout=90).returncode
        check(status == 0, f"{helper} ended with {status} (see load_library.out)")
        check([p for p in loaders() if p.lower().endswith("\\load_library.exe")],
              f"a program that restricts nothing did not load the {PLANTED_DLL}.dll planted in its working "
              f"directory (loaded by: {loaders() or 'nobody'}): this Wine would not load it anyway")
        log(f"a program that restricts nothing loads the planted {PLANTED_DLL}.dll: {loaders()}")
        os.remove(marker)

        world.start(options.launcher, cwd)
        xid = world.window()
        world.post_command(OPTIONS)
        status, text = world.poke("--title", "Options", "command", str(IDCANCEL))
        check(status == 0, f"could not cancel the Options dialog ({status}): {text.strip()}")
        world.click(xid, PLAY)
        expect_exit_zero(world)
        expect_stub_started(world, GAME_MARKER, cwd, "_Tavaren.exe")
        launcher_name = os.path.basename(options.launcher).lower()
        check(not [p for p in loaders() if p.lower().endswith("\\" + launcher_name)],
              f"the launcher loaded the {PLANTED_DLL}.dll planted in its working directory: {loaders()}")
        log(f"the launcher never loaded the planted {PLANTED_DLL}.dll (loaded by: {loaders() or 'nobody'})")


CASES = {name[len("case_"):]: function for name, function in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--game-stub", required=True)
    parser.add_argument("--gamepad-stub", required=True)
    parser.add_argument("--poke", required=True)
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--portal-origin", required=True)
    parser.add_argument("--work-root", required=True)
    parser.add_argument("--planted-dll", help="the DLL of the planted_dll case")
    parser.add_argument("--load-library", help="load_library.exe, which the planted_dll case runs first")
    parser.add_argument("--portal-certificate", help="for an https portal: the folder of its certificate and key")
    parser.add_argument("--code-page", type=int, help="the ANSI code page Wine runs the case in")
    options = parser.parse_args()
    options.portal_origin = options.portal_origin.rstrip("/")
    for name in ("launcher", "game_stub", "gamepad_stub", "poke", "wine_run", "work_root", "planted_dll", "load_library"):
        if getattr(options, name):
            setattr(options, name, os.path.abspath(getattr(options, name)))

    for tool in ("Xvfb", "xdotool", "wineserver", "cp"):
        if shutil.which(tool) is None:
            print(f"e2e: SKIPPED: {tool} is not installed (scripts/install-deps.sh installs it)", flush=True)
            return SKIPPED
    try:
        CASES[options.case](options)
    except Skip as reason:
        print(f"e2e: SKIPPED: {reason}", flush=True)
        return SKIPPED
    except Failure as failure:
        print(f"e2e: FAILED: {failure}", flush=True)
        return 1
    log(f"{options.case}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
