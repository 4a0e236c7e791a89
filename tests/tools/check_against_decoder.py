#!/usr/bin/env python3
"""Compares `hoopwatch-cli dump` and `info` with the independent decoder, record for record,
on seeded generated files of all four formats and on the real-world design files.

Usage: check_against_decoder.py CLI [--seed N] [--count N] [--seconds S] [--designs DIR]
Exit 0 when every file agrees, 1 on the first disagreement (printed), 2 on bad arguments.
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import generate_designs  # noqa: E402
import independent_decoder  # noqa: E402


def run(cli, *args):
    p = subprocess.run([cli, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def first_difference(a, b):
    al, bl = a.splitlines(), b.splitlines()
    for i in range(max(len(al), len(bl))):
        x = al[i] if i < len(al) else "<none>"
        y = bl[i] if i < len(bl) else "<none>"
        if x != y:
            return "line %d: cli %r, decoder %r" % (i + 1, x, y)
    return "no line differs"


def check_dump(cli, paths):
    """One `dump` over all paths; returns (problem text, path) or None."""
    rc, text = run(cli, "dump", *paths)
    if rc != 0:
        return "dump over %d files gave rc %d" % (len(paths), rc), paths[0]
    if len(paths) == 1:
        blocks = {paths[0]: text}
    else:
        blocks = {}
        current = None
        for line in text.splitlines(keepends=True):
            if line.startswith("file "):
                current = line[5:].rstrip("\n")
                blocks[current] = ""
            elif current is not None:
                blocks[current] += line
    for path in paths:
        expected = independent_decoder.dump_text(independent_decoder.decode_file(path))
        got = blocks.get(path, "")
        if got != expected:
            return "dump of %s: %s" % (path, first_difference(got, expected)), path
    return None


def check_info(cli, paths):
    rc, text = run(cli, "info", *paths)
    lines = text.splitlines()
    if rc != 0 or len(lines) != len(paths):
        return "info over %d files gave rc %d and %d lines" % (len(paths), rc, len(lines))
    for path, line in zip(paths, lines):
        out = independent_decoder.decode_file(path)
        expected = independent_decoder.summary_line(out.records)
        got = line.split("\t", 1)[1] if len(paths) > 1 else line
        if got != expected:
            return "info of %s: cli %r, decoder %r" % (path, got, expected)
    return None


def check_batch(cli, batch):
    """Dump and info over a batch of generated files; keeps a disagreeing file for study."""
    problem = check_dump(cli, batch)
    if problem:
        text, path = problem
        keep = os.path.join(tempfile.gettempdir(), "hoopwatch-disagreement-" + os.path.basename(path))
        with open(path, "rb") as src, open(keep, "wb") as dst:
            dst.write(src.read())
        print("DISAGREE %s (file kept as %s)" % (text, keep))
        return False
    problem = check_info(cli, batch)
    if problem:
        print("DISAGREE " + problem)
        return False
    for p in batch:
        os.remove(p)
    return True


def check_exit_codes(cli, tmp):
    """0 for a design, 1 for a file that cannot be read, 2 for an unknown suffix."""
    good = os.path.join(tmp, "ok.DST")
    with open(good, "wb") as f:
        f.write(bytes(512) + bytes((1, 0, 3)))
    other = os.path.join(tmp, "plot.dxf")
    with open(other, "wb") as f:
        f.write(bytes(600))
    folder = os.path.join(tmp, "folder.dst")
    os.mkdir(folder)
    missing = os.path.join(tmp, "missing.tbf")
    cases = [(("info", good), 0, "S:1  C:1  H:0  W:0  SEQ-0 A-0 B-0 C-0 D-0\n"),
             (("dump", good), 0, "10 0 0 0\nextents 0 0 10 0\n"),
             (("info", other), 2, ""), (("dump", other), 2, ""),
             (("info", missing), 1, ""), (("dump", folder), 1, ""),
             (("info", good, missing), 1, good + "\tS:1  C:1  H:0  W:0  SEQ-0 A-0 B-0 C-0 D-0\n"),
             (("dump",), 2, ""), (("info", "--help"), 0, None)]
    for args, want_rc, want_out in cases:
        rc, out = run(cli, *args)
        if rc != want_rc or (want_out is not None and out != want_out):
            return "%s gave rc %d and %r, expected rc %d and %r" % (
                " ".join(args), rc, out, want_rc, want_out)
    return None


def real_files(root):
    if not root or not os.path.isdir(root):
        return []
    found = []
    for base, _, names in os.walk(root):
        for name in sorted(names):
            if independent_decoder.decoder_for(name):
                found.append(os.path.join(base, name))
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("--seed", type=int, default=20261207)
    ap.add_argument("--count", type=int, default=4000)
    ap.add_argument("--seconds", type=float, default=30.0)
    ap.add_argument("--designs", default=os.environ.get("HOOPWATCH_DESIGNS_DIR", ""))
    args = ap.parse_args()
    if not os.access(args.cli, os.X_OK):
        print("no executable at %s" % args.cli)
        return 2

    with tempfile.TemporaryDirectory(prefix="hoopwatch-exit-") as tmp:
        problem = check_exit_codes(args.cli, tmp)
        if problem:
            print("DISAGREE " + problem)
            return 1

    real = real_files(args.designs)
    if real:
        problem = check_dump(args.cli, real[:1]) or check_dump(args.cli, real)
        if problem:
            print("DISAGREE " + problem[0])
            return 1
        problem = check_info(args.cli, real)
        if problem:
            print("DISAGREE " + problem)
            return 1

    rng = random.Random(args.seed)
    start = time.monotonic()
    checked = 0
    with tempfile.TemporaryDirectory(prefix="hoopwatch-decoders-") as tmp:
        batch = []
        while checked < args.count and time.monotonic() - start < args.seconds:
            fmt = generate_designs.FORMATS[checked % 4]
            name = "g%05d%s" % (checked, fmt.upper() if rng.random() < 0.2 else fmt)
            path = os.path.join(tmp, name)
            with open(path, "wb") as f:
                f.write(generate_designs.generate(rng, fmt))
            batch.append(path)
            checked += 1
            if len(batch) == 200:
                if not check_batch(args.cli, batch):
                    return 1
                batch = []
        if batch and not check_batch(args.cli, batch):
            return 1
    print("agree: %d real-world files and %d generated files (seed %d) in %.1f s"
          % (len(real), checked, args.seed, time.monotonic() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main())
