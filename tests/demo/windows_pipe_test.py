#!/usr/bin/env python3
"""generate's standard output on a Windows pipe, in the Windows build under
Wine. A whole run gives the pipe what it gives a file. Ctrl-C (Wine turns
SIGINT into the console's Ctrl-C) while the pipe is full and nobody reads it
ends the run all the same, once the pipe has had its grace to take the rest,
as on Linux (exit status 130, "Interrupted"): the file beside the pipe holds
the records that the pipe got whole, and the pipe holds nothing more but part
of one record at most.

Usage: windows_pipe_test.py RUN_ON_WINDOWS_PIPE_EXE DEMO_EXE EMULATOR...
"""
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

RUN_ON_PIPE, DEMO = sys.argv[1], sys.argv[2]
EMULATOR = sys.argv[3:]
WORK = tempfile.mkdtemp(prefix="tavisor-windows-interrupt-")
NAME = "interrupt-%d.jsonl" % os.getpid()  # also finds the program among the processes
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def line_within(stream, seconds):
    ready, _, _ = select.select([stream], [], [], seconds)
    return stream.readline().decode().strip() if ready else None


def program_pid():
    """The process of the program, which Wine starts apart from its parent."""
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                words = f.read().split(b"\0")
        except (OSError, ValueError):
            continue
        if NAME.encode() in words and not any(b"run_on_windows_pipe" in w for w in words):
            return int(entry)
    return None


def wait_for(found, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if found():
            return True
        time.sleep(0.05)
    return False


def contents(name):
    path = os.path.join(WORK, name)
    if not os.path.exists(path):
        return b""
    with open(path, "rb") as f:
        return f.read()


# A whole run: the pipe, read all the while, gets what the file gets.
run = subprocess.run(EMULATOR + [RUN_ON_PIPE, "whole-piped.jsonl", DEMO, "generate", "3000",
                                 "--seed", "7", "-o", "-", "-o", "whole.jsonl"], cwd=WORK,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
check(run.stdout.split() == [b"started", b"exit", b"0"], run.stdout.decode() + run.stderr.decode())
whole = contents("whole.jsonl")
check(len(whole.splitlines()) == 3000 and contents("whole-piped.jsonl") == whole,
      "%d bytes in the file, %d through the pipe" % (len(whole),
                                                     len(contents("whole-piped.jsonl"))))

# Ctrl-C while the pipe is full.
parent = subprocess.Popen(EMULATOR + [RUN_ON_PIPE, "--stalled", "piped.jsonl", DEMO, "generate",
                                      "1000000", "-o", "-", "-o", NAME], cwd=WORK,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
pid = None
try:
    check(line_within(parent.stdout, 30) == "started", "the program did not start")
    # The run is writing once its file exists under the temporary name; the
    # pipe is full a moment later.
    writing = wait_for(lambda: any(f.startswith("." + NAME) for f in os.listdir(WORK)), 30)
    check(writing, "the run did not start writing")
    time.sleep(1)
    pid = program_pid()
    check(pid is not None, "the program's process not found")
    if pid is not None and writing:
        os.kill(pid, signal.SIGINT)
        started = time.monotonic()
        ended = line_within(parent.stdout, 5)
        took = time.monotonic() - started
        print("ended %.3f s after Ctrl-C" % took)
        check(ended == "exit 130", "the program ended with %r" % ended)
        # The pipe gets a little while to take the rest, as elsewhere.
        check(0.35 < took < 1.5, "ended %.3f s after Ctrl-C" % took)
finally:
    if parent.poll() is None and pid is not None and failures:
        os.kill(pid, signal.SIGKILL)  # the program this test started, stuck
    _, err = parent.communicate(timeout=30)


err = err.decode(errors="replace")
file_bytes, piped = contents(NAME), contents("piped.jsonl")
records = [json.loads(line) for line in file_bytes.splitlines()]
check(len(records) > 0, "no records in the file")
check("Interrupted: %d records" % len(records) in err and "whole records only" in err, err)
check(": %d bytes to standard output" % len(piped) in err, "the bytes sent miscounted")
# What the pipe got whole is the file; after it comes part of a record at most.
check(piped.startswith(file_bytes) and b"\n" not in piped[len(file_bytes):],
      "%d bytes in the file, %d through the pipe" % (len(file_bytes), len(piped)))
check(not [f for f in os.listdir(WORK) if ".tavisor-" in f], "temporary files left")
shutil.rmtree(WORK)

for message in failures:
    print("FAIL:", message)
print(err)
sys.exit(1 if failures else 0)
