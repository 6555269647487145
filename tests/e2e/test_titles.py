"""The client's windows as a player sees them while the launcher runs: every
top-level window titled with the product's name, whatever the client does."""

import subprocess
import unittest

from harness import PRODUCT_TITLE, EventLog, LauncherTestCase, WineSession, wait_until

# How soon a title the client set itself must be back to the product's. The launcher answers the
# change event within milliseconds on an idle machine, but two Wine sessions sharing two cores can
# delay it past 100 ms. 250 ms stays below the 300 ms between the client's own titles, so a title
# left standing until the client's next change still fails.
PUT_BACK_MS = 250


def title_after(client: EventLog, window: str, qpc_us: int) -> str | None:
    """The window's title PUT_BACK_MS after `qpc_us`, as the client's log tells it (None: not set meanwhile)."""
    title = None
    for r in client.find("title", window=window):
        elapsed_ms = (r.int("qpc_us") - qpc_us) / 1000
        if elapsed_ms > PUT_BACK_MS:
            break
        if elapsed_ms >= 0:
            title = r.text
    return title


def x_window_name(wine: WineSession, x11: int) -> str:
    return subprocess.run(["xdotool", "getwindowname", str(x11)], env=wine.env(), check=True, capture_output=True,
                          text=True, timeout=30).stdout.rstrip("\n")


class Titles(LauncherTestCase):
    def assert_put_back(self, client: EventLog, record) -> None:
        """The window is titled with the product's name by PUT_BACK_MS after `record`."""
        window = record["window"]
        # The log may not have caught up yet; a change stamped too late never counts.
        wait_until(lambda: title_after(client, window, record.int("qpc_us")) == PRODUCT_TITLE, 2,
                   f"{window} to be titled {PRODUCT_TITLE!r} within {PUT_BACK_MS} ms of '{record.line}'",
                   detail=lambda: client.tail(40))

    def test_top_level_windows_show_the_product_title_and_the_child_keeps_its_own(self):
        self.start_game(env={"CLIENT_POPUP": "1", "CLIENT_CHILD": "1"}, ready="windows")
        client = self.client
        client.wait_for("title", window="popup", text=PRODUCT_TITLE)
        client.wait_for("title", window="main", text=PRODUCT_TITLE)
        self.assertEqual(self.wine.window_titles(client),
                         {"main": PRODUCT_TITLE, "popup": PRODUCT_TITLE, "child": "Client child"})
        self.assertEqual({w.title for w in self.wine.windows(client.pid) if w.visible}, {PRODUCT_TITLE})
        # What the desktop shows: the name of the X window behind the client's main window.
        self.assertEqual(x_window_name(self.wine, self.wine.x11_window(client)), PRODUCT_TITLE)
        self.assertEqual(client.titles("child"), [], "nobody ever set the child's title")

    def test_a_title_the_client_sets_itself_is_put_back_at_once(self):
        self.start_game(env={"CLIENT_RETITLE_MS": "300", "CLIENT_POPUP": "1"}, ready="windows")
        client = self.client
        # Well past the launcher's first seconds, when it only listens for changes.
        client.wait_for("title", window="main", text="Client 16", timeout=20)
        own = [r for r in client.find("title", source="self") if int(r.text.split()[-1]) <= 15]
        self.assertEqual(len(own), 2 * 15)
        for record in own:
            with self.subTest(window=record["window"], title=record.text):
                self.assert_put_back(client, record)

    def test_a_hidden_window_is_retitled_only_when_it_renames_itself(self):
        self.start_game(env={"CLIENT_HIDDEN": "1", "CLIENT_HIDDEN_RETITLE_MS": "1500"}, ready="windows")
        client = self.client
        renamed = client.wait_for("title", window="hidden", source="self", text="hidden 2")
        self.assertEqual(client.titles("hidden", since=0)[0], "hidden 2",
                         "the launcher's passes over the windows left the hidden one alone")
        self.assert_put_back(client, renamed)
        hidden = client.windows_logged()["hidden"].int("hwnd")
        self.assertEqual([(w.title, w.visible) for w in self.wine.windows(client.pid) if w.hwnd == hidden],
                         [(PRODUCT_TITLE, False)])

    def test_a_window_shown_late_gets_the_title_when_shown(self):
        # The pop-up, shown at once, lets the launcher's first passes over the windows settle
        # (about 3 s); the main window comes long after, when only its showing can tell.
        self.start_game(env={"CLIENT_POPUP": "1", "CLIENT_SHOW_DELAY_MS": "4500"}, ready="windows")
        client = self.client
        shown = client.wait_for("show", window="main", timeout=15)
        before = [r for r in client.find("title", window="main") if r.int("qpc_us") < shown.int("qpc_us")]
        self.assertEqual(before, [], "titled while still hidden")
        self.assert_put_back(client, shown)


if __name__ == "__main__":
    unittest.main()
