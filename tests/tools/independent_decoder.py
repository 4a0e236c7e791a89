#!/usr/bin/env python3
"""A second, deliberately plain decoder of the four design formats.

It is written straight from the format rules, record by record, with Python integers, and
prints exactly what `hoopwatch-cli dump` prints (records, then the extents) or the summary
line of `hoopwatch-cli info`. The check script compares the two on generated and real files.

Usage: independent_decoder.py dump|info FILE
"""
import sys

INT32_MIN = -(1 << 31)
INT32_MAX = (1 << 31) - 1
INT16_MAX = (1 << 15) - 1

NORMAL, JUMP, JUMP3, SEQUIN_ON, SEQUIN_EJECT, SEQUIN_OFF = 0, 1, 3, 4, 5, 21
TRIM, COLOR_CHANGE, REPEATED_COLOR_CHANGE = 22, 23, 24


def clamp32(v):
    """Truncation of a coordinate to int32, saturating (positions are integers already)."""
    return max(INT32_MIN, min(INT32_MAX, v))


class Out:
    """Records in 0.01 mm plus the extents, which start at the start point (0, 0)."""

    def __init__(self):
        self.records = []  # [x, y, type, color]
        self.left = self.top = self.right = self.bottom = 0

    def widen(self, x, y):
        # x and y are in 0.01 mm here; "else" chains as the rule states.
        if self.left > x:
            self.left = clamp32(x)
        elif self.right < x:
            self.right = clamp32(x)
        if self.bottom > y:
            self.bottom = clamp32(y)
        elif self.top < y:
            self.top = clamp32(y)

    def store(self, x, y, t, color):
        self.records.append([10 * x, 10 * y, t, color])
        self.widen(10 * x, 10 * y)

    def fold(self, follow):
        """Folds a short eject into the previous eject; returns the new counter or None."""
        if not self.records:
            return None
        last = self.records[-1]
        if not 5 <= last[2] <= 20:
            return None
        follow = min(follow + 1, 16)
        if follow <= 13:
            last[2] = 6 + follow
        elif follow <= 15:
            last[2] = 20
        else:
            last[2] = 5
        return follow


def bit(b, n):
    return (b >> n) & 1


def dst_move(b0, b1, b2):
    dx = (bit(b0, 0) - bit(b0, 1) + 9 * bit(b0, 2) - 9 * bit(b0, 3)
          + 3 * bit(b1, 0) - 3 * bit(b1, 1) + 27 * bit(b1, 2) - 27 * bit(b1, 3)
          + 81 * bit(b2, 2) - 81 * bit(b2, 3))
    dy = (bit(b0, 7) - bit(b0, 6) + 9 * bit(b0, 5) - 9 * bit(b0, 4)
          + 3 * bit(b1, 7) - 3 * bit(b1, 6) + 27 * bit(b1, 5) - 27 * bit(b1, 4)
          + 81 * bit(b2, 5) - 81 * bit(b2, 4))
    return dx, dy


def is_short(dx, dy):
    return abs(dx) < 5 and abs(dy) < 5


def decode_dst(data):
    out = Out()
    x = y = 0
    span = False
    colour = 1
    follow = 0
    last_class = 0
    n = (len(data) - 512) // 3 if len(data) >= 512 else 0
    for i in range(n):
        b0, b1, b2 = data[512 + 3 * i: 515 + 3 * i]
        dx, dy = dst_move(b0, b1, b2)
        x += dx
        y += dy
        cls = b2 & 0xC3
        color = 0
        if cls == 0x03:
            t = NORMAL
        elif cls == 0x43:
            span = not span
            t = SEQUIN_ON if span else SEQUIN_OFF
        elif cls == 0x83:
            if not span:
                t = JUMP
            else:
                if is_short(dx, dy):
                    f = out.fold(follow)
                    if f is not None:
                        follow = f
                        continue
                t = 6
        elif cls == 0xC3:
            if b2 & 0xF3 == 0xF3:
                out.widen(10 * x, 10 * y)
                break
            if last_class == 0xC3:
                t = REPEATED_COLOR_CHANGE
            else:
                colour = min(colour + 1, INT16_MAX)
                t = COLOR_CHANGE
                color = colour
        else:
            t = NORMAL
        out.store(x, y, t, color)
        follow = 0
        last_class = cls
    return out


DSB_FUNCTIONS = {1: 57, 2: 58, 3: 59, 4: 62, 5: 63}


def decode_dsb(data):
    out = Out()
    body = data[512:] if len(data) > 512 else b""
    x = y = 0
    span = False
    colour = 1
    follow = 0
    for i in range(len(body) // 3):
        b0, b1, b2 = body[3 * i: 3 * i + 3]
        dx = -b2 if b0 & 0x20 else b2
        dy = -b1 if b0 & 0x40 else b1
        function = (b0 & 0xD7) == 0xD7
        if function and b1 != 0:
            dx = dy = 0
        short = is_short(dx, dy)
        x += dx
        y += dy
        color = 0
        if b0 & 0xF8 == 0x98:
            out.widen(10 * x, 10 * y)
            break
        if function:
            if b1 == 0:
                span = not span
                t = SEQUIN_ON if span else SEQUIN_OFF
            else:
                t = DSB_FUNCTIONS.get(b1, 57)
        elif b0 & 0x98 in (0x88, 0x90):
            if span:
                t = NORMAL
            else:
                colour = min(colour + 1, INT16_MAX)
                t = COLOR_CHANGE
                color = colour
        elif b0 & 0x81 == 0x81:
            if not span:
                t = JUMP
            else:
                if short:
                    f = out.fold(follow)
                    if f is not None:
                        follow = f
                        continue
                t = 6
        else:
            t = NORMAL
        out.store(x, y, t, color)
        follow = 0
    return out


def decode_tbf(data):
    out = Out()

    def table(k):
        at = 0x10A + k
        return data[at] if at < len(data) else 0

    x = y = 0
    span = False
    follow = 0
    k = 0
    colour = table(0) or 1
    n = (len(data) - 0x600) // 3 if len(data) >= 0x600 else 0
    for i in range(n):
        b0, b1, b2 = data[0x600 + 3 * i: 0x603 + 3 * i]
        dx = b0 - 256 if b0 > 127 else b0
        dy = b1 - 256 if b1 > 127 else b1
        short = is_short(dx, dy)
        x += dx
        y += dy
        color = colour if i == 0 else 0
        t = NORMAL
        if b2 == 0x4D:
            span = True
            t = SEQUIN_ON
        elif b2 in (0x69, 0x89):
            span = True
            if short:
                f = out.fold(follow)
                if f is not None:
                    follow = f
                    continue
            t = 7 if b2 == 0x69 else 6
        elif b2 == 0x81:
            if not span:
                k += 1
                if table(k):
                    colour = table(k)
                t = COLOR_CHANGE
                color = colour
        elif b2 == 0x86:
            t = TRIM
        elif b2 == 0x88:
            span = False
            t = SEQUIN_OFF
        elif b2 == 0x8F:
            out.widen(10 * x, 10 * y)
            break
        elif b2 == 0x90:
            t = JUMP
        out.store(x, y, t, color)
        follow = 0
    return out


def decode_dsr(data, previous_extents=(0, 0, 0, 0)):
    out = Out()
    if len(data) <= 256:
        out.left, out.top, out.right, out.bottom = previous_extents
        return out
    x = y = 0
    colour = 1
    changing = False
    for i in range((len(data) - 256) // 4):
        b0, b1, b2, b3 = data[256 + 4 * i: 260 + 4 * i]
        if i == 0:
            b2 = b3 = 0
        if (not changing and b0 == 6) or (changing and b0 == 1):
            changing = not changing
            colour = min(colour + 1, INT16_MAX)
            out.records.append([10 * x, 10 * y, COLOR_CHANGE, colour])
        x += b2 if b1 & 0x80 else -b2
        y += b3 if b1 & 0x40 else -b3
        t = JUMP if b0 == 2 else JUMP3 if b0 == 10 else NORMAL
        out.store(x, y, t, 0)
    return out


DECODERS = {".dst": decode_dst, ".dsb": decode_dsb, ".tbf": decode_tbf, ".dsr": decode_dsr}


def decoder_for(path):
    lower = path.lower()
    for suffix, fn in DECODERS.items():
        if lower.endswith(suffix):
            return fn
    return None


def summary_line(records):
    stitches = len(records)
    colours = 1
    a = b = c = d = seq = 0
    min_x = min_y = max_x = max_y = 0
    span = False
    for i, (x, y, t, _) in enumerate(records):
        x, y = clamp32(x), clamp32(y)
        if i == 0:
            min_x = max_x = x
            min_y = max_y = y
        else:
            min_x, max_x = min(min_x, x), max(max_x, x)
            min_y, max_y = min(min_y, y), max(max_y, y)
            if t == COLOR_CHANGE:
                colours += 1
        if 1 <= t <= 3:
            if span:
                seq += 1
        elif t == SEQUIN_ON:
            span = True
        elif t == SEQUIN_EJECT:
            seq += 1
        elif 6 <= t <= 20:
            s = t - 5
            a += s & 1
            b += (s >> 1) & 1
            c += (s >> 2) & 1
            d += (s >> 3) & 1
        elif t == SEQUIN_OFF:
            span = False

    def mm(hi, lo):
        v = hi - lo
        return v // 100 if v >= 0 else -((-v) // 100)

    return "S:%d  C:%d  H:%d  W:%d  SEQ-%d A-%d B-%d C-%d D-%d" % (
        stitches, colours, mm(max_y, min_y), mm(max_x, min_x), seq, a, b, c, d)


def dump_text(out):
    lines = ["%d %d %d %d" % tuple(r) for r in out.records]
    lines.append("extents %d %d %d %d" % (out.left, out.top, out.right, out.bottom))
    return "\n".join(lines) + "\n"


def decode_file(path):
    fn = decoder_for(path)
    if fn is None:
        return None
    with open(path, "rb") as f:
        return fn(f.read())


def main(argv):
    if len(argv) != 3 or argv[1] not in ("dump", "info"):
        sys.stderr.write(__doc__)
        return 2
    out = decode_file(argv[2])
    if out is None:
        return 2
    sys.stdout.write(dump_text(out) if argv[1] == "dump" else summary_line(out.records) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
