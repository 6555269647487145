"""End-to-end harness: the launcher and the stand-in client under Wine on Xvfb.

One WineSession per test process: its own X display, its own copy of a Wine
prefix and one persistent wineserver. Tests install a game folder the way a
player has it, start programs, press physical keys through XTEST and read what
the stand-in client logged.

    wine = shared_session()
    game = wine.install(launcher=LAUNCHER, ini=b"[SmartWalking]\\nEnabled=1\\n")
    run = game.start()
    client = game.client
    client.wait_ready()
    wine.focus(client)
    mark = client.mark()
    wine.keys("W+ A+ W- A-")
    assert client.keys(since=mark, expect="W+ W- Q+ Q- A+ A-") == "W+ W- Q+ Q- A+ A-"
    assert run.wait(10) == 0

Key notation: "W+" a key-down, "W-" a key-up, "W+r" an auto-repeated key-down;
modifiers are Ctrl, Shift, Alt, Win (left-hand keys) and RCtrl, RShift, RAlt, RWin.

Environment: E2E_CLIENT, E2E_WINPROBE, E2E_LAUNCHER (built executables),
E2E_CACHE_DIR (where the prefix template and session folders live),
E2E_KEEP=1 (keep the session folder: logs, installs, screenshots).
"""

from __future__ import annotations

import atexit
import contextlib
import dataclasses
import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
from pathlib import Path
from typing import Callable

CLIENT_EXE = os.environ.get("E2E_CLIENT")
WINPROBE_EXE = os.environ.get("E2E_WINPROBE")
LAUNCHER_EXE = os.environ.get("E2E_LAUNCHER")

LAUNCHER_NAME = "Varnel Official Client.exe"
INI_NAME = "VarnelOfficial.ini"
# The title the launcher keeps on the client's windows, and its error boxes' caption.
PRODUCT_TITLE = "Varnel Official Client"

DISPLAYS = range(91, 121)
SCREEN = "1024x768x24"
# Holds shorter than the delay never auto-repeat; longer ones repeat every interval.
AUTOREPEAT_DELAY_MS = 500
AUTOREPEAT_INTERVAL_MS = 30
KEY_PAUSE_S = 0.03
# A game ready slower than this is named in the output: it takes well under a second.
SLOW_GAME_START_S = 5
# The key-order reproduction: rounds of a measurement, and events a round.
KEY_ORDER_ROUNDS = 6
KEY_ORDER_EVENTS = 96

# Files in a prefix that Wine only ever reads: a session hard-links them from
# the template instead of copying 700 MB. Everything else (the registry above
# all, which wineserver rewrites in place) is copied.
SHARED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".ocx", ".acm", ".cpl", ".tlb", ".ax", ".com",
                   ".ds", ".nls", ".msstyles", ".ttf", ".mui", ".vxd"}

WINE_BASE_ENV = {
    "WINEARCH": "win64",
    "WINEDEBUG": "-all",
    # No Mono or Gecko prompts, and no menu entries written into the real home.
    "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
    "LC_ALL": "C.UTF-8",
}


def log(message: str) -> None:
    print(f"[e2e] {message}", file=sys.stderr, flush=True)


def windows_path(path: os.PathLike | str) -> str:
    """The path a Wine program sees for a Unix path (drive Z: is the Unix root)."""
    return "Z:" + str(Path(path).absolute()).replace("/", "\\")


def wait_until(condition: Callable[[], object], timeout: float, what: str,
               interval: float = 0.05, detail: Callable[[], str] | None = None):
    """Polls `condition` until it returns something truthy; fails the test after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            extra = f"\n{detail()}" if detail else ""
            raise AssertionError(f"timed out after {timeout:.1f} s waiting for {what}{extra}")
        time.sleep(interval)


def _unescape(text: str) -> str:
    return urllib.parse.unquote(text, errors="strict")


# --- the keyboard --------------------------------------------------------------------------

def _load(name: str, soname: str):
    import ctypes
    import ctypes.util
    try:
        return ctypes.CDLL(soname)
    except OSError:
        found = ctypes.util.find_library(name)
        if not found:
            raise RuntimeError(f"{soname} not found (Debian package lib{name.lower()}6)") from None
        return ctypes.CDLL(found)


class XTestKeyboard:
    """Physical key events straight through libXtst: `send("W", True)` presses W as a player would.

    One X connection kept open sends an event in tens of microseconds. Each event is
    flushed with XSync, so when `send` returns the X server has it and has routed it to
    the focused window.
    """

    def __init__(self, display: str, repeat: bool = True, sync: bool = True):
        """`repeat=False` turns the display's auto-repeat off, so a long hold on a loaded
        machine adds no repeats; `sync=False` only flushes each event, for the least
        delay between the time stamp and the event leaving."""
        import ctypes
        self._sync = sync
        self._x = _load("X11", "libX11.so.6")
        self._xtst = _load("Xtst", "libXtst.so.6")
        self._x.XOpenDisplay.restype = ctypes.c_void_p
        self._x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self._x.XStringToKeysym.restype = ctypes.c_ulong
        self._x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self._x.XKeysymToKeycode.restype = ctypes.c_ubyte
        self._x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self._x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self._x.XFlush.argtypes = [ctypes.c_void_p]
        self._x.XAutoRepeatOff.argtypes = [ctypes.c_void_p]
        self._x.XChangeKeyboardControl.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
        self._x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self._display = self._x.XOpenDisplay(display.encode())
        if not self._display:
            raise RuntimeError(f"cannot open X display {display}")
        self._codes: dict[str, int] = {}
        if not repeat:
            self._x.XAutoRepeatOff(self._display)
            self._x.XSync(self._display, 0)

    def close(self) -> None:
        if self._display:
            self._x.XCloseDisplay(self._display)
            self._display = None

    def __enter__(self) -> "XTestKeyboard":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def _code(self, key: str) -> int:
        if key not in self._codes:
            code = self._x.XKeysymToKeycode(self._display, self._x.XStringToKeysym(keysym(key).encode()))
            if not code:
                raise ValueError(f"no key code for {key!r}")
            self._codes[key] = code
        return self._codes[key]

    def send(self, key: str, down: bool) -> int:
        """Presses or releases `key` (key names as in the notation: "W", "Ctrl", "x"); returns the
        CLOCK_MONOTONIC_RAW time in microseconds just before the event went out (Wine may
        have it before this call returns)."""
        code = self._code(key)
        sent_at = time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000
        self._xtst.XTestFakeKeyEvent(self._display, code, 1 if down else 0, 0)
        if self._sync:
            self._x.XSync(self._display, 0)
        else:
            self._x.XFlush(self._display)
        return sent_at

    def play(self, notation: str, pause: float = KEY_PAUSE_S) -> None:
        """Presses and releases keys: "W+ A+ W- A-", with `pause` between events."""
        for i, token in enumerate(notation.split()):
            m = re.fullmatch(r"(.+?)([+-])", token)
            if not m:
                raise ValueError(f"bad key token {token!r}; write W+ or W-")
            if i:
                time.sleep(pause)
            self.send(m.group(1), m.group(2) == "+")

    def set_autorepeat(self, key: str, on: bool) -> None:
        """Turns the X server's auto-repeat of one key on or off (xset has no per-key switch here)."""
        import ctypes

        class KeyboardControl(ctypes.Structure):
            _fields_ = [(name, ctypes.c_int) for name in ("key_click_percent", "bell_percent", "bell_pitch",
                                                          "bell_duration", "led", "led_mode", "key",
                                                          "auto_repeat_mode")]
        KB_KEY, KB_AUTO_REPEAT_MODE = 1 << 6, 1 << 7
        control = KeyboardControl(key=self._code(key), auto_repeat_mode=1 if on else 0)
        self._x.XChangeKeyboardControl(self._display, KB_KEY | KB_AUTO_REPEAT_MODE, ctypes.byref(control))
        self._x.XSync(self._display, 0)


class TimedTaps:
    """A player tapping X and D in turn (D is a walking key, X is not), `interval` apart;
    `sent` holds each tap's key and when its key-down went out (`XTestKeyboard.send`'s clock)."""

    def __init__(self, keyboard: XTestKeyboard, interval: float):
        self.keyboard = keyboard
        self.interval = interval
        self.sent: list[tuple[str, int]] = []

    def tap(self) -> None:
        key = "XD"[len(self.sent) % 2]
        self.sent.append((key, self.keyboard.send(key, True)))
        self.keyboard.send(key, False)
        time.sleep(self.interval)

    def __len__(self) -> int:
        return len(self.sent)

    def notation(self, taps: list[tuple[str, int]] | None = None) -> list[str]:
        """Each tap (of `taps`, by default all) as "X+ X-"."""
        return [f"{key}+ {key}-" for key, _ in (self.sent if taps is None else taps)]


# --- the client's log ------------------------------------------------------------------

@dataclasses.dataclass
class Record:
    """One log line: `key down vk=0x57 ... text=...` -> event "key", words ["down"], fields, text."""
    event: str
    words: list[str]
    fields: dict[str, str]
    text: str | None
    line: str

    def int(self, name: str) -> int:
        return int(self.fields[name], 0)

    def __getitem__(self, name: str) -> str:
        return self.fields[name]

    def get(self, name: str, default=None):
        return self.fields.get(name, default)


def parse_record(line: str) -> Record:
    head, sep, text = line.partition(" text=")
    tokens = head.split(" ")
    fields, words = {}, []
    for token in tokens[1:]:
        name, eq, value = token.partition("=")
        if eq:
            fields[name] = value
        elif token:
            words.append(token)
    return Record(tokens[0], words, fields, _unescape(text) if sep else None, line)


@dataclasses.dataclass
class KeyEvent:
    name: str
    vk: int
    down: bool
    repeat: bool
    system: bool
    window: str

    def __str__(self) -> str:
        return f"{self.name}{'+' if self.down else '-'}{'r' if self.repeat else ''}"


def key_events(records: list[Record], window: str | None = None) -> list[KeyEvent]:
    """The key messages among `records` (of one window, if given)."""
    events = []
    for r in records:
        if r.event != "key" or (window and r["window"] != window):
            continue
        kind = r.words[0]
        events.append(KeyEvent(r["name"], r.int("vk"), kind in ("down", "sysdown"), r["repeat"] == "1",
                               kind.startswith("sys"), r["window"]))
    return events


class EventLog:
    """The log written by the stand-in client (or by the probe's window)."""

    def __init__(self, path: Path, label: str = "client"):
        self.path = Path(path)
        self.label = label
        # What has been read so far: logs only grow, so each look reads just what is new.
        self._read = 0
        self._records: list[Record] = []

    def records(self, since: int = 0) -> list[Record]:
        try:
            with open(self.path, "rb") as f:
                f.seek(self._read)
                data = f.read()
        except FileNotFoundError:
            return []
        # A record being written may lack its newline yet; leave it for the next read.
        end = data.rfind(b"\n") + 1
        self._read += end
        self._records += [parse_record(line) for line in data[:end].decode("utf-8", errors="replace").split("\n")
                          if line]
        return self._records[since:]

    def mark(self) -> int:
        """A position in the log; pass it as `since` to look only at what came after."""
        return len(self.records())

    def tail(self, count: int = 25) -> str:
        lines = [r.line for r in self.records()][-count:]
        return f"--- last {len(lines)} lines of {self.path}:\n" + "\n".join(lines)

    def find(self, event: str, since: int = 0, **fields) -> list[Record]:
        return [r for r in self.records(since) if r.event == event
                and all(r.fields.get(k) == str(v) for k, v in fields.items())]

    def wait_for(self, event: str, since: int = 0, timeout: float = 10, text: str | None = None,
                 **fields) -> Record:
        def found():
            hits = [r for r in self.find(event, since, **fields) if text is None or r.text == text]
            return hits[0] if hits else None
        wanted = " ".join([event] + [f"{k}={v}" for k, v in fields.items()] + ([f"text={text}"] if text else []))
        return wait_until(found, timeout, f"'{wanted}' in the {self.label} log", detail=self.tail)

    # What the program said about itself.
    def wait_started(self, timeout: float = 15) -> Record:
        return self.wait_for("start", timeout=timeout)

    def wait_ready(self, timeout: float = 15) -> Record:
        """Waits until the windows exist and are shown; returns the `ready` record."""
        return self.wait_for("ready", timeout=timeout)

    @property
    def pid(self) -> int:
        return self.wait_started().int("pid")

    @property
    def parent_pid(self) -> int:
        return self.wait_started().int("ppid")

    @property
    def main_window(self) -> int:
        return self.wait_ready().int("hwnd")

    def _text_of(self, event: str) -> str:
        return self.wait_for(event).text

    @property
    def cwd(self) -> str:
        return self._text_of("cwd")

    @property
    def cmdline(self) -> str:
        return self._text_of("cmdline")

    @property
    def exe(self) -> str:
        return self._text_of("exe")

    def unfinished(self) -> list[tuple[int, str]]:
        """(pid, exe file name) of each process that logged its start but not its exit."""
        running: dict[int, str] = {}
        for r in self.records():
            if r.event == "start":
                running[r.int("pid")] = ""
            elif r.event == "exe":
                running[next(reversed(running))] = r.text.rsplit("\\", 1)[-1]
            elif r.event == "exit":
                running.pop(r.int("pid"), None)
        return list(running.items())

    def exited(self) -> int | None:
        hits = self.find("exit")
        return int(hits[-1]["code"]) if hits else None

    # Keys.
    def key_events(self, since: int = 0, window: str | None = None) -> list[KeyEvent]:
        return key_events(self.records(since), window)

    def next_key(self, since: int, kind: str, name: str, timeout: float = 3.0) -> tuple[Record, int]:
        """The first `kind` ("down", "up") key message for key `name` from position `since` on, and
        the position after it; polls often, for a benchmark that waits key by key."""
        def found():
            records = self.records(since)
            return next(((r, since + i + 1) for i, r in enumerate(records)
                         if r.event == "key" and r.words[0] == kind and r.get("name") == name), None)
        return wait_until(found, timeout, f"'{kind} {name}' key message in the {self.label} log", interval=0.002)

    def keys_held(self, since: int = 0) -> list[str]:
        """The keys the window believes down: those whose last key message since `since` was a key-down."""
        down = {e.name: e.down for e in self.key_events(since)}
        return [name for name, is_down in down.items() if is_down]

    def key_downs_at(self, since: int = 0) -> list[int]:
        """When the window received each key-down (qpc_us: Wine's QueryPerformanceCounter, which is
        CLOCK_MONOTONIC_RAW in microseconds, the clock of `XTestKeyboard.send`)."""
        return [r.int("qpc_us") for r in self.records(since) if r.event == "key" and r.words[0] in ("down", "sysdown")]

    def keys_text(self, since: int = 0, window: str | None = None) -> str:
        return " ".join(str(e) for e in self.key_events(since, window))

    def keys(self, since: int = 0, expect: str | Callable[[str], bool] | None = None, timeout: float = 5,
             settle: float = 0.3, window: str | None = None) -> str:
        """The keys received since `since`, in key notation, once they stop arriving.

        With `expect` (the text itself, or a test of it such as "the last key-up is in"),
        returns as soon as that has arrived (plus `settle` to catch extras) or when
        `timeout` runs out; the caller compares the result. Without it, a quiet `settle`
        ends the stream: only for streams whose end nothing marks.
        """
        arrived = expect if callable(expect) else (lambda text: text == expect)
        deadline = time.monotonic() + timeout
        last, quiet_since = None, time.monotonic()
        while time.monotonic() < deadline:
            now = self.keys_text(since, window)
            if now != last:
                last, quiet_since = now, time.monotonic()
            if expect is not None and arrived(now):
                time.sleep(settle)
                return self.keys_text(since, window)
            if expect is None and now and time.monotonic() - quiet_since >= settle:
                return now
            time.sleep(0.02)
        return self.keys_text(since, window)

    # Titles, walking and focus.
    def titles(self, window: str = "main", since: int = 0) -> list[str]:
        return [r.text for r in self.find("title", since, window=window)]

    def title(self, window: str = "main") -> str | None:
        """The window's title as the client last saw it set (None before any change)."""
        titles = self.titles(window)
        return titles[-1] if titles else None

    def moves(self, since: int = 0) -> list[str]:
        return [r["key"] for r in self.find("move", since)]

    def position(self) -> tuple[int, int] | None:
        moves = self.find("move")
        return (moves[-1].int("x"), moves[-1].int("y")) if moves else None

    def foreground(self) -> str | None:
        """Which of its windows the program last saw in the foreground ("none" for another program's)."""
        return next((r["window"] for r in reversed(self.records()) if r.event == "foreground"), None)

    def windows_logged(self, since: int = 0) -> dict[str, Record]:
        return {r["window"]: r for r in self.find("window", since)}


# --- programs ---------------------------------------------------------------------------

class WineProcess:
    """A program started with `wine`; `wait` returns the Windows exit code."""

    def __init__(self, popen: subprocess.Popen, name: str, output: Path):
        self.popen = popen
        self.name = name
        self.output = output

    def wait(self, timeout: float = 15) -> int:
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"{self.name} still running after {timeout:.1f} s") from None

    def running(self) -> bool:
        return self.popen.poll() is None

    def exit_code(self) -> int | None:
        return self.popen.poll()

    def stop(self) -> None:
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait()

    def text(self) -> str:
        """What the program wrote to stdout and stderr."""
        try:
            return self.output.read_text(errors="replace")
        except FileNotFoundError:
            return ""


@dataclasses.dataclass
class MessageBox:
    caption: str
    text: str
    icon: str               # error, warning, information, question, none, unknown
    buttons: list[tuple[int, str]]
    owner: int
    pid: int
    hwnd: int


class ProbeResult(dict):
    """key=value lines printed by winprobe, with helpers for indexed lists."""

    def __init__(self, code: int, output: str):
        super().__init__()
        self.code = code
        self.output = output
        for line in output.splitlines():
            key, eq, value = line.partition("=")
            if eq:
                self[key] = _unescape(value)

    def int(self, key: str) -> int:
        return int(self[key], 0)

    def items_of(self, prefix: str) -> list[dict[str, str]]:
        """`window.0.title=...` lines -> [{"title": ...}, ...]."""
        found: dict[int, dict[str, str]] = {}
        pattern = re.compile(rf"^{re.escape(prefix)}\.(\d+)\.(.+)$")
        for key, value in self.items():
            m = pattern.match(key)
            if m:
                found.setdefault(int(m.group(1)), {})[m.group(2)] = value
        return [found[i] for i in sorted(found)]


@dataclasses.dataclass
class Window:
    hwnd: int
    pid: int
    title: str
    cls: str
    visible: bool
    toplevel: bool
    owner: int
    parent: int
    x11: int
    rect: tuple[int, int, int, int]      # left, top, right, bottom on screen
    client: tuple[int, int, int, int]    # client area inside the window: x, y, width, height


def _numbers(text: str) -> tuple[int, ...]:
    return tuple(int(n) for n in text.split(","))


def _window(item: dict[str, str]) -> Window:
    return Window(int(item["hwnd"], 0), int(item["pid"]), item["title"], item["class"], item["visible"] == "1",
                  item["toplevel"] == "1", int(item["owner"], 0), int(item["parent"], 0), int(item["x11"], 0),
                  _numbers(item["rect"]), _numbers(item["client"]))


class EventWatch:
    """Window events seen by `winprobe watch`, as {type, hwnd, pid, toplevel, title} dicts."""

    def __init__(self, process: WineProcess):
        self.process = process

    def events(self, pid: int | None = None) -> list[dict[str, str]]:
        text = self.process.text()
        # Leave a line still being written for the next look.
        found = ProbeResult(0, text[:text.rfind("\n") + 1]).items_of("event")
        return [e for e in found if pid is None or int(e["pid"]) == pid]

    def wait_for(self, timeout: float = 10, **fields) -> dict[str, str]:
        def match():
            hits = [e for e in self.events() if all(e.get(k) == str(v) for k, v in fields.items())]
            return hits[0] if hits else None
        return wait_until(match, timeout, f"window event {fields}", detail=self.process.text)


class OtherWindow:
    """A window of another application (winprobe's `window` mode) with its own log."""

    def __init__(self, process: WineProcess, log: EventLog):
        self.process = process
        self.log = log


@dataclasses.dataclass
class Install:
    """A game folder laid out the way a player has it."""
    session: "WineSession"
    root: Path
    launcher: Path | None
    client_exe: Path
    ini: Path
    client: EventLog

    @property
    def bin(self) -> Path:
        return self.root / "bin"

    def start(self, env: dict[str, str] | None = None, cwd: Path | None = None) -> WineProcess:
        """Starts the launcher the way a double-click does (working directory: its folder)."""
        assert self.launcher is not None, "this install has no launcher"
        return self.session.start(self.launcher, env=self._client_env(env), cwd=cwd or self.root)

    def start_client(self, env: dict[str, str] | None = None) -> WineProcess:
        """Starts bin\\client.exe directly, as the launcher would: working directory bin."""
        return self.session.start(self.client_exe, env=self._client_env(env), cwd=self.bin)

    def _client_env(self, env: dict[str, str] | None) -> dict[str, str]:
        return {"CLIENT_LOG": windows_path(self.client.path), **(env or {})}


# --- the session -----------------------------------------------------------------------

class WineSession:
    """Xvfb + a private Wine prefix + one persistent wineserver; all torn down on exit."""

    def __init__(self, cache_dir: Path | None = None, keep: bool | None = None):
        self.cache = Path(cache_dir or os.environ.get("E2E_CACHE_DIR") or
                          Path(tempfile.gettempdir()) / f"launcher-e2e-{os.getuid()}").absolute()
        self.keep = keep if keep is not None else os.environ.get("E2E_KEEP") == "1"
        self.dir: Path | None = None
        self.display: str | None = None
        self.xvfb: subprocess.Popen | None = None
        self.wineserver: subprocess.Popen | None = None
        self.programs: list[WineProcess] = []
        self.logs: list[EventLog] = []
        self.counter = 0
        self.timings: dict[str, float] = {}
        self._keyboard: XTestKeyboard | None = None
        self._swaps: dict[int, bool] = {}
        self.closed = False

    # Start and stop.
    def __enter__(self) -> "WineSession":
        self.start_session()
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def start_session(self) -> None:
        for tool in ("wine", "wineserver", "Xvfb", "xdotool", "xwininfo", "import"):
            if shutil.which(tool) is None:
                raise RuntimeError(f"{tool} not found; run scripts/install-deps")
        for exe, var in ((CLIENT_EXE, "E2E_CLIENT"), (WINPROBE_EXE, "E2E_WINPROBE")):
            if not exe or not Path(exe).is_file():
                raise RuntimeError(f"{var} must name the built executable (got {exe!r})")
        atexit.register(self.close)
        self.cache.mkdir(parents=True, exist_ok=True)
        clean_stale_sessions(self.cache)

        t = time.monotonic()
        template = ensure_template(self.cache)
        self.timings["template"] = time.monotonic() - t

        self.dir = Path(tempfile.mkdtemp(prefix=f"s{os.getpid()}-", dir=self.cache / "sessions"))
        (self.dir / "logs").mkdir()
        (self.dir / "installs").mkdir()
        (self.dir / "shots").mkdir()
        self.prefix = self.dir / "prefix"
        t = time.monotonic()
        copy_prefix(template, self.prefix)
        self.timings["prefix copy"] = time.monotonic() - t

        t = time.monotonic()
        self.xvfb, self.display = start_xvfb(self.dir / "xvfb.log")
        self._write_state()
        self.timings["xvfb"] = time.monotonic() - t

        t = time.monotonic()
        self.wineserver = subprocess.Popen(["wineserver", "-p", "-f"], env=self.env(),
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        warm = self.probe("warmup", timeout=60)
        if warm.code != 0:
            raise RuntimeError(f"Wine did not open a window: {warm.output}")
        self.timings["wine start"] = time.monotonic() - t
        log(f"session {self.dir.name} on {self.display}: " +
            ", ".join(f"{k} {v:.2f} s" for k, v in self.timings.items()))

    def close(self) -> None:
        if self.closed or self.dir is None:
            return
        self.closed = True
        self.stop_programs()
        if self._keyboard:
            self._keyboard.close()
        env = self.env()
        with contextlib.suppress(Exception):
            subprocess.run(["wineserver", "-k"], env=env, timeout=15,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for process in (self.wineserver, self.xvfb):
            stop_process(process)
        if self.keep:
            # Stopped cleanly: a later session must not take it for a killed run's and remove it.
            with contextlib.suppress(OSError):
                (self.dir / "kept").touch()
                (self.dir / "session.json").unlink()
            log(f"kept {self.dir}")
        else:
            shutil.rmtree(self.dir, ignore_errors=True)

    def _write_state(self) -> None:
        state = {"owner": os.getpid(), "xvfb": self.xvfb.pid, "display": self.display, "prefix": str(self.prefix)}
        (self.dir / "session.json").write_text(json.dumps(state))

    def env(self, extra: dict[str, str] | None = None) -> dict[str, str]:
        env = dict(os.environ)
        env.update(WINE_BASE_ENV)
        env["WINEPREFIX"] = str(self.prefix)
        env["HOME"] = str(self.cache / "home")
        if self.display:
            env["DISPLAY"] = self.display
        env.update(extra or {})
        return env

    # Programs.
    def start(self, exe: os.PathLike | str, *args: str, env: dict[str, str] | None = None,
              cwd: os.PathLike | str | None = None) -> WineProcess:
        self.counter += 1
        output = self.dir / "logs" / f"out-{self.counter}.txt"
        with open(output, "wb") as sink:
            popen = subprocess.Popen(["wine", windows_path(exe), *args], env=self.env(env),
                                     cwd=str(cwd or self.dir), stdin=subprocess.DEVNULL,
                                     stdout=sink, stderr=subprocess.STDOUT)
        process = WineProcess(popen, Path(exe).name, output)
        self.programs.append(process)
        return process

    def stop_programs(self) -> None:
        """Ends what the current test started: the programs it ran, then every process that
        wrote one of its logs and has not logged its exit (the client a launcher started)."""
        self._stop_programs_since(0, 0)

    def _stop_programs_since(self, programs: int, logs: int) -> None:
        """Ends the programs started, and the processes of the logs made, after the first
        `programs` and `logs`."""
        for process in self.programs[programs:]:
            process.stop()
        for event_log in self.logs[logs:]:
            for pid, image in event_log.unfinished():
                with contextlib.suppress(Exception):
                    self.probe("kill", str(pid), "--image", image, timeout=10)
        del self.programs[programs:]
        del self.logs[logs:]

    def what_runs(self, program: WineProcess) -> str:
        """For a failure report: the program's state and output, the session's processes and
        visible windows (an error box among them)."""
        code = program.exit_code()
        lines = [f"--- {program.name}: " + ("still running" if code is None else f"exited {code}"),
                 program.text().rstrip()]
        try:
            processes = self.probe("processes", timeout=10).items_of("process")
            lines.append("--- processes: " + ", ".join(f"{p['exe']}({p['pid']})" for p in processes))
            shown = [w for w in self.windows() if w.visible]
            lines.append("--- visible windows: " + ", ".join(f"{w.cls} '{w.title}' pid {w.pid}" for w in shown))
        except AssertionError as failure:
            lines.append(f"--- winprobe failed too: {failure}")
        return "\n".join(line for line in lines if line)

    def probe(self, *args: str, timeout: float = 30) -> ProbeResult:
        """Runs winprobe with `args` in this session and parses its key=value output."""
        # Output goes through a file: Wine's own services, started by the first program
        # of a session, inherit the handles and would hold a pipe open for good.
        self.counter += 1
        output = self.dir / "logs" / f"probe-{self.counter}.txt"
        with open(output, "wb") as sink:
            popen = subprocess.Popen(["wine", windows_path(WINPROBE_EXE), *args], env=self.env(),
                                     cwd=str(self.dir), stdin=subprocess.DEVNULL, stdout=sink,
                                     stderr=subprocess.DEVNULL)
        try:
            code = popen.wait(timeout)
        except subprocess.TimeoutExpired:
            popen.kill()
            popen.wait()
            raise AssertionError(f"winprobe {' '.join(args)} took over {timeout} s") from None
        text = output.read_bytes().decode("utf-8", errors="replace")
        output.unlink()
        return ProbeResult(code, text)

    def new_log(self, label: str) -> EventLog:
        self.counter += 1
        event_log = EventLog(self.dir / "logs" / f"{label}-{self.counter}.log", label)
        self.logs.append(event_log)
        return event_log

    # Installs.
    def install(self, launcher: os.PathLike | str | None = None,
                client: os.PathLike | str | bytes | bool | None = None,
                ini: bytes | None = None, folder: str = "Varnel", launcher_name: str = LAUNCHER_NAME,
                parent: os.PathLike | str | None = None) -> Install:
        """Lays out <folder>/<launcher_name>, <folder>/bin/client.exe and, given bytes, the settings file.

        `folder` may hold spaces, accents, non-BMP characters or several levels; `parent`
        puts it somewhere other than the session's own installs folder. `client`: None for
        the stand-in client, a path for another program, bytes for a file that is no
        program, False for an empty bin folder.
        """
        self.counter += 1
        base = Path(parent) if parent else self.dir / "installs" / str(self.counter)
        root = base / folder
        (root / "bin").mkdir(parents=True, exist_ok=False)
        launcher_path = None
        if launcher is not None:
            launcher_path = root / launcher_name
            shutil.copyfile(launcher, launcher_path)
        client_path = root / "bin" / "client.exe"
        if isinstance(client, bytes):
            client_path.write_bytes(client)
        elif client is not False:
            shutil.copyfile(client or CLIENT_EXE, client_path)
        ini_path = root / INI_NAME
        if ini is not None:
            ini_path.write_bytes(ini)
        return Install(self, root, launcher_path, client_path, ini_path, self.new_log("client"))

    def open_window(self, title: str = "Other application") -> OtherWindow:
        """Opens a window of another application; returns once it is shown."""
        event_log = self.new_log("other")
        process = self.start(WINPROBE_EXE, "window", title, windows_path(event_log.path))
        event_log.wait_ready()
        return OtherWindow(process, event_log)

    # Windows and the foreground.
    def windows(self, pid: int | None = None) -> list[Window]:
        """Top-level windows (of one process, or all), including hidden ones."""
        result = self.probe("windows", *([str(pid)] if pid is not None else []))
        return [_window(item) for item in result.items_of("window")]

    def child_windows(self, pid: int) -> list[Window]:
        return [_window(item) for item in self.probe("windows", str(pid)).items_of("child")]

    def window_of(self, target: "EventLog | OtherWindow", window: str | None = None) -> Window:
        """One of a program's top-level windows, by the name its log gives it (main by default)."""
        event_log = target.log if isinstance(target, OtherWindow) else target
        window = window or ("other" if isinstance(target, OtherWindow) else "main")
        def logged_hwnd():
            hits = [r for r in event_log.records() if r.event in ("window", "show") and r.get("window") == window]
            return hits[0].int("hwnd") if hits else None
        hwnd = wait_until(logged_hwnd, 15, f"the {event_log.label} to log its {window} window",
                          detail=event_log.tail)
        def lookup():
            return next((w for w in self.windows(event_log.pid) if w.hwnd == hwnd and w.x11), None)
        return wait_until(lookup, 10, f"the X window of {window} window {hwnd:#x}")

    def x11_window(self, target: "EventLog | OtherWindow", window: str | None = None) -> int:
        """The X window id behind a program's top-level window."""
        return self.window_of(target, window).x11

    def window_titles(self, client: EventLog, timeout: float = 10) -> dict[str, str]:
        """Asks the client to log all its windows now; returns {window name: title}."""
        mark = client.mark()
        result = self.probe("logwindows", hex(client.main_window))
        assert result.get("posted") == "1", result.output
        client.wait_for("windows", since=mark, timeout=timeout)
        return {name: r.text for name, r in client.windows_logged(since=mark).items()}

    def foreground(self) -> ProbeResult:
        return self.probe("foreground")

    def focus(self, target: EventLog | OtherWindow, window: str | None = None, timeout: float = 10,
              leaving: EventLog | None = None) -> None:
        """Gives `target` the keyboard focus through X, as a click would, and waits until
        the program itself reports its window in the foreground, and the program `leaving`
        reports that it is no longer (else a stale record would pass for the next switch back)."""
        event_log = target.log if isinstance(target, OtherWindow) else target
        window = window or ("other" if isinstance(target, OtherWindow) else "main")
        x11 = self.x11_window(target, window)
        deadline = time.monotonic() + timeout
        while True:
            self.xdotool("windowfocus", hex(x11))
            try:
                wait_until(lambda: event_log.foreground() == window and (not leaving or leaving.foreground() == "none"),
                           1.0, "", interval=0.01)
                return
            except AssertionError:
                if time.monotonic() >= deadline:
                    raise AssertionError(f"{window} window never came to the foreground\n{event_log.tail()}") from None
            # Now and then Wine's desktop keeps the foreground after a switch (about 1 in 40).
            # Focusing the same X window again changes nothing; moving the X focus away first does.
            self.xdotool("windowfocus", hex(self.root_window()))
            time.sleep(0.1)

    def root_window(self) -> int:
        out = subprocess.run(["xwininfo", "-root", "-int"], env=self.env(), check=True, capture_output=True,
                             text=True, timeout=30).stdout
        return int(re.search(r"Window id: (\d+)", out).group(1))

    # Keyboard and screen.
    def xdotool(self, *args: str) -> None:
        subprocess.run(["xdotool", *args], env=self.env(), check=True, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    @property
    def keyboard(self) -> XTestKeyboard:
        """The session's keyboard: physical keys through XTEST, as a player types them."""
        if self._keyboard is None:
            self._keyboard = XTestKeyboard(self.display)
        return self._keyboard

    def timed_taps(self, interval: float) -> TimedTaps:
        return TimedTaps(self.keyboard, interval)

    def keys(self, notation: str, pause: float = KEY_PAUSE_S) -> None:
        """Presses and releases physical keys: "W+ A+ W- A-", "Ctrl+ W+ W- Ctrl-", with `pause`
        between events, so a hold lasts only as long as written."""
        self.keyboard.play(notation, pause)

    def hold(self, keys: str, seconds: float, release: str | None = None) -> None:
        """Presses `keys` ("W" or "W A"), holds them for `seconds` (longer than the X auto-repeat
        delay repeats the last one), then lets go, in `release` order if given ("A W")."""
        pressed = keys.split()
        self.keys(" ".join(f"{k}+" for k in pressed))
        time.sleep(seconds)
        self.keys(" ".join(f"{k}-" for k in (release.split() if release else pressed)), pause=0)

    @contextlib.contextmanager
    def without_autorepeat(self, key: str):
        """Within the block, holding `key` never auto-repeats, however long it takes
        (the X server's per-key setting)."""
        self.keyboard.set_autorepeat(key, False)
        try:
            yield
        finally:
            self.keyboard.set_autorepeat(key, True)

    def screenshot(self, target: EventLog | OtherWindow, name: str, window: str | None = None,
                   client_area: bool = True) -> Path:
        """A PNG of one of a program's windows: its client area, or the whole window with
        the frame and caption Wine draws (the title shows there).

        X keeps no contents for covered parts of a window, so the window is raised first
        (without changing the foreground) and given a moment to repaint.
        """
        found = self.window_of(target, window)
        self.xdotool("windowraise", hex(found.x11))
        time.sleep(0.2)
        path = self.dir / "shots" / f"{name}.png"
        crop = []
        if client_area:
            x, y, w, h = found.client
            crop = ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
        subprocess.run(["import", "-window", hex(found.x11), *crop, str(path)], env=self.env(), check=True,
                       timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        return path

    def pixel(self, png: Path, x: int, y: int) -> tuple[int, int, int]:
        out = subprocess.run(["convert", str(png), "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                             check=True, capture_output=True, text=True).stdout
        m = re.search(r"\((\d+),(\d+),(\d+)", out.splitlines()[-1])
        return int(m.group(1)), int(m.group(2)), int(m.group(3))

    # Other probes, by what a test checks.
    def message_box(self, caption: str, timeout: float = 10, press_ok: bool = True) -> MessageBox | None:
        """The message box with this caption (None if none appears in `timeout`); pressed OK by default."""
        result = self.probe("msgbox", caption, "--timeout", str(timeout), *(["--press-ok"] if press_ok else []),
                            timeout=timeout + 30)
        if result.get("found") != "1":
            return None
        buttons = [(int(b["id"]), b["text"]) for b in result.items_of("button")]
        return MessageBox(caption, result["text"], result["icon"], buttons, result.int("owner"),
                          result.int("pid"), result.int("hwnd"))

    def watch_events(self, seconds: float) -> "EventWatch":
        """Starts listening, out of context as the launcher does, for the show and
        name-change events of every process; returns once the hook is in place."""
        process = self.start(WINPROBE_EXE, "watch", f"{seconds:.1f}")
        wait_until(lambda: "watching=1" in process.text(), 15, "the event watcher to start",
                   detail=process.text)
        return EventWatch(process)

    def set_title(self, hwnd: int, text: str) -> None:
        result = self.probe("settitle", hex(hwnd), text)
        assert result.get("set") == "1", result.output

    def quit(self, pid: int) -> None:
        """Posts WM_QUIT to the main thread of a Windows process."""
        result = self.probe("quit", str(pid))
        assert result.get("posted") == "1", result.output

    def hook_probe(self) -> EventLog:
        """Installs a low-level keyboard hook of another program, now: it is called before every hook
        installed earlier and logs each key it sees as `hook down|up key=W injected=0|1`."""
        hook_log = self.new_log("hook")
        self.start(WINPROBE_EXE, "hooklog", windows_path(hook_log.path))
        hook_log.wait_for("ready", hooked="1")
        return hook_log

    def walk_diagonally(self, client: EventLog, keys: str = "W A", diagonal: str = "Q", let_go: bool = True) -> str:
        """Presses two direction keys in the client's window, and lets go of them unless told not
        to; returns what the client received, waiting for the walk of `diagonal` ("W+ W- Q+ Q- A+
        A-", or "W+ W- Q+" while the keys stay down)."""
        first, second = keys.split()
        walked = f"{first}+ {first}- {diagonal}+" + (f" {diagonal}- {second}+ {second}-" if let_go else "")
        self.focus(client)
        mark = client.mark()
        self.keys(f"{first}+ {second}+" + (f" {first}- {second}-" if let_go else ""))
        return client.keys(since=mark, expect=walked)

    def launcher_hooked_again(self, hook_log: EventLog, client: EventLog) -> bool:
        """Whether the launcher installed its keyboard hook again after `hook_log`'s probe hooked:
        its hook would then be called first and swallow a physical W before the probe saw it."""
        self.focus(client)
        mark, client_mark = hook_log.mark(), client.mark()
        self.keys("W+ W-")
        client.keys(since=client_mark, expect="W+ W-")
        hook_log.wait_for("hook", since=mark, key="W", injected="1")
        return not hook_log.find("hook", since=mark, key="W", injected="0")

    def keys_down(self, letters: str = "", codes: list[int] = ()) -> list[str]:
        """Which of the keys `letters` ("QWAD") and virtual-key `codes` the desktop has down now
        (GetAsyncKeyState, from another process), named as the stand-in client names keys."""
        state = self.probe("keystate", *[hex(ord(k)) for k in letters], *[hex(vk) for vk in codes])
        return [name.split(".", 1)[1] for name, value in state.items() if name.startswith("down.") and value == "1"]

    def key_order(self, hooks: int, launcher: os.PathLike | str | None = None, keys: str = "XJ",
                  rounds: int = KEY_ORDER_ROUNDS, report: Callable[[str], None] | None = None) -> int:
        """The reproduction of keys swapped behind keyboard hooks: with the stand-in client in
        front (started by `launcher` if given, whose hook then comes first) and `hooks` of the
        probe's logging hooks installed after it (called before it), XTEST taps `keys` in turn,
        back to back, 96 events a round (X and J pass every hook untouched; W, A, S and D become
        the walk's own keys where the launcher runs). Returns how many rounds reached the client
        out of order (or with keys lost or added), telling `report` where each parted; ends what
        it started."""
        programs, logs = len(self.programs), len(self.logs)
        try:
            game = self.install(launcher=launcher)
            if launcher:
                game.start()
                # The launcher hooks the keyboard before it first retitles the client.
                game.client.wait_for("title", window="main", text=PRODUCT_TITLE)
            else:
                game.start_client()
            client = game.client
            client.wait_ready()
            for _ in range(hooks):
                self.hook_probe()
            self.focus(client)
            taps = [f"{key}+ {key}-" for key in keys] * (KEY_ORDER_EVENTS // 2 // len(keys))
            typed = " ".join(taps)
            out_of_order = 0
            for round_number in range(rounds):
                mark = client.mark()
                self.keys(typed, pause=0)
                got = client.keys(since=mark, expect=lambda keys: len(keys.split()) >= len(typed.split()))
                # The previous-state bit ("X+r") follows Wine's own bookkeeping, not the order: left out.
                got = " ".join(k.rstrip("r") for k in got.split())
                if got != typed:
                    out_of_order += 1
                    first = next((i for i, (a, b) in enumerate(zip(got.split(), typed.split())) if a != b), 0)
                    if report:
                        report(f"round {round_number}: from event {first} on: "
                               f"{' '.join(got.split()[first:first + 12])} ...")
            return out_of_order
        finally:
            self._stop_programs_since(programs, logs)

    def swaps_keys(self, hooks_ahead: int) -> bool:
        """Whether this Wine delivers keys typed a few milliseconds apart swapped while the launcher
        hooks the keyboard with `hooks_ahead` other programs' hooks called before its own: measured
        with `key_order` once per session and answer, unless E2E_WINE_SWAPS says (0: it never
        swaps, 1: it does). Measured with keys the launcher passes on: the order of the walk's own
        keys is the launcher's to keep, and the soak holds it to that."""
        said = os.environ.get("E2E_WINE_SWAPS")
        if said in ("0", "1"):
            return said == "1"
        if hooks_ahead not in self._swaps:
            rounds = self.key_order(hooks_ahead, launcher=LAUNCHER_EXE)
            self._swaps[hooks_ahead] = rounds > 0
            log(f"{wine_version()} with {hooks_ahead} hook(s) ahead of the launcher's: "
                f"{rounds} of {KEY_ORDER_ROUNDS} rounds out of order")
        return self._swaps[hooks_ahead]

    def message_windows(self, pid: int) -> list[str]:
        """The window classes of a process's message-only windows, which no enumeration lists."""
        result = self.probe("messagewindows", str(pid))
        return [item["class"] for item in result.items_of("window")]

    def threads(self, pid: int) -> int:
        return int(self.probe("threads", str(pid)).get("count", "0"))

    def version(self, exe: os.PathLike | str) -> ProbeResult:
        return self.probe("version", windows_path(exe))

    def icons(self, exe: os.PathLike | str) -> ProbeResult:
        return self.probe("icon", windows_path(exe))


KEYSYMS = {"ctrl": "Control_L", "shift": "Shift_L", "alt": "Alt_L",
           "rctrl": "Control_R", "rshift": "Shift_R", "ralt": "Alt_R", "win": "Super_L", "rwin": "Super_R",
           "space": "space", "enter": "Return", "esc": "Escape", "tab": "Tab", "scroll": "Scroll_Lock"}


def keysym(name: str) -> str:
    lower = name.lower()
    if lower in KEYSYMS:
        return KEYSYMS[lower]
    if len(name) == 1 and name.isalnum():
        return lower
    return name


# --- prefix, display, leftovers ----------------------------------------------------------

def wine_version() -> str:
    out = subprocess.run(["wine", "--version"], capture_output=True, text=True,
                         env={**os.environ, **WINE_BASE_ENV}).stdout.strip()
    return re.sub(r"[^A-Za-z0-9.]+", "-", out).strip("-") or "unknown"


def wine_major() -> int:
    """Wine's major version, 0 when `wine --version` does not say: a few behaviours change with it."""
    m = re.match(r"wine-(\d+)", wine_version())
    return int(m[1]) if m else 0


def ensure_template(cache: Path) -> Path:
    """The prefix every session copies: made once per Wine version, under a lock for parallel runs."""
    template = cache / f"prefix-{wine_version()}"
    if (template / "system.reg").exists():
        return template
    with open(cache / "template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if (template / "system.reg").exists():
            return template
        log(f"creating Wine prefix template {template.name} (once, ~15 s)")
        building = Path(tempfile.mkdtemp(prefix="building-", dir=cache))
        env = {**os.environ, **WINE_BASE_ENV, "WINEPREFIX": str(building), "HOME": str(cache / "home")}
        env.pop("DISPLAY", None)
        (cache / "home").mkdir(exist_ok=True)
        try:
            subprocess.run(["wineboot", "-i"], env=env, check=True, timeout=300,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            x11 = r"HKCU\Software\Wine\X11 Driver"
            # An X focus change activates the window, as a click would (no window manager here).
            # Unmanaged windows: hiding one does not wait 2 s for a window manager that never answers.
            for name in ("UseTakeFocus", "Managed"):
                subprocess.run(["wine", "reg", "add", x11, "/v", name, "/t", "REG_SZ", "/d", "N", "/f"],
                               env=env, check=True, timeout=120,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=120)
            building.rename(template)
        finally:
            if building.exists():
                subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                shutil.rmtree(building, ignore_errors=True)
    return template


def copy_prefix(template: Path, target: Path) -> None:
    def place(src: str, dst: str) -> None:
        if Path(src).suffix.lower() in SHARED_SUFFIXES:
            os.link(src, dst)
        else:
            shutil.copy2(src, dst)
    shutil.copytree(template, target, symlinks=True, copy_function=place)


def _holds_display(number: int, pid: int) -> bool:
    try:
        return int(Path(f"/tmp/.X{number}-lock").read_text().strip()) == pid
    except (OSError, ValueError):
        return False


def start_xvfb(log_path: Path) -> tuple[subprocess.Popen, str]:
    for number in DISPLAYS:
        if Path(f"/tmp/.X{number}-lock").exists() or Path(f"/tmp/.X11-unix/X{number}").exists():
            continue
        with open(log_path, "ab") as sink:
            xvfb = subprocess.Popen(["Xvfb", f":{number}", "-nolisten", "tcp", "-noreset", "-screen", "0", SCREEN,
                                     "-ardelay", str(AUTOREPEAT_DELAY_MS), "-arinterval", str(AUTOREPEAT_INTERVAL_MS)],
                                    stdin=subprocess.DEVNULL, stdout=sink, stderr=sink, start_new_session=True)
        socket = Path(f"/tmp/.X11-unix/X{number}")
        deadline = time.monotonic() + 10
        # Two sessions starting together may both try this number: the socket is the winner's,
        # and only the lock file, which holds the winner's pid, says whose.
        while xvfb.poll() is None and not (socket.exists() and _holds_display(number, xvfb.pid)) \
                and time.monotonic() < deadline:
            time.sleep(0.02)
        if xvfb.poll() is None and socket.exists() and _holds_display(number, xvfb.pid):
            return xvfb, f":{number}"
        stop_process(xvfb)  # lost a race for this display number; try the next
    raise RuntimeError(f"no free X display in :{DISPLAYS.start}..:{DISPLAYS.stop - 1}")


def stop_process(process: subprocess.Popen | None) -> None:
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def _alive(pid: int) -> bool:
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def clean_stale_sessions(cache: Path) -> None:
    """Removes what a killed run left behind: its Xvfb, its wineserver and folder."""
    sessions = cache / "sessions"
    sessions.mkdir(exist_ok=True)
    for folder in sessions.iterdir():
        state_file = folder / "session.json"
        try:
            state = json.loads(state_file.read_text())
        except (OSError, ValueError):
            # A session that died before recording itself; only its owner pid in the name tells.
            # One kept by E2E_KEEP has none either, and stays.
            m = re.match(r"s(\d+)-", folder.name)
            if m and not _alive(int(m.group(1))) and not (folder / "kept").exists():
                shutil.rmtree(folder, ignore_errors=True)
            continue
        if _alive(state["owner"]):
            continue
        env = {**os.environ, **WINE_BASE_ENV, "WINEPREFIX": state["prefix"]}
        subprocess.run(["wineserver", "-k"], env=env, timeout=15,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        xvfb = state["xvfb"]
        with contextlib.suppress(OSError):
            if b"Xvfb" in Path(f"/proc/{xvfb}/cmdline").read_bytes() and \
                    state["display"].encode() in Path(f"/proc/{xvfb}/cmdline").read_bytes():
                os.kill(xvfb, signal.SIGTERM)
        shutil.rmtree(folder, ignore_errors=True)
        log(f"removed stale session {folder.name}")


# --- unittest glue ------------------------------------------------------------------------

_shared: WineSession | None = None


def shared_session() -> WineSession:
    """The one session of this test process, started on first use and closed at exit."""
    global _shared
    if _shared is None:
        session = WineSession()
        try:
            session.start_session()
        except BaseException:
            session.close()
            raise
        _shared = session
    return _shared


def end_shared_session() -> None:
    """Closes this process's session; the next test that asks for one gets a new one."""
    global _shared
    if _shared is not None:
        _shared.close()
        _shared = None


def _exit_on_sigterm(signum, _frame):
    # ctest's timeout sends SIGTERM; unittest would take SystemExit for one failed test
    # and go on, so tear the session down here and leave at once.
    if _shared is not None:
        _shared.close()
    os._exit(128 + signum)


signal.signal(signal.SIGTERM, _exit_on_sigterm)


class WineTestCase(unittest.TestCase):
    """Shares one Wine session across the module; each test ends the programs it started."""

    wine: WineSession

    @classmethod
    def setUpClass(cls) -> None:
        cls.wine = shared_session()

    def setUp(self) -> None:
        self._started = time.monotonic()
        self.addCleanup(self._finish)

    def _finish(self) -> None:
        self.wine.stop_programs()
        log(f"{self.short_id()}: {time.monotonic() - self._started:.2f} s")

    def short_id(self) -> str:
        """Class and test name, without the module."""
        return self.id().split(".", 1)[-1]


# For the tests that need the launcher itself.
needs_launcher = unittest.skipUnless(LAUNCHER_EXE, "E2E_LAUNCHER names no launcher")


@needs_launcher
class LauncherTestCase(WineTestCase):
    """Tests of the launcher with its client; `self.client` is the running game's client."""

    # Keys that X never repeats in these tests, so a held key stays held however long a step takes.
    keys_never_repeated = ""

    def setUp(self) -> None:
        super().setUp()
        for key in self.keys_never_repeated:
            self.enterContext(self.wine.without_autorepeat(key))

    def start_game(self, ini: bytes | None = None, env: dict[str, str] | None = None, ready: str | None = "hooks",
                   **install):
        """Installs the launcher and its client the way a player has them and starts the
        launcher; returns (game, run). Then waits, as `ready` says, until the launcher's hooks
        are in place and the client is in front ("hooks"), until the client's windows are up
        ("windows"), or not at all (None)."""
        game = self.wine.install(launcher=LAUNCHER_EXE, ini=ini, **install)
        run = game.start(env=env)
        self.client = game.client
        started = time.monotonic()
        try:
            if ready == "hooks":
                self.wait_for_hooks(self.client)
            elif ready == "windows":
                self.client.wait_ready()
        except AssertionError as failure:
            raise AssertionError(f"{failure}\n{self.wine.what_runs(run)}") from None
        if (took := time.monotonic() - started) > SLOW_GAME_START_S:
            log(f"{self.short_id()}: the game took {took:.1f} s to be ready")
        return game, run

    def wait_for_hooks(self, client: EventLog) -> None:
        """Waits until the launcher's hooks are in place, then brings the client to the front."""
        # The launcher hooks the keyboard before it first retitles the client. A start takes
        # well under a second, yet a CI run once saw nothing from the client within 10 s.
        client.wait_for("title", window="main", text=PRODUCT_TITLE, timeout=30)
        self.wine.focus(client)

    def press(self, notation: str, expect: str, log: EventLog | None = None) -> str:
        """Presses physical keys; returns what `log` (the client's by default) received meanwhile."""
        log = log or self.client
        mark = log.mark()
        self.wine.keys(notation)
        return log.keys(since=mark, expect=expect)

    def assert_walks_diagonally(self, message: str | None = None) -> None:
        self.assertEqual(self.wine.walk_diagonally(self.client), "W+ W- Q+ Q- A+ A-", message)
