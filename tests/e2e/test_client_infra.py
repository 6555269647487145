"""The end-to-end tools checked on their own, with no launcher: the stand-in
client under Wine, physical keys through XTEST, the probe, the harness."""

import time
import unittest

from harness import WINPROBE_EXE, WineTestCase, windows_path

MARKER_RED = (220, 30, 30)
WHITE = (255, 255, 255)


def cell_centre(x: int, y: int) -> tuple[int, int]:
    # The map's layout in client.cpp: 24-pixel cells from (12, 12).
    return 12 + x * 24 + 12, 12 + y * 24 + 12


class ClientStart(WineTestCase):
    def test_logs_where_and_how_it_was_started(self):
        # Folders with accents and beyond the BMP: test_launch, through the launcher.
        game = self.wine.install()
        game.start_client()
        client = game.client
        client.wait_ready()
        self.assertEqual(client.cwd, windows_path(game.bin))
        self.assertEqual(client.exe, windows_path(game.client_exe))
        self.assertIn(windows_path(game.client_exe), client.cmdline)
        self.assertEqual(client.title(), None, "no title change before anyone asks")
        self.assertGreaterEqual(self.wine.threads(client.pid), 1)

    def test_windows_it_opens_on_request(self):
        game = self.wine.install()
        game.start_client(env={"CLIENT_POPUP": "1", "CLIENT_CHILD": "1", "CLIENT_HIDDEN": "1",
                               "CLIENT_HIDDEN_RETITLE_MS": "300"})
        client = game.client
        main = client.main_window
        client.wait_for("title", window="hidden", text="hidden 2")

        windows = {w.hwnd: w for w in self.wine.windows(client.pid) if w.cls == "StandInClient"}
        logged = client.windows_logged()
        popup, hidden = logged["popup"].int("hwnd"), logged["hidden"].int("hwnd")
        self.assertEqual(set(windows), {main, popup, hidden})
        self.assertEqual((windows[main].title, windows[main].visible, windows[main].owner), ("Client", True, 0))
        self.assertEqual((windows[popup].title, windows[popup].visible, windows[popup].owner),
                         ("Client popup", True, main))
        self.assertEqual((windows[hidden].title, windows[hidden].visible), ("hidden 2", False))
        children = self.wine.child_windows(client.pid)
        self.assertEqual([(c.title, c.parent, c.toplevel) for c in children], [("Client child", main, False)])
        self.assertEqual(self.wine.window_titles(client),
                         {"main": "Client", "popup": "Client popup", "child": "Client child", "hidden": "hidden 2"})


class ClientLifetime(WineTestCase):
    def test_exit_code_and_timing_options(self):
        cases = [
            # env, expected exit code, records that must appear
            ({"CLIENT_EXIT_AT_ONCE": "1", "CLIENT_EXIT_CODE": "7"}, 7, ["start", "exit"]),
            ({"CLIENT_EXIT_AFTER_MS": "300", "CLIENT_EXIT_CODE": "3"}, 3, ["ready", "exit"]),
            ({"CLIENT_EXIT_AFTER_MS": "200"}, 0, ["ready", "exit"]),
        ]
        for env, code, records in cases:
            with self.subTest(env=env):
                game = self.wine.install()
                run = game.start_client(env=env)
                self.assertEqual(run.wait(15), code)
                self.assertEqual([r.event for r in game.client.records() if r.event in records], records)
                self.assertEqual(game.client.exited(), code)

    def test_quit_message_ends_it_with_code_zero(self):
        game = self.wine.install()
        run = game.start_client()
        self.wine.quit(game.client.pid)
        self.assertEqual(run.wait(10), 0)

    def test_delays_and_hang(self):
        def ms_between(client, first, second):
            a, b = client.wait_for(first), client.wait_for(second)
            return (b.int("qpc_us") - a.int("qpc_us")) / 1000

        game = self.wine.install()
        game.start_client(env={"CLIENT_START_DELAY_MS": "600", "CLIENT_SHOW_DELAY_MS": "400",
                               "CLIENT_HANG_AFTER_MS": "800", "CLIENT_HANG_MS": "700"})
        client = game.client
        client.wait_for("hang-end", timeout=20)
        self.assertGreaterEqual(ms_between(client, "start", "ready"), 600)
        self.assertGreaterEqual(ms_between(client, "ready", "show"), 350)
        self.assertGreaterEqual(ms_between(client, "hang", "hang-end"), 700)
        self.assertEqual(client.titles(), ["Client hanging"])

    def test_retitles_itself(self):
        game = self.wine.install()
        game.start_client(env={"CLIENT_RETITLE_MS": "100", "CLIENT_POPUP": "1"})
        client = game.client
        client.wait_for("title", window="main", text="Client 3")
        self.assertEqual(client.titles()[:3], ["Client 1", "Client 2", "Client 3"])
        self.assertEqual(client.titles("popup")[:2], ["Client popup 1", "Client popup 2"])
        self.assertTrue(all(r["source"] == "self" for r in client.find("title")))


class ClientTitlesAndEvents(WineTestCase):
    def test_title_set_from_another_process_is_logged_and_announced(self):
        game = self.wine.install()
        watch = self.wine.watch_events(seconds=20)
        game.start_client(env={"CLIENT_POPUP": "1", "CLIENT_CHILD": "1"})
        client = game.client
        main = client.main_window
        logged = client.windows_logged()
        for name in ["main", "popup", "child"]:
            watch.wait_for(type="show", hwnd=hex(logged[name].int("hwnd")))

        mark = client.mark()
        self.wine.set_title(main, "Varnel Official Client")
        record = client.wait_for("title", since=mark)
        self.assertEqual((record["window"], record["source"], record.text), ("main", "other", "Varnel Official Client"))
        event = watch.wait_for(type="namechange", hwnd=hex(main))
        self.assertEqual((event["pid"], event["toplevel"]), (str(client.pid), "1"))
        self.assertEqual([w.title for w in self.wine.windows(client.pid) if w.hwnd == main],
                         ["Varnel Official Client"])


class ClientKeys(WineTestCase):
    def setUp(self):
        super().setUp()
        self.game = self.wine.install()
        self.game.start_client()
        self.client = self.game.client
        self.client.wait_ready()
        self.wine.focus(self.client)

    def press(self, notation, expect=None):
        mark = self.client.mark()
        self.wine.keys(notation)
        return self.client.keys(since=mark, expect=expect if expect is not None else notation)

    def test_every_walking_key_arrives_with_its_code_and_moves_the_marker(self):
        cases = [("W", 0x57, 0, -1), ("A", 0x41, -1, 0), ("S", 0x53, 0, 1), ("D", 0x44, 1, 0),
                 ("Q", 0x51, -1, -1), ("E", 0x45, 1, -1), ("Z", 0x5A, -1, 1), ("C", 0x43, 1, 1)]
        for key, vk, dx, dy in cases:
            with self.subTest(key=key):
                mark = self.client.mark()
                self.assertEqual(self.press(f"{key}+ {key}-"), f"{key}+ {key}-")
                self.assertEqual([e.vk for e in self.client.key_events(since=mark)], [vk, vk])
                move = self.client.find("move", since=mark)[0]
                self.assertEqual((move.int("dx"), move.int("dy")), (dx, dy))

    def test_notation_round_trips_through_x(self):
        cases = [
            ("W+ A+ W- A-", "W+ A+ W- A-"),
            ("Ctrl+ W+ W- Ctrl-", "Ctrl+ W+ W- Ctrl-"),
            ("Shift+ D+ D- Shift-", "Shift+ D+ D- Shift-"),
            ("Alt+ S+ S- Alt-", "Alt+ S+ S- Alt-"),
        ]
        for sent, received in cases:
            with self.subTest(sent=sent):
                self.assertEqual(self.press(sent, expect=received), received)

    def test_alt_makes_system_keys(self):
        mark = self.client.mark()
        self.press("Alt+ S+ S- Alt-")
        self.assertEqual([(str(e), e.system) for e in self.client.key_events(since=mark)],
                         [("Alt+", True), ("S+", True), ("S-", True), ("Alt-", False)])

    def test_only_a_hold_past_the_autorepeat_delay_repeats(self):
        mark = self.client.mark()
        self.wine.hold("W", 0.25)
        self.assertEqual(self.client.keys(since=mark, expect="W+ W-"), "W+ W-")
        mark = self.client.mark()
        self.wine.hold("W", 0.9)
        got = self.client.keys(since=mark).split()
        self.assertEqual((got[0], got[-1]), ("W+", "W-"))
        self.assertGreaterEqual(got.count("W+r"), 5)
        self.assertEqual(len(self.client.moves(since=mark)), got.count("W+") + got.count("W+r"))

    def test_screenshot_shows_the_marker_where_the_log_says(self):
        self.press("D+ D- D+ D- S+ S-")
        position = self.client.position()
        self.assertEqual(position, (9, 6))
        # The screen may lag the log by a repaint.
        time.sleep(0.2)
        shot = self.wine.screenshot(self.client, "marker")
        self.assertEqual(self.wine.pixel(shot, *cell_centre(*position)), MARKER_RED)
        self.assertEqual(self.wine.pixel(shot, *cell_centre(0, 0)), WHITE)

    def test_keys_follow_the_focus_between_applications(self):
        other = self.wine.open_window("Other application")
        for target, name in [(other, "other"), (self.client, "main"), (other, "other"), (self.client, "main")]:
            with self.subTest(focus=name):
                self.wine.focus(target)
                log = other.log if name == "other" else self.client
                mark = log.mark()
                self.wine.keys("A+ A-")
                self.assertEqual(log.keys(since=mark, expect="A+ A-"), "A+ A-")
        self.assertEqual(other.log.foreground(), "none")


class Probe(WineTestCase):
    def test_reports_no_box_when_there_is_none(self):
        self.assertIsNone(self.wine.message_box("Nothing here", timeout=0.5))

    def test_reads_version_block_and_icons(self):
        version = self.wine.version(WINPROBE_EXE)
        self.assertEqual({k: version[k] for k in ["file_version", "product_version", "flags_mask", "flags", "os",
                                                  "type", "subtype", "translation.0", "translations"]},
                         {"file_version": "1.2.3.4", "product_version": "5.6.7.8", "flags_mask": "0x3f",
                          "flags": "0x0", "os": "0x40004", "type": "0x1", "subtype": "0x0",
                          "translation.0": "040904b0", "translations": "1"})
        self.assertEqual((version["CompanyName"], version["OriginalFilename"], version["ProductVersion"]),
                         ("Test Tools", "winprobe.exe", "5.6.7.8"))

        icons = self.wine.icons(WINPROBE_EXE)
        self.assertEqual(icons["groups"], "1")
        self.assertEqual([(e["width"], e["height"], e["bits"]) for e in icons.items_of("group.0.entry")],
                         [("32", "32", "32"), ("16", "16", "32")])
        self.assertEqual(icons["manifests"], "1")
        self.assertIn("Tests.WinProbe", icons["manifest.0.xml"])


if __name__ == "__main__":
    unittest.main()
