"""Walking as a player feels it: physical keys pressed on the keyboard, the
keys the game client receives while the launcher runs."""

import unittest

from harness import AUTOREPEAT_DELAY_MS, LauncherTestCase, wait_until

WALKING_OFF = b"[SmartWalking]\r\nEnabled=0\r\n"
# The launcher looks at the foreground every 50 ms while a walk is held; a tenth of a second
# or so, with room for a loaded machine.
RELEASE_WITHIN_US = 150_000


def without_repeats(keys: str) -> str:
    return " ".join(k for k in keys.split() if not k.endswith("r"))


class Walking(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.start_game()
        # A hook of another program's, called before the launcher's for as long as the launcher
        # never takes its hook for lost and hooks again.
        self.hook_log = self.wine.hook_probe()
        self.addCleanup(self.assert_hooked_once)

    def assert_hooked_once(self):
        self.assertFalse(self.wine.launcher_hooked_again(self.hook_log, self.client),
                         "the launcher took its live hook for lost")

    def check_table(self, cases):
        for pressed, received in cases:
            with self.subTest(pressed=pressed):
                self.assertEqual(self.press(pressed, received), received)

    def test_straight_and_diagonal_walks(self):
        self.check_table([
            ("W+ W-", "W+ W-"),
            ("A+ A-", "A+ A-"),
            ("W+ A+ W- A-", "W+ W- Q+ Q- A+ A-"),
            ("W+ A+ A- W-", "W+ W- Q+ Q- W+ W-"),
            ("D+ W+ W- D-", "D+ D- E+ E- D+ D-"),
            ("S+ A+ S- A-", "S+ S- Z+ Z- A+ A-"),
            ("S+ D+ D- S-", "S+ S- C+ C- S+ S-"),
        ])

    def test_opposite_keys_go_to_the_last_pressed_only_while_it_is_the_last(self):
        self.check_table([
            ("W+ S+ S- W-", "W+ W- S+ S- W+ W-"),
            ("W+ S+ W- S-", "W+ W- S+ S-"),
            ("A+ D+ A- D-", "A+ A- D+ D-"),
            # S lost its claim when A came after it: W, so Q and not Z.
            ("W+ S+ A+ A- S- W-", "W+ W- S+ S- Q+ Q- W+ W-"),
            # D lost its claim when W came after it: A, so Q and not E.
            ("A+ D+ W+ W- A- D-", "A+ A- D+ D- Q+ Q- A+ A- D+ D-"),
            # A pressed after D still yields to the default once S comes last.
            ("D+ A+ S+ S- A- D-", "D+ D- A+ A- Z+ Z- A+ A- D+ D-"),
            ("W+ D+ S+ S- D- W-", "W+ W- E+ E- C+ C- E+ E- W+ W-"),
        ])

    def test_a_held_key_repeats_the_direction_walked(self):
        cases = [
            # keys held past the auto-repeat delay, release order, the stream without repeats, key repeated
            ("W", "W", "W+ W-", "W"),
            ("W A", "A W", "W+ W- Q+ Q- W+ W-", "Q"),
            ("S D", "S D", "S+ S- C+ C- D+ D-", "C"),
        ]
        for held, release, stream, walked in cases:
            with self.subTest(held=held):
                mark = self.client.mark()
                self.wine.hold(held, 2 * AUTOREPEAT_DELAY_MS / 1000, release)
                got = self.client.keys(since=mark, expect=lambda keys: without_repeats(keys) == stream).split()
                self.assertEqual([k for k in got if not k.endswith("r")], stream.split(), got)
                self.assertGreaterEqual(got.count(f"{walked}+r"), 5, got)
                # The key still held after a release may repeat too, but only ever the key the client holds.
                for before, key in zip(got, got[1:]):
                    if key.endswith("r"):
                        self.assertIn(before, (key, key[:-1]), got)

    def test_modifier_combinations_reach_the_client_untouched(self):
        self.check_table([(keys, keys) for keys in [
            "Ctrl+ W+ W- Ctrl-",
            "Alt+ S+ S- Alt-",
            "Shift+ D+ D- Shift-",
            "Win+ A+ A- Win-",
            "Shift+ W+ A+ A- W- Shift-",
            # W went to the client as it is, so its key-up does too, even after Ctrl is up.
            "Ctrl+ W+ Ctrl- W-",
        ]])

    def test_a_modifier_pressed_while_walking_stops_the_walk_at_once(self):
        cases = [
            # walking keys held, modifier pressed, what the client has by then, a direction key tapped afterwards
            ("W+", "Ctrl", "W+ W- Ctrl+", "A"),
            ("W+ A+", "Shift", "W+ W- Q+ Q- Shift+", "D"),
            ("S+ D+", "Alt", "S+ S- C+ C- Alt+", "W"),
            ("W+ A+", "Win", "W+ W- Q+ Q- Win+", "S"),
        ]
        for held, modifier, walked, tapped in cases:
            with self.subTest(held=held, modifier=modifier), self.wine.without_autorepeat(modifier):
                self.assertEqual(self.press(f"{held} {modifier}+", walked), walked)
                # With the modifier down, direction keys are the client's as they are.
                released = " ".join(f"{k[:-1]}-" for k in reversed(held.split()))
                rest = f"{tapped}+ {tapped}- {released} {modifier}-"
                self.assertEqual(self.press(rest, rest), rest)
                self.assert_walks_diagonally("walking goes on afterwards")

    def test_keys_for_another_application_pass_untouched(self):
        other = self.wine.open_window()
        self.wine.focus(other)
        client_mark = self.client.mark()
        for keys in ["W+ A+ W- A-", "S+ D+ D- S-", "W+ S+ A+ A- S- W-"]:
            with self.subTest(keys=keys):
                self.assertEqual(self.press(keys, keys, log=other.log), keys)
        self.assertEqual(self.client.keys_text(since=client_mark), "")

        self.wine.focus(self.client)
        self.assert_walks_diagonally("walking comes back with the focus")

    def test_switching_away_while_walking_releases_the_walk(self):
        other = self.wine.open_window()
        for key in ["Space", "A"]:
            with self.subTest(key_in_other_application=key), self.wine.without_autorepeat("W"):
                self.wine.focus(self.client)
                self.assertEqual(self.press("W+", "W+"), "W+")
                client_mark, other_mark, hook_mark = self.client.mark(), other.log.mark(), self.hook_log.mark()
                try:
                    self.wine.focus(other)
                    # The walk ends before any key is typed in the window now in front. Its key-up goes
                    # there; under Wine 10 it may go to the client left behind, or nowhere to be seen.
                    self.hook_log.wait_for("hook", since=hook_mark, key="W", injected="1", timeout=5)
                    pressed = f"{key}+ {key}-"
                    self.wine.keys(pressed)
                    in_other = other.log.keys(since=other_mark, expect=lambda k: k.endswith(f"{key}-"))
                    self.assertIn(in_other, (f"W- {pressed}", pressed))
                    self.assertIn(self.client.keys_text(client_mark), ("", "W-"))
                finally:
                    self.wine.keys("W-")
                # The player's own key-up follows, where the focus now is.
                self.assertTrue(other.log.keys(since=other_mark, expect=lambda k: k.endswith(" W-")).endswith(" W-"))

    def test_losing_the_foreground_with_no_key_typed_ends_the_walk_at_once(self):
        # Wine raises no foreground event for this: only the launcher's own look notices.
        other = self.wine.open_window()
        with self.wine.without_autorepeat("W"):
            self.wine.focus(self.client)
            self.assertEqual(self.press("W+", "W+"), "W+")
            client_mark, hook_mark = self.client.mark(), self.hook_log.mark()
            try:
                self.wine.focus(other, leaving=self.client)
                # The key-up goes to whatever window is in front by then (now and then, for a moment,
                # Wine's desktop): the probe's hook sees it go out.
                released = self.hook_log.wait_for("hook", since=hook_mark, key="W", injected="1", timeout=5)
                left = next(r for r in self.client.records(client_mark)
                            if r.event == "foreground" and r["window"] == "none")
                self.assertLess(released.int("qpc_us") - left.int("qpc_us"), RELEASE_WITHIN_US)
                self.assertEqual(released.words, ["up"])
            finally:
                self.wine.keys("W-")
        self.assert_walks_diagonally("walking comes back with the focus")

    def test_a_key_up_for_a_key_pressed_elsewhere_reaches_the_client(self):
        other = self.wine.open_window()
        with self.wine.without_autorepeat("W"):
            self.wine.focus(other)
            self.assertEqual(self.press("W+", "W+", log=other.log), "W+")
            self.wine.focus(self.client)
            # The client never saw W go down, but the key-up is its own to have.
            self.assertEqual(self.press("W-", "W-"), "W-")
        self.assert_walks_diagonally()


class TwoLaunchers(LauncherTestCase):
    """Two games at once, each with its own launcher: the hook of the one started last is called
    first and takes the keys for its own client; under Wine the other launcher's witness still
    sees them."""

    def test_each_walks_its_own_client_in_turn(self):
        first, _ = self.start_game()
        first_client = first.client
        second, _ = self.start_game()
        second_client = second.client
        for round_ in range(4):
            for client in (first_client, second_client):
                with self.subTest(round=round_, client=client.label):
                    self.assertEqual(self.wine.walk_diagonally(client), "W+ W- Q+ Q- A+ A-")


class WalkingSetting(LauncherTestCase):
    # Which settings files turn walking off: test_odd_input.
    def test_walking_off_leaves_every_key_to_the_client(self):
        self.start_game(WALKING_OFF)
        for keys in ["W+ S+ S- W-", "A+ D+ W+ W- A- D-", "S+ D+ D- S-", "Ctrl+ W+ W- Ctrl-"]:
            with self.subTest(keys=keys):
                self.assertEqual(self.press(keys, keys), keys)
        mark = self.client.mark()
        self.wine.hold("D", 2 * AUTOREPEAT_DELAY_MS / 1000)
        got = self.client.keys(since=mark, expect=lambda keys: keys.endswith(" D-")).split()
        self.assertEqual((got[0], got[-1], set(got[1:-1])), ("D+", "D-", {"D+r"}), got)


if __name__ == "__main__":
    unittest.main()
