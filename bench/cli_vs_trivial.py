#!/usr/bin/env python3
"""Whole-process timing of `hoopwatch-cli info` against a trivial DST decode loop.

Builds the trivial loop (plain C: read the file, sum the displacements, track the extremes,
print) with the system's C compiler, writes generated DST files, then runs both programs on
each file, interleaved, and prints the median wall times and their ratio. Both run as whole
processes started the same way, so start-up, loading and the read of the file count for both.

usage: bench/cli_vs_trivial.py [--cli build-rel/bin/hoopwatch-cli] [--runs 41]
Exit status 1 when a target is missed: at most 2.5 times the trivial loop on 2,000,000 records,
at most 3 ms more than it on 100,000.
"""

import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

TRIVIAL_C = r"""
#include <stdio.h>
#include <stdlib.h>
int main(int argc, char **argv) {
    static signed char dx[256], dy[256];
    for (int v = 0; v < 256; ++v) {
        dx[v] = !!(v & 1) - !!(v & 2) + 9 * (!!(v & 4) - !!(v & 8));
        dy[v] = !!(v & 128) - !!(v & 64) + 9 * (!!(v & 32) - !!(v & 16));
    }
    FILE *f = argc > 1 ? fopen(argv[1], "rb") : NULL;
    if (!f) return 1;
    fseek(f, 0, SEEK_END); long n = ftell(f); fseek(f, 0, SEEK_SET);
    unsigned char *b = malloc(n > 0 ? n : 1);
    if (fread(b, 1, n, f) != (size_t)n) return 1;
    fclose(f);
    long x = 0, y = 0, minx = 0, maxx = 0, miny = 0, maxy = 0, count = 0;
    for (long i = 512; i + 3 <= n; i += 3, ++count) {
        unsigned char b0 = b[i], b1 = b[i + 1], b2 = b[i + 2];
        if ((b2 & 0xF3) == 0xF3) break;
        x += dx[b0] + 3 * dx[b1] + 9 * dx[b2 & 0x3C];
        y += dy[b0] + 3 * dy[b1] + 9 * dy[b2 & 0x3C];
        minx = x < minx ? x : minx; maxx = x > maxx ? x : maxx;
        miny = y < miny ? y : miny; maxy = y > maxy ? y : maxy;
    }
    printf("%ld records, %ld %ld %ld %ld\n", count, minx, maxy, maxx, miny);
    free(b);
    return 0;
}
"""


def make_dst(path, records, seed=12345):
    """Short stitches in every direction, a jump every 50 records, a colour change every
    5,000, then the end mark (as bench_design's generated file)."""
    rng = random.Random(seed)
    out = bytearray(b"\x20" * 512)
    for i in range(records):
        r = rng.getrandbits(32)
        b2 = 0x03
        if i % 5000 == 4999:
            b2 = 0xC3
        elif i % 50 == 49:
            b2 = 0x83 | ((r >> 24) & 0x3C)
        out += bytes((r & 0xFF, (r >> 8) & 0xFF, b2))
    out += b"\x00\x00\xF3"
    with open(path, "wb") as f:
        f.write(out)


def run_ms(argv):
    """Wall time and CPU time (user + system) of one whole run, in ms."""
    start = time.perf_counter_ns()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = (time.perf_counter_ns() - start) / 1e6
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{argv[0]} failed with exit code {child.returncode}")
    return wall, (usage.ru_utime + usage.ru_stime) * 1e3


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(here, "..", "build-rel", "bin", "hoopwatch-cli"))
    parser.add_argument("--runs", type=int, default=41)
    parser.add_argument("--cc", default=os.environ.get("CC", "cc"))
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        sys.exit(f"no hoopwatch-cli at {args.cli} (build it, or pass --cli)")

    os.environ["HOOPWATCH_LOOPBACK_ONLY"] = "1"
    targets = {100_000: ("diff", 3.0), 2_000_000: ("ratio", 2.5)}
    missed = False
    with tempfile.TemporaryDirectory(prefix="hoopwatch-bench-") as tmp:
        source = os.path.join(tmp, "trivial.c")
        trivial = os.path.join(tmp, "trivial")
        with open(source, "w") as f:
            f.write(TRIVIAL_C)
        subprocess.run([args.cc, "-O2", "-o", trivial, source], check=True)
        print("median of %d runs each; wall time, then CPU time (user + system), in ms" % args.runs)
        print(f"{'records':>10} {'':>5} {'trivial':>8} {'info':>8} {'ratio':>6} {'diff':>7}  target")
        for records, (kind, limit) in targets.items():
            design = os.path.join(tmp, f"d{records}.dst")
            make_dst(design, records)
            commands = {"trivial": [trivial, design], "info": [args.cli, "info", design]}
            for argv in commands.values():  # warm the page cache and the dynamic loader
                run_ms(argv)
            times = {name: [] for name in commands}
            for _ in range(args.runs):
                for name, argv in commands.items():
                    times[name].append(run_ms(argv))
            for column, label in ((0, "wall"), (1, "cpu")):
                t = statistics.median(w[column] for w in times["trivial"])
                i = statistics.median(w[column] for w in times["info"])
                ratio, diff = i / t, i - t
                ok = ratio <= limit if kind == "ratio" else diff <= limit
                if column == 0:
                    missed |= not ok
                goal = f"ratio <= {limit}" if kind == "ratio" else f"diff <= {limit} ms"
                print(f"{records:>10} {label:>5} {t:>8.2f} {i:>8.2f} {ratio:>6.2f} {diff:>7.2f}  "
                      f"{goal}: {'ok' if ok else 'MISSED'}")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
