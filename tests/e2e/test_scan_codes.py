"""Clients that read scan codes: with ScanCodes=1 each key the walker sends
carries its own scan code, without it scan code 0 as before. Walking, the pause
key and the launcher's watch over its hook are played again with the setting on."""

import unittest

import test_hook_loss
import test_pause
import test_walking
from harness import LauncherTestCase

# The scan codes of the US layout, which the test prefix uses.
US_SCAN_CODES = {"W": 0x11, "A": 0x1E, "S": 0x1F, "D": 0x20, "Q": 0x10, "E": 0x12, "Z": 0x2C, "C": 0x2E}
# Each walking key at least once, each diagonal from both sides.
EVERY_WALK = ("W+ W- A+ A- S+ S- D+ D- W+ A+ W- A- D+ W+ D- W- S+ A+ A- S- D+ S+ S- D-",
              "W+ W- A+ A- S+ S- D+ D- W+ W- Q+ Q- A+ A- D+ D- E+ E- W+ W- S+ S- Z+ Z- S+ S- D+ D- C+ C- D+ D-")


def with_scan_codes(ini: bytes | None) -> bytes:
    """The settings with ScanCodes=1 in their first [SmartWalking] section, the one that counts."""
    header = b"[SmartWalking]\r\n"
    ini = ini or b""
    if header in ini:
        return ini.replace(header, header + b"ScanCodes=1\r\n", 1)
    return header + b"ScanCodes=1\r\n" + ini


class ScanCodes(LauncherTestCase):
    def test_each_injected_key_carries_its_own_scan_code_only_with_the_setting(self):
        cases = [
            # settings, the scan code each key reaches the client with
            (None, dict.fromkeys(US_SCAN_CODES, 0)),
            (with_scan_codes(None), US_SCAN_CODES),
        ]
        for ini, expected in cases:
            with self.subTest(settings=ini):
                self.start_game(ini)
                pressed, received = EVERY_WALK
                mark = self.client.mark()
                self.assertEqual(self.press(pressed, received), received)
                scan_codes = {}
                for record in self.client.records(mark):
                    if record.event == "key":
                        scan_codes.setdefault(record["name"], set()).add(record.int("scan"))
                self.assertEqual(scan_codes, {key: {code} for key, code in expected.items()})
                self.wine.stop_programs()


class WithScanCodes:
    """Plays a test case's games with ScanCodes=1 added to their settings."""

    def start_game(self, ini: bytes | None = None, *args, **kwargs):
        return super().start_game(with_scan_codes(ini), *args, **kwargs)


class WalkingWithScanCodes(WithScanCodes, test_walking.Walking):
    pass


class PauseKeyWithScanCodes(WithScanCodes, test_pause.PauseKey):
    pass


class WitnessWithScanCodes(WithScanCodes, test_hook_loss.Witness):
    pass


class FrozenLauncherWithScanCodes(WithScanCodes, test_hook_loss.FrozenLauncher):
    pass


if __name__ == "__main__":
    unittest.main()
