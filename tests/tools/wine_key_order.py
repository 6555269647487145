#!/usr/bin/env python3
"""Do keys reach a window in the order they were typed while programs hook the keyboard?

The stand-in client has the focus, started by the launcher with --launcher (its hook then
comes first); HOOKS copies of the probe's logging hook (2 by default) are installed after it
and pass every key on. XTEST taps KEYS (X and J by default) in turn, back to back, 96 events a
round. Wine 8 delivers them in order; Wine 10 behind two hooks, launcher or not, or behind one
in front of the launcher's, lets a key into the hooks before the one typed just before it is
through them and delivers the two in reverse (`X- X+`), so the window ends up believing a
released key is still down. With --keys XWJD and the launcher alone, W and D become the walk's
own keys: Wine 10 here then delivers them out of order too. The end-to-end tests measure the same, once per
session, before they decide how strictly to compare key streams (WineSession.swaps_keys).

    tests/tools/wine_key_order.py [--launcher] [--hooks N] [--keys XJ] [--rounds N] [build/windows]

Prints one line per round out of order and exits 1 if there was any.
"""
import argparse
import os
import sys
from pathlib import Path

parser = argparse.ArgumentParser()
parser.add_argument("build", nargs="?", default="build/windows")
parser.add_argument("--hooks", type=int, default=2, help="logging hooks installed after the client starts")
parser.add_argument("--rounds", type=int, default=10)
parser.add_argument("--launcher", action="store_true", help="start the client with the launcher")
parser.add_argument("--keys", default="XJ", help="the keys tapped in turn")
options = parser.parse_args()
build = Path(options.build).absolute()
os.environ.setdefault("E2E_CLIENT", str(build / "tests/client/client.exe"))
os.environ.setdefault("E2E_WINPROBE", str(build / "tests/tools/winprobe.exe"))
os.environ.setdefault("E2E_LAUNCHER", str(build / "Varnel Official Client.exe"))
os.environ.setdefault("E2E_CACHE_DIR", str(build / "e2e-cache"))
sys.path.insert(0, str(Path(__file__).absolute().parent.parent / "e2e"))

from harness import LAUNCHER_EXE, WineSession, wine_version  # noqa: E402

with WineSession() as wine:
    out_of_order = wine.key_order(options.hooks, launcher=LAUNCHER_EXE if options.launcher else None,
                                  keys=options.keys, rounds=options.rounds, report=print)
    print(f"{wine_version()}, {'the launcher and ' if options.launcher else ''}{options.hooks} logging hook(s), "
          f"{options.keys}: "
          f"{out_of_order} of {options.rounds} rounds out of order", flush=True)
    sys.exit(1 if out_of_order else 0)
