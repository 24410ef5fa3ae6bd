#!/usr/bin/env python3
"""An X display that belongs to one test alone.

`Xvfb -displayfd` is not enough for that: two servers on one number have been seen, and a number freed at
the end of one case is the first one the next server takes, while a straggler of the earlier case may still
talk to it. So a display here is:

- reserved first, under a lock of the harness's own: an abstract unix socket named after the number, bound
  by the process that holds the display. Abstract names are shared by every process of the network
  namespace, whatever its mount namespace (a bubblewrap root with its own /tmp included), and the kernel
  frees one when its holder dies, so a crash leaves nothing held;
- chosen at random from a range far above the numbers that servers picking the lowest free one take;
- served by a server started on that explicit number, which fails at once if any server holds it;
- checked by process id: both ways a client reaches display N (the abstract socket and the file in
  /tmp/.X11-unix) must lead to the server started here, when it comes up and again when the test ends.

Used as a module by the end-to-end driver (Display), and from shell scripts as a command that holds the
display while it runs:

    x_display.py serve --number-file FILE --log LOG [--screen 1280x1024x24] [-- SERVER ARGS...]

writes the number to FILE once the display is ready and checked, then waits for the server; SIGTERM stops
it, and so does the end of the process that started it. The server is Xvfb unless SERVER ARGS name another (the display number is appended).
"""

import argparse
import ctypes
import os
import random
import signal
import socket
import struct
import subprocess
import sys
import time

FIRST, LAST = 100, 899  # the range numbers are drawn from
START_TIMEOUT = 20.0


class DisplayError(Exception):
    pass


def _peer_pid(address):
    """The process id of the server listening at address (a unix socket path, abstract when it starts with
    a NUL byte), or None when nothing accepts there."""
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as client:
        client.settimeout(2)
        try:
            client.connect(address)
        except OSError:
            return None
        credentials = client.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, struct.calcsize("3i"))
        return struct.unpack("3i", credentials)[0]


def _addresses(number):
    path = f"/tmp/.X11-unix/X{number}"
    return {"abstract socket": "\0" + path, path: path}


def _die_with_holder():
    """Run in the server's process before it starts: the kernel ends it when the process that holds its
    number ends, however that ends (a driver killed at a time-out included), so no server outlives its
    reservation."""
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


def _reserve(number):
    """Binds the harness's lock for number; None when another process holds it."""
    lock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        lock.bind(f"\0tavaren-x-display-{number}")
    except OSError:
        lock.close()
        return None
    return lock


class Display:
    """Starts a server on a display of its own; stop() ends it and then lets the number go."""

    def __init__(self, log_path, screen="1280x1024x24", server=None, tries=20):
        self.log_path = log_path
        self.server = None
        self.number = None
        self._lock = None
        command = list(server) if server else ["Xvfb", "-screen", "0", screen, "-nolisten", "tcp"]
        reasons = []
        for number in random.sample(range(FIRST, LAST + 1), tries):
            lock = _reserve(number)
            if lock is None:
                continue
            reason = self._start(command, number)
            if reason is None:
                self._lock, self.number = lock, number
                return
            lock.close()
            reasons.append(f":{number} {reason}")
        raise DisplayError("no display of its own came up: " + "; ".join(reasons[-3:] or ["every number drawn was held"]))

    def _start(self, command, number):
        with open(self.log_path, "ab") as log:
            server = subprocess.Popen(
                [*command, f":{number}"],
                stdin=subprocess.DEVNULL,
                stdout=log,
                stderr=subprocess.STDOUT,
                start_new_session=True,
                preexec_fn=_die_with_holder,
            )
        deadline = time.monotonic() + START_TIMEOUT
        while time.monotonic() < deadline:
            if server.poll() is not None:
                return f"ended with {server.returncode} (another server holds it; see {self.log_path})"
            owners = {name: _peer_pid(address) for name, address in _addresses(number).items()}
            if all(pid is not None for pid in owners.values()):
                strangers = {name: pid for name, pid in owners.items() if pid != server.pid}
                if not strangers:
                    self.server = server
                    return None
                _stop_process(server)
                return "is answered by another server too: " + ", ".join(
                    f"{name} by pid {pid}" for name, pid in strangers.items())
            time.sleep(0.05)
        _stop_process(server)
        return f"did not come up within {START_TIMEOUT:.0f} s"

    @property
    def name(self):
        return f":{self.number}"

    def check(self):
        """None while both ways to the display still lead to this server; otherwise what happened."""
        if self.server.poll() is not None:
            return f"the X server of display {self.name} ended with {self.server.returncode}"
        for name, address in _addresses(self.number).items():
            pid = _peer_pid(address)
            if pid != self.server.pid:
                return (f"display {self.name} through its {name} is no longer this test's server "
                        f"(pid {self.server.pid}) but {'nobody' if pid is None else f'pid {pid}'}")
        return None

    def stop(self):
        if self.server is not None:
            _stop_process(self.server)
        if self._lock is not None:
            self._lock.close()
            self._lock = None


def _stop_process(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=5)


def _serve(arguments):
    parser = argparse.ArgumentParser(prog="x_display.py serve")
    parser.add_argument("--number-file", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--screen", default="1280x1024x24")
    parser.add_argument("server", nargs="*")
    options = parser.parse_args(arguments)
    try:
        display = Display(options.log, options.screen, options.server or None)
    except DisplayError as error:
        print(f"x_display: {error}", file=sys.stderr)
        return 1
    # Only asks the server to end: the wait below reaps it, and then the number goes.
    signal.signal(signal.SIGTERM, lambda *_: display.server.terminate())
    with open(options.number_file + ".part", "w") as f:
        f.write(f"{display.number}\n")
    os.rename(options.number_file + ".part", options.number_file)
    # Held while the server runs and the script that asked for it is there: a script that dies without
    # stopping its display (killed, say) leaves no server behind.
    parent = os.getppid()
    try:
        while display.server.poll() is None and os.getppid() == parent:
            time.sleep(0.5)
    except KeyboardInterrupt:
        pass
    display.stop()
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] != "serve":
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(_serve(sys.argv[2:]))
