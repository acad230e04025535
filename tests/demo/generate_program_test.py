#!/usr/bin/env python3
"""Runs tavisor-generate itself: the same files as `tavisor-demo generate`
for the same arguments, its own command line, and the library loaded for
--test only.

Usage: generate_program_test.py CASE GENERATE_EXECUTABLE DEMO_EXECUTABLE DATA_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

from checks import check, fail

CASE = sys.argv[1]
GENERATE, DEMO, DATA = (os.path.abspath(a) for a in sys.argv[2:5])
WORK = tempfile.mkdtemp(prefix="generate-program-test-")


def run(command, *args, env=None, cwd=WORK):
    return subprocess.run([*command, *args], cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)


def succeeds(command, *args, env=None, cwd=WORK):
    result = run(command, *args, env=env, cwd=cwd)
    check(result.returncode == 0, "%s: exit status %d: %s" % (
        " ".join(args), result.returncode, result.stderr.decode(errors="replace")))
    return result


def contents(name):
    with open(os.path.join(WORK, name), "rb") as f:
        return f.read()


def loads_library(result):
    """Whether the run opened the library (glibc's LD_DEBUG=files names every
    object the dynamic loader maps, dlopen included)."""
    return b"libTavisor" in result.stderr


PROGRAM = [GENERATE]
DEMO_GENERATE = [DEMO, "generate"]
DEBUG_LOADS = dict(os.environ, LD_DEBUG="files")

if CASE == "same_as_demo":
    # The same arguments give the same bytes through either program; in every
    # form, on several threads, for a shard, and for the test records.
    forms = ("jsonl", "json", "csv", "txt", "csv.gz")
    for prefix, command in (("g", PROGRAM), ("d", DEMO_GENERATE)):
        outputs = [arg for form in forms for arg in ("-o", "%s.%s" % (prefix, form))]
        succeeds(command, "2500", "--seed", "42", "--threads", "3", *outputs, "--data", DATA)
        succeeds(command, "2500", "--seed", "42", "--shard", "2/3", "-o", prefix + "-s.csv",
                 "--data", DATA)
        succeeds(command, "--test", "-o", prefix + "-t.jsonl", "-o", prefix + "-t.txt")
    for name in [*("." + form for form in forms), "-s.csv", "-t.jsonl", "-t.txt"]:
        check(contents("g" + name) == contents("d" + name), "g%s and d%s differ" % (name, name))
    check(contents("g.jsonl").count(b"\n") == 2500, "not 2500 records")
    check(contents("g-t.jsonl").count(b"\n") == 17, "not the 17 test records")
    # Standard output, and the last line that tells how to repeat the run.
    result = succeeds(PROGRAM, "300", "--seed", "7", "--data", DATA)
    check(result.stdout == succeeds(DEMO_GENERATE, "300", "--seed", "7", "--data", DATA).stdout,
          "standard output differs")
    check(result.stderr.decode().strip().endswith("; seed 7: repeat with --seed 7"),
          result.stderr.decode())

elif CASE == "command_line":
    for args, status, message in (
            (["--help"], 0, b"Usage: tavisor-generate [OPTIONS] [COUNT]"),
            (["--help"], 0, b"tavisor-generate --test --format text --encoding utf-8"),
            (["--version"], 0, b"tavisor-generate "),
            ([], 2, b"tavisor-generate: give a COUNT of random records, or --test"),
            (["5", "--test"], 2, b"tavisor-generate: COUNT excludes --test"),
            (["5", "--threads", "65"], 2, b"--threads: 65 is not in the range 1 to 64"),
            (["5", "-o", "a.xml"], 2, b"unknown extension \".xml\""),
            (["--test", "--seed", "1"], 2, b"--seed and --shard apply to random records"),
            (["5", "--data", os.path.join(WORK, "none")], 1,
             b"tavisor-generate: no random records without the reference lists")):
        result = run(PROGRAM, *args)
        said = result.stdout + result.stderr
        check(result.returncode == status and message in said,
              "%r: exit status %d, %s" % (args, result.returncode, said.decode()))
        if status == 2:
            check(b'Run "tavisor-generate --help" for the usage' in said, said.decode())
    # Without --data it finds the bundled lists, as the demo does.
    result = succeeds(PROGRAM, "3", "--seed", "1")
    check(result.stdout.count(b"\n") == 3 and b"Reference lists loaded from" in result.stderr,
          result.stderr.decode())

elif CASE == "library_for_test_only":
    # Random records: no library, not even a wrong one named on the command
    # line. The test records: the library, named or found beside the program.
    none = os.path.join(WORK, "libNone.so")
    result = succeeds(PROGRAM, "100", "--seed", "5", "--library", none, "--data", DATA,
                      env=DEBUG_LOADS)
    check(not loads_library(result) and b"libNone" not in result.stderr,
          "random records tried to load the library: " + result.stderr.decode()[-2000:])
    result = succeeds(PROGRAM, "--test", env=DEBUG_LOADS)
    check(loads_library(result) and b"Tavisor library loaded from" in result.stderr,
          "--test without the library: " + result.stderr.decode(errors="replace")[-2000:])
    result = run(PROGRAM, "--test", "--library", none)
    check(result.returncode == 1 and ('"%s" cannot be loaded' % none).encode() in result.stderr,
          result.stderr.decode())
    # A copy of the program alone in a directory, started there with the
    # lists beside it: random records all the same.
    alone = os.path.join(WORK, "alone")
    os.mkdir(alone)
    shutil.copy2(GENERATE, alone)
    for name in ("Eesti linnud.txt", "Eesti omavalitsused.txt"):
        shutil.copy2(os.path.join(DATA, name), alone)
    env = dict(DEBUG_LOADS, LD_LIBRARY_PATH=alone)
    result = succeeds([os.path.join(alone, os.path.basename(GENERATE))], "50", "--seed", "5",
                      "-o", "alone.jsonl", env=env, cwd=alone)
    check(not loads_library(result), "the copy loaded the library")
    succeeds(PROGRAM, "50", "--seed", "5", "-o", "here.jsonl", "--data", DATA)
    with open(os.path.join(alone, "alone.jsonl"), "rb") as f:
        check(f.read() == contents("here.jsonl"), "the copy made other records")

else:
    fail("unknown case " + CASE)

print("tavisor-generate %s: all checks passed" % CASE)
