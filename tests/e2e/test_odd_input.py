"""Odd things a player's machine holds: a settings file in any state, game folders
with spaces, accents, characters beyond the BMP or very long paths, a launcher
renamed to a very long name. Walking is judged the way the player feels it:
W+A reaches the game as Q when walking is on, as W and A when it is off.
"""

import dataclasses
import random
import re
import shutil
import time
import unittest
from pathlib import Path

from harness import CLIENT_EXE, LAUNCHER_EXE, LAUNCHER_NAME, PRODUCT_TITLE, LauncherTestCase, wait_until, windows_path

WALKS = "W+ W- Q+ Q- A+ A-"
UNTOUCHED = "W+ A+ W- A-"
NO_CLIENT_TEXT = "N\u00e3o foi poss\u00edvel iniciar bin\\client.exe."
NO_WALKING_TEXT = "N\u00e3o foi poss\u00edvel ativar o Zadev Uzuzize."
MAX_PATH = 260


# Wine's trace of each CreateProcessW call: the program asked for, and the process if one started.
TRACE_STARTS = {"WINEDEBUG": "-all,trace+process"}
_TRACED_APP = re.compile(r'CreateProcessInternalW app L"((?:[^"\\]|\\.)*)"(\.\.\.)?')
_TRACED_PID = re.compile(r"CreateProcessInternalW started process pid ([0-9a-f]+)")


@dataclasses.dataclass
class Traced:
    text: str
    cut: bool      # Wine shortens long strings in its traces


@dataclasses.dataclass
class Start:
    app: Traced
    pid: int | None = None


def traced_starts(run) -> list[Start]:
    starts: list[Start] = []
    for line in run.text().splitlines():
        if m := _TRACED_APP.search(line):
            text = re.sub(r"\\x([0-9a-f]{4})|\\(.)", lambda e: chr(int(e[1], 16)) if e[1] else e[2], m[1])
            starts.append(Start(Traced(text, bool(m[2]))))
        elif (m := _TRACED_PID.search(line)) and starts:
            starts[-1].pid = int(m[1], 16)
    return starts


def units(path: Path) -> int:
    """Length of the path a Windows program sees, in UTF-16 code units."""
    return len(windows_path(path).encode("utf-16-le")) // 2


def section(value: bytes) -> bytes:
    return b"[SmartWalking]\r\nEnabled=" + value + b"\r\n"


def huge(body: bytes) -> bytes:
    """Several MB of other sections in front of `body`."""
    filler = b"".join(b"[Section%d]\r\nKey=%s\r\n" % (i, b"x" * 200) for i in range(20000))
    return filler + body


def binary(seed: int) -> bytes:
    return random.Random(seed).randbytes(64 * 1024)


class OddInputTestCase(LauncherTestCase):
    def walking_as_felt(self, client) -> str:
        self.wait_for_hooks(client)
        mark = client.mark()
        self.wine.keys("W+ A+ W- A-")
        return client.keys(since=mark, expect=lambda keys: keys in (WALKS, UNTOUCHED))


class SettingsFiles(OddInputTestCase):
    def test_walking_is_off_exactly_when_the_platform_reads_a_zero(self):
        # What the platform's profile reader gives: the first section and key win, names match
        # in any case, spaces and matching quotes around a value go, a number is read up to the
        # first character that is not a digit (0x, 0o and 0b, in lower case only, switch the
        # base), no number at all reads 0, an empty value the default 1.
        # tests/unit/launch_config_test.cpp holds the stand-in reader to rows of the same kinds.
        cases = [
            ("no settings file", None, True),
            ("empty file", b"", True),
            ("binary garbage", binary(1), True),
            ("only other sections", b"[Video]\r\nEnabled=0\r\n", True),
            ("Enabled=1 in another section first", b"[Video]\r\nEnabled=1\r\n" + section(b"0"), False),
            ("section without the key", b"[SmartWalking]\r\nOther=0\r\n", True),
            ("several MB, section at the end", huge(section(b"0")), False),
            ("UTF-16 with BOM", "\ufeff[SmartWalking]\r\nEnabled=0\r\n".encode("utf-16-le"), False),
            ("UTF-16 big-endian with BOM", "\ufeff[SmartWalking]\r\nEnabled=0\r\n".encode("utf-16-be"), False),
            ("UTF-8 with BOM", b"\xef\xbb\xbf[Video]\r\nMode=1\r\n" + section(b"0"), False),
            ("Unix line ends", b"[SmartWalking]\nEnabled=0\n", False),
            ("no line end at the end", b"[SmartWalking]\r\nEnabled=0", False),
            ("names in other case, spaces around =", b"[smartwalking]\r\nenabled = 0\r\n", False),
            ("section twice, 0 first", section(b"0") + section(b"1"), False),
            ("section twice, 1 first", section(b"1") + section(b"0"), True),
            ("key twice, 1 first", b"[SmartWalking]\r\nEnabled=1\r\nEnabled=0\r\n", True),
            ("key twice, 0 first", b"[SmartWalking]\r\nEnabled=0\r\nEnabled=1\r\n", False),
            ("0", section(b"0"), False),
            ("1", section(b"1"), True),
            ("00", section(b"00"), False),
            (" 0 ", section(b" 0 "), False),
            ('quoted "1"', section(b'"1"'), True),
            ("0 with a comment after it", section(b"0 ; walking off"), False),
            ("0x10", section(b"0x10"), True),
            ("0X10", section(b"0X10"), False),
            ("-1", section(b"-1"), True),
            ("2", section(b"2"), True),
            ("2147483648", section(b"2147483648"), True),
            ("1abc", section(b"1abc"), True),
            ("abc", section(b"abc"), False),
            ("empty value", section(b""), True),
        ]
        for name, ini, walks in cases:
            with self.subTest(name):
                self.wine.stop_programs()   # one launcher at a time: two would both hook the keyboard
                game, _ = self.start_game(ini=ini, ready=None)
                self.assertEqual(self.walking_as_felt(game.client), WALKS if walks else UNTOUCHED)


class InstallFolders(OddInputTestCase):
    def test_folders_with_spaces_accents_and_non_bmp_characters(self):
        # Walking off in the settings file shows the launcher read the file in its own folder.
        cases = [
            ("Jogos Varnel", False),
            ("Jogos \u00c9di\u00e7\u00e3o", False),
            ("Games \U0001D4D6\U0001F3AE Varnel", False),
            ("Games \U0001D4D6\U0001F3AE Varnel/\u00c9di\u00e7\u00e3o Especial", True),
        ]
        for folder, walks in cases:
            with self.subTest(folder=folder, walks=walks):
                self.wine.stop_programs()
                game, _ = self.start_game(folder=folder, ini=None if walks else section(b"0"), ready=None)
                self.assertEqual(game.client.exe, windows_path(game.client_exe))
                self.assertEqual(self.walking_as_felt(game.client), WALKS if walks else UNTOUCHED)

    def test_long_install_paths_start_only_their_own_client(self):
        """A launcher that cut its own path short would take a parent folder for its own and
        start that folder's bin\\client.exe: every parent folder here has such a decoy."""
        name_units = units(Path("/x") / LAUNCHER_NAME) - units(Path("/x"))
        cases = [
            # launcher path length in units, what the player sees
            (MAX_PATH - 1, "walks"),
            (MAX_PATH, "no walking box"),
            (MAX_PATH + 11, "no walking box"),    # client.exe path 259 units
            (MAX_PATH + 12, "no client box"),     # client.exe path 260 units: Wine will not start it
            # Working folder over 260 units: Wine's CreateProcessW writes past its own buffers and
            # the launcher crashes or hangs inside it, so only the program it asked for is judged.
            (MAX_PATH + 40, "wine fails"),
        ]
        for length, outcome in cases:
            with self.subTest(length=length, outcome=outcome):
                self.wine.stop_programs()
                game, decoys = self.install_at(length - name_units)
                self.assertEqual(units(game.launcher), length)
                # Started from a short folder: Wine cannot even start a program in one over 260 units.
                run = game.start(cwd=self.wine.dir, env=TRACE_STARTS)
                client = game.client
                if outcome == "walks":
                    self.assertEqual(self.walking_as_felt(client), WALKS)
                    self.assertEqual(self.wine.probe("close", hex(client.main_window)).get("posted"), "1")
                    self.assertEqual(run.wait(15), 0)
                elif outcome == "wine fails":
                    # It crashes or hangs there; either way the call is in the trace by then.
                    wait_until(lambda: traced_starts(run), 20, "the launcher's CreateProcessW call")
                    time.sleep(0.5)
                else:
                    box = self.wine.message_box(PRODUCT_TITLE, timeout=20)
                    self.assertIsNotNone(box, "no error box")
                    self.assertEqual(box.text, NO_WALKING_TEXT if outcome == "no walking box" else NO_CLIENT_TEXT)
                    self.assertEqual(run.wait(15), 1)
                starts = traced_starts(run)
                self.assertEqual(len(starts), 1, run.text()[-3000:])
                self.assert_is_path(starts[0].app, game.client_exe)
                self.assertEqual(starts[0].pid is not None, outcome in ("walks", "no walking box"))
                if starts[0].pid is not None and outcome != "walks":
                    self.assertEqual(self.wine.threads(starts[0].pid), 0, "the client must be ended")
                self.assertEqual([r.text for r in client.find("exe") if r.text != windows_path(game.client_exe)], [],
                                 f"decoys: {decoys}")

    def assert_is_path(self, traced: "Traced", path: Path) -> None:
        if traced.cut:
            self.assertTrue(windows_path(path).startswith(traced.text), f"{traced.text} is no part of {path}")
        else:
            self.assertEqual(traced.text, windows_path(path))

    def install_at(self, root_units: int):
        """An install whose folder path is `root_units` long, with a decoy client in every parent."""
        self.wine.counter += 1
        base = self.wine.dir / "installs" / f"long-{self.wine.counter}"
        base.mkdir(parents=True)
        parts, remaining = [], root_units - units(base)   # each level costs its name and a separator
        while remaining > 0:
            size = min(120, remaining - 1)
            if remaining - (size + 1) == 1:
                size -= 1   # a last level of one separator and no name cannot be
            parts.append("Jogos"[:size] + "o" * (size - 5))
            remaining -= size + 1
        game = self.wine.install(launcher=LAUNCHER_EXE, folder="/".join(parts), parent=base)
        decoys = []
        for ancestor in game.root.parents:
            if ancestor != base and base not in ancestor.parents:
                continue
            decoy = ancestor / "bin" / "client.exe"
            if not decoy.exists():
                decoy.parent.mkdir(exist_ok=True)
                shutil.copyfile(CLIENT_EXE, decoy)
                decoys.append(decoy)
        return game, decoys


class LongLauncherName(OddInputTestCase):
    """Wine refuses the keyboard hook to a program whose own path is 260 units or longer."""

    def long_name(self) -> str:
        folder_units = units(self.wine.dir / "installs" / "00" / "Varnel")
        return "Varnel Official Client " + "x" * (MAX_PATH + 10 - folder_units - len("Varnel Official Client .exe")) + ".exe"

    def test_without_the_hook_the_client_is_started_ended_and_the_walking_box_shows(self):
        game, run = self.start_game(launcher_name=self.long_name(), env=TRACE_STARTS, ready=None)
        self.assertGreaterEqual(units(game.launcher), MAX_PATH)
        box = self.wine.message_box(PRODUCT_TITLE, press_ok=False, timeout=20)
        self.assertIsNotNone(box, "no error box")
        self.assertEqual((box.text, box.icon), (NO_WALKING_TEXT, "error"))
        starts = traced_starts(run)
        self.assertEqual([(s.app.text, s.pid is not None) for s in starts], [(windows_path(game.client_exe), True)])
        self.assertEqual(self.wine.threads(starts[0].pid), 0, "the client must be gone before the box shows")
        self.assertEqual(game.client.find("ready"), [], "the client never got as far as its window")
        self.assertTrue(run.running(), "the launcher must wait for OK")
        self.assertIsNotNone(self.wine.message_box(PRODUCT_TITLE))
        self.assertEqual(run.wait(10), 1)

    def test_with_walking_off_the_long_name_changes_nothing(self):
        game, run = self.start_game(launcher_name=self.long_name(), ini=section(b"0"), ready=None)
        client = game.client
        self.assertEqual(self.walking_as_felt(client), UNTOUCHED)
        self.assertEqual(self.wine.probe("close", hex(client.main_window)).get("posted"), "1")
        self.assertEqual(run.wait(15), 0)


if __name__ == "__main__":
    unittest.main()
