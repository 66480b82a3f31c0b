#!/usr/bin/env python3
"""Runs tavirlen on mutated pedigree files and checks what every run did.

Seeds are the pedigree files of examples/ and tests/data/, and the real data
files when the folder is there. Each input is a seed with one to three
mutations (byte flips, dropped or repeated lines, swapped fields, letters,
huge numbers, blank lines, line-end changes, a byte-order mark, text ids,
truncation), run in one of the modes with --quiet --seed N in a folder of its
own. A run fails when it:
  - dies on a signal, or prints a sanitizer report;
  - outlives the timeout;
  - exits with another status than 0 (or 3 in mode i, at a Mendelian
    inconsistency, with its line on standard error);
  - leaves a family of the input without a row in PREFIX.summary.tsv and
    unnamed in any message. A family of the input is a run of consecutive
    lines with one family id (as the reader compares them: a 32-bit number
    by value, anything else as text), up to the first blank line.
Failing inputs are kept with their output under --keep.

  mutate.py --tavirlen build-asan/tavirlen --count 10000 --keep findings
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SEPARATORS = re.compile(rb"[ ,\t]+")
SANITIZER = re.compile(rb"Sanitizer|runtime error:|LeakSanitizer|SUMMARY: ")
MODES = "btclmin"
# Mode i solves each family with an outside solver; fewer and smaller inputs.
WEIGHTS = {"b": 3, "t": 2, "c": 3, "l": 3, "m": 3, "i": 1, "n": 2}
MAX_BYTES = {"i": 12000}
DEFAULT_MAX_BYTES = 60000


def seed_files(realdata):
    names = [ROOT / "examples/family.txt", ROOT / "examples/family.ped", ROOT / "tests/data/vcf/family.ped"]
    for folder in ("phasing", "ilp", "constraints", "memberdp"):
        names += sorted((ROOT / "tests/data" / folder).glob("*.txt"))
    if realdata.is_dir():
        names += sorted(p for p in realdata.iterdir() if p.is_file() and p.name != "SOURCES.md")
    return [p.read_bytes() for p in names]


def split_lines(data):
    """Lines as the reader sees them: a byte-order mark skipped, and "\\n",
    "\\r\\n" or a lone "\\r" ending a line."""
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    return re.split(rb"\r\n|\r|\n", data)


def family_key(field):
    if re.fullmatch(rb"[+-]?[0-9]+", field) and -2**31 <= int(field) < 2**31:
        return str(int(field)).encode()
    return field


def input_families(data):
    """The family ids of the input's families, in order (an id twice when
    it starts two separate runs of lines)."""
    families = []
    for line in split_lines(data):
        fields = [f for f in SEPARATORS.split(line) if f]
        if not fields:
            break
        key = family_key(fields[0])
        if not families or families[-1] != key:
            families.append(key)
    return families


# Mutations: each takes the data and the generator and returns new data.
def flip_byte(d, r):
    if not d:
        return d
    k = r.randrange(len(d))
    return d[:k] + bytes([r.randrange(256)]) + d[k + 1:]


def lines_op(op):
    def mutate(d, r):
        lines = d.split(b"\n")
        if len(lines) < 2:
            return d
        k = r.randrange(len(lines) - 1)
        if op == "drop":
            del lines[k]
        elif op == "repeat":
            lines.insert(k, lines[k])
        elif op == "blank":
            lines.insert(k, r.choice([b"", b" \t ", b",", b"\r"]))
        return b"\n".join(lines)
    return mutate


def field_op(make):
    def mutate(d, r):
        lines = d.split(b"\n")
        k = r.randrange(len(lines))
        fields = lines[k].split(b" ") if b"\t" not in lines[k] else lines[k].split(b"\t")
        if len(fields) < 2:
            return d
        fields = make(fields, r)
        lines[k] = (b"\t" if b"\t" in lines[k] else b" ").join(fields)
        return b"\n".join(lines)
    return mutate


def swap_fields(fields, r):
    i, j = r.randrange(len(fields)), r.randrange(len(fields))
    fields[i], fields[j] = fields[j], fields[i]
    return fields


def set_field(choices, first=0, last=None):
    def make(fields, r):
        end = len(fields) if last is None else min(last, len(fields))
        fields[r.randrange(first, max(first + 1, end)) % len(fields)] = r.choice(choices)
        return fields
    return make


LETTERS = [b"X", b"N", b"a", b"G", b".", b"-", b"1.5", b"12x", b"nan", b"0x1F", b"\xc3\xa9"]
HUGE = [b"99999999999", b"2147483647", b"2147483648", b"-2147483648", b"-2147483649", b"-1", b"0",
        b"1e9", b"00000000000000000000000000000001", b"9" * 40]
TEXT_IDS = [b"Mac10_22", b"MM1662-002", b"fam-A", b"x", b"0", b"-7", b"007", b"+3", b"1"]


def line_ends(d, r):
    d = d.replace(b"\r\n", b"\n")
    return d.replace(b"\n", r.choice([b"\r\n", b"\r", b"\n\r"]))


def with_bom(d, r):
    return b"\xef\xbb\xbf" + d


def truncate(d, r):
    return d[:r.randrange(len(d) + 1)]


MUTATIONS = [flip_byte, lines_op("drop"), lines_op("repeat"), lines_op("blank"),
             field_op(swap_fields), field_op(set_field(LETTERS, 4)), field_op(set_field(HUGE)),
             field_op(set_field(TEXT_IDS, 0, 4)), line_ends, with_bom, truncate]


def window(data, limit, r):
    """A run of whole lines of a large seed, at most `limit` bytes."""
    if len(data) <= limit:
        return data
    lines = data.splitlines(keepends=True)
    start = r.randrange(len(lines))
    out = b""
    for line in lines[start:]:
        if len(out) + len(line) > limit:
            break
        out += line
    return out


def markerdist(r):
    values = [b"0.05", b"0.1", b"1e-5", b"0.5", b"0.6", b"0", b"0.1abc", b"0x0.1p0", b"-0.1", b"", b"nan"]
    return b"\n".join(r.choice(values[:4] if r.random() < 0.7 else values) for _ in range(r.randrange(1, 40)))


def make_input(seeds, mode, r):
    data = window(r.choice(seeds), MAX_BYTES.get(mode, DEFAULT_MAX_BYTES), r)
    for _ in range(r.randint(1, 3)):
        data = r.choice(MUTATIONS)(data, r)
    return data


def check_run(number, mode, job_seed, seeds, args):
    """Builds input `number` from its own generator (so it can be made again
    from the run's seed) and runs it; the failure, or None."""
    r = random.Random(job_seed)
    data = make_input(seeds, mode, r)
    work = Path(tempfile.mkdtemp(prefix="tavirlen-mutate-"))
    try:
        (work / "in.txt").write_bytes(data)
        if mode == "i" and r.random() < 0.3:
            (work / "markerdist.txt").write_bytes(markerdist(r))
        command = [args.tavirlen, "-" + mode, "in.txt", "--quiet", "--seed", str(number), "--out", "r"]
        env = dict(os.environ, TMPDIR=str(work), ASAN_OPTIONS="detect_leaks=1", UBSAN_OPTIONS="print_stacktrace=1")
        try:
            run = subprocess.run(command, cwd=work, env=env, capture_output=True, timeout=args.timeout)
        except subprocess.TimeoutExpired as expired:
            return keep(args, number, mode, work, "hang", expired.stdout or b"", expired.stderr or b"")
        problem = judge(mode, data, run, work)
        if problem:
            return keep(args, number, mode, work, problem, run.stdout, run.stderr)
        return None
    finally:
        shutil.rmtree(work, ignore_errors=True)


def judge(mode, data, run, work):
    if run.returncode < 0:
        return "signal %d" % -run.returncode
    if SANITIZER.search(run.stderr):
        return "sanitizer report"
    mendel_stop = mode == "i" and run.returncode == 3 and b"Mendelian inconsistency" in run.stderr
    if run.returncode != 0 and not mendel_stop:
        return "exit status %d" % run.returncode
    summary = work / "r.summary.tsv"
    if not summary.exists():
        return "no summary table"
    rows = {}
    for line in summary.read_bytes().split(b"\n")[1:]:
        if line:
            key = family_key(line.split(b"\t")[0])
            rows[key] = rows.get(key, 0) + 1
    messages = run.stdout + b"\n" + run.stderr
    seen = {}
    for family in input_families(data):
        seen[family] = seen.get(family, 0) + 1
        if seen[family] <= rows.get(family, 0):
            continue
        named = re.search(rb"(?:[Ff]amily|[Pp]edigree)(?: ID:?)? " + re.escape(family) + rb"(?![\w-])", messages)
        if not named:
            return "family %s is neither in the summary nor named" % family.decode("latin-1")
    return None


def keep(args, number, mode, work, problem, stdout, stderr):
    if args.keep:
        folder = Path(args.keep) / ("%06d-%s" % (number, mode))
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(work, folder)
        (folder / "stdout").write_bytes(stdout)
        (folder / "stderr").write_bytes(stderr)
        (folder / "problem").write_text("%s\ntavirlen -%s in.txt --quiet --seed %d --out r\n" % (problem, mode, number))
    return "%d (mode %s): %s" % (number, mode, problem)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tavirlen", required=True)
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--modes", default=MODES)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", help="folder for failing inputs")
    parser.add_argument("--realdata", default=str(ROOT.parent / "shared/realdata"))
    parser.add_argument("--small", action="store_true", help="seeds from examples/ and tests/data/ only")
    args = parser.parse_args()
    args.tavirlen = str(Path(args.tavirlen).resolve())

    seeds = seed_files(Path("/nonexistent") if args.small else Path(args.realdata))
    r = random.Random(args.seed)
    modes = [m for m in args.modes for _ in range(WEIGHTS.get(m, 1))]
    jobs = [(number, r.choice(modes), r.randrange(2**32)) for number in range(1, args.count + 1)]

    counts = {m: 0 for m in args.modes}
    failures = []
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        runs = pool.map(lambda job: check_run(*job, seeds, args), jobs)
        for (number, mode, _), failure in zip(jobs, runs):
            counts[mode] += 1
            if failure:
                failures.append(failure)
                print("FAIL " + failure, flush=True)
    print("%d inputs (%s): %d failed" % (len(jobs), ", ".join("%s %d" % kv for kv in counts.items()), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
