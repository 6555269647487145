"""The diagnostics log a shipper can ask a player for: VarnelOfficial.log beside
the launcher, only with [Diagnostics] Log=1, saying what the launcher did and
never which keys were typed."""

import re
import sys
import unittest

from harness import LauncherTestCase, wait_until

LOG_NAME = "VarnelOfficial.log"
LOG_ON = b"[SmartWalking]\r\nPauseKey=19\r\n[Diagnostics]\r\nLog=1\r\n"
LOG_OFF = b"[SmartWalking]\r\nPauseKey=19\r\n[Diagnostics]\r\nLog=0\r\n"
STAMP = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} "
TYPED = "W+ A+ W- A- Pause+ Pause- W+ W- S+ S- Pause+ Pause- D+ D-"


class DiagnosticsLog(LauncherTestCase):
    def play_a_game(self, ini: bytes):
        """Walks, pauses to type, resumes, then closes the client; returns the install."""
        game, run = self.start_game(ini)
        mark = self.client.mark()
        self.wine.keys(TYPED)
        self.client.keys(since=mark, expect=lambda keys: keys.endswith("D+ D-"))
        self.assertEqual(self.wine.probe("close", hex(self.client.main_window)).get("posted"), "1")
        self.assertEqual(run.wait(15), 0)
        return game

    def test_a_game_is_logged_only_with_the_setting_and_without_the_keys_typed(self):
        game = self.play_a_game(LOG_OFF)
        self.assertFalse((game.root / LOG_NAME).exists())
        self.wine.stop_programs()

        game = self.play_a_game(LOG_ON)
        path = game.root / LOG_NAME
        wait_until(path.exists, 5, "the log beside the launcher")
        lines = path.read_bytes().decode("ascii").split("\r\n")
        self.assertEqual(lines[-1], "")
        texts = []
        for line in lines[:-1]:
            self.assertRegex(line, "^" + STAMP)
            texts.append(re.sub("^" + STAMP, "", line))
        print("\nlog: " + "; ".join(texts[:3]), file=sys.stderr, flush=True)
        pid = self.client.pid
        self.assertRegex(texts[0], r"^launcher \d+\.\d+\.\d+\.\d+ started$")
        self.assertRegex(texts[1], r"^Windows \d+\.\d+\.\d+$")
        self.assertRegex(texts[2], r"^elevated: (yes|no)$")
        self.assertEqual(texts[3:], [
            "setting SmartWalking.Enabled=1",
            "setting SmartWalking.PauseKey=19",
            "setting SmartWalking.ScanCodes=0",
            "setting SmartWalking.ChatMode=0",
            f"client started: process {pid}",
            "keyboard hook installed",
            "walking paused",
            "walking resumed",
            "exit code 0",
        ])


if __name__ == "__main__":
    unittest.main()
