"""The players' zip as scripts/package makes it, checked as a shipper would before publishing it:
the names, the exe being the build's own, the checksums, the settings file and the guide. That
the shipped settings read back as the launcher's defaults is checked by the launcher's own reader
in tests/unit/launch_config_test.cpp (ShippedSettings)."""

import hashlib
import os
import re
import shutil
import sys
import tempfile
import time
import unicodedata
import unittest
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
import make_package  # noqa: E402

EXE = Path(os.environ.get("PACKAGE_EXE", ROOT / "build/windows/Varnel Official Client.exe"))
VERSION = os.environ.get("PACKAGE_VERSION", "")
BOM = b"\xef\xbb\xbf"


def crlf_text(test: unittest.TestCase, name: str, data: bytes) -> str:
    """The text of a file Notepad must show as written: UTF-8 with a byte-order mark, CRLF line
    ends only, accents as precomposed characters."""
    test.assertTrue(data.startswith(BOM), f"{name} has no byte-order mark")
    try:
        text = data[len(BOM):].decode("utf-8")
    except UnicodeDecodeError as error:
        test.fail(f"{name} is not valid UTF-8: {error}")
    bare = [n + 1 for n, line in enumerate(text.split("\r\n")) if "\n" in line or "\r" in line]
    test.assertEqual(bare, [], f"{name}: lines with a bare LF or CR")
    test.assertTrue(text.endswith("\r\n"), f"{name} does not end its last line")
    test.assertEqual(unicodedata.normalize("NFC", text), text, f"{name} has decomposed accents")
    return text


@unittest.skipUnless(VERSION and EXE.exists(), "PACKAGE_EXE and PACKAGE_VERSION name no built launcher")
class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="package-"))
        cls.zip_path = make_package.write_package(EXE, VERSION, cls.work / "first")
        with zipfile.ZipFile(cls.zip_path) as archive:
            cls.entries = archive.infolist()
            cls.files = {entry.filename: archive.read(entry) for entry in cls.entries}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_names(self):
        self.assertEqual(self.zip_path.name, f"VarnelOfficialClient-{VERSION}.zip")
        self.assertEqual([e.filename for e in self.entries],
                         ["Varnel Official Client.exe", "VarnelOfficial.ini", "LEIA-ME.txt", "SHA256SUMS"])

    def test_the_exe_is_the_build_itself(self):
        self.assertEqual(self.files["Varnel Official Client.exe"], EXE.read_bytes())

    def test_checksums_match_every_other_file(self):
        sums = {}
        for line in self.files["SHA256SUMS"].decode("ascii").splitlines():
            m = re.fullmatch(r"([0-9a-f]{64})  (.+)", line)
            self.assertIsNotNone(m, f"not a sha256sum line: {line!r}")
            sums[m[2]] = m[1]
        self.assertEqual(sums, {name: hashlib.sha256(data).hexdigest()
                                for name, data in self.files.items() if name != "SHA256SUMS"})

    def test_a_second_run_later_gives_the_same_bytes(self):
        # Later, from a copy of the exe with another date, in another folder and time zone: only the
        # contents may count.
        time.sleep(2.1)  # past the zip format's 2 s time steps
        copy = self.work / "copy" / EXE.name
        copy.parent.mkdir()
        shutil.copyfile(EXE, copy)
        os.utime(copy, (1e9, 1e9))
        zone = os.environ.get("TZ")
        os.environ["TZ"] = "America/Sao_Paulo"
        time.tzset()
        try:
            second = make_package.write_package(copy, VERSION, self.work / "second")
        finally:
            os.environ.pop("TZ") if zone is None else os.environ.__setitem__("TZ", zone)
            time.tzset()
        self.assertEqual(second.read_bytes(), self.zip_path.read_bytes())

    def test_the_settings_file_is_the_commented_one_every_setting_read_is_in(self):
        ini = self.files["VarnelOfficial.ini"]
        self.assertEqual(ini, (ROOT / "package/VarnelOfficial.ini").read_bytes())
        text = crlf_text(self, "VarnelOfficial.ini", ini)
        # A reader that takes the byte-order mark for text only spoils the first line.
        self.assertTrue(text.startswith(";"), "the first line is no comment")
        listed, section = set(), None
        for line in text.splitlines():
            if m := re.fullmatch(r"\[(\w+)\]", line):
                section = m[1]
            elif m := re.fullmatch(r"(\w+)=.*", line):
                listed.add((section, m[1]))
        read = {(m[1], m[2]) for source in (ROOT / "src").rglob("*.cpp")
                for m in re.finditer(r'GetPrivateProfileIntW\(L"(\w+)", L"(\w+)"', source.read_text())}
        self.assertTrue(read, "found no setting the launcher reads")
        self.assertEqual(read - listed, set(), "settings the launcher reads that the shipped file leaves out")

    def test_the_guide_reads_in_notepad(self):
        text = crlf_text(self, "LEIA-ME.txt", self.files["LEIA-ME.txt"])
        for needed in ("Enabled=0", "PauseKey=", "ChatMode=1", "740", "SHA256SUMS", "certutil -hashfile",
                       "Get-FileHash", "Wine"):
            self.assertIn(needed, text)


if __name__ == "__main__":
    unittest.main()
