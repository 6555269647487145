"""The launcher's watch over its own keyboard hook: the raw input witness beside
it, and a launcher frozen for longer than the platform waits for a hook."""

import os
import signal
import sys
import time
import unittest
from pathlib import Path

from harness import LauncherTestCase, wait_until

WITNESS_CLASS = "VarnelHookWitness"
SENDER_CLASS = "VarnelKeySender"
WALKING_OFF = b"[SmartWalking]\r\nEnabled=0\r\n"
# Wine waits this long for a hook before it passes the key on.
WINE_HOOK_TIMEOUT_S = 2.0
WALKING_KEYS = "WASDQEZC"
# The launcher's grace period for a key its hook has not seen is 250 ms; twice that, on a busy machine.
GRACE_MARGIN_S = 0.5


class HookLossTestCase(LauncherTestCase):
    keys_never_repeated = "WASD"


class Witness(HookLossTestCase):
    def test_a_message_only_window_witnesses_while_walking_is_on_and_goes_with_the_launcher(self):
        cases = [
            # settings, how the run ends, the witness expected while it runs
            ("client closes", None, [WITNESS_CLASS, SENDER_CLASS]),
            ("quit message", None, [WITNESS_CLASS, SENDER_CLASS]),
            ("client closes, walking off", WALKING_OFF, []),
        ]
        for how, ini, witness in cases:
            with self.subTest(how):
                game, run = self.start_game(ini)
                launcher = game.client.parent_pid
                self.assertEqual(sorted(self.wine.message_windows(launcher)), sorted(witness))
                # Invisible to the player: no top-level window of its own.
                self.assertEqual(self.wine.windows(launcher), [])
                if how.startswith("quit"):
                    self.wine.quit(launcher)
                else:
                    self.assertEqual(self.wine.probe("close", hex(game.client.main_window)).get("posted"), "1")
                self.assertEqual(run.wait(15), 0)
                self.assertEqual(self.wine.message_windows(launcher), [])
                self.wine.stop_programs()


class FrozenLauncher(HookLossTestCase):
    def test_a_launcher_frozen_past_the_hook_timeout_leaves_no_key_down_and_walks_on(self):
        game, run = self.start_game()
        client = game.client
        hook_log = self.wine.hook_probe()
        self.wine.focus(client)
        mark = client.mark()
        self.wine.keys("W+")
        self.assertEqual(client.keys(since=mark, expect="W+"), "W+")
        process = run.popen.pid
        self.assertIn(b"Varnel Official Client.exe", Path(f"/proc/{process}/cmdline").read_bytes())

        # Frozen while the walk is held: the player turns, lets go, walks on, lets go.
        os.kill(process, signal.SIGSTOP)
        stopped = time.monotonic()
        try:
            during = hook_log.mark()
            self.wine.keys("A+ W- D+ A- D-")
            hook_log.wait_for("hook", since=during, key="D", injected="0", timeout=10)
            time.sleep(max(0.0, WINE_HOOK_TIMEOUT_S + 1.0 - (time.monotonic() - stopped)))
        finally:
            os.kill(process, signal.SIGCONT)
        frozen_for = time.monotonic() - stopped

        # Wine hands the keys to the client as each hook wait times out, and the launcher answers the
        # rest once it runs again. X goes past the launcher after all of those; whatever the launcher
        # still owes comes within its grace period.
        after = client.mark()
        self.wine.keys("X+ X-")
        wait_until(lambda: "X-" in client.keys_text(since=after).split(), 20, "the X tapped after the freeze",
                   detail=client.tail)
        time.sleep(GRACE_MARGIN_S)
        got = client.keys_text(since=mark)
        down = self.wine.keys_down(WALKING_KEYS)
        hooked_again = self.wine.launcher_hooked_again(hook_log, client)
        print(f"\nfreeze: launcher stopped {frozen_for:.1f} s; the client got {got}; "
              f"launcher hooked again: {'yes' if hooked_again else 'no'}", file=sys.stderr, flush=True)

        self.assertEqual(down, [], f"keys down on the desktop; the client got {got}")
        self.assertEqual(client.keys_held(since=mark), [], f"the client holds keys: {got}")
        self.assertEqual(self.wine.walk_diagonally(client), "W+ W- Q+ Q- A+ A-")
        self.assertTrue(run.running())


if __name__ == "__main__":
    unittest.main()
