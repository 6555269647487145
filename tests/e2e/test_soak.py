"""A long random session at the keyboard: thousands of physical key events against the
real launcher under Wine, and an independent model of the walking rules that says
exactly which keys the game and another application must receive.

SOAK_SEED=n replays one run; SOAK_EVENTS=n sets its length (physical key events);
SOAK_GAP_MS=n the pause between two events. With E2E_KEEP=1 the session folder keeps
soak-trace.json: every physical step and both windows' streams, expected and received.
"""

from __future__ import annotations

import contextlib
import dataclasses
import json
import os
import random
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path
from typing import Callable

from harness import PRODUCT_TITLE, LauncherTestCase, key_events, wait_until, wine_version

EVENTS = int(os.environ.get("SOAK_EVENTS") or 10000)
SEED = int(os.environ.get("SOAK_SEED") or random.SystemRandom().randrange(1 << 32))
# Wine delivered every event, in order, 1 ms apart; with no pause at all it falls seconds
# behind but still delivers. 2 ms leaves room for a busy machine.
EVENT_GAP_S = float(os.environ.get("SOAK_GAP_MS") or 2) / 1000

# Some Wines let a key into the hooks before the one typed just before it is through them, and
# the two reach the window swapped, launcher or not (tests/tools/wine_key_order.py): Wine 10 here
# does so behind a hook in front of the launcher's (the probe's), never behind the launcher's
# alone. The session measures it before the soak starts: where the probe's hook brings it on,
# the soak runs without the probe, and where the launcher's hook alone does too, keys of physical
# events typed this close together may come in another order (each event's own keys in the
# launcher's order), and that is forgiven, shown as a skip. Nothing else is: no key lost, none
# extra, none left down.
SWAP_WITHIN_US = 5000
# The most keys one reordering forgiven may span: a key and the walk's keys of two events before it.
MOST_REORDERED = 5

DIRECTIONS = ("W", "A", "S", "D")
MODIFIERS = ("Ctrl", "Shift", "Alt")
# Other keys a player hits: letters the walker itself sends, and keys it has nothing to do with.
OTHER_KEYS = ("Q", "E", "Z", "C", "X", "J", "1", "Enter")

# X repeats the last key pressed (modifiers aside) once it is held this long (the
# harness starts Xvfb with 500 ms): repeat holds go past it, everything else stays short of it.
REPEAT_HOLD_S = (0.6, 0.8)
LONGEST_PLAIN_HOLD_S = 0.4

# Every key the run presses or the walker sends: letters and digits, and the virtual-key codes of the others.
KEYS_TO_CHECK = ("WASDQEZCXJ1", [0x0D, 0x10, 0x11, 0x12, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5])
# The names the desktop's key state gives each key the run presses (a modifier is down as itself and as its left one).
KEY_STATE_NAMES = {"Ctrl": ("Ctrl", "LCtrl"), "Shift": ("Shift", "LShift"), "Alt": ("Alt", "LAlt")}


# --- the rules, from the player's side -------------------------------------------------------

# The key codes the launcher's hook sees for the keys the run presses.
VIRTUAL_KEYS = {**{c: ord(c) for c in "WASDQEZCXJ1"}, "Enter": 0x0D, "Ctrl": 0xA2, "Shift": 0xA0, "Alt": 0xA4}
RULES_SOURCE = Path(__file__).with_name("walking_rules.cpp")
UNIT_TESTS = Path(__file__).parent.parent / "unit"
STAND_IN = Path(__file__).parent.parent / "win32"


class WalkingRules:
    """The unit tests' reference model of the walking rules, built as a small native program and
    asked event by event: whether a physical event reaches its window, and which key the walker
    then holds."""

    def __init__(self, folder: Path):
        # Before any Wine session has made it, on a fresh clone.
        folder.mkdir(parents=True, exist_ok=True)
        program = folder / "walking_rules"
        sources = [RULES_SOURCE, UNIT_TESTS / "walking_reference.h", *STAND_IN.glob("*.h")]
        if not program.exists() or program.stat().st_mtime < max(p.stat().st_mtime for p in sources):
            subprocess.run(["g++", "-std=c++17", "-O1", "-I", str(STAND_IN), "-I", str(UNIT_TESTS),
                            str(RULES_SOURCE), "-o", str(program)], check=True)
        self.process = subprocess.Popen([str(program)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def close(self) -> None:
        self.process.stdin.close()
        self.process.stdout.close()
        self.process.wait(10)

    def event(self, key: str, down: bool, in_client: bool, modifier_held: bool) -> tuple[bool, str | None]:
        return self._ask(VIRTUAL_KEYS[key], down, in_client, modifier_held)

    def focus(self, in_client: bool) -> str | None:
        """The foreground moved, with no key; returns the key the walker then holds."""
        return self._ask(0, False, in_client, False)[1]

    def _ask(self, vk: int, down: bool, in_client: bool, modifier_held: bool) -> tuple[bool, str | None]:
        self.process.stdin.write(f"{vk} {int(down)} {int(in_client)} {int(modifier_held)}\n")
        self.process.stdin.flush()
        passes, held = self.process.stdout.readline().split()
        return passes == "1", chr(int(held)) if int(held) else None


@dataclasses.dataclass
class Expected:
    token: str          # "Q+", "Q+r" (a key-down of a key already down), "W-"
    step: int           # the physical step that caused it
    group: int = 0      # nonzero: one keyboard repeat's worth, present one or more times in a row


@dataclasses.dataclass
class Swap:
    """Two neighbouring keys a window received the other way round."""
    first: Expected
    second: Expected

    def __str__(self) -> str:
        return f"{self.first.token} {self.second.token} (steps {self.first.step}, {self.second.step})"


class ReferenceDesktop:
    """What the game client and another application receive, event by physical event: the
    walking rules decide what the walker holds and which keys reach their window; this keeps
    who is in front, the previous-state bit Wine sets and the keyboard's repeats."""

    def __init__(self, rules: WalkingRules):
        self.rules = rules
        self.foreground = "client"
        self.physical: set[str] = set()
        self.down_seen: set[str] = set()   # keys down as the windows know them (the repeat bit)
        self.sent: str | None = None       # the one key the walker holds down
        self.streams: dict[str, list[Expected]] = {"client": [], "other": []}
        self.steps: list[str] = [""]       # each physical step as "W+@client", for reports
        self.sent_at: list[int] = [0]      # when each physical step went out (microseconds)
        self.group = 0

    @property
    def step(self) -> int:
        return len(self.steps) - 1

    def event(self, key: str, down: bool, repeat: bool = False, sent_at: int = 0) -> None:
        """One physical event, sent at `sent_at`; `repeat` stands for the X server's auto-repeats
        of a held key."""
        self.steps.append(f"{key}{'+' if down else '-'}{'*' if repeat else ''}@{self.foreground}")
        self.sent_at.append(sent_at)
        self.group = self.step if repeat else 0
        modifier_held = any(m in self.physical for m in MODIFIERS)
        (self.physical.add if down else self.physical.discard)(key)
        passes, held = self.rules.event(key, down, self.foreground == "client", modifier_held)
        # The walker lets go of the old key before it presses the new one, and the keyboard's
        # repeats of a key it took reach the window as repeats of the key it holds.
        if held != self.sent:
            if self.sent:
                self._deliver(self.sent, False)
            if held:
                self._deliver(held, True)
            self.sent = held
        elif down and not passes and held:
            self._deliver(held, True)
        if passes:
            self._deliver(key, down)

    def focus(self, target: str) -> str | None:
        """The foreground moves with no key typed: a walk ends, its key-up going to `target`.
        Returns the key released."""
        self.foreground = target
        held = self.rules.focus(target == "client")
        released = self.sent if self.sent and held != self.sent else None
        if released:
            self._deliver(released, False)
            self.sent = held
        return released

    def place_release(self, key: str, target: str, in_target: int, leaving: str, in_leaving: int) -> None:
        """Where the walk's key-up at a focus change went: how many times to the window now in
        front, and how many to the window left behind."""
        stream = self.streams[target]
        last = max(i for i, x in enumerate(stream) if _bare(x.token) == f"{key}-")
        release = stream.pop(last)
        for _ in range(in_target):
            stream.append(dataclasses.replace(release))
        for _ in range(in_leaving):
            self.streams[leaving].append(dataclasses.replace(release))

    def _deliver(self, key: str, down: bool) -> None:
        token = f"{key}{'+' if down else '-'}"
        if down and key in self.down_seen:
            token += "r"
        (self.down_seen.add if down else self.down_seen.discard)(key)
        self.streams[self.foreground].append(Expected(token, self.step, self.group))


def _group_end(expected: list[Expected], start: int) -> int:
    end = start
    while end < len(expected) and expected[end].group == expected[start].group:
        end += 1
    return end


def _bare(token: str) -> str:
    return token.rstrip("r")


def typed_close_together(sent_at: list[int]) -> Callable[[Expected, Expected], bool]:
    """The swaps a Wine that swaps keys may make: keys of two physical events, sent at these
    times (microseconds, by step), within SWAP_WITHIN_US of each other."""
    def swappable(first: Expected, second: Expected) -> bool:
        return first.step != second.step and 0 <= sent_at[second.step] - sent_at[first.step] <= SWAP_WITHIN_US
    return swappable


def never(first: Expected, second: Expected) -> bool:
    return False


def _reordered_run(expected: list[Expected], actual: list[str], swappable: Callable[[Expected, Expected], bool]) -> int:
    """The length of the shortest run at the start of both that holds the same keys in another
    order which `swappable` forgives: keys of different physical events typed close together,
    each event's own keys in the order the launcher sent them. 0 when there is none."""
    for length in range(2, min(len(expected), len(actual)) + 1):
        run = expected[:length]
        if any(x.group for x in run):
            return 0
        got = [_bare(t) for t in actual[:length]]
        if sorted(got) != sorted(_bare(x.token) for x in run):
            continue
        by_step = {}
        for x in run:
            by_step.setdefault(x.step, []).append(_bare(x.token))
        in_order = all([t for t in got if t in keys] == keys for keys in by_step.values())
        close = all(swappable(x, y) for x in run for y in run if x.step < y.step)
        return length if in_order and close and len(by_step) > 1 else 0
    return 0


def compare(expected: list[Expected], actual: list[str],
            swappable: Callable[[Expected, Expected], bool] = never) -> tuple[tuple[int, int] | None, int, list[Swap]]:
    """Where `actual` first parts from `expected` (expected index, actual index), or None; how
    many key-downs, outside repeat runs, carry another previous-state bit than the model's; and
    the neighbouring keys that came swapped where `swappable` forgave it.

    The bit is counted apart: Wine sets it from its own key-state bookkeeping, which now and
    then (about once in 100,000 events here) disagrees with the order the keys went in. Which
    keys arrive, in what order and how many, is what the launcher decides: that must match.
    """
    e = a = bit_differences = 0
    swaps: list[Swap] = []
    while e < len(expected):
        if expected[e].group:
            end = _group_end(expected, e)
            repeat = [_bare(x.token) for x in expected[e:end]]
            if [_bare(t) for t in actual[a:a + len(repeat)]] != repeat:
                return (e, a), bit_differences, swaps
            while [_bare(t) for t in actual[a:a + len(repeat)]] == repeat:
                a += len(repeat)
            e = end
            continue
        if a < len(actual) and _bare(actual[a]) == _bare(expected[e].token):
            bit_differences += actual[a] != expected[e].token
            e, a = e + 1, a + 1
            continue
        run = _reordered_run(expected[e:e + MOST_REORDERED], actual[a:a + MOST_REORDERED], swappable)
        if run:
            swaps.append(Swap(expected[e], expected[e + run - 1]))
            e, a = e + run, a + run
            continue
        return (e, a), bit_differences, swaps
    return (None if a == len(actual) else (e, a)), bit_differences, swaps


def stretches(segments: set[int]) -> int:
    """How many stretches of play the differing segments make, each a segment and the one after it
    (where Wine lets go, at the focus change, of keys it still holds down)."""
    count, covered = 0, set()
    for segment in sorted(segments):
        if segment not in covered:
            count += 1
            covered |= {segment, segment + 1}
    return count


def expected_text(expected: list[Expected]) -> str:
    out, e = [], 0
    while e < len(expected):
        if expected[e].group:
            end = _group_end(expected, e)
            out.append("(" + " ".join(x.token for x in expected[e:end]) + ")x1+")
            e = end
        else:
            out.append(expected[e].token)
            e += 1
    return " ".join(out)


class ModelRules(unittest.TestCase):
    """The model on cases read straight off the rules (no Wine needed): the oracle is checked too."""

    def new_desktop(self) -> ReferenceDesktop:
        rules = WalkingRules(Path(os.environ.get("E2E_CACHE_DIR") or tempfile.gettempdir()))
        self.addCleanup(rules.close)
        return ReferenceDesktop(rules)

    def test_cases_from_the_rules(self):
        cases = [
            # physical keys ("@other" moves the foreground, "W*" is X repeating W), client, other
            ("W+ W-", "W+ W-", ""),
            ("W+ A+ W- A-", "W+ W- Q+ Q- A+ A-", ""),
            ("S+ D+ S- D-", "S+ S- C+ C- D+ D-", ""),
            ("A+ D+ D- A-", "A+ A- D+ D- A+ A-", ""),
            # An opposite key wins only while it is the very last direction key pressed.
            ("A+ D+ W+ W- D- A-", "A+ A- D+ D- Q+ Q- A+ A-", ""),
            ("W+ S+ A+ A- S- W-", "W+ W- S+ S- Q+ Q- W+ W-", ""),
            ("W+ S+ A+ S- S+ W-", "W+ W- S+ S- Q+ Q- Z+", ""),
            ("W+ Ctrl+ W- Ctrl-", "W+ W- Ctrl+ W- Ctrl-", ""),
            ("Ctrl+ W+ W- Ctrl-", "Ctrl+ W+ W- Ctrl-", ""),
            ("W+ X+ X- W-", "W+ X+ X- W-", ""),
            ("Q+ W+ A+ Q- A- W-", "Q+ W+ W- Q+r Q- Q- W+ W-", ""),
            ("W+ @other W- @client", "W+", "W- W-"),
            ("W+ @other X+ X- W- @client", "W+", "W- X+ X- W-"),
            ("@other A+ @client A-", "A-", "A+"),
            ("W+ A+ A- W* W-", "W+ W- Q+ Q- W+ (W+r)x1+ W-", ""),
        ]
        for keys, client, other in cases:
            with self.subTest(keys=keys):
                desk = self.new_desktop()
                for token in keys.split():
                    if token.startswith("@"):
                        desk.foreground = token[1:]
                    elif token.endswith("*"):
                        desk.event(token[:-1], True, repeat=True)
                    else:
                        desk.event(token[:-1], token[-1] == "+")
                self.assertEqual(expected_text(desk.streams["client"]), client)
                self.assertEqual(expected_text(desk.streams["other"]), other)

    def test_the_walks_key_up_at_a_focus_change_is_expected_where_it_was_seen(self):
        cases = [
            # W- seen so many times in the window now in front and in the one left behind: client, other
            ((1, 0), "W+", "W-"),
            ((2, 0), "W+", "W- W-"),
            ((0, 1), "W+ W-", ""),
            ((1, 1), "W+ W-", "W-"),
            ((0, 0), "W+", ""),
        ]
        for (in_target, in_leaving), client, other in cases:
            with self.subTest(seen=(in_target, in_leaving)):
                desk = self.new_desktop()
                desk.event("W", True)
                self.assertEqual(desk.focus("other"), "W")
                desk.place_release("W", "other", in_target, "client", in_leaving)
                self.assertEqual((expected_text(desk.streams["client"]), expected_text(desk.streams["other"])),
                                 (client, other))

    def test_a_swap_is_forgiven_only_of_two_neighbouring_keys_typed_close_together(self):
        # W+ at 0 ms, A+ at 1 ms (the walker lets go of W and walks Q), X+ at 2 ms, X- at 90 ms.
        expected = [Expected("W+", 1), Expected("W-", 2), Expected("Q+", 2), Expected("X+", 3), Expected("X-", 4)]
        swappable = typed_close_together([0, 0, 1000, 2000, 90000])
        cases = [
            # received, (where they part, swaps forgiven)
            ("W+ W- Q+ X+ X-", (None, [])),
            ("W- W+ Q+ X+ X-", (None, ["W+ W-"])),
            ("W+ W- X+ Q+ X-", (None, ["Q+ X+"])),
            # typed too far apart
            ("W+ W- Q+ X- X+", ((3, 3), [])),
            # keys of one physical event go in the order the launcher sends them
            ("W+ Q+ W- X+ X-", ((1, 1), [])),
            # a key behind the walk's keys of an event typed with it
            ("W- Q+ W+ X+ X-", (None, ["W+ Q+"])),
            # a key lost, an extra key, a wrong key
            ("W+ Q+ X+ X-", ((1, 1), [])),
            ("W+ W- Q+ X+ X+ X-", ((4, 4), [])),
            ("W+ W- E+ X+ X-", ((2, 2), [])),
        ]
        for actual, (where, swaps) in cases:
            with self.subTest(actual=actual):
                found, _, forgiven = compare(expected, actual.split(), swappable)
                self.assertEqual((found, [f"{x.first.token} {x.second.token}" for x in forgiven]), (where, swaps))
        self.assertEqual(compare(expected, "W- W+ Q+ X+ X-".split())[0], (0, 0), "no swap forgiven by default")

    def test_differing_segments_make_one_stretch_only_where_each_follows_the_one_before(self):
        for segments, count in [(set(), 0), ({15}, 1), ({15, 16}, 1), ({15, 16, 17}, 2), ({5, 7}, 2), ({1, 2, 9}, 2)]:
            with self.subTest(segments=segments):
                self.assertEqual(stretches(segments), count)

    def test_matching_takes_any_number_of_repeats_and_counts_repeat_bits_apart(self):
        expected = [Expected("W+", 1), Expected("W+r", 2, group=2), Expected("W-", 3), Expected("A+", 4)]
        cases = [
            # received, (where they part: expected index, received index), key-downs with another bit
            ("W+ W+r W- A+", (None, 0)),
            ("W+ W+r W+r W+r W- A+", (None, 0)),
            ("W+ W+ W+r W- A+", (None, 0)),
            ("W+r W+r W- A+r", (None, 2)),
            ("W+ W- A+", ((1, 1), 0)),
            ("W+ W+r W- W- A+", ((3, 3), 0)),
            ("W+ W+r W- A+ A-", ((4, 4), 0)),
            ("W+ W+r", ((2, 2), 0)),
        ]
        for actual, result in cases:
            with self.subTest(actual=actual):
                self.assertEqual(compare(expected, actual.split())[:2], result)


# --- the player and what the windows logged ------------------------------------------------------

class Player:
    """Chooses what to do next the way a restless player might, within what X replays faithfully."""

    def __init__(self, rng: random.Random):
        self.rng = rng
        self.held: list[str] = []
        self.repeating: tuple[str, float] | None = None   # the key X would repeat, and since when
        self.wants_focus = False

    def next_action(self) -> tuple:
        r = self.rng.random()
        held_directions = [k for k in self.held if k in DIRECTIONS]
        free_directions = [k for k in DIRECTIONS if k not in self.held]
        held_modifiers = [k for k in self.held if k in MODIFIERS]
        held_others = [k for k in self.held if k in OTHER_KEYS]
        free_others = [k for k in OTHER_KEYS if k not in self.held]
        if self.wants_focus or (r < 0.012 and not held_modifiers):
            # X would go on repeating the last key pressed while the focus moves: let it go first.
            if self.repeating and self.repeating[0] in self.held:
                self.wants_focus = True
                return ("key", self.repeating[0], False)
            self.wants_focus = False
            return ("focus",)
        if r < 0.016 and not held_modifiers:
            key = self.rng.choice(DIRECTIONS + OTHER_KEYS[:3])
            if key not in self.held:
                return ("hold", key)
        if r < 0.45 and free_directions:
            return ("key", self.rng.choice(free_directions), True)
        if r < 0.80 and held_directions:
            return ("key", self.rng.choice(held_directions), False)
        if r < 0.88:
            if held_modifiers and self.rng.random() < 0.6:
                return ("key", self.rng.choice(held_modifiers), False)
            choices = [m for m in MODIFIERS if m not in self.held]
            if "Alt" in self.held or "Shift" in self.held:
                choices = [m for m in choices if m not in ("Alt", "Shift")]   # Windows switches layouts on Alt+Shift
            if choices:
                return ("key", self.rng.choice(choices), True)
        if len(held_others) >= 2 or (held_others and self.rng.random() < 0.6):
            return ("key", self.rng.choice(held_others), False)
        return ("key", self.rng.choice(free_others), True)

    def pressed(self, key: str, down: bool) -> None:
        if not down:
            self.held.remove(key)
            return
        self.held.append(key)
        if key not in MODIFIERS:
            # X never repeats a modifier, and pressing one leaves the other key repeating.
            self.repeating = (key, time.monotonic())

    def held_too_long(self, key: str) -> float | None:
        if self.repeating and self.repeating[0] == key:
            held_for = time.monotonic() - self.repeating[1]
            if held_for > LONGEST_PLAIN_HOLD_S:
                return held_for
        return None


@dataclasses.dataclass
class Divergence:
    window: str
    segment: int
    player: str
    expected: str
    actual: str

    def __str__(self) -> str:
        return (f"segment {self.segment}, {self.window} window:\n  player   {self.player}\n"
                f"  expected {self.expected}\n  received {self.actual}")


class Soak(LauncherTestCase):
    def test_random_play_reaches_each_window_as_the_rules_say(self):
        print(f"\nsoak: SOAK_SEED={SEED} SOAK_EVENTS={EVENTS}", file=sys.stderr, flush=True)
        # Measured before the game starts: whether keys come swapped behind the probe's hook, and if
        # so, behind the launcher's alone.
        with_probe = not self.wine.swaps_keys(hooks_ahead=1)
        forgive_swaps = not with_probe and self.wine.swaps_keys(hooks_ahead=0)
        self.rng = random.Random(SEED)
        game, run = self.start_game(env={"CLIENT_RETITLE_MS": "300"})
        client = game.client
        # Called before the launcher's hook unless the launcher takes its live hook for lost.
        hook_log = self.wine.hook_probe() if with_probe else None
        other = self.wine.open_window("Other application")
        self.targets = {"client": client, "other": other}
        self.logs = {"client": client, "other": other.log}
        self.wine.focus(client)
        rules = WalkingRules(self.wine.cache)
        self.addCleanup(rules.close)
        self.desk = ReferenceDesktop(rules)
        self.swappable = typed_close_together(self.desk.sent_at) if forgive_swaps else never
        self.player = Player(self.rng)
        # Where the current segment starts, in the model's streams and in the logs.
        self.marks = {name: (0, log.mark()) for name, log in self.logs.items()}
        self.divergences: list[Divergence] = []
        # Behind a second hook this Wine swaps keys; it is also the one seen to lose a burst of keys.
        forgive_one_stretch = not with_probe
        self.swaps: list[Swap] = []
        self.moved_releases: list[str] = []
        self.segments = self.sent = self.focus_switches = self.repeat_holds = self.repeat_bit_differences = 0
        self.long_holds: list[float] = []

        started = time.monotonic()
        self.keyboard = self.wine.keyboard
        self._play()
        elapsed = time.monotonic() - started

        left_down = sorted(self.wine.keys_down(*KEYS_TO_CHECK))
        self._save_trace()
        print(f"soak: seed {SEED}: {self.sent} physical events in {elapsed:.1f} s "
              f"({self.sent / elapsed:.0f}/s), {self.focus_switches} focus switches, "
              f"{self.repeat_holds} repeat holds, {self.segments} segments compared; "
              f"{len(self.divergences)} divergences, {len(self.swaps)} swaps forgiven, "
              f"{self.repeat_bit_differences} key-downs whose repeat bit Wine set otherwise; "
              f"keys left down: {', '.join(left_down) or 'none'}; the client got {len(client.key_events())} "
              f"key events, the other window {len(other.log.key_events())}", file=sys.stderr, flush=True)

        report = "\n".join(str(d) for d in self.divergences[:3])
        if self.long_holds:
            report += f"\n(keys held past {LONGEST_PLAIN_HOLD_S} s, which X may have repeated: {self.long_holds[:5]})"
        self.assertEqual([k for k in left_down if k not in self._left_down_by_swaps()], [],
                         f"keys still down after the player let go (SOAK_SEED={SEED})")
        self.assertEqual(self.desk.down_seen, set())
        # The client renamed itself all along; the launcher put the title back each time.
        wait_until(lambda: client.title() == PRODUCT_TITLE, 5, "the product title", detail=lambda: client.title())
        self.assertTrue(run.running(), "the launcher ended during play")
        if hook_log:
            self.assertFalse(self.wine.launcher_hooked_again(hook_log, client),
                             "the launcher took its live hook for lost")
        if forgive_one_stretch and stretches({d.segment for d in self.divergences}) == 1:
            # Measured on Wine 10 under load: about 20 physical keys typed within 50 ms reached
            # neither window, the client's log a 20 ms gap where they belonged, and the play went on
            # in step after them; at the next focus change Wine let go of what it still held down.
            self.skipTest(f"{wine_version()} delivered one stretch of play otherwise than the rules say, as it "
                          f"does when it loses a burst of keys under load; everything else held "
                          f"(SOAK_SEED={SEED}):\n{report}")
        self.assertEqual(len(self.divergences), 0, f"replay with SOAK_SEED={SEED}\n{report}")
        if self.moved_releases:
            self.skipTest(f"{wine_version()} put the walk's key-up at {len(self.moved_releases)} focus changes "
                          f"elsewhere than once in the window now in front; forgiven, everything else held "
                          f"(SOAK_SEED={SEED}): " + "; ".join(self.moved_releases[:5]))
        if self.swaps:
            self.skipTest(f"{wine_version()}, measured to swap keys typed close together, delivered "
                          f"{len(self.swaps)} runs of keys typed within {SWAP_WITHIN_US / 1000:.0f} ms in another "
                          f"order; forgiven, everything else held (SOAK_SEED={SEED}): "
                          + "; ".join(str(x) for x in self.swaps[:5]))

    def _left_down_by_swaps(self) -> set[str]:
        """Keys a forgiven swap of their key-down and key-up may have left down: those never typed again."""
        last_step = {step.split("@")[0].rstrip("+-*"): i for i, step in enumerate(self.desk.steps) if i}
        names: set[str] = set()
        for swap in self.swaps:
            key = _bare(swap.first.token)[:-1]
            if swap.first.token.startswith(key + "+") and swap.second.token == key + "-" and \
                    last_step.get(key) == swap.second.step:
                names.update(KEY_STATE_NAMES.get(key, (key,)))
        return names

    def _play(self) -> None:
        while self.sent < EVENTS:
            action = self.player.next_action()
            if action[0] == "key":
                self._press(action[1], action[2])
            elif action[0] == "hold":
                self._hold(action[1])
            else:
                self._compare_segment()
                target = "other" if self.desk.foreground == "client" else "client"
                leaving = self.desk.foreground
                self._focus(target, leaving=leaving)
                released = self.desk.focus(target)
                self.focus_switches += 1
                if released:
                    self._follow_release(released, target, leaving)
        for key in list(self.player.held):   # the player lets go of everything
            self._press(key, False)
        self._compare_segment()

    def _press(self, key: str, down: bool) -> None:
        if not down and (held_for := self.player.held_too_long(key)):
            self.long_holds.append(round(held_for, 3))
        sent_at = self.keyboard.send(key, down)
        self.desk.event(key, down, sent_at=sent_at)
        self.player.pressed(key, down)
        self.sent += 1
        time.sleep(EVENT_GAP_S)

    def _hold(self, key: str) -> None:
        """Holds a key past the X auto-repeat delay: one or more repeats reach the walker."""
        self.desk.event(key, True, sent_at=self.keyboard.send(key, True))
        time.sleep(self.rng.uniform(*REPEAT_HOLD_S))
        self.desk.event(key, True, repeat=True)
        self.desk.event(key, False, sent_at=self.keyboard.send(key, False))
        self.player.repeating = None
        self.sent += 2
        self.repeat_holds += 1
        time.sleep(EVENT_GAP_S)

    def _compare_segment(self) -> None:
        """Waits until both windows have what the model says (or nothing more comes), then compares."""
        self.segments += 1
        for name, log in self.logs.items():
            model_mark, log_mark = self.marks[name]
            want = self.desk.streams[name][model_mark:]
            deadline = time.monotonic() + 5
            while compare(want, log.keys_text(log_mark).split(), self.swappable)[0] is not None \
                    and time.monotonic() < deadline:
                time.sleep(0.02)
            time.sleep(0.05)   # anything extra shows up now
            records = log.records(log_mark)
            got = [str(e) for e in key_events(records)]
            where, bit_differences, swaps = compare(want, got, self.swappable)
            self.repeat_bit_differences += bit_differences
            self.swaps += swaps
            if where is not None:
                e, a = where
                near = [x.step for x in want[max(0, e - 3):e + 3]] or [self.desk.step]
                self.divergences.append(Divergence(
                    name, self.segments,
                    " ".join(self.desk.steps[max(1, min(near) - 12):max(near) + 3]),
                    expected_text(want[max(0, e - 8):e]) + " >>> " + expected_text(want[e:e + 8]),
                    " ".join(got[max(0, a - 8):a]) + " >>> " + " ".join(got[a:a + 8])))
            self.marks[name] = (len(self.desk.streams[name]), log_mark + len(records))

    def _follow_release(self, key: str, target: str, leaving: str) -> None:
        """Where the walk's key-up at a focus change landed. The window now in front should have it
        once. A Wine seen to put it in the window left behind, or in none, or to add a key-up of
        its own for the key it still holds down (measured: Wine 10), is forgiven that, shown as a
        skip: the walk ended all the same."""
        logs = {name: self.logs[name] for name in (target, leaving)}
        marks = {name: self.marks[name][1] for name in logs}

        def landed(name: str) -> int:
            return [_bare(t) for t in logs[name].keys_text(marks[name]).split()].count(f"{key}-")

        with contextlib.suppress(AssertionError):
            wait_until(lambda: landed(target), 0.5, "")
        time.sleep(0.05)   # a second key-up shows up now
        in_target, in_leaving = landed(target), landed(leaving)
        if (in_target, in_leaving) == (1, 0):
            return
        self.desk.place_release(key, target, in_target, leaving, in_leaving)
        where = " and ".join(f"{name}{f' {n} times' if n > 1 else ''}"
                             for name, n in ((target, in_target), (leaving, in_leaving)) if n)
        self.moved_releases.append(f"{key}- at step {self.desk.step} went to {where or 'no window'}")

    def _focus(self, target: str, leaving: str) -> None:
        self.wine.focus(self.targets[target], leaving=self.logs[leaving])

    def _save_trace(self) -> None:
        trace = {"seed": SEED, "steps": self.desk.steps, "sent_at": self.desk.sent_at,
                 "swaps": [[x.first.step, x.second.step] for x in self.swaps],
                 "expected": {n: [[x.token, x.step, x.group] for x in s] for n, s in self.desk.streams.items()},
                 "received": {n: log.keys_text().split() for n, log in self.logs.items()}}
        (self.wine.dir / "soak-trace.json").write_text(json.dumps(trace))


if __name__ == "__main__":
    unittest.main()
