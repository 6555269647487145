"""Starting and ending the game as a player does: double-click the launcher,
see the client start (or the error box), see the launcher go away."""

import re
import shutil
import subprocess
import unittest

from harness import LAUNCHER_EXE, PRODUCT_TITLE, WineTestCase, needs_launcher, windows_path

OBJDUMP = shutil.which("x86_64-w64-mingw32-objdump")


@needs_launcher
class Launch(WineTestCase):
    def test_client_starts_in_its_bin_folder_with_its_own_path_as_command_line(self):
        for folder in ["Varnel", "Jogos Varnel Edi\u00e7\u00e3o", "Games \U0001D4D6\U0001F3AE Varnel"]:
            with self.subTest(folder=folder):
                game = self.wine.install(launcher=LAUNCHER_EXE, folder=folder)
                game.start()
                client = game.client
                client.wait_ready()
                self.assertEqual(client.exe, windows_path(game.client_exe))
                self.assertEqual(client.cwd, windows_path(game.bin))
                self.assertEqual(client.cmdline, f'"{windows_path(game.client_exe)}"')

    def test_started_from_another_folder_it_still_starts_its_own_client(self):
        # A folder with a bin\client.exe of its own, which a launcher going by its
        # working directory would start instead.
        decoy = self.wine.install(folder="Elsewhere")
        for name, cwd in [("another game folder", decoy.root), ("its own bin folder", None)]:
            with self.subTest(cwd=name):
                game = self.wine.install(launcher=LAUNCHER_EXE)
                game.start(cwd=cwd or game.bin)
                self.assertEqual(game.client.exe, windows_path(game.client_exe))
                self.assertEqual(game.client.cwd, windows_path(game.bin))

    def test_launcher_ends_with_code_0_however_the_client_ends(self):
        cases = [
            {"CLIENT_EXIT_AFTER_MS": "300", "CLIENT_EXIT_CODE": "0"},
            {"CLIENT_EXIT_AFTER_MS": "300", "CLIENT_EXIT_CODE": "3"},
            {"CLIENT_EXIT_AFTER_MS": "300", "CLIENT_EXIT_CODE": "255"},
            {"CLIENT_EXIT_AFTER_MS": "300", "CLIENT_EXIT_CODE": "-1"},
            {"CLIENT_EXIT_AT_ONCE": "1", "CLIENT_EXIT_CODE": "0"},
            {"CLIENT_EXIT_AT_ONCE": "1", "CLIENT_EXIT_CODE": "7"},
        ]
        for env in cases:
            with self.subTest(**env):
                game = self.wine.install(launcher=LAUNCHER_EXE)
                run = game.start(env=env)
                self.assertEqual(run.wait(15), 0)
                self.assertEqual(game.client.exited(), int(env["CLIENT_EXIT_CODE"]))

    def test_quit_message_ends_the_launcher_and_leaves_the_client_running(self):
        game = self.wine.install(launcher=LAUNCHER_EXE)
        run = game.start()
        client = game.client
        client.wait_for("title", window="main", text=PRODUCT_TITLE)
        self.wine.quit(client.parent_pid)
        self.assertEqual(run.wait(10), 0)
        self.assertIsNone(client.exited())
        self.assertEqual([w.visible for w in self.wine.windows(client.pid) if w.hwnd == client.main_window], [True])
        # The client still answers, and closes normally when asked.
        self.assertEqual(self.wine.probe("close", hex(client.main_window)).get("posted"), "1")
        client.wait_for("exit", code=0)


@needs_launcher
class Executable(WineTestCase):
    def test_version_block(self):
        version = self.wine.version(LAUNCHER_EXE)
        fields = ["file_version", "product_version", "flags", "flags_mask", "os", "type", "subtype", "translations",
                  "translation.0", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                  "OriginalFilename", "ProductName", "ProductVersion"]
        self.assertEqual({name: version.get(name) for name in fields}, {
            "file_version": "15.24.0.1", "product_version": "15.24.0.1",
            "flags": "0x0", "flags_mask": "0x3f", "os": "0x40004", "type": "0x1", "subtype": "0x0",
            "translations": "1", "translation.0": "040904b0",
            "CompanyName": "Varnel", "FileDescription": "Varnel Official Client", "FileVersion": "15.24.0.1",
            "InternalName": "VarnelOfficialClient", "OriginalFilename": "Varnel Official Client.exe",
            "ProductName": "Varnel Official Client", "ProductVersion": "15.24.0.1",
        })

    def test_one_16_colour_icon_and_no_manifest(self):
        icons = self.wine.icons(LAUNCHER_EXE)
        self.assertEqual((icons["groups"], icons["group.0.id"]), ("1", "1"))
        self.assertEqual([(e["width"], e["height"], e["colours"]) for e in icons.items_of("group.0.entry")],
                         [("32", "32", "16")])
        self.assertEqual(icons["manifests"], "0")

    @unittest.skipUnless(OBJDUMP, "x86_64-w64-mingw32-objdump not installed")
    def test_64_bit_gui_program_importing_only_system_dlls(self):
        headers = subprocess.run([OBJDUMP, "-p", LAUNCHER_EXE], check=True, capture_output=True, text=True).stdout
        self.assertRegex(headers, r"Magic\s+020b\s+\(PE32\+\)")
        self.assertRegex(headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")
        # ADVAPI32 and ntdll for the diagnostics log: whether the launcher runs elevated, and which Windows.
        self.assertEqual(sorted(re.findall(r"DLL Name: (\S+)", headers)),
                         ["ADVAPI32.dll", "KERNEL32.dll", "USER32.dll", "msvcrt.dll", "ntdll.dll"])


if __name__ == "__main__":
    unittest.main()
