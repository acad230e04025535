#!/usr/bin/env python3
"""Runs tavisor-generate and reads what it wrote with readers of other
makers: a JSON document longer than a chunk through Python's json module,
.gz files through gzip, zcat and Python's gzip module (each checks every
member's CRC-32 and length), .zst files through the zstd command (which
checks every frame's checksum and size).

Usage: generate_readers_test.py CASE GENERATE_EXECUTABLE DATA_DIR
"""
import atexit
import gzip
import json
import os
import shutil
import subprocess
import sys
import tempfile

from checks import check, fail

CASE = sys.argv[1]
GENERATE, DATA = (os.path.abspath(a) for a in sys.argv[2:4])
WORK = tempfile.mkdtemp(prefix="generate-readers-test-")
atexit.register(shutil.rmtree, WORK, ignore_errors=True)
# More records than a chunk of 1,024 holds, and a part of one at the end.
RECORDS = 3000


def run(command, *args, status=0):
    result = subprocess.run([*command, *args], cwd=WORK, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    check(result.returncode == status, "%s %s: exit status %d: %s" % (
        command[0], " ".join(args), result.returncode, result.stderr.decode(errors="replace")))
    return result


def generate(*args, status=0):
    return run([GENERATE], *args, "--data", DATA, "-q", status=status)


def path(name):
    return os.path.join(WORK, name)


def contents(name):
    with open(path(name), "rb") as f:
        return f.read()


def read_by_all(name):
    """The text of a compressed file, as every reader at hand reads it; they
    must agree."""
    if name.endswith(".gz"):
        run(["gzip", "-t"], name)
        text = run(["zcat"], name).stdout
        with gzip.open(path(name), "rb") as f:
            check(f.read() == text, name + ": Python's gzip and zcat differ")
    elif name.endswith(".zst"):
        run(["zstd", "-t", "-q"], name)
        text = run(["zstd", "-d", "-c", "-q"], name).stdout
    else:
        fail("not a compressed file: " + name)
    return text


if CASE == "json_array":
    # One JSON document over several chunks, made by 1 and by 2 threads: a
    # record at a chunk's start without its comma makes it no JSON at all.
    documents = []
    for threads in ("1", "2"):
        generate(str(RECORDS), "--seed", "5", "--threads", threads, "-o", "t%s.json" % threads,
                 "-o", "t%s.jsonl" % threads)
        with open(path("t%s.json" % threads), encoding="utf-8") as f:
            document = json.load(f)
        check([r["record"] for r in document] == list(range(1, RECORDS + 1)),
              "%s threads: records %r..." % (threads, [r["record"] for r in document][:5]))
        lines = contents("t%s.jsonl" % threads).decode("utf-8").split("\n")[:-1]
        check(document == [json.loads(line) for line in lines],
              "%s threads: the JSON document is not the JSON Lines' records" % threads)
        documents.append(contents("t%s.json" % threads))
    check(documents[0] == documents[1], "the JSON document differs with 2 threads")

elif CASE == "compressed":
    # Both compressions at 1 and 2 threads, and at the ends of their ranges:
    # the same bytes whatever the threads, the plain file's text whatever
    # the level, each read by every reader.
    forms = ("jsonl", "csv", "json")
    for threads in ("1", "2"):
        generate(str(RECORDS), "--seed", "9", "--threads", threads,
                 *[arg for form in forms for ext in ("", ".gz", ".zst")
                   for arg in ("-o", "t%s.%s%s" % (threads, form, ext))])
    for form in forms:
        for ext in (".gz", ".zst"):
            name = "t1.%s%s" % (form, ext)
            check(contents(name) == contents("t2.%s%s" % (form, ext)),
                  name + " differs with 2 threads")
            check(read_by_all(name) == contents("t1." + form), name + " is not the plain text")
    # A member or frame per chunk: the gzip magic recurs (a sign of several
    # members, not a proof), and each chunk alone is a whole file.
    check(contents("t1.jsonl.gz").count(b"\x1f\x8b\x08\x00\x00\x00\x00\x00") >= 3,
          "fewer gzip members than chunks")
    zstd_list = run(["zstd", "-l", "-v"], "t1.jsonl.zst").stdout.decode()
    check("# Zstandard Frames: 3" in zstd_list, "not a zstd frame per chunk: " + zstd_list)
    # The highest levels are slow: two chunks' worth, the start of the same run.
    start = b"\n".join(contents("t1.jsonl").split(b"\n")[:1100]) + b"\n"
    sizes = {}
    for level in ("1", "12", "19"):
        outputs = ["-o", "l.jsonl.zst"] + (["-o", "l.jsonl.gz"] if level != "19" else [])
        generate("1100", "--seed", "9", "--level", level, *outputs)
        check(read_by_all("l.jsonl.zst") == start, "zstd level " + level)
        sizes["zst", level] = len(contents("l.jsonl.zst"))
        if level != "19":
            check(read_by_all("l.jsonl.gz") == start, "gzip level " + level)
            sizes["gz", level] = len(contents("l.jsonl.gz"))
    check(sizes["zst", "1"] > sizes["zst", "12"] > sizes["zst", "19"] and
          sizes["gz", "1"] > sizes["gz", "12"], "--level does not change the sizes: %r" % sizes)
    # Shards' compressed files, joined, are one file of the whole run's
    # text; an empty part is an empty member or frame, which readers take.
    for part in (1, 2, 3):
        generate(str(RECORDS), "--seed", "9", "--shard", "%d/3" % part, "-o", "s%d.csv.gz" % part,
                 "-o", "s%d.csv.zst" % part)
    for ext in (".gz", ".zst"):
        with open(path("s" + ext), "wb") as joined:
            for part in (1, 2, 3):
                joined.write(contents("s%d.csv%s" % (part, ext)))
        check(read_by_all("s" + ext) == contents("t1.csv"), "joined shards " + ext)
    generate("1", "--seed", "9", "--shard", "1/2", "-o", "e.jsonl.gz", "-o", "e.jsonl.zst")
    check(read_by_all("e.jsonl.gz") == b"" and read_by_all("e.jsonl.zst") == b"", "empty part")
    # Levels out of a compression's range, or with nothing to compress.
    for args, message in ((["--level", "13", "-o", "x.jsonl.gz"], b".gz files take levels 1 to "),
                          (["--level", "20", "-o", "x.jsonl.zst"], b"not in the range 1 to 19"),
                          (["--level", "3", "-o", "x.jsonl"], b"--level applies to compressed")):
        result = generate("10", *args, status=2)
        check(message in result.stderr, "%r: %s" % (args, result.stderr))
        check(not os.path.exists(path(args[-1])), "%r wrote a file" % args)

else:
    fail("unknown case " + CASE)

print("generate readers %s: all checks passed" % CASE)
