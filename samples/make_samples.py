#!/usr/bin/env python3
"""Writes the small sample designs of this folder (Tajima DST and TBF, Barudan DSB).

Each design is a list of colour blocks; each block is a list of points in 0.1 mm. Moves
longer than one record allows become jumps; colour blocks are separated by colour changes.
Run: python3 samples/make_samples.py [folder]
"""
import math
import os
import sys

MAX_STEP = 121


def encode(dx, dy, control=0x03):
    """One three-byte record for a displacement of at most 121 units per axis."""
    b0 = b1 = 0
    b2 = control
    # Balanced ternary digits for 1, 3, 9, 27, 81.
    bits = {
        'x': {1: (0, 0x01, 0x02), 9: (0, 0x04, 0x08), 3: (1, 0x01, 0x02), 27: (1, 0x04, 0x08),
              81: (2, 0x04, 0x08)},
        'y': {1: (0, 0x80, 0x40), 9: (0, 0x20, 0x10), 3: (1, 0x80, 0x40), 27: (1, 0x20, 0x10),
              81: (2, 0x20, 0x10)},
    }
    out = [b0, b1, b2]
    for axis, value in (('x', dx), ('y', dy)):
        digits = []
        v = value
        for _ in range(5):
            r = v % 3
            if r == 2:
                r = -1
            digits.append(r)
            v = (v - r) // 3
        if v != 0:
            raise ValueError('step too long: %d' % value)
        for weight, digit in zip((1, 3, 9, 27, 81), digits):
            if digit == 0:
                continue
            byte, plus, minus = bits[axis][weight]
            out[byte] |= plus if digit > 0 else minus
    return bytes(out)


def split_move(dx, dy):
    steps = max(1, math.ceil(max(abs(dx), abs(dy)) / MAX_STEP))
    moves = []
    px = py = 0
    for i in range(1, steps + 1):
        nx = round(dx * i / steps)
        ny = round(dy * i / steps)
        moves.append((nx - px, ny - py))
        px, py = nx, ny
    return moves


def build(name, blocks):
    records = bytearray()
    x = y = 0
    stitches = 0
    colours = 0
    minx = miny = maxx = maxy = 0
    for index, block in enumerate(blocks):
        if index > 0:
            records += encode(0, 0, 0xC3)
            colours += 1
        for n, (px, py) in enumerate(block):
            px, py = round(px), round(py)
            dx, dy = px - x, py - y
            jump = n == 0 and (dx or dy)
            moves = split_move(dx, dy)
            for mx, my in moves:
                if jump or len(moves) > 1:
                    records += encode(mx, my, 0x83)
                else:
                    records += encode(mx, my, 0x03)
                    stitches += 1
            if len(moves) > 1 and not jump:
                records += encode(0, 0, 0x03)
                stitches += 1
            x, y = px, py
            minx, maxx = min(minx, x), max(maxx, x)
            miny, maxy = min(miny, y), max(maxy, y)
    records += bytes([0x00, 0x00, 0xF3])
    header = ('LA:%-16s\r' % name[:16] + 'ST:%7d\r' % stitches + 'CO:%3d\r' % colours +
              '+X:%5d\r' % maxx + '-X:%5d\r' % -minx + '+Y:%5d\r' % maxy + '-Y:%5d\r' % -miny +
              'AX:+%5d\r' % x + 'AY:+%5d\r' % y + 'MX:+%5d\r' % 0 + 'MY:+%5d\r' % 0 +
              'PD:%6s\r' % '******').encode('ascii') + b'\x1a'
    header += b' ' * (512 - len(header))
    return header + bytes(records)


def dsb_record(control, dx, dy):
    """One DSB record: control byte with the sign bits, then |dy| and |dx| (at most 255)."""
    if dx < 0:
        control |= 0x20
    if dy < 0:
        control |= 0x40
    return bytes([control, abs(dy), abs(dx)])


def build_dsb(name, blocks):
    records = bytearray()
    x = y = 0
    for index, block in enumerate(blocks):
        if index > 0:
            records += dsb_record(0x88, 0, 0)
        for n, (px, py) in enumerate(block):
            px, py = round(px), round(py)
            dx, dy = px - x, py - y
            steps = max(1, math.ceil(max(abs(dx), abs(dy)) / 250))
            jump = (n == 0 and (dx or dy)) or steps > 1
            done_x = done_y = 0
            for i in range(1, steps + 1):
                sx, sy = round(dx * i / steps) - done_x, round(dy * i / steps) - done_y
                records += dsb_record(0x81 if jump else 0x00, sx, sy)
                done_x, done_y = done_x + sx, done_y + sy
            x, y = px, py
    records += bytes([0x98, 0, 0])
    header = ('LA:%-16s\r' % name[:16]).encode('ascii') + b'\x1a'
    header += b' ' * (512 - len(header))
    return header + bytes(records)


def build_tbf(blocks, colour_numbers):
    """TBF: a 0x600-byte header whose bytes at 0x10A name each block's colour number, then
    records of signed dx, signed dy and a control byte."""
    header = bytearray(0x600)
    for k, number in enumerate(colour_numbers):
        header[0x10A + k] = number
    records = bytearray()
    x = y = 0
    for index, block in enumerate(blocks):
        if index > 0:
            records += bytes([0, 0, 0x81])
        for n, (px, py) in enumerate(block):
            px, py = round(px), round(py)
            dx, dy = px - x, py - y
            steps = max(1, math.ceil(max(abs(dx), abs(dy)) / 120))
            jump = (n == 0 and (dx or dy)) or steps > 1
            done_x = done_y = 0
            for i in range(1, steps + 1):
                sx, sy = round(dx * i / steps) - done_x, round(dy * i / steps) - done_y
                records += bytes([sx & 0xFF, sy & 0xFF, 0x90 if jump else 0x80])
                done_x, done_y = done_x + sx, done_y + sy
            x, y = px, py
    records += bytes([0, 0, 0x8F])
    return bytes(header) + bytes(records)


def zigzag(path, width, spacing):
    """A satin-like column along a polyline: points alternate left and right of it."""
    points = []
    side = 1
    for (ax, ay), (bx, by) in zip(path, path[1:]):
        length = math.hypot(bx - ax, by - ay)
        if length == 0:
            continue
        nx, ny = -(by - ay) / length, (bx - ax) / length
        count = max(1, int(length / spacing))
        for i in range(count):
            t = i / count
            cx, cy = ax + (bx - ax) * t, ay + (by - ay) * t
            points.append((cx + nx * width / 2 * side, cy + ny * width / 2 * side))
            side = -side
    return points


def circle(cx, cy, r, n, start=0.0):
    return [(cx + r * math.cos(start + 2 * math.pi * i / n), cy + r * math.sin(start + 2 * math.pi * i / n))
            for i in range(n + 1)]


def flower():
    blocks = []
    for k in range(6):
        a = 2 * math.pi * k / 6
        spine = [(math.cos(a) * r, math.sin(a) * r) for r in range(60, 300, 20)]
        blocks.append(zigzag(spine, 90 - 0 * k, 6))
    blocks.append(zigzag(circle(0, 0, 45, 36), 40, 5))
    stem = [(0, -300 - 20 * i) for i in range(12)]
    blocks.append(zigzag(stem, 30, 6))
    return blocks


def star():
    outer, inner = 320, 130
    corners = []
    for k in range(11):
        r = outer if k % 2 == 0 else inner
        a = math.pi / 2 + math.pi * k / 5
        corners.append((r * math.cos(a), r * math.sin(a)))
    # Fill: back-and-forth rows clipped to the star, each row in short steps.
    fill = []
    forward = True
    for yy in range(-250, 318, 12):
        xs = []
        for (ax, ay), (bx, by) in zip(corners, corners[1:]):
            if (ay <= yy < by) or (by <= yy < ay):
                xs.append(ax + (yy - ay) * (bx - ax) / (by - ay))
        xs.sort()
        for left, right in zip(xs[0::2], xs[1::2]):
            if not forward:
                left, right = right, left
            count = max(1, int(abs(right - left) / 35))
            fill += [(left + (right - left) * t / count, yy) for t in range(count + 1)]
        forward = not forward
    outline = []
    for (ax, ay), (bx, by) in zip(corners, corners[1:]):
        for t in range(10):
            outline.append((ax + (bx - ax) * t / 10, ay + (by - ay) * t / 10))
    outline.append(corners[-1])
    return [fill, outline, zigzag(circle(0, 0, 360, 90), 24, 5)]


def rings():
    blocks = []
    for k, r in enumerate((80, 160, 240, 320)):
        blocks.append(zigzag(circle(0, 0, r, 24 + 12 * k, k * 0.2), 36, 6))
    return blocks


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, blocks in (('flower', flower()), ('star', star()), ('rings', rings())):
        path = os.path.join(folder, name + '.dst')
        with open(path, 'wb') as f:
            f.write(build(name, blocks))
        print(path)
    path = os.path.join(folder, 'star.tbf')
    with open(path, 'wb') as f:
        f.write(build_tbf(star(), [3, 7, 12]))
    print(path)
    path = os.path.join(folder, 'rings.dsb')
    with open(path, 'wb') as f:
        f.write(build_dsb('rings', rings()))
    print(path)


if __name__ == '__main__':
    main()
