#!/usr/bin/env python3
"""End-to-end checks of the Options dialog in the real Tavaren.exe under wine64.

Builds on launcher_e2e.py beside the parent folder (a private Xvfb display, prefix and working directory
for each case). The launcher's window is asked for Options with poke.exe (WM_COMMAND 1001, as its hidden
OPTONS button would send), and options_poke.exe reads and drives the dialog from another Wine process.

    options_e2e.py CASE --options-poke options_poke.exe  (and the arguments of launcher_e2e.py)

Exit status: 0 passed, 1 failed, 77 skipped.
"""

import contextlib
import errno
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import launcher_e2e as e2e  # noqa: E402

IDOK = 1
IDCANCEL = 2
IDC_BLOOM = 1009

# The Xvfb screen of these cases: Direct3D 9 reports this one mode there.
SCREEN = (1600, 1200)
SCREEN_ITEM = f"{SCREEN[0]} x {SCREEN[1]} x 32"


def options_poke(world, *arguments):
    """Runs options_poke.exe in the case's prefix; returns its exit code and what it printed."""
    world.poke_count += 1
    output = os.path.join(world.root, f"options-poke-{world.poke_count}.out")
    with open(output, "wb") as out:
        status = e2e.subprocess.run(
            [world.options.wine_run, world.options.options_poke, *arguments],
            cwd=world.root,
            env=world.env(),
            stdin=e2e.subprocess.DEVNULL,
            stdout=out,
            stderr=e2e.subprocess.STDOUT,
            timeout=90,
        ).returncode
    with open(output, encoding="utf-8", errors="replace") as f:
        return status, f.read()


def drive(world, what, *arguments):
    """Runs options_poke.exe and fails the case, saying what could not be done, unless it succeeded."""
    status, text = options_poke(world, *arguments)
    e2e.check(status == 0, f"could not {what} ({status}): {text.strip()}")
    return text


def show_options(world):
    """The open dialog's items (text, item data), selected index and Bloom state."""
    status, text = options_poke(world, "show")
    e2e.check(status == 0, f"options_poke.exe show failed ({status}): {text.strip()}")
    items, selected, bloom = [], None, None
    for line in text.splitlines():
        words = line.split(" ", 3)
        if words[0] == "item":
            items.append((words[3], int(words[2])))
        elif words[0] == "selected":
            selected = int(words[1])
        elif words[0] == "bloom":
            bloom = int(words[1])
    e2e.check(selected is not None and bloom is not None, f"options_poke.exe show said: {text.strip()}")
    return items, selected, bloom


def loaded_modules(world):
    """The lower-case names of the modules loaded in the launcher's process."""
    status, text = world.poke("modules")
    e2e.check(status == 0, f"poke.exe modules failed ({status}): {text.strip()}")
    names = {line[len("module "):].strip().lower() for line in text.splitlines() if line.startswith("module ")}
    # Every window's process has user32.dll: without it, the list is not the launcher's.
    e2e.check("user32.dll" in names, f"poke.exe modules listed {sorted(names)}, without user32.dll")
    return names


def open_options(world):
    world.post_command(e2e.OPTIONS)
    items, selected, bloom = show_options(world)
    e2e.log(f"the Options dialog is open: items {items}, selected {selected}, bloom {bloom}")
    return items, selected, bloom


def press_ok_and_wait(world):
    drive(world, "press OK", "press", str(IDOK))
    status, text = options_poke(world, "gone")
    e2e.check(status == 0, f"the Options dialog stayed open after OK: {text.strip()}")
    e2e.check(world.launcher.poll() is None, "the launcher ended together with the Options dialog")
    e2e.log("OK closed the Options dialog and the launcher window is still open")


def press_ok_and_expect_message(world, reason):
    """OK shows a message box owned by the dialog, captioned "Options", naming config.cfg and giving the
    reason; once it is answered the dialog is still open."""
    drive(world, "press OK", "press", str(IDOK))
    said = drive(world, "read the message", "message")
    lines = said.splitlines()
    text = " ".join(line[len("text "):] for line in lines if line.startswith("text "))
    e2e.check("caption Options" in lines, f"the message's caption is not Options: {said.strip()}")
    e2e.check("config.cfg" in text and reason in text, f"the message says {text!r}, expected {reason!r}")
    e2e.log(f"OK said: {text}")
    return show_options(world)


def config_lines(directory):
    """config.cfg's lines without their line ends."""
    with open(os.path.join(directory, "config.cfg"), "rb") as f:
        data = f.read()
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    return [line[:-1] if line.endswith(b"\r") else line for line in lines]


KEYS = (b"screenWidth", b"screenHeight", b"screenBPP", b"bloom")


def key_of(line):
    """The key a line holds: it begins with the key, followed by its end or a byte that cannot continue a
    name. Other lines (a key after blanks, a longer name) give None."""
    for key in KEYS:
        rest = line[len(key):len(key) + 1]
        if line.startswith(key) and not (rest.isalnum() or rest == b"_" or (rest and rest[0] >= 0x80)):
            return key
    return None


def expect_config(directory, width, height, bpp, bloom, source=e2e.CONFIG_BYTES):
    """Each key has one line, in the written form with the value given, or none where the value is None;
    every other line of source is there as it was, in its order."""
    original = [line[:-1] if line.endswith(b"\r") else line for line in source.split(b"\n")]
    actual = config_lines(directory)
    others = [line for line in actual if key_of(line) is None]
    expected_others = [line for line in original if key_of(line) is None]
    e2e.check(others == expected_others, f"config.cfg's other lines are {others}, expected {expected_others}")
    values = {b"screenWidth": width, b"screenHeight": height, b"screenBPP": bpp, b"bloom": bloom}
    key_lines = sorted(line for line in actual if key_of(line) is not None)
    expected_keys = sorted(key + b" = " + str(value).encode() for key, value in values.items() if value is not None)
    e2e.check(key_lines == expected_keys, f"config.cfg's key lines are {key_lines}, expected {expected_keys}")
    e2e.log(f"config.cfg holds {width} x {height} x {bpp}, bloom {bloom}, and its other lines unchanged")


def start_with_config(world, folder="run"):
    cwd = world.workdir(folder)
    e2e.populate(world, cwd)
    with open(os.path.join(cwd, "config.cfg"), "wb") as f:
        f.write(e2e.CONFIG_BYTES)
    world.start(world.options.launcher, cwd)
    return cwd, world.window()


def play_starts_the_game(world, xid, cwd):
    world.click(xid, e2e.PLAY)
    e2e.expect_exit_zero(world)
    e2e.expect_stub_started(world, e2e.GAME_MARKER, cwd, "_Tavaren.exe")


def case_options_ok(options):
    with e2e.World(options, "options_ok", screen=SCREEN) as world:
        cwd, xid = start_with_config(world)
        # Direct3D 9 waits for the Options dialog: the window is up without it, and its first opening
        # lists the modes.
        e2e.check("d3d9.dll" not in loaded_modules(world), "d3d9.dll was loaded before Options opened")
        items, selected, bloom = open_options(world)
        e2e.check("d3d9.dll" in loaded_modules(world), "d3d9.dll is not loaded with the Options dialog open")
        # config.cfg says 1024 x 768, which this screen does not offer: the first item is preselected.
        e2e.check(items == [(SCREEN_ITEM, 0)], f"the dialog lists {items}, expected [{SCREEN_ITEM!r} at 0]")
        e2e.check(selected == 0, f"item {selected} is selected, expected 0")
        e2e.check(bloom == 1, f"Bloom shows {bloom}, expected checked (bloom = 1 in config.cfg)")
        drive(world, f"choose {SCREEN_ITEM}", "choose", SCREEN_ITEM)
        press_ok_and_wait(world)
        expect_config(cwd, SCREEN[0], SCREEN[1], 32, 1)
        play_starts_the_game(world, xid, cwd)


class WorldWithoutDirect3D(e2e.World):
    """A case whose Wine programs cannot load d3d9.dll."""

    def env(self):
        env = super().env()
        overrides = env.get("WINEDLLOVERRIDES") or "mscoree,mshtml="
        env["WINEDLLOVERRIDES"] = overrides + ";d3d9="
        return env


def case_options_without_d3d9(options):
    with WorldWithoutDirect3D(options, "options_without_d3d9", screen=SCREEN) as world:
        cwd, xid = start_with_config(world)
        e2e.log("the launcher window is up without d3d9.dll")
        items, selected, bloom = open_options(world)
        e2e.check(items == [], f"the dialog lists {items} without Direct3D 9, expected nothing")
        e2e.check(selected == -1, f"item {selected} is selected in the empty list, expected none (-1)")
        press_ok_and_wait(world)
        # OK with nothing to choose keeps the resolution that config.cfg gave. The indented
        # "  screenBPP = 32" of CONFIG_BYTES is no key line: no colour depth is known, so none is written.
        expect_config(cwd, 1024, 768, None, 1)
        play_starts_the_game(world, xid, cwd)


def case_options_without_d3d9_or_config(options):
    with WorldWithoutDirect3D(options, "options_without_d3d9_or_config", screen=SCREEN) as world:
        cwd = world.workdir()
        e2e.populate(world, cwd)
        before = e2e.saved_names(cwd)
        world.start(world.options.launcher, cwd)
        xid = world.window()
        items, selected, bloom = open_options(world)
        e2e.check(items == [] and bloom == 0, f"the dialog shows {items}, Bloom {bloom}; expected nothing, off")
        drive(world, "click Bloom", "press", str(IDC_BLOOM))
        e2e.check(show_options(world)[2] == 1, "Bloom is not checked after a click")
        press_ok_and_wait(world)
        # No resolution came from config.cfg or from the player: only Bloom is stored.
        with open(os.path.join(cwd, "config.cfg"), "rb") as f:
            data = f.read()
        e2e.check(data == b"bloom = 1\r\n", f"config.cfg holds {data!r}, expected only b'bloom = 1\\r\\n'")
        created = e2e.saved_names(cwd) - before
        e2e.check(created == {"config.cfg"}, f"OK left {sorted(created)} in the working directory")
        e2e.log("OK with no display mode and no config.cfg created config.cfg with the Bloom line alone")
        play_starts_the_game(world, xid, cwd)


def case_options_ok_while_config_held(options):
    with e2e.World(options, "options_ok_while_config_held", screen=SCREEN) as world:
        cwd, xid = start_with_config(world)
        open_options(world)
        drive(world, f"choose {SCREEN_ITEM}", "choose", SCREEN_ITEM)
        drive(world, "click Bloom", "press", str(IDC_BLOOM))
        # Another program holds config.cfg without sharing it for half a second, and OK falls in it.
        path = e2e.windows_path(os.path.join(cwd, "config.cfg"))
        text = drive(world, "hold config.cfg and press OK", "hold", path, "500", str(IDOK))
        e2e.check("open-at-release 1" in text, f"OK did not wait for config.cfg: {text.strip()}")
        status, text = options_poke(world, "gone")
        e2e.check(status == 0, f"the Options dialog stayed open after OK: {text.strip()}")
        expect_config(cwd, SCREEN[0], SCREEN[1], 32, 0)
        play_starts_the_game(world, xid, cwd)


def case_options_ok_through_symlink(options):
    with e2e.World(options, "options_ok_through_symlink", screen=SCREEN) as world:
        cwd = world.workdir()
        e2e.populate(world, cwd)
        with open(os.path.join(cwd, "game-settings.cfg"), "wb") as f:
            f.write(e2e.CONFIG_BYTES)
        link = os.path.join(cwd, "config.cfg")
        os.symlink("game-settings.cfg", link)
        before = e2e.saved_names(cwd)
        world.start(world.options.launcher, cwd)
        xid = world.window()
        open_options(world)
        drive(world, f"choose {SCREEN_ITEM}", "choose", SCREEN_ITEM)
        press_ok_and_wait(world)
        e2e.check(os.path.islink(link) and os.readlink(link) == "game-settings.cfg",
                  "config.cfg is no longer the symbolic link to game-settings.cfg")
        expect_config(cwd, SCREEN[0], SCREEN[1], 32, 1)  # read through the link: the target's content
        e2e.check(e2e.saved_names(cwd) == before, f"OK changed the working directory to {os.listdir(cwd)}")
        e2e.log("config.cfg is still a link, and the file it leads to holds the new settings")
        play_starts_the_game(world, xid, cwd)


# What a save cut off between its two renames left: no config.cfg, the old bytes under config.cfg.launcher-old,
# the new ones under config.cfg.launcher-new, whose last line is one of the game's own that the launcher never
# writes.
HELD_NEW_BYTES = e2e.SAVED_CONFIG_BYTES + b"\r\nlastMap = harbour"


def expect_ok_after_leftover_held(options, name, held_at_ok):
    """A scanner holds the new file without sharing it while the launcher starts, so the start can put
    nothing in place and leaves both files. OK once it has let go saves over the new file's lines. OK while
    it still holds on changes nothing: a config.cfg made from nothing would lose the game's lines; the next
    start puts the new file in place."""
    with e2e.World(options, name, screen=SCREEN) as world:
        cwd = world.workdir()
        stem = os.path.join(cwd, "config.cfg")
        for suffix, data in ((e2e.OLD_SUFFIX, e2e.CONFIG_BYTES), (e2e.NEW_SUFFIX, HELD_NEW_BYTES)):
            with open(stem + suffix, "wb") as f:
                f.write(data)
        left = e2e.folder_bytes(cwd)
        scanner = e2e.Holder(world, e2e.windows_path(stem + e2e.NEW_SUFFIX))
        world.start(world.options.launcher, cwd)
        xid = world.window()
        e2e.check(e2e.folder_bytes(cwd) == left, f"while the new file was held, the start left {os.listdir(cwd)}")
        if not held_at_ok:
            scanner.release()
        open_options(world)
        drive(world, f"choose {SCREEN_ITEM}", "choose", SCREEN_ITEM)
        if held_at_ok:
            press_ok_and_expect_message(world, "an earlier save of config.cfg is not finished yet")
            e2e.check(e2e.folder_bytes(cwd) == left, f"OK while the new file was held left {e2e.folder_bytes(cwd)}")
            e2e.log("OK while the new file was held changed nothing and said so")
            drive(world, "press Cancel", "press", str(IDCANCEL))
            drive(world, "see the dialog go", "gone")
            scanner.release()
            world.click(xid, e2e.CLOSE)
            e2e.expect_exit_zero(world)
            e2e.expect_stats_url_only(world, options, cwd)
            os.remove(world.url_log)
            world.start(world.options.launcher, cwd)
            xid = world.window()
            e2e.check(e2e.folder_bytes(cwd) == {"config.cfg": HELD_NEW_BYTES},
                      f"the next start left {e2e.folder_bytes(cwd)}, expected the new file's bytes in config.cfg alone")
        else:
            press_ok_and_wait(world)
            expect_config(cwd, SCREEN[0], SCREEN[1], 32, 0, HELD_NEW_BYTES)
            e2e.check(e2e.saved_names(cwd) == {"config.cfg"}, f"OK left {os.listdir(cwd)}")
        e2e.log("config.cfg holds the new file's lines and no leftover is left")
        world.click(xid, e2e.CLOSE)
        e2e.expect_exit_zero(world)
        e2e.expect_stats_url_only(world, options, cwd)


def case_options_ok_after_leftover_held(options):
    expect_ok_after_leftover_held(options, "options_ok_after_leftover_held", held_at_ok=False)


def case_options_ok_while_leftover_held(options):
    expect_ok_after_leftover_held(options, "options_ok_while_leftover_held", held_at_ok=True)


# Two launchers in one game folder. poke.exe and options_poke.exe address each by its process id.


def launcher_pids(world):
    status, text = world.poke("pids")
    e2e.check(status == 0, f"poke.exe pids failed ({status}): {text.strip()}")
    return {line.split()[1] for line in text.splitlines() if line.startswith("pid ")}


def only_launcher_pid(world):
    """The process id of the one launcher running, once its window is listed."""
    def one():
        pids = launcher_pids(world)
        return pids if len(pids) == 1 else None

    pids = e2e.wait_for(one, 20, 0.5)
    e2e.check(pids, f"poke.exe pids did not list one launcher: {sorted(launcher_pids(world))}")
    return next(iter(pids))


def start_second(world, cwd, first_pid):
    """Starts a second launcher in cwd beside the running one (world.launcher stays the first); returns its
    process and its process id inside Wine once its window is up."""
    first = world.launcher
    second = world.start(world.options.launcher, cwd)
    world.launcher = first

    def other():
        e2e.check(second.poll() is None, f"the second launcher ended with {second.returncode}")
        pids = launcher_pids(world) - {first_pid}
        return next(iter(pids)) if pids else None

    pid = e2e.wait_for(other, e2e.WINDOW_TIMEOUT, 0.5)
    e2e.check(pid, f"the second launcher showed no window within {e2e.WINDOW_TIMEOUT:.0f} s")
    e2e.log(f"a second launcher (process {pid}) is up beside the first (process {first_pid})")
    return second, pid


def close_by_pid(world, pid, process):
    status, text = world.poke("--pid", pid, "close")
    e2e.check(status == 0, f"poke.exe --pid {pid} close failed ({status}): {text.strip()}")
    e2e.check(process.wait(timeout=e2e.EXIT_TIMEOUT) == 0, f"launcher {pid} exited with {process.returncode}")


def case_options_ok_beside_stranded_save(options):
    """Launcher A's OK strands (config.cfg moved aside to the old name, the new file held by a scanner, so no
    way in or back) and A stays open. A second launcher B reads nothing; its OK must change nothing and say
    so, rather than make a config.cfg of the four keys alone. Once A has ended and the hold has gone, the next
    start puts A's file in place: the game's lines with A's choice, and no leftover."""
    with e2e.World(options, "options_ok_beside_stranded_save", screen=SCREEN) as world:
        cwd, xid = start_with_config(world)
        before = e2e.saved_names(cwd)
        a_pid = only_launcher_pid(world)
        open_options(world)
        drive(world, f"choose {SCREEN_ITEM}", "choose", SCREEN_ITEM)
        press_ok_and_wait(world)
        stem = os.path.join(cwd, "config.cfg")
        with open(stem, "rb") as f:
            saved = f.read()
        # What A's OK leaves when every move into config.cfg and every way back is refused.
        os.rename(stem, stem + e2e.NEW_SUFFIX)
        with open(stem + e2e.OLD_SUFFIX, "wb") as f:
            f.write(e2e.CONFIG_BYTES)
        scanner = e2e.Holder(world, e2e.windows_path(stem + e2e.NEW_SUFFIX))
        left = e2e.folder_bytes(cwd)
        b_process, b_pid = start_second(world, cwd, a_pid)
        e2e.check(e2e.folder_bytes(cwd) == left, f"B's start beside the stranded save left {os.listdir(cwd)}")
        status, text = world.poke("--pid", b_pid, "command", str(e2e.OPTIONS))
        e2e.check(status == 0, f"could not open B's Options ({status}): {text.strip()}")
        drive(world, f"choose {SCREEN_ITEM}", "--pid", b_pid, "choose", SCREEN_ITEM)
        drive(world, "click Bloom", "--pid", b_pid, "press", str(IDC_BLOOM))
        press_ok_and_expect_message(world, "an earlier save of config.cfg is not finished yet")
        e2e.check(e2e.folder_bytes(cwd) == left, f"B's OK beside the stranded save left {e2e.folder_bytes(cwd)}")
        e2e.log("B's OK beside A's stranded save changed nothing and said so")
        drive(world, "press Cancel", "press", str(IDCANCEL))
        drive(world, "see the dialog go", "gone")
        close_by_pid(world, b_pid, b_process)
        world.click(xid, e2e.CLOSE)
        e2e.expect_exit_zero(world)
        scanner.release()
        os.remove(world.url_log)
        world.start(world.options.launcher, cwd)
        xid = world.window()
        e2e.check(e2e.saved_names(cwd) == before, f"the next start left {sorted(e2e.saved_names(cwd) - before)}")
        e2e.check(e2e.folder_bytes(cwd)["config.cfg"] == saved, "the next start did not put A's saved file in place")
        expect_config(cwd, SCREEN[0], SCREEN[1], 32, 1)
        world.click(xid, e2e.CLOSE)
        e2e.expect_exit_zero(world)
        e2e.expect_stats_url_only(world, options, cwd)


def case_options_ok_in_two_launchers(options):
    """Two launchers in one folder, OK pressed in both at nearly once, one choosing Bloom off and the other
    on: config.cfg is one whole file with one of the two choices and every other line, and no leftover."""
    with e2e.World(options, "options_ok_in_two_launchers", screen=SCREEN) as world:
        cwd, xid = start_with_config(world)
        before = e2e.saved_names(cwd)
        a_pid = only_launcher_pid(world)
        b_process, b_pid = start_second(world, cwd, a_pid)
        for pid in (a_pid, b_pid):
            status, text = world.poke("--pid", pid, "command", str(e2e.OPTIONS))
            e2e.check(status == 0, f"could not open the Options of {pid} ({status}): {text.strip()}")
            drive(world, f"choose {SCREEN_ITEM}", "--pid", pid, "choose", SCREEN_ITEM)
        drive(world, "click Bloom in A", "--pid", a_pid, "press", str(IDC_BLOOM))
        drive(world, "press OK in both", "press-all", str(IDOK))
        drive(world, "see both dialogs go", "gone")
        chosen = [line for line in config_lines(cwd) if key_of(line) == b"bloom"]
        e2e.check(chosen in ([b"bloom = 0"], [b"bloom = 1"]), f"config.cfg's Bloom lines are {chosen}")
        expect_config(cwd, SCREEN[0], SCREEN[1], 32, int(chosen[0][-1:]))
        e2e.check(e2e.saved_names(cwd) == before, f"the two saves left {sorted(e2e.saved_names(cwd) - before)}")
        close_by_pid(world, b_pid, b_process)
        world.click(xid, e2e.CLOSE)
        e2e.expect_exit_zero(world)


# Saves that cannot happen. Each row: how the cause is brought about in a game folder holding config.cfg
# (CONFIG_BYTES, bloom 1), what the message must say, and how the cause goes again.


def make_read_only(world, cwd):
    path = os.path.join(cwd, "config.cfg")
    os.chmod(path, 0o444)  # Wine shows a file without write bits as read-only, to root too
    return lambda: os.chmod(path, 0o644)


def make_folder(world, cwd):
    path = os.path.join(cwd, "config.cfg")
    os.remove(path)
    os.mkdir(path)

    def gone():
        os.rmdir(path)
        with open(path, "wb") as f:
            f.write(e2e.CONFIG_BYTES)
    return gone


def fill_medium(world, cwd):
    """cwd is a small medium of its own (SmallMedium): a filler file takes what is left of it."""
    filler = os.path.join(cwd, "filler")
    with open(filler, "wb", buffering=0) as f:
        for size in (65536, 4096, 512, 1):
            try:
                while f.write(b"\0" * size):
                    pass
            except OSError as error:
                e2e.check(error.errno == errno.ENOSPC, f"filling the medium failed: {error}")
    return lambda: os.remove(filler)


def hold_config(world, cwd):
    """Held without sharing, as a scanner or the game may, past the save's deadline (until released)."""
    return e2e.Holder(world, e2e.windows_path(os.path.join(cwd, "config.cfg"))).release


UNSAVED = {
    "read_only": (make_read_only, "config.cfg is read-only"),
    "folder": (make_folder, "config.cfg could not be read, so it was not rewritten"),
    "disk_full": (fill_medium, "the disk is full"),
    "held": (hold_config, "another program is using config.cfg"),
}


class SmallMedium:
    """A 16 MB file system mounted on a folder for the case (tmpfs, size-limited), so that it can be filled;
    a case skips where this process may not mount one."""

    def __init__(self, path):
        self.path = path

    def __enter__(self):
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m,mode=0755", "tmpfs", self.path],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if mounted.returncode != 0:
            raise e2e.Skip(f"no small medium to fill: mount said {mounted.stdout.strip()!r}")
        return self

    def __exit__(self, *exception):
        # Lazily: the launcher may still be ending in it.
        subprocess.run(["umount", "-l", self.path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return False


def expect_unsaved_then_saved(options, name, cause):
    """The cause brought about while the launcher runs: OK shows the message with its reason, the dialog
    stays open with the player's choice, and config.cfg and its folder are as they were. Once the cause is
    gone, OK in the same dialog saves and closes, with no message."""
    make_cause, reason = UNSAVED[cause]
    with e2e.World(options, name, screen=SCREEN) as world:
        cwd = world.workdir()
        with SmallMedium(cwd) if cause == "disk_full" else contextlib.nullcontext():
            e2e.populate(world, cwd)
            with open(os.path.join(cwd, "config.cfg"), "wb") as f:
                f.write(e2e.CONFIG_BYTES)
            remove_cause = make_cause(world, cwd)
            before = e2e.folder_bytes(cwd) if cause != "folder" else sorted(e2e.saved_names(cwd))
            world.start(world.options.launcher, cwd)
            xid = world.window()
            bloom = open_options(world)[2]
            drive(world, f"choose {SCREEN_ITEM}", "choose", SCREEN_ITEM)
            drive(world, "click Bloom", "press", str(IDC_BLOOM))
            items, selected, shown_bloom = press_ok_and_expect_message(world, reason)
            e2e.check(selected == 0 and shown_bloom == 1 - bloom,
                      f"after the message the dialog shows item {selected}, Bloom {shown_bloom}")
            after = e2e.folder_bytes(cwd) if cause != "folder" else sorted(e2e.saved_names(cwd))
            e2e.check(after == before, f"OK that could not save changed the game folder: {sorted(after)}")
            e2e.log("the Options dialog is still open with the choice, and the game folder is as it was")
            remove_cause()
            press_ok_and_wait(world)
            expect_config(cwd, SCREEN[0], SCREEN[1], 32, 1 - bloom)
            play_starts_the_game(world, xid, cwd)


def case_options_unsaved_read_only(options):
    expect_unsaved_then_saved(options, "options_unsaved_read_only", "read_only")


def case_options_unsaved_folder(options):
    expect_unsaved_then_saved(options, "options_unsaved_folder", "folder")


def case_options_unsaved_disk_full(options):
    expect_unsaved_then_saved(options, "options_unsaved_disk_full", "disk_full")


def case_options_unsaved_held(options):
    expect_unsaved_then_saved(options, "options_unsaved_held", "held")


# Game folders that code page 1252 cannot spell, nor 932 the Chinese one; in 932 the second byte of ソ and
# of 表 is a backslash.
FOLDER_NAMES = ("Игры", "游戏", "ソフト表")


def case_options_ok_in_any_folder(options):
    e2e.check(options.code_page, "this case needs --code-page")
    with e2e.World(options, "options_ok_in_any_folder", screen=SCREEN) as world:
        # ... and one whose path leaves room below MAX_PATH (260) for config.cfg but not for a longer name.
        long_name = "x" * (245 - len(e2e.windows_path(world.root)) - 1)
        e2e.check(long_name, f"the work folder {world.root} is too deep for a folder just under MAX_PATH")
        for folder in (*FOLDER_NAMES, long_name):
            cwd, xid = start_with_config(world, folder)
            before = e2e.saved_names(cwd)
            open_options(world)
            drive(world, f"choose {SCREEN_ITEM}", "choose", SCREEN_ITEM)
            drive(world, "click Bloom", "press", str(IDC_BLOOM))
            press_ok_and_wait(world)
            expect_config(cwd, SCREEN[0], SCREEN[1], 32, 0)
            e2e.check(e2e.saved_names(cwd) == before, f"OK changed {folder} to {os.listdir(cwd)}")
            world.click(xid, e2e.PLAY)
            e2e.expect_exit_zero(world)
            world.settle()


CASES = {name[len("case_"):]: function for name, function in globals().items() if name.startswith("case_")}


def main():
    parser = e2e.argparse.ArgumentParser(description=__doc__,
                                         formatter_class=e2e.argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--options-poke", required=True)
    parser.add_argument("--code-page", type=int, help="the ANSI code page Wine runs the case in")
    for name in ("--launcher", "--game-stub", "--gamepad-stub", "--poke", "--wine-run", "--portal-origin",
                 "--work-root"):
        parser.add_argument(name, required=True)
    options = parser.parse_args()
    options.portal_origin = options.portal_origin.rstrip("/")
    for name in ("launcher", "game_stub", "gamepad_stub", "poke", "options_poke", "wine_run", "work_root"):
        setattr(options, name, os.path.abspath(getattr(options, name)))

    for tool in ("Xvfb", "xdotool", "wineserver", "cp"):
        if e2e.shutil.which(tool) is None:
            print(f"e2e: SKIPPED: {tool} is not installed", flush=True)
            return e2e.SKIPPED
    try:
        CASES[options.case](options)
    except e2e.Skip as reason:
        print(f"e2e: SKIPPED: {reason}", flush=True)
        return e2e.SKIPPED
    except e2e.Failure as failure:
        print(f"e2e: FAILED: {failure}", flush=True)
        return 1
    e2e.log(f"{options.case}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
