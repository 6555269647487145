"""Every way a run ends, seen by the player: the launcher's exit code, the box if
any, and no walking key left down anywhere once it is gone (the game, or whatever
window comes next, would otherwise keep walking).

A diagonal is held in each case: its key (Q, E, Z, C) exists only because the
launcher sends it, so its state shows what the launcher left behind, while the
physical W/A/S/D the player still holds are down for real.
"""

import time
import unittest

from harness import (LAUNCHER_EXE, PRODUCT_TITLE, EventLog, LauncherTestCase, WineTestCase, needs_launcher,
                     windows_path)

NO_CLIENT_TEXT = "N\u00e3o foi poss\u00edvel iniciar bin\\client.exe."


class EndingTestCase(LauncherTestCase):
    keys_never_repeated = "WASD"

    def hold_diagonal(self, client: EventLog, keys: str, diagonal: str) -> None:
        """Presses two direction keys ("W A") and keeps them down; the client walks `diagonal`."""
        first = keys.split()[0]
        self.assertEqual(self.wine.walk_diagonally(client, keys, diagonal, let_go=False),
                         f"{first}+ {first}- {diagonal}+")
        self.assertEqual(self.wine.keys_down(diagonal), [diagonal], "the check below would prove nothing")

    def let_go(self, keys: str) -> None:
        self.wine.keys(" ".join(f"{k}-" for k in keys.split()))


class ClientEnds(EndingTestCase):
    def test_launcher_ends_with_0_and_no_walking_key_stays_down(self):
        cases = [
            # how the client ends, the keys held meanwhile, the diagonal they walk
            ("closes its window", "W A", "Q"),
            ("exits with code 3 by itself", "W D", "E"),
            ("is killed from outside", "S A", "Z"),
        ]
        for how, keys, diagonal in cases:
            with self.subTest(how):
                timed = how.startswith("exits")
                env = {"CLIENT_EXIT_AFTER_MS": "8000", "CLIENT_EXIT_CODE": "3"} if timed else None
                game, run = self.start_game(env=env)
                client = game.client
                self.hold_diagonal(client, keys, diagonal)
                if how.startswith("closes"):
                    self.assertEqual(self.wine.probe("close", hex(client.main_window)).get("posted"), "1")
                elif how.startswith("is killed"):
                    self.assertEqual(self.wine.probe("kill", str(client.pid)).get("killed"), "1")
                self.assertEqual(run.wait(15), 0)
                self.assertEqual(self.wine.keys_down(diagonal), [], f"{diagonal} still down after the launcher ended")
                self.let_go(keys)
                self.wine.stop_programs()

    def test_client_that_exits_at_once_ends_the_launcher_with_0_and_no_box(self):
        game = self.wine.install(launcher=LAUNCHER_EXE)
        run = game.start(env={"CLIENT_EXIT_AT_ONCE": "1", "CLIENT_EXIT_CODE": "7"})
        self.assertEqual(run.wait(15), 0)
        self.assertEqual(game.client.exited(), 7)


class LauncherQuits(EndingTestCase):
    def test_quit_message_lets_go_of_the_walk_and_the_client_plays_on_without_walking(self):
        game, run = self.start_game()
        client = game.client
        self.hold_diagonal(client, "S D", "C")
        self.wine.quit(client.parent_pid)
        self.assertEqual(run.wait(10), 0)
        self.assertEqual(self.wine.keys_down("C"), [], "C still down after the launcher ended")
        # The launcher is gone: the client gets the keys as they are.
        mark = client.mark()
        self.let_go("S D")
        self.wine.keys("W+ A+ W- A-")
        self.assertEqual(client.keys(since=mark, expect="S- D- W+ A+ W- A-"), "S- D- W+ A+ W- A-")
        self.assertIsNone(client.exited())


@needs_launcher
class ClientCannotStart(WineTestCase):
    def test_error_box_then_exit_code_1_for_a_missing_client_or_one_that_is_no_program(self):
        cases = [
            ("missing", None),
            ("a folder", "folder"),
            ("garbage bytes", b"\x7fELF garbage, not a Windows program\x00" * 64),
            ("an empty file", b""),
            ("a text file", b"@echo off\r\necho this is no game\r\n"),
        ]
        for name, client in cases:
            with self.subTest(name):
                game = self.wine.install(launcher=LAUNCHER_EXE, client=client if isinstance(client, bytes) else False)
                if client == "folder":
                    game.client_exe.mkdir()
                run = game.start()
                box = self.wine.message_box(PRODUCT_TITLE, press_ok=False)
                self.assertIsNotNone(box, "no error box")
                self.assertEqual((box.text, box.icon, box.buttons, box.owner),
                                 (NO_CLIENT_TEXT, "error", [(1, "OK")], 0))
                self.assertTrue(run.running(), "the launcher must wait for OK")
                self.assertIsNotNone(self.wine.message_box(PRODUCT_TITLE, press_ok=True))
                self.assertEqual(run.wait(10), 1)
                self.assertEqual(game.client.records(), [], "no client ran")


@needs_launcher
class TwoLaunchersAtOnce(WineTestCase):
    """Two launchers, two clients, two keyboard hooks in one chain. The hook installed last
    is called first; each acts only while its own client is in front and lets the other's
    injected keys through, so each key press walks exactly one client, once."""

    def test_each_walks_its_own_client_and_ends_with_it(self):
        game = self.wine.install(launcher=LAUNCHER_EXE)
        second_log = self.wine.new_log("client")
        runs = [game.start(), game.start(env={"CLIENT_LOG": windows_path(second_log.path)})]
        clients = [game.client, second_log]
        for client in clients:
            client.wait_for("title", window="main", text=PRODUCT_TITLE)
        self.assertNotEqual(clients[0].parent_pid, clients[1].parent_pid)

        for _ in range(2):   # back and forth: neither hook keeps stale state
            for front, back in [(0, 1), (1, 0)]:
                with self.subTest(front=front):
                    self.wine.focus(clients[front])
                    marks = [c.mark() for c in clients]
                    self.wine.keys("W+ A+ W- A- S+ D+ D- S-")
                    walked = "W+ W- Q+ Q- A+ A- S+ S- C+ C- S+ S-"
                    self.assertEqual(clients[front].keys(since=marks[front], expect=walked), walked)
                    self.assertEqual(clients[back].keys_text(since=marks[back]), "")

        # Each launcher ends with its own client; the one left still walks its client.
        self.assertEqual(self.wine.probe("close", hex(clients[0].main_window)).get("posted"), "1")
        self.assertEqual(runs[0].wait(15), 0)
        self.assertTrue(runs[1].running())
        self.wine.focus(clients[1])
        mark = clients[1].mark()
        self.wine.keys("W+ A+ W- A-")
        self.assertEqual(clients[1].keys(since=mark, expect="W+ W- Q+ Q- A+ A-"), "W+ W- Q+ Q- A+ A-")
        self.assertEqual(self.wine.probe("close", hex(clients[1].main_window)).get("posted"), "1")
        self.assertEqual(runs[1].wait(15), 0)

    def test_a_walk_carried_from_one_client_to_the_other_ends_where_it_was(self):
        """W held while the player moves from one client to the other, then A tapped and W let go.
        The launcher whose client left the front drops its walk as soon as it looks, with no key
        typed, whichever hook comes first: W's key-up lands in the client now in front (under
        Wine 10 in the one left behind, or in neither), before the other launcher walks A there;
        the player's own W key-up follows."""
        for key in "WA":
            self.enterContext(self.wine.without_autorepeat(key))
        game = self.wine.install(launcher=LAUNCHER_EXE)
        clients = [game.client, self.wine.new_log("client")]
        game.start()
        clients[0].wait_for("title", window="main", text=PRODUCT_TITLE)
        # Started once the first has hooked the keyboard: its hook comes first in the chain.
        game.start(env={"CLIENT_LOG": windows_path(clients[1].path)})
        clients[1].wait_for("title", window="main", text=PRODUCT_TITLE)
        # What the client the walk started in and the one it was carried to receive. Under Wine 10
        # the walk's key-up may also reach neither.
        ended_in_front = ("W+", "W- A+ A- W-")
        ended_behind = ("W+ W-", "A+ A- W-")
        ended_unseen = ("W+", "A+ A- W-")
        for start, carried_to in [(1, 0), (0, 1)]:
            with self.subTest(start=["first", "later"][start]):
                marks = [c.mark() for c in clients]
                self.wine.focus(clients[start])
                self.wine.keys("W+")
                clients[start].keys(since=marks[start], expect="W+")
                self.wine.focus(clients[carried_to])
                # Time for the launcher to look (it does every 50 ms while a walk is held).
                time.sleep(0.3)
                self.wine.keys("A+ A- W-")
                got_carried = clients[carried_to].keys(since=marks[carried_to], expect=lambda k: k.endswith("W-"))
                got = (clients[start].keys_text(marks[start]), got_carried)
                self.assertIn(got, (ended_in_front, ended_behind, ended_unseen))


if __name__ == "__main__":
    unittest.main()
