"""A client slow to become input-idle. The launcher hooks the keyboard and then waits up
to 30 s for the client to settle; every key on the desktop goes through that hook
meanwhile. A player typing into another application during the client's start must not
feel it: the wait serves the hook, so no key waits for it. (A hook that is not served
holds each key for Wine's 2 s hook timeout.)
"""

import statistics
import sys
import time
import unittest

from harness import LAUNCHER_EXE, EventLog, WineTestCase, needs_launcher

START_DELAY_MS = 6000
TAP_INTERVAL_S = 0.05
# Taps this close to the client's first window are left out: its window may take the
# foreground while they are on their way.
END_MARGIN_US = 300_000
# What the client logs before it sleeps.
START_RECORDS = ("start", "exe", "cwd", "cmdline")


def settled_at(client: EventLog) -> int:
    """When the client woke from its slow start (qpc_us of its first record after them)."""
    return next(r.int("qpc_us") for r in client.records() if r.event not in START_RECORDS)


@needs_launcher
class SlowStart(WineTestCase):
    maxDiff = None

    def test_keys_typed_during_a_slow_client_start_reach_the_window_in_front_at_once(self):
        other = self.wine.open_window("Other application")
        self.wine.focus(other)
        mark = other.log.mark()
        game = self.wine.install(launcher=LAUNCHER_EXE)
        taps = self.wine.timed_taps(TAP_INTERVAL_S)
        run = game.start(env={"CLIENT_START_DELAY_MS": str(START_DELAY_MS)})
        game.client.wait_started()
        # The launcher hooks as soon as the client's process exists, before the client can log.
        time.sleep(0.3)
        while len(game.client.records()) <= len(START_RECORDS) and len(taps) < 1000:
            taps.tap()
        game.client.wait_ready()
        settled = settled_at(game.client)
        during = [(k, at) for k, at in taps.sent if at < settled - END_MARGIN_US]
        self.assertGreaterEqual(len(during), (START_DELAY_MS / 1000 - 1.5) / TAP_INTERVAL_S / 2,
                                "too few taps while the client was starting")

        # Each tap reached the window in front once, in order.
        wanted = " ".join(taps.notation(during))
        got = other.log.keys(since=mark, expect=wanted, timeout=15)
        self.assertEqual(got[:len(wanted)], wanted, "keys typed during the start were held up or lost")
        latency_ms = [(arrived - at) / 1000 for (_, at), arrived in zip(during, other.log.key_downs_at(mark))]
        print(f"\nslow client start: key-down latency at the window in front: {len(latency_ms)} taps, "
              f"median {statistics.median(latency_ms):.1f} ms, max {max(latency_ms):.1f} ms",
              file=sys.stderr, flush=True)
        self.assertGreater(min(latency_ms), 0, "the clocks do not compare")
        # Margins far below the 2 s a key waits for a hook nobody serves, and far above a loaded machine's jitter.
        self.assertLess(statistics.median(latency_ms), 200)
        self.assertLess(max(latency_ms), 1500, "a key waited for the hook")
        self.assertTrue(run.running())


if __name__ == "__main__":
    unittest.main()
