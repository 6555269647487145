#!/usr/bin/env python3
"""Wine alone, no launcher: do keys reach a window in the order they were typed while two
programs hook the keyboard?

The stand-in client has the focus; two copies of the probe's logging hook pass every key on.
XTEST types X and J back to back, 100 events a round. Wine 8 delivers them in order; Wine 10
lets the second key into the hooks before the first is through them and delivers the two in
reverse (`X- X+`), so the window ends up believing a released key is still down.

    tests/tools/wine_key_order.py [build/windows] [rounds]

Prints one line per round out of order and exits 1 if there was any.
"""
import os
import sys
from pathlib import Path

build = Path(sys.argv[1] if len(sys.argv) > 1 else "build/windows").absolute()
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
os.environ.setdefault("E2E_CLIENT", str(build / "tests/client/client.exe"))
os.environ.setdefault("E2E_WINPROBE", str(build / "tests/tools/winprobe.exe"))
os.environ.setdefault("E2E_CACHE_DIR", str(build / "e2e-cache"))
sys.path.insert(0, str(Path(__file__).absolute().parent.parent / "e2e"))

from harness import WineSession, wine_version  # noqa: E402

TAPS = 25

with WineSession() as wine:
    game = wine.install()
    game.start_client()
    client = game.client
    client.wait_ready()
    wine.hook_probe()
    wine.hook_probe()
    wine.focus(client)
    typed = " ".join(f"{key}+ {key}-" for _ in range(TAPS) for key in ("X", "J"))
    out_of_order = 0
    for round_number in range(rounds):
        mark = client.mark()
        wine.keys(typed, pause=0)
        got = client.keys(since=mark, expect=lambda keys: len(keys.split()) >= len(typed.split()))
        if got != typed:
            out_of_order += 1
            first = next((i for i, (a, b) in enumerate(zip(got.split(), typed.split())) if a != b), 0)
            print(f"round {round_number}: from event {first} on: {' '.join(got.split()[first:first + 12])} ...")
    print(f"{wine_version()}: {out_of_order} of {rounds} rounds out of order")
    sys.exit(1 if out_of_order else 0)
