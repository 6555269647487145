#!/usr/bin/env python3
"""Writes launcher.ico: one 32x32 16-colour image of a gold compass rose on a
navy tile. Run it again after changing the picture below."""
import os
import struct

# The 16-colour palette (the classic Windows VGA colours), as (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Letters in the picture name palette entries; '.' is transparent.
INK = {"K": 0, "N": 4, "B": 12, "Y": 11, "O": 3, "W": 15, "G": 7, "D": 8}

PICTURE = """
................................
...KKKKKKKKKKKKKKKKKKKKKKKKKK...
..KNNNNNNNNNNNNNNNNNNNNNNNNNNK..
.KNNNNNNNNNNNNNNNNNNNNNNNNNNNNK.
.KNNNNNNNNNNNNNYNNNNNNNNNNNNNNK.
.KNNNNNNNNNNNNYYONNNNNNNNNNNNNK.
.KNNNNNNNNNNNNYYONNNNNNNNNNNNNK.
.KNNNNNNNNNNNYYYOONNNNNNNNNNNNK.
.KNNNNNNNNNNNYYYOONNNNNNNNNNNNK.
.KNNNNBNNNNNYYYYOOONNNNNBNNNNNK.
.KNNNNNBNNNNYYYYOOONNNNBNNNNNNK.
.KNNNNNNBNNYYYYYOOOONNBNNNNNNNK.
.KNNNNNNNBNYYYYYOOOONBNNNNNNNNK.
.KNNNNNNNNYYYYYYOOOOONNNNNNNNNK.
.KNNNYYYYYYYYYYWWOOOOOOOOOONNNK.
.KNYYYYYYYYYYYWWWWOOOOOOOOOOONK.
.KNOOOOOOOOOOOWWWWYYYYYYYYYYYNK.
.KNNNOOOOOOOOOOWWYYYYYYYYYYNNNK.
.KNNNNNNNNNOOOOOYYYYYYNNNNNNNNK.
.KNNNNNNNNBNOOOOYYYYYNBNNNNNNNK.
.KNNNNNNNBNNOOOOYYYYYNNBNNNNNNK.
.KNNNNNNBNNNNOOOYYYYNNNNBNNNNNK.
.KNNNNNBNNNNNOOOYYYYNNNNNBNNNNK.
.KNNNNNNNNNNNNOOYYYNNNNNNNNNNNK.
.KNNNNNNNNNNNNOOYYYNNNNNNNNNNNK.
.KNNNNNNNNNNNNNOYYNNNNNNNNNNNNK.
.KNNNNNNNNNNNNNOYYNNNNNNNNNNNNK.
.KNNNNNNNNNNNNNNYNNNNNNNNNNNNNK.
.KNNNNNNNNNNNNNNNNNNNNNNNNNNNNK.
..KNNNNNNNNNNNNNNNNNNNNNNNNNNK..
...KKKKKKKKKKKKKKKKKKKKKKKKKK...
................................
"""


def icon_bytes():
    rows = [line for line in PICTURE.strip().splitlines()]
    assert len(rows) == 32 and all(len(r) == 32 for r in rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up
        for x in range(0, 32, 2):
            hi = INK.get(row[x], 0)
            lo = INK.get(row[x + 1], 0)
            xor.append(hi << 4 | lo)
        bits = 0
        for x, ch in enumerate(row):
            if ch == ".":
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "launcher.ico")
    with open(out, "wb") as f:
        f.write(icon_bytes())
    print(out)
