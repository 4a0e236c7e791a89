#!/usr/bin/env python3
"""Seeded generator of random, valid-ish and hostile design files of all four formats.

Each file mixes the control codes that matter (colour changes, runs of them, sequin spans
with short and long ejects, functions, trims, end marks) with random bytes, odd lengths,
short headers and missing end marks. Usage as a module: generate(rng, fmt) -> bytes.
"""
import random

FORMATS = (".dst", ".dsb", ".tbf", ".dsr")


def _move_byte(rng, short):
    if short:
        return rng.choice((0x00, 0x01, 0x02, 0x80, 0x40, 0x81, 0x42))
    return rng.randrange(256)


def _eject_run(rng, firsts, second, third):
    """A run of 1 to 20 short sequin ejects (third byte None: DSB, magnitudes 0 to 4)."""
    out = bytearray()
    for _ in range(rng.randrange(1, 21)):
        if third is None:
            out += bytes((rng.choice(firsts), rng.randrange(5), rng.randrange(5)))
        else:
            out += bytes((rng.choice(firsts), second, third))
    return out


def _dst_records(rng, n):
    out = bytearray()
    classes = (0x03, 0x03, 0x03, 0x43, 0x83, 0x83, 0x83, 0xC3, 0xC3, 0x00, 0x41, 0x82, 0xC1)
    for _ in range(n):
        roll = rng.random()
        if roll < 0.003:
            out += bytes((rng.randrange(256), rng.randrange(256), 0xF3 | rng.choice((0, 0x0C))))
            continue
        if roll < 0.03:
            out += _eject_run(rng, (0x00, 0x01, 0x02, 0x80), 0, 0x83)
            continue
        short = rng.random() < 0.5
        b0 = _move_byte(rng, short)
        b1 = 0 if short else rng.randrange(256)
        moves = 0 if short else rng.randrange(16) << 2
        cls = rng.choice(classes) if rng.random() < 0.95 else rng.randrange(256) & 0xC3
        out += bytes((b0, b1, (moves | cls) & 0xFF))
    return out


def _dsb_records(rng, n):
    out = bytearray()
    kinds = (0x00, 0x20, 0x40, 0x60, 0x81, 0xA1, 0xC1, 0xE1, 0xD7, 0xF7, 0xD7, 0x88, 0x90,
             0xE8, 0xF0, 0xF8, 0x80)
    for _ in range(n):
        roll = rng.random()
        if roll < 0.003:
            out += bytes((0x98 | rng.randrange(8), rng.randrange(256), rng.randrange(256)))
            continue
        if roll < 0.03:
            out += _eject_run(rng, (0x81, 0xA1, 0xC1), 1, None)
            continue
        b0 = rng.choice(kinds) if rng.random() < 0.9 else rng.randrange(256)
        short = rng.random() < 0.5
        if b0 & 0xD7 == 0xD7 and rng.random() < 0.6:
            b1 = rng.choice((0, 0, 1, 2, 3, 4, 5, 6, 9, 255))
        else:
            b1 = rng.randrange(5) if short else rng.randrange(256)
        b2 = rng.randrange(5) if short else rng.randrange(256)
        out += bytes((b0, b1, b2))
    return out


def _tbf_records(rng, n):
    out = bytearray()
    codes = (0x80, 0x80, 0x80, 0x81, 0x86, 0x90, 0x4D, 0x69, 0x89, 0x89, 0x88)
    for _ in range(n):
        roll = rng.random()
        if roll < 0.003:
            out += bytes((rng.randrange(256), rng.randrange(256), 0x8F))
            continue
        if roll < 0.03:
            out += _eject_run(rng, (0x00, 0x01, 0xFF), 0, rng.choice((0x69, 0x89)))
            continue
        b2 = rng.choice(codes) if rng.random() < 0.9 else rng.randrange(256)
        if rng.random() < 0.5:
            out += bytes((rng.choice((0, 1, 2, 4, 0xFF, 0xFC)), rng.choice((0, 1, 3, 0xFE)), b2))
        else:
            out += bytes((rng.randrange(256), rng.randrange(256), b2))
    return out


def _dsr_records(rng, n):
    out = bytearray()
    for _ in range(n):
        b0 = rng.choice((1, 1, 1, 6, 6, 2, 10, 0, 7)) if rng.random() < 0.9 else rng.randrange(256)
        out += bytes((b0, rng.randrange(256), rng.randrange(256), rng.randrange(256)))
    return out


HEADERS = {".dst": 512, ".dsb": 512, ".tbf": 0x600, ".dsr": 256}
RECORDS = {".dst": _dst_records, ".dsb": _dsb_records, ".tbf": _tbf_records,
           ".dsr": _dsr_records}


def generate(rng, fmt):
    header = HEADERS[fmt]
    shape = rng.random()
    if shape < 0.08:
        # Nothing but random bytes, often shorter than a header.
        return bytes(rng.randrange(256) for _ in range(rng.randrange(header + 40)))
    if shape < 0.12:
        # Lengths right at the header boundary.
        return bytes(rng.randrange(256) for _ in range(header + rng.randrange(-2, 6)))
    head = bytearray(rng.randrange(256) if rng.random() < 0.1 else 0 for _ in range(header))
    if fmt == ".tbf":
        for k in range(rng.randrange(40)):
            head[0x10A + k] = rng.choice((0, 0, 1, 2, 3, 7, 15, 200))
    n = rng.choice((1, 2, 5, 20, 100, 400, 1500))
    body = RECORDS[fmt](rng, rng.randrange(n + 1))
    tail = bytes(rng.randrange(256) for _ in range(rng.randrange(4)))
    return bytes(head) + bytes(body) + tail


if __name__ == "__main__":
    import sys
    rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 1)
    sys.stdout.buffer.write(generate(rng, sys.argv[2] if len(sys.argv) > 2 else ".dst"))
