"""Physical key events straight through libXtst, for tests that send thousands of them.

Starting one xdotool per event costs milliseconds; one X connection kept open
sends an event in tens of microseconds. Each event is flushed with XSync, so
when `send` returns the X server has it and has routed it to the focused window.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import time

from harness import keysym


def _load(name: str, soname: str) -> ctypes.CDLL:
    try:
        return ctypes.CDLL(soname)
    except OSError:
        found = ctypes.util.find_library(name)
        if not found:
            raise RuntimeError(f"{soname} not found (Debian package lib{name.lower()}6)") from None
        return ctypes.CDLL(found)


class XTestKeyboard:
    """One X connection to a display; `send("W", True)` presses W as a player would."""

    def __init__(self, display: str, repeat: bool = True, sync: bool = True):
        """`repeat=False` turns the display's auto-repeat off, so a long hold on a loaded
        machine adds no repeats; `sync=False` only flushes each event, for the least
        delay between the time stamp and the event leaving."""
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
        """Presses or releases `key` (harness key names: "W", "Ctrl", "x"); returns the
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
