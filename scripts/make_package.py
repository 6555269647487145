#!/usr/bin/env python3
"""Packs the launcher for players: <out>/VarnelOfficialClient-<version>.zip holding the exe, the
commented settings file, the Portuguese guide and SHA256SUMS of the three.

    make_package.py --exe <built launcher> --version <x.y.z.w> --out <folder>

Two runs give the same bytes: the entries keep a fixed order and a fixed time, and are stored
uncompressed, so no compressor's version changes them either."""

import argparse
import hashlib
import zipfile
from pathlib import Path

PLAYER_FILES = Path(__file__).resolve().parent.parent / "package"
EXE_NAME = "Varnel Official Client.exe"
# Shown by Windows as each file's date once unpacked.
FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def package_name(version: str) -> str:
    return f"VarnelOfficialClient-{version}.zip"


def contents(exe: Path) -> list[tuple[str, bytes]]:
    files = [(EXE_NAME, exe.read_bytes()),
             ("VarnelOfficial.ini", (PLAYER_FILES / "VarnelOfficial.ini").read_bytes()),
             ("LEIA-ME.txt", (PLAYER_FILES / "LEIA-ME.txt").read_bytes())]
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)
    return files + [("SHA256SUMS", sums.encode("ascii"))]


def write_package(exe: Path, version: str, out: Path) -> Path:
    out.mkdir(parents=True, exist_ok=True)
    target = out / package_name(version)
    partial = target.with_suffix(".partial")
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_STORED) as archive:
        for name, data in contents(exe):
            entry = zipfile.ZipInfo(name, FIXED_TIME)
            entry.create_system = 0  # MS-DOS: no Unix owner or mode bits from this machine
            entry.external_attr = 0
            archive.writestr(entry, data)
    partial.replace(target)
    return target


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", type=Path, required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", type=Path, required=True)
    args = parser.parse_args()
    print(f"package: {write_package(args.exe, args.version, args.out)}")


if __name__ == "__main__":
    main()
