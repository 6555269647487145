"""The pause key as a player uses it: pause walking, type in the game's chat,
resume. Pause is the key here: under Wine, Scroll Lock switches back at the
next key (Wine re-syncs its toggle state). The chat mode's Enter and Esc
switch the same pause."""

import contextlib
import re
import unittest

from harness import AUTOREPEAT_DELAY_MS, AUTOREPEAT_INTERVAL_MS, LauncherTestCase, end_shared_session

PAUSE_IS_PAUSE = b"[SmartWalking]\r\nPauseKey=19\r\n"
NO_PAUSE_KEY = b"[SmartWalking]\r\nPauseKey=0\r\n"
CHAT_MODE = b"[SmartWalking]\r\nChatMode=1\r\nPauseKey=19\r\n"
TAP = "Pause+ Pause-"
ENTER = "Enter+ Enter-"
ESC = "Esc+ Esc-"
# "wasd sadw" typed fast: each key goes down before the one before it is up.
ROLLOVER = "W+ A+ W- S+ A- D+ S- D- Space+ Space- S+ A+ S- D+ A- W+ D- W-"


def held_without_repeats(case: LauncherTestCase, *keys: str) -> contextlib.ExitStack:
    stack = contextlib.ExitStack()
    for key in keys:
        stack.enter_context(case.wine.without_autorepeat(key))
    return stack


def check_a_walk_held_at_the_switch_ends(case: LauncherTestCase, key: str, resume: str) -> None:
    """W and A walk, then `key` pauses: the walk ends before the key arrives, keys pass as typed
    until `resume` is tapped, and then W and A walk again."""
    with held_without_repeats(case, "W", "A", key):
        walked = f"W+ W- Q+ Q- {key}+"
        case.assertEqual(case.press(f"W+ A+ {key}+", walked), walked)
        # Paused, the key-ups of the walking keys reach the client as they are.
        rest = f"{key}- A- W-"
        case.assertEqual(case.press(rest, rest), rest)
    case.assertEqual(case.press("W+ A+ A- W-", "W+ A+ A- W-"), "W+ A+ A- W-", "still paused")
    case.assertEqual(case.press(resume, resume), resume)
    case.assert_walks_diagonally()


class PauseKey(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.start_game(PAUSE_IS_PAUSE)

    def test_typing_while_paused_reaches_the_client_as_typed_and_walking_comes_back(self):
        self.assertEqual(self.press(TAP, TAP), TAP)
        mark = self.client.mark()
        self.wine.keys(ROLLOVER, pause=0.015)
        self.assertEqual(self.client.keys(since=mark, expect=ROLLOVER), ROLLOVER)

        self.assertEqual(self.press(TAP, TAP), TAP)
        self.assert_walks_diagonally("W+A walks Q again after resuming")

    def test_pausing_mid_walk_releases_the_walk(self):
        check_a_walk_held_at_the_switch_ends(self, "Pause", TAP)

    def test_resuming_with_keys_held_leaves_nothing_down(self):
        with held_without_repeats(self, "W", "A"):
            self.assertEqual(self.press(f"{TAP} W+ {TAP}", f"{TAP} W+ {TAP}"), f"{TAP} W+ {TAP}")
            # A walks; W's key-up follows its key-down to the client.
            self.assertEqual(self.press("A+ W- A-", "A+ W- A-"), "A+ W- A-")
        self.assert_walks_diagonally("nothing stayed down")

    def test_auto_repeat_of_the_pause_key_switches_once(self):
        # Two holds half a repeat apart, so the repeats come in an odd number in
        # one of them at least: counted as presses, they would show in either.
        for seconds, walks in [(2 * AUTOREPEAT_DELAY_MS / 1000, False),
                               (2 * AUTOREPEAT_DELAY_MS / 1000 + AUTOREPEAT_INTERVAL_MS / 2000, True)]:
            with self.subTest(held_for=seconds):
                mark = self.client.mark()
                self.wine.hold("Pause", seconds)
                got = self.client.keys(since=mark, expect=None, settle=0.5).split()
                self.assertGreaterEqual(got.count("Pause+r"), 5, got)
                walked = "W+ W- Q+ Q- A+ A-" if walks else "W+ A+ W- A-"
                self.assertEqual(self.press("W+ A+ W- A-", walked), walked, "walking" if walks else "paused")


class ChatMode(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.start_game(CHAT_MODE)

    def test_enter_pauses_for_typing_and_enter_or_esc_resumes(self):
        for closing in (ENTER, ESC):
            with self.subTest(closed_with=closing):
                self.assertEqual(self.press(ENTER, ENTER), ENTER)
                mark = self.client.mark()
                self.wine.keys(ROLLOVER, pause=0.015)
                self.assertEqual(self.client.keys(since=mark, expect=ROLLOVER), ROLLOVER)
                self.assertEqual(self.press(closing, closing), closing)
                self.assert_walks_diagonally(f"walking again after {closing}")

    def test_enter_with_a_modifier_or_in_another_window_switches_nothing(self):
        for modifier in ("Alt", "Ctrl", "Shift"):
            with self.subTest(modifier=modifier):
                keys = f"{modifier}+ {ENTER} {modifier}-"
                self.assertEqual(self.press(keys, keys), keys)
                self.assert_walks_diagonally(f"{modifier}+Enter paused walking")
        other = self.wine.open_window()
        self.wine.focus(other)
        self.assertEqual(self.press(ENTER, ENTER, log=other.log), ENTER)
        self.assert_walks_diagonally("Enter in another window paused walking")

    def test_esc_while_walking_changes_nothing(self):
        self.assertEqual(self.press(ESC, ESC), ESC)
        self.assert_walks_diagonally()

    def test_enter_mid_walk_releases_the_walk(self):
        check_a_walk_held_at_the_switch_ends(self, "Enter", ESC)

    def test_the_pause_key_and_the_chat_switch_one_pause(self):
        # Paused with the pause key, a menu's Enter resumes; Esc always resumes.
        for pause, resume in [(TAP, ENTER), (ENTER, TAP), (TAP, ESC)]:
            with self.subTest(paused_with=pause, resumed_with=resume):
                self.assertEqual(self.press(pause, pause), pause)
                self.assertEqual(self.press("W+ A+ W- A-", "W+ A+ W- A-"), "W+ A+ W- A-", "paused")
                self.assertEqual(self.press(resume, resume), resume)
                self.assert_walks_diagonally()


class NoPauseKey(LauncherTestCase):
    @classmethod
    def tearDownClass(cls):
        # Wine now disagrees with X on Scroll Lock. At each key it presses Scroll Lock to agree
        # and, finding its state unchanged because the launcher's hook has not passed that
        # press on yet, flips the state itself as well: the two cancel, and every later key
        # of the session can come with a Scroll Lock press. Later tests get a new session.
        end_shared_session()
        super().tearDownClass()

    def test_with_no_pause_key_scroll_lock_reaches_the_client_and_changes_nothing(self):
        self.start_game(NO_PAUSE_KEY)
        for pressed, walk in [("Scroll+ Scroll- W+ A+ W- A-", "Scroll+ Scroll- W+ W- Q+ Q- A+ A-"),
                              # as a pause key it would end this walk at once
                              ("W+ A+ Scroll+ Scroll- A- W-", "W+ W- Q+ Scroll+ Scroll- Q- W+ W-")]:
            with self.subTest(pressed=pressed), self.wine.without_autorepeat("Scroll"):
                mark = self.client.mark()
                self.wine.keys(pressed)
                got = self.client.keys(since=mark, expect=None, settle=0.5)
                self.assertRegex(got + " ", with_wine_scroll_presses(walk))


def with_wine_scroll_presses(keys: str) -> str:
    """A pattern for `keys`, each followed by a space, with any number of Scroll Lock presses Wine
    adds of its own before a key, once it disagrees with X about the Scroll Lock state."""
    wine_adds = r"(?:Scroll\+ Scroll- )*"
    return "^" + wine_adds + "".join(re.escape(k) + " " + wine_adds for k in keys.split()) + "$"


if __name__ == "__main__":
    unittest.main()
