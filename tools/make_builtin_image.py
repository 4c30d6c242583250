#!/usr/bin/env python3
"""Writes the stand-ins for the built-in firmware images: loader/builtin_image.txt for the FieldPal
("QRN 2.00 C"), and with --product sensor loader/sensor_image.txt for the digital sensor
("AERIX14 4.00").

The maker's firmware is not part of this repository. The stand-in has the real image's shape, so
that everything built on it (the embedding step and its check, the loader, the listing, the wire
protocol's block and address handling) sees what the real image would give:

  four sections: 54,760 bytes at 0x02400, 22,330 bytes at 0x10000, 2 bytes at 0x0FE00 and
  32 bytes at 0x0FFC0; 154,272 characters of image text whose character codes sum to 8,438,260;
  16 vector words at 0xFFE0, the reset vector (0xFFFE) pointing at the start of the first section.

The digital sensor's stand-in has the shape the sensor's memory map gives (catalogue type 10:
main flash 0x8000-0xF9FF below the loader's own code): 26,624 bytes of code at 0x08000 and 512
bytes of constant tables at 0x0F400; 54,284 characters of image text whose character codes sum
to 2,973,306; the reset vector pointing at 0x8000.

The data is seeded pseudo-random filler (the same file on every run), then nudged digit by digit
until the character sum is met. A product build replaces the file with the maker's image.

Usage: tools/make_builtin_image.py [--product fieldpal|sensor] [--output PATH]
"""

import argparse
import pathlib
import sys

PRODUCTS = {
    "fieldpal": {
        "sections": [(0x02400, 54760), (0x10000, 22330), (0x0FE00, 2), (0x0FFC0, 32)],
        "length": 154272,
        "char_sum": 8438260,
        "seed": 0x51524E20322E3030,  # "QRN 2.00"
        "output": "builtin_image.txt",
    },
    "sensor": {
        "sections": [(0x08000, 26624), (0x0F400, 512)],
        "length": 54284,
        "char_sum": 2973306,
        "seed": 0x4145524958313434,  # "AERIX144"
        "output": "sensor_image.txt",
    },
}
VECTOR_BASE = 0xFFE0
VECTOR_COUNT = 16
BYTES_PER_LINE = 16

MASK64 = (1 << 64) - 1


class SplitMix64:
    """A small generator defined here, so the output never depends on the Python version."""

    def __init__(self, seed):
        self.state = seed & MASK64

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK64
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK64
        return z ^ (z >> 31)

    def below(self, n):
        return self.next() % n


def filler_nibble(rng):
    # Code and constant tables favour small digits; a mix of 0-9 and 0-F lands close to the
    # character sum the real image has, so that only a few digits need nudging.
    return rng.below(16) if rng.below(100) < 39 else rng.below(10)


def filler(rng, count):
    return bytearray((filler_nibble(rng) << 4) | filler_nibble(rng) for _ in range(count))


def image_text(sections):
    """The image text the loader makes of these sections (words high byte first, odd bytes
    padded with FF)."""
    parts = []
    for address, data in sections:
        parts.append("@%05X" % address)
        padded = bytes(data) + (b"\xff" if len(data) % 2 else b"")
        for i in range(0, len(padded), 2):
            parts.append("%02X%02X" % (padded[i + 1], padded[i]))
    return "".join(parts)


def nudge_to_sum(data, difference):
    """Moves digits of `data` up or down by one (staying within 0-9, where a step changes the
    character code by exactly one) until `difference` is used up."""
    index = len(data) - 1
    while difference != 0:
        for shift in (4, 0):
            nibble = (data[index] >> shift) & 0xF
            if difference > 0 and nibble < 9:
                nibble += 1
                difference -= 1
            elif difference < 0 and 0 < nibble <= 9:
                nibble -= 1
                difference += 1
            else:
                continue
            data[index] = (data[index] & ~(0xF << shift) & 0xFF) | (nibble << shift)
            if difference == 0:
                break
        index = index - 1 if index > 0 else len(data) - 1


def ti_text(sections, vectors):
    lines = []
    blocks = list(sections)
    vector_bytes = bytearray()
    for word in vectors:
        vector_bytes += bytes((word & 0xFF, word >> 8))
    blocks.append((VECTOR_BASE, vector_bytes))
    for address, data in blocks:
        lines.append("@%X" % address)
        for i in range(0, len(data), BYTES_PER_LINE):
            lines.append(" ".join("%02X" % b for b in data[i : i + BYTES_PER_LINE]))
    lines.append("q")
    return "\n".join(lines) + "\n"


def build(product):
    rng = SplitMix64(product["seed"])
    sections = [(address, filler(rng, size)) for address, size in product["sections"]]

    first_address, first_size = product["sections"][0]
    vectors = [first_address + 2 * rng.below(first_size // 2) for _ in range(VECTOR_COUNT - 1)]
    vectors.append(first_address)  # reset: the start of the code

    text = image_text(sections)
    nudge_to_sum(sections[0][1], product["char_sum"] - sum(map(ord, text)))

    text = image_text(sections)
    if len(text) != product["length"] or sum(map(ord, text)) != product["char_sum"]:
        sys.exit("make_builtin_image: the image misses its check values")
    return ti_text(sections, vectors)


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--product", choices=sorted(PRODUCTS), default="fieldpal")
    parser.add_argument("--output", type=pathlib.Path)
    args = parser.parse_args()
    product = PRODUCTS[args.product]
    output = args.output or root / "loader" / product["output"]
    output.write_text(build(product), encoding="ascii", newline="\n")


if __name__ == "__main__":
    main()
