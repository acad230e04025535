#!/usr/bin/env python3
"""tavisor-generate's databases, layouts and parts, read back by independent
readers: Python's sqlite3, json, csv and jsonschema modules.

Usage: generate_database_test.py CASE GENERATE_EXECUTABLE DATA_DIR
"""
import csv
import io
import json
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

from checks import bytes_written, check, fail

CASE = sys.argv[1]
GENERATE, DATA = (os.path.abspath(a) for a in sys.argv[2:4])
WORK = tempfile.mkdtemp(prefix="generate-database-test-")
# No job array around the runs unless a case sets one.
CLEAN_ENV = {k: v for k, v in os.environ.items()
             if not k.startswith("SLURM_") and k != "JOB_COMPLETION_INDEX"}


def run(*args, env=None):
    return subprocess.run([GENERATE, *args, "--data", DATA], cwd=WORK, env=env or CLEAN_ENV,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def succeeds(*args, env=None):
    result = run(*args, env=env)
    check(result.returncode == 0, "%s: exit status %d: %s" % (
        " ".join(args), result.returncode, result.stderr.decode(errors="replace")))
    return result


def refused(args, status, message, env=None):
    result = run(*args, env=env)
    check(result.returncode == status and message in result.stderr,
          "%s: exit status %d (not %d), said %r, not %r" % (
              " ".join(args), result.returncode, status, result.stderr, message))


def path(name):
    return os.path.join(WORK, name)


def write_bytes(name, data):
    with open(path(name), "wb") as f:
        f.write(data)


def contents(name):
    with open(path(name), "rb") as f:
        return f.read()


def dump(name):
    """The database's rows as the JSON Lines form has them, from its tables."""
    db = sqlite3.connect(path(name))
    records = {}
    for number, order, family, bird, rarity, common in db.execute(
            'SELECT record, "order", family, name, rarity, common FROM records ORDER BY record'):
        records[number] = {"record": number, "order": order, "family": family, "name": bird,
                           "rarity": rarity, "common": bool(common), "observations": []}
    for row in db.execute("SELECT * FROM observations ORDER BY record, observation"):
        (number, observation, municipality, lad, lam, las, lod, lom, los, lat, lon, date, tod,
         count) = row
        observations = records[number]["observations"]
        check(observation == len(observations) + 1, "observation %d of record %d out of order"
              % (observation, number))
        if municipality is not None:
            place = {"municipality": municipality}
            check((lad, lam, las, lod, lom, los, lat, lon) == (None,) * 8,
                  "a municipality with a position: %r" % (row,))
        else:
            place = {"latitude": [lad, lam, las], "longitude": [lod, lom, los],
                     "latitude_decimal": lat, "longitude_decimal": lon}
        observations.append({"place": place, "date": date, "time": tod, "count": count})
    db.close()
    return list(records.values())


def jsonl(name):
    return [json.loads(line) for line in contents(name).decode().splitlines()]


def tables(name):
    db = sqlite3.connect(path(name))
    found = sorted(db.execute("SELECT name, sql FROM sqlite_master"))
    db.close()
    return found


def interrupted_run(*args):
    """A long run stopped with SIGINT once it has written a while: a JSON Lines
    file beside the database shows how far it is."""
    process = subprocess.Popen([GENERATE, *args, "-o", "side.jsonl", "--data", DATA, "-q"],
                               cwd=WORK, env=CLEAN_ENV, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and bytes_written(process.pid, WORK) < 2000000:
        time.sleep(0.05)
    process.send_signal(signal.SIGINT)
    _, err = process.communicate(timeout=60)
    check(process.returncode == 128 + signal.SIGINT,
          "exit status %d after SIGINT: %s" % (process.returncode, err))
    check(b"Interrupted" in err and b"sqlite\" (left as it was)" in err and
          os.path.exists(path("side.jsonl")), err.decode())
    os.remove(path("side.jsonl"))


if CASE == "sqlite":
    # The same records, numbers and values as JSON Lines, in each name a
    # database takes; the test records too (one of them has no observations).
    succeeds("3000", "--seed", "11", "--threads", "2", "-o", "a.jsonl", "-o", "a.sqlite",
             "-o", "a.db", "-o", "a.sqlite3")
    expected = jsonl("a.jsonl")
    for name in ("a.sqlite", "a.db", "a.sqlite3"):
        check(dump(name) == expected, name + " differs from the JSON Lines records")
    succeeds("--test", "-o", "t.jsonl", "-o", "t.sqlite")
    check(dump("t.sqlite") == jsonl("t.jsonl"), "the test records differ")
    # The keys: a record's observations cannot name a record that is not there.
    db = sqlite3.connect(path("a.sqlite"))
    db.execute("PRAGMA foreign_keys = ON")
    check(db.execute("PRAGMA foreign_key_check").fetchall() == [], "foreign keys broken")
    for statement in ("INSERT INTO observations (record, observation, date, time) "
                      "VALUES (99999, 1, '2020-01-01', '00:00:00')",
                      "INSERT INTO observations (record, observation, date, time) "
                      "VALUES (1, 1, '2020-01-01', '00:00:00')",
                      "INSERT INTO records VALUES (1, 'a', 'b', 'c', 'A', 1)"):
        try:
            db.execute(statement)
            fail("the database took " + statement)
        except sqlite3.IntegrityError:
            pass
    db.close()
    # Replaced, not added to, without --append; no temporary file left, not
    # even the one a killed run left (a process id above any the system gives).
    write_bytes(".a.sqlite.tavisor-999999999-0", b"abandoned")
    succeeds("100", "--seed", "12", "-o", "a.sqlite")
    check(len(dump("a.sqlite")) == 100, "a.sqlite was not replaced")
    check(not [n for n in os.listdir(WORK) if n.startswith(".")], "temporary files left")

elif CASE == "sqlite_append":
    # Four parts appended to one database, in any order, are the whole run;
    # each part is also a database of its own.
    succeeds("2000", "--seed", "5", "-o", "whole.sqlite")
    for part in (3, 1, 4, 2):
        succeeds("2000", "--seed", "5", "--shard", "%d/4" % part, "--append", "-o", "one.sqlite",
                 "-o", "part-{shard}.sqlite")
    check(dump("one.sqlite") == dump("whole.sqlite"), "the appended parts differ from the run")
    check(sum(len(dump("part-%d.sqlite" % part)) for part in range(1, 5)) == 2000,
          "the parts' own databases do not hold the run")
    check(tables("one.sqlite") == tables("whole.sqlite"), "the schemas differ")
    before = contents("one.sqlite")
    # A part appended twice fails on its keys and leaves the database as it was.
    refused(["2000", "--seed", "5", "--shard", "2/4", "--append", "-o", "one.sqlite"], 1,
            b"UNIQUE constraint failed")
    check(contents("one.sqlite") == before, "a failed append changed the database")
    # A database of other tables is refused, and left alone.
    for name, sql in (("other.sqlite", "CREATE TABLE birds (name TEXT)"),
                      ("changed.sqlite", "CREATE TABLE records (record INTEGER PRIMARY KEY)")):
        db = sqlite3.connect(path(name))
        db.execute(sql)
        db.commit()
        db.close()
        kept = contents(name)
        refused(["10", "--seed", "1", "--append", "-o", name], 1,
                b"is not a database of these records")
        check(contents(name) == kept, name + " was changed")
    with open(path("not.db"), "wb") as f:
        f.write(b"plain text, not a database" * 100)
    refused(["10", "--seed", "1", "--append", "-o", "not.db"], 1, b"not.db")
    refused(["10", "--append", "-o", "a.jsonl"], 2, b"--append applies to SQLite databases")
    refused(["10", "-f", "sqlite"], 2, b"a SQLite database cannot go to standard output")
    refused(["10", "-o", "a.sqlite.gz"], 2, b"a database is not compressed")

elif CASE == "sqlite_interrupted":
    # Ctrl-C: a new database is not made, an appended one keeps what it had.
    succeeds("100000000", "--seed", "4", "--shard", "1/1000000", "-o", "kept.sqlite")
    before = contents("kept.sqlite")
    interrupted_run("100000000", "--seed", "4", "-o", "new.sqlite")
    check(not os.path.exists(path("new.sqlite")), "an interrupted run made new.sqlite")
    interrupted_run("100000000", "--seed", "4", "--shard", "2/2", "--append", "-o", "kept.sqlite")
    check(contents("kept.sqlite") == before, "an interrupted run changed kept.sqlite")
    check(not os.path.exists(path("kept.sqlite-journal")), "a journal was left")
    check(os.listdir(WORK) == ["kept.sqlite"], "files left: %r" % os.listdir(WORK))

elif CASE == "schema":
    import jsonschema
    # JSON: a valid draft 2020-12 schema that every record of both JSON forms
    # meets, and that a record with a field changed fails.
    schema = json.loads(succeeds("--schema", "jsonl").stdout)
    check(succeeds("--schema", "json").stdout == succeeds("--schema", "jsonl").stdout,
          "json and jsonl have different schemas")
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    succeeds("2000", "--seed", "8", "-o", "s.jsonl", "-o", "s.json", "-o", "s.csv",
             "-o", "s.sqlite")
    succeeds("--test", "-o", "t.jsonl")
    records = jsonl("s.jsonl") + json.loads(contents("s.json")) + jsonl("t.jsonl")
    for record in records:
        errors = list(validator.iter_errors(record))
        check(not errors, "record %s: %s" % (record["record"], errors[:1]))
    for change in ({"record": 0}, {"common": "yes"}, {"extra": 1},
                   {"observations": [{"place": {}, "date": "2020-01-01", "time": "00:00:00",
                                      "count": None}]}):
        check(not validator.is_valid(dict(records[0], **change)), "schema took %r" % change)
    # CSV: the columns in the order of the header row.
    layout = list(csv.reader(io.StringIO(succeeds("--schema", "csv").stdout.decode())))
    header = contents("s.csv").decode().split("\r\n", 1)[0].split(",")
    check(layout[0] == ["column", "type"] and [row[0] for row in layout[1:]] == header,
          "the CSV layout %r is not the header %r" % (layout, header))
    # SQL: the statements the database has, which make an empty one like it.
    sql = succeeds("--schema", "sql").stdout.decode()
    db = sqlite3.connect(path("empty.sqlite"))
    db.executescript(sql)
    db.close()
    check(tables("empty.sqlite") == tables("s.sqlite"), "the SQL is not the database's")
    succeeds("10", "--seed", "1", "--append", "-o", "empty.sqlite")

elif CASE == "csv_header":
    # first (default): only part 1 has the header, the parts concatenate to
    # the run; each: every part has it and reads alone; none: no part has it.
    succeeds("999", "--seed", "9", "-o", "whole.csv")
    whole = contents("whole.csv")
    header = whole.split(b"\r\n", 1)[0] + b"\r\n"
    for mode in ("first", "each", "none"):
        parts = []
        for part in (1, 2, 3):
            name = "%s-%d.csv" % (mode, part)
            succeeds("999", "--seed", "9", "--shard", "%d/3" % part, "--csv-header", mode,
                     "-o", name)
            parts.append(contents(name))
        starts = [p.startswith(header) for p in parts]
        check(starts == {"first": [True, False, False], "each": [True] * 3,
                         "none": [False] * 3}[mode], "%s: headers %r" % (mode, starts))
        rows = b"".join(p[len(header):] if s else p for p, s in zip(parts, starts))
        check(header + rows == whole, mode + ": the parts are not the run")
    for part in (1, 2, 3):
        read = list(csv.DictReader(io.StringIO(contents("each-%d.csv" % part).decode())))
        check(read and "record" in read[0], "each-%d.csv does not read alone" % part)

elif CASE == "shard_auto":
    # The part from the job array's environment, and {shard} in names.
    succeeds("1000", "--seed", "2", "-o", "whole.jsonl")
    whole = contents("whole.jsonl")
    slurm = dict(CLEAN_ENV, SLURM_ARRAY_TASK_MIN="0", SLURM_ARRAY_TASK_MAX="9",
                 SLURM_ARRAY_TASK_COUNT="10")
    joined = b""
    for task in range(10):
        succeeds("1000", "--seed", "2", "--shard", "auto", "-o", "s-{shard}.jsonl",
                 env=dict(slurm, SLURM_ARRAY_TASK_ID=str(task)))
    names = sorted(n for n in os.listdir(WORK) if n.startswith("s-"))
    check(names == ["s-%02d.jsonl" % i for i in range(1, 11)], "names %r" % names)
    joined = b"".join(contents(n) for n in names)
    check(joined == whole, "the Slurm parts are not the run")
    joined = b""
    for index in range(3):
        succeeds("1000", "--seed", "2", "--shard", "auto/3", "-o", "k{shard}.jsonl",
                 env=dict(CLEAN_ENV, JOB_COMPLETION_INDEX=str(index)))
        joined += contents("k%d.jsonl" % (index + 1))
    check(joined == whole, "the Kubernetes parts are not the run")
    succeeds("10", "--seed", "2", "--shard", "3/12", "-o", "p{shard}-{shard}.jsonl")
    check(os.path.exists(path("p03-03.jsonl")), "{shard} not replaced everywhere")
    for env, args, message in (
            ({}, ["--shard", "auto"], b"not in a job array"),
            ({"SLURM_JOB_ID": "7"}, ["--shard", "auto"], b"not in a job array"),
            ({"JOB_COMPLETION_INDEX": "0"}, ["--shard", "auto"], b"--shard auto/N"),
            ({"JOB_COMPLETION_INDEX": "3"}, ["--shard", "auto/3"], b"is not below"),
            ({"SLURM_ARRAY_TASK_ID": "1", "SLURM_ARRAY_TASK_MIN": "1",
              "SLURM_ARRAY_TASK_MAX": "7", "SLURM_ARRAY_TASK_COUNT": "3"},
             ["--shard", "auto"], b"--array=FIRST-LAST"),
            ({"SLURM_ARRAY_TASK_ID": "2", "SLURM_ARRAY_TASK_MIN": "1",
              "SLURM_ARRAY_TASK_MAX": "4"}, ["--shard", "auto/5"], b"array of 4 tasks"),
            ({"SLURM_ARRAY_TASK_ID": "x"}, ["--shard", "auto"], b"SLURM_ARRAY_TASK_ID"),
            ({}, ["--shard", "auto/0"], b"auto/N")):
        refused(["10", "--seed", "1", *args, "-o", "r.jsonl"], 2, message,
                env=dict(CLEAN_ENV, **env))
    # A stepped array: tasks 10, 15, 20 are parts 1 to 3.
    stepped = dict(CLEAN_ENV, SLURM_ARRAY_TASK_ID="15", SLURM_ARRAY_TASK_MIN="10",
                   SLURM_ARRAY_TASK_MAX="20", SLURM_ARRAY_TASK_STEP="5")
    succeeds("1000", "--seed", "2", "--shard", "auto", "-o", "st{shard}.jsonl", env=stepped)
    succeeds("1000", "--seed", "2", "--shard", "2/3", "-o", "st.jsonl")
    check(contents("st2.jsonl") == contents("st.jsonl"), "the stepped array's part differs")

else:
    fail("unknown case " + CASE)

shutil.rmtree(WORK)
