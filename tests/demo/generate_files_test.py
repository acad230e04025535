#!/usr/bin/env python3
"""Runs tavisor-generate (and the demo's generate command) on files a user
already has: replaced with their permissions and owner, refused where the
user may not write them, left as they were by a killed or interrupted run;
and on misuse of the command line.

Usage: generate_files_test.py CASE GENERATE_EXECUTABLE DEMO_EXECUTABLE DATA_DIR
"""
import csv
import io
import json
import os
import pty
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

from checks import bytes_written, check, fail

CASE = sys.argv[1]
GENERATE, DEMO, DATA = (os.path.abspath(a) for a in sys.argv[2:5])
WORK = tempfile.mkdtemp(prefix="generate-files-test-")
ROOT = os.geteuid() == 0
# As root the runs that must lack rights run as nobody; any other user
# lacks them itself.
AS_OTHER = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if ROOT else []


def path(name):
    return os.path.join(WORK, name)


def run(command, *args, cwd=WORK, **kwargs):
    return subprocess.run([*command, *args], cwd=cwd, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, **kwargs)


def write(name, data, mode=None):
    with open(path(name), "wb") as f:
        f.write(data)
    if mode is not None:
        os.chmod(path(name), mode)


def read(name):
    with open(path(name), "rb") as f:
        return f.read()


def leftovers():
    return [f for f in os.listdir(WORK) if ".tavisor-" in f]


def unnamed_files_here():
    """Whether the file system of WORK gives unnamed files (O_TMPFILE)."""
    try:
        os.close(os.open(WORK, os.O_TMPFILE | os.O_WRONLY, 0o600))
        return True
    except (AttributeError, OSError):
        return False


def start(*args):
    return subprocess.Popen([GENERATE, *args, "--data", DATA], cwd=WORK, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)


def wait_until_writing(process):
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and bytes_written(process.pid, WORK) < 2000000:
        check(process.poll() is None, "the run ended early")
        time.sleep(0.05)


PROGRAM = [GENERATE]

if CASE == "permissions":
    # The program and the lists where the other user may read them; the
    # directory writable by that user.
    os.chmod(WORK, 0o777)
    os.mkdir(path("data"))
    for name in ("Eesti linnud.txt", "Eesti omavalitsused.txt"):
        shutil.copy(os.path.join(DATA, name), path("data"))
    shutil.copy(GENERATE, path("generate"))
    other = [*AS_OTHER, path("generate")]
    nobody = (65534, 65534) if ROOT else (os.geteuid(), os.getegid())

    def other_owns(name, mode):
        write(name, b"old\n", mode)
        os.chown(path(name), *nobody)

    # A file the user may not write: refused as the shell refuses it,
    # naming it; --force replaces it, and it stays read-only.
    other_owns("ro.jsonl", 0o444)
    shell = run([*AS_OTHER, "sh", "-c", "echo x > ro.jsonl"])
    check(shell.returncode != 0, "the shell wrote a read-only file: the test cannot tell")
    result = run(other, "3", "--seed", "1", "-o", "ro.jsonl", "--data", path("data"))
    check(result.returncode == 1 and b'cannot replace "ro.jsonl": Permission denied' in
          result.stderr and b"--force" in result.stderr,
          "exit status %d: %s" % (result.returncode, result.stderr.decode()))
    check(read("ro.jsonl") == b"old\n" and not leftovers(), "the refused file changed")
    result = run(other, "3", "--seed", "1", "-o", "ro.jsonl", "--force", "--data", path("data"))
    check(result.returncode == 0, result.stderr.decode())
    check(read("ro.jsonl").count(b"\n") == 3, "--force did not replace the file")
    check(stat.S_IMODE(os.stat(path("ro.jsonl")).st_mode) == 0o444, "no longer read-only")
    # Another user replacing root's file that all may write cannot give it
    # to root: it becomes theirs, with the same permissions.
    if ROOT:
        write("shared.csv", b"old\n", 0o646)
        result = run(other, "3", "--seed", "1", "-o", "shared.csv", "--data", path("data"))
        check(result.returncode == 0, result.stderr.decode())
        status = os.stat(path("shared.csv"))
        check((status.st_uid, stat.S_IMODE(status.st_mode)) == (65534, 0o646),
              "owner, mode: %r" % (status,))
    else:
        print("not root: root's file replaced by another user is not checked")
    check(not leftovers(), "temporary files left")

elif CASE == "kill":
    # A run killed outright leaves the files as they were and nothing
    # beside them: on Linux at once, elsewhere after the next run.
    write("old.jsonl", b"old\n")
    process = start("10000000", "-o", "old.jsonl", "-o", "new.csv")
    wait_until_writing(process)
    process.kill()
    process.wait()
    check(read("old.jsonl") == b"old\n", "the killed run changed the file")
    if unnamed_files_here():
        check(sorted(os.listdir(WORK)) == ["old.jsonl"],
              "left by the killed run: %r" % os.listdir(WORK))
    result = run(PROGRAM, "3", "--seed", "1", "-o", "old.jsonl", "-o", "new.csv", "--data", DATA)
    check(result.returncode == 0, result.stderr.decode())
    check(sorted(os.listdir(WORK)) == ["new.csv", "old.jsonl"], "left: %r" % os.listdir(WORK))

elif CASE == "interrupt":
    # Ctrl-C: a file that was there stays as it was, unless --keep-partial;
    # a new file gets the whole records written. The last line says which.
    for keep in (False, True):
        write("old.jsonl", b"old\n")
        if os.path.exists(path("new.csv")):
            os.remove(path("new.csv"))
        process = start("10000000", "-o", "old.jsonl", "-o", "new.csv",
                        *(["--keep-partial"] if keep else []))
        wait_until_writing(process)
        process.send_signal(signal.SIGINT)
        _, err = process.communicate(timeout=60)
        check(process.returncode == 130, "exit status %d" % process.returncode)
        rows = list(csv.reader(io.StringIO(read("new.csv").decode("utf-8"))))
        check(len(rows) > 1 and rows[0][0] == "record", "new.csv holds no records")
        if keep:
            records = [json.loads(line) for line in read("old.jsonl").splitlines()]
            check(records and records[-1]["record"] == int(rows[-1][0]),
                  "the part written differs between the files")
            check(b'replaced by the part written: "old.jsonl"' in err, err.decode())
        else:
            check(read("old.jsonl") == b"old\n", "the interrupted run replaced the file")
            check(b'kept as it was (--keep-partial replaces it): "old.jsonl"' in err, err.decode())
        check(b'"new.csv"' not in err.split(b"(whole records only)")[1], err.decode())
    check(not leftovers(), "temporary files left")

elif CASE == "misuse":
    for args, status, message in (
            (["5", "--shard", "2/3"], 2, b"--shard needs --seed"),
            (["5", "-f", "csv", "-o", "a.jsonl"], 2, b'--output "a.jsonl": its extension ".jsonl"'),
            (["5", "-f", "csv", "-o", "a.csv", "-o", "b.json.gz"], 2, b'--output "b.json.gz"'),
            (["5", "-f", "text", "-o", "a.TXT"], 0, b"Wrote 5 records"),
            (["5", "-f", "jsonl", "-o", "a.ndjson", "-o", "a.dat"], 0, b"Wrote 5 records"),
            (["5", "--thread", "2"], 2, b"unknown option --thread: did you mean --threads?"),
            (["5", "--sede", "2"], 2, b"did you mean --seed?"),
            (["5", "--keep-parital"], 2, b"did you mean --keep-partial?"),
            (["5", "--forse"], 2, b"did you mean --force?"),
            (["5", "--bogus"], 2, b"The following argument was not expected: --bogus\n")):
        result = run(PROGRAM, *args, "--data", DATA)
        check(result.returncode == status and message in result.stderr,
              "%r: exit status %d, %s" % (args, result.returncode, result.stderr.decode()))
    result = run([DEMO, "generate"], "5", "--thread", "2", "--data", DATA)
    check(result.returncode == 2 and b"did you mean --threads?" in result.stderr,
          result.stderr.decode())
    # COUNT 0: the files of an empty run, as an empty first shard has them.
    forms = ("json", "csv", "jsonl", "txt")
    succeeds = run(PROGRAM, "0", "--seed", "1", *[a for f in forms for a in ("-o", "z." + f)],
                   "--data", DATA)
    check(succeeds.returncode == 0, succeeds.stderr.decode())
    check(json.loads(read("z.json")) == [], "not an empty JSON array: %r" % read("z.json"))
    check(read("z.csv").startswith(b"record,") and read("z.csv").count(b"\r\n") == 1,
          "not a header row alone: %r" % read("z.csv"))
    check(read("z.jsonl") == b"" and read("z.txt") == b"", "records in an empty run")
    run(PROGRAM, "2", "--seed", "1", "--shard", "1/3", "-o", "s.csv", "-o", "s.jsonl",
        "--data", DATA)
    check(read("s.csv") == read("z.csv") and read("s.jsonl") == b"", "an empty shard differs")
    # The test records need no lists: no line about them, even where there
    # are none, and no failure.
    alone = path("alone")
    os.mkdir(alone)
    for program in (GENERATE, DEMO):
        shutil.copy(program, alone)
    shutil.copy(os.path.join(os.path.dirname(DEMO), "libTavisor.so.1"), alone)
    for command in ([os.path.join(alone, os.path.basename(GENERATE))],
                    [os.path.join(alone, os.path.basename(DEMO)), "generate"]):
        result = run(command, "--test", "-q", "-o", "t.jsonl", cwd=alone)
        check(result.returncode == 0 and result.stderr.count(b"\n") == 1 and
              result.stderr.startswith(b"Wrote 17 records"),
              "%r: exit status %d, %s" % (command, result.returncode, result.stderr.decode()))

elif CASE == "terminal":
    # Records on the terminal that the bar would be drawn on: no bar. The
    # terminal stops taking records for longer than a bar waits to show,
    # during the first of two chunks of records (few: a terminal is slow).
    def through_terminal(records_too):
        main, side = pty.openpty()
        process = subprocess.Popen(
            [GENERATE, "1030", "--seed", "1", "-f", "text", "--data", DATA], cwd=WORK,
            stdout=side if records_too else subprocess.PIPE, stderr=side)
        os.close(side)
        time.sleep(1.3)
        shown = b""
        piped = process.stdout.read() if process.stdout else b""
        while True:
            try:
                piece = os.read(main, 65536)
            except OSError:  # the program ended: the terminal is closed
                break
            if not piece:
                break
            shown += piece
        os.close(main)
        process.wait(timeout=60)
        check(process.returncode == 0, "exit status %d" % process.returncode)
        return shown, piped

    shown, piped = through_terminal(False)
    check(b"\r[" in shown and piped.count(b"\n") > 1030,
          "no bar on the terminal while the records went elsewhere: the test cannot tell")
    shown, _ = through_terminal(True)
    check(shown.count(b"\n") > 1030, "the records did not come to the terminal")
    check(b"\r[" not in shown and b"records/s, " not in shown.split(b"Wrote 1030")[0],
          "a bar among the records")

elif CASE == "utf8":
    # The demo's --utf8 converts the text form on standard output, at the
    # prompt too; files keep their encoding.
    def demo(*args, stdin=None):
        result = run([DEMO, *args], input=stdin)
        check(result.returncode == 0, result.stderr.decode())
        return result.stdout

    windows = demo("generate", "--test", "-f", "text")
    converted = demo("--utf8", "generate", "--test", "-f", "text")
    check(converted == windows.decode("cp1252").encode("utf-8") and converted != windows,
          "--utf8 did not convert the text form on standard output")
    check(demo("generate", "--test", "-f", "text", "--utf8") == converted, "--utf8 after it")
    demo("--utf8", "generate", "--test", "-o", "t.txt")
    check(read("t.txt") == windows, "--utf8 changed the file")
    prompt = demo("--utf8", "-i", "--data", DATA,
                  stdin=b"generate --test -f text -q\nquit\n")
    check(converted in prompt, "--utf8 not honoured at the prompt")

elif CASE == "sync":
    # The data reaches the disk before the file takes its name, and the name
    # after it: fsync of the file, the rename, fsync of the directory, as
    # strace sees the program do them.
    if run(["strace", "-o", os.devnull, "true"]).returncode != 0:
        print("strace cannot trace here: not checked")
        sys.exit(77)
    write("a.jsonl", b"old\n")
    log = path("calls")
    # LeakSanitizer cannot run under a tracer: a sanitizer build checks its
    # leaks in the other cases.
    traced_env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
    result = run(["strace", "-f", "-o", log, "-e",
                  "trace=openat,open,fsync,fdatasync,linkat,rename,renameat,renameat2",
                  GENERATE], "3", "--seed", "1", "-o", "a.jsonl", "--data", DATA, env=traced_env)
    check(result.returncode == 0, result.stderr.decode())
    with open(log) as f:
        calls = [line.split(None, 1)[1].strip() for line in f if " " in line]
    opened = {}  # descriptor: what it was opened on, until opened again
    steps = []
    for call in calls:
        found = re.match(r'open(?:at)?\((?:AT_FDCWD, )?"([^"]*)", ([^,)]*).*\) = (\d+)$', call)
        if found:
            opened[found.group(3)] = (found.group(1), found.group(2))
        found = re.match(r"f(?:data)?sync\((\d+)\) += 0", call)
        if found:
            name, flags = opened.get(found.group(1), ("?", ""))
            steps.append("directory" if name == WORK and "O_TMPFILE" not in flags else "file")
        if re.match(r'rename(?:at2?)?\(.*"%s"' % re.escape(path("a.jsonl")), call):
            steps.append("rename")
    check(steps == ["file", "rename", "directory"], "fsync and rename: %r" % steps)

else:
    fail("unknown case " + CASE)

print("generate files %s: all checks passed" % CASE)
