#!/usr/bin/env python3
"""Runs `tavisor-demo generate` and reads its files back with Python's own
json and csv modules, field by field against the Estonian text form of the
same records (written by the library's print-out code in the same run).

Usage: generate_test.py CASE DEMO_EXECUTABLE DATA_DIR
"""
import csv
import gzip
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

from checks import bytes_written, check, fail

CASE, DEMO, DATA = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
WORK = tempfile.mkdtemp(prefix="generate-test-")


def run(*args, data=DATA):
    result = subprocess.run([DEMO, "generate", *args, "--data", data], cwd=WORK,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    check(result.returncode == 0,
          "exit status %d: %s" % (result.returncode, result.stderr.decode(errors="replace")))
    return result


def path(name):
    return os.path.join(WORK, name)


# Windows-1252, with the five bytes it leaves undefined read as the C1
# control characters of the same number.
CP1252 = {}
for byte in range(256):
    try:
        CP1252[byte] = bytes([byte]).decode("cp1252")
    except UnicodeDecodeError:
        CP1252[byte] = chr(byte)


def decode_cp1252(data):
    return "".join(CP1252[b] for b in data)


HEADING = re.compile(r"^(.*) \(selts: (.*), sugukond: (.*)\)( HARULDUS)?$")
PLACE = re.compile(r"^(\d+)\)Asukoht: (.*)$")
COORDINATES = re.compile(r"^(-?\d+)°(-?\d+)'(-?\d+)\" N (-?\d+)°(-?\d+)'(-?\d+)\" E$")
WHEN = re.compile(r"^Vaatlus toimus: (-?\d\d:\d\d:\d\d) (\d\d)-(\d\d)-(-?\d+)$")
COUNT = re.compile(r"^Nähtud (-?\d+) lindu?$")
NO_COUNT = "Lindude arvu ei õnnestunud kokku lugeda"


def parse_text(text):
    """The print-out as a list of records shaped like the JSON objects."""
    lines = text.split("\n")
    check(lines[-1] == "", "the text form does not end with an end of line")
    records, i = [], 0
    while i < len(lines) - 1:
        heading = HEADING.match(lines[i])
        check(heading, "not a heading line: %r" % lines[i])
        name, order, family, rare = heading.groups()
        record = {"name": name, "order": order, "family": family, "common": rare is None,
                  "observations": []}
        i += 1
        while lines[i] != "":
            place, when, count = PLACE.match(lines[i]), WHEN.match(lines[i + 1]), lines[i + 2]
            check(place and when, "not an observation: %r" % lines[i:i + 3])
            check(int(place.group(1)) == len(record["observations"]) + 1, "numbering")
            position = COORDINATES.match(place.group(2))
            if position:
                numbers = [int(n) for n in position.groups()]
                where = {"latitude": numbers[:3], "longitude": numbers[3:]}
            else:
                where = {"municipality": place.group(2)}
            clock, day, month, year = when.groups()
            counted = COUNT.match(count)
            check(counted or count == NO_COUNT, "not a count line: %r" % count)
            if counted:
                number = int(counted.group(1))
                check(count.endswith(" lind") == (number == 1), "lind/lindu: %r" % count)
            record["observations"].append({
                "place": where, "date": "%04d-%s-%s" % (int(year), month, day), "time": clock,
                "count": int(counted.group(1)) if counted else None})
            i += 3
        records.append(record)
        i += 1
    return records


def decimal(angle):
    return angle[0] + angle[1] / 60 + angle[2] / 3600


def compare_json(from_json, from_text):
    check(len(from_json) == len(from_text),
          "%d JSON records, %d in the text form" % (len(from_json), len(from_text)))
    for number, (j, t) in enumerate(zip(from_json, from_text), 1):
        where = "record %d" % number
        check(list(j) == ["record", "order", "family", "name", "rarity", "common",
                          "observations"], where + ": members " + str(list(j)))
        check(j["record"] == number, where + ": number %r" % j["record"])
        # The list gives every name a trailing blank, which JSON drops.
        text_name = t["name"][:-1] if t["name"].endswith(" ") else t["name"]
        for field, expected in (("order", t["order"]), ("family", t["family"]),
                                ("name", text_name), ("common", t["common"])):
            check(j[field] == expected, "%s: %s %r, text form %r" % (where, field, j[field],
                                                                    expected))
        check((j["rarity"] == "A") == j["common"] and len(j["rarity"]) == 1, where + ": rarity")
        check(len(j["observations"]) == len(t["observations"]), where + ": observations")
        for jo, to in zip(j["observations"], t["observations"]):
            place = dict(jo["place"])
            for side in ("latitude", "longitude"):
                if side in place:
                    value = place.pop(side + "_decimal")
                    check(abs(value - decimal(place[side])) < 6e-7, where + ": " + side)
            check({**jo, "place": place} == to, "%s: %r, text form %r" % (where, jo, to))


CSV_COLUMNS = ["record", "order", "family", "name", "rarity", "common", "observation",
               "municipality", "latitude_degrees", "latitude_minutes", "latitude_seconds",
               "longitude_degrees", "longitude_minutes", "longitude_seconds", "latitude",
               "longitude", "date", "time", "count"]


def compare_csv(file_name, from_json):
    with open(file_name, encoding="utf-8", newline="") as f:
        raw = f.read()
    check(raw.endswith("\r\n") and "\n" not in raw.replace("\r\n", ""),
          "CSV lines must end with CRLF only")
    with open(file_name, encoding="utf-8", newline="") as f:
        reader = csv.reader(f, strict=True)
        check(next(reader) == CSV_COLUMNS, "CSV header")
        rows = [dict(zip(CSV_COLUMNS, row, strict=True)) for row in reader]
    expected = []
    for number, j in enumerate(from_json, 1):
        for index, o in enumerate(j["observations"], 1):
            p = o["place"]
            lat, lon = p.get("latitude", ["", "", ""]), p.get("longitude", ["", "", ""])
            expected.append({
                "record": str(number), "order": j["order"], "family": j["family"],
                "name": j["name"], "rarity": j["rarity"], "common": str(j["common"]).lower(),
                "observation": str(index), "municipality": p.get("municipality", ""),
                "latitude_degrees": str(lat[0]), "latitude_minutes": str(lat[1]),
                "latitude_seconds": str(lat[2]), "longitude_degrees": str(lon[0]),
                "longitude_minutes": str(lon[1]), "longitude_seconds": str(lon[2]),
                "latitude": "%.6f" % p["latitude_decimal"] if "latitude" in p else "",
                "longitude": "%.6f" % p["longitude_decimal"] if "longitude" in p else "",
                "date": o["date"], "time": o["time"],
                "count": "" if o["count"] is None else str(o["count"])})
    check(len(rows) == len(expected), "%d CSV rows, expected %d" % (len(rows), len(expected)))
    for row, want in zip(rows, expected):
        check(row == want, "CSV row %r, expected %r" % (row, want))


def read_json_lines(file_name):
    with open(file_name, "rb") as f:
        data = f.read()
    check(data.endswith(b"\n"), "JSON Lines end with an end of line")
    return [json.loads(line) for line in data.decode("utf-8").split("\n")[:-1]]


def all_three(records, *args, data=DATA):
    """Writes `records` as JSON Lines, CSV and text in one run; returns the
    records read from each file, checked against each other."""
    run(*args, "-o", "r.jsonl", "-o", "r.csv", "-o", "r.txt", data=data)
    with open(path("r.txt"), "rb") as f:
        from_text = parse_text(decode_cp1252(f.read()))
    from_json = read_json_lines(path("r.jsonl"))
    check(len(from_json) == records, "%d records, expected %d" % (len(from_json), records))
    compare_json(from_json, from_text)
    compare_csv(path("r.csv"), from_json)
    return from_json, from_text


if CASE == "test_records":
    from_json, _ = all_three(17, "--test")
    # Two entries of the fixed table, as the library defines them.
    check(from_json[0] == {
        "record": 1, "order": "tuvilised", "family": "tuvilased", "name": "Õõnetuvi", "rarity": "A",
        "common": True, "observations": [{"place": {"municipality": "Võru vald"},
                                          "date": "2025-09-17", "time": "16:40:00",
                                          "count": 1}]}, "test record 0: %r" % from_json[0])
    check(from_json[10]["observations"][0] == {
        "place": {"latitude": [58, 34, 43], "longitude": [26, 7, 32],
                  "latitude_decimal": 58.578611, "longitude_decimal": 26.125556},
        "date": "2020-05-11", "time": "06:17:00", "count": None}, "test record 10")
    # The text form in UTF-8 is the Windows-1252 one, converted.
    utf8 = run("--test", "--format", "text", "--encoding", "utf-8").stdout
    with open(path("r.txt"), "rb") as f:
        check(utf8.decode("utf-8") == decode_cp1252(f.read()), "UTF-8 text form")
    # Standard output gets the same JSON Lines as a file.
    with open(path("r.jsonl"), "rb") as f:
        check(run("--test").stdout == f.read(), "JSON Lines on standard output")

elif CASE == "random":
    from_json, _ = all_three(3000, "3000", "--threads", "3")
    check(len({(r["name"], len(r["observations"])) for r in from_json}) > 100,
          "the records do not look random")

elif CASE == "odd_bytes":
    # Lists whose names hold every byte from 0x80 to 0xFF, commas, double
    # quotes and blanks, which CSV must quote and JSON escape.
    data = path("odd-data")
    os.mkdir(data)
    with open(os.path.join(data, "Eesti linnud.txt"), "wb") as f:
        for i in range(414):
            odd = bytes(0x80 + (i * 8 + k) % 128 for k in range(8))
            rarity = b"A" if i % 2 else b"C"
            f.write(b'seltsi,%d su"gu"kond Lind%s ' % (i, odd) + odd[::-1] + b" " + rarity + b"\n")
    with open(os.path.join(data, "Eesti omavalitsused.txt"), "wb") as f:
        for i in range(79):
            f.write(b'Vald "%d", \x8d\x9d\xe4 ' % i + bytes([0x80 + i]) + b"\n")
            # A carriage return alone in a field: CSV must quote it for it.
            f.write(b"Kihelkond\r%d\n" % i)
    from_json, from_text = all_three(3000, "3000", "--threads", "2", data=data)
    seen = set("".join(r["name"] for r in from_json))
    check(all(CP1252[b] in seen for b in range(0x80, 0x100)), "not every byte came out")
    for start in ('Vald "', "Kihelkond\r"):
        check(any(o["place"].get("municipality", "").startswith(start) for r in from_json
                  for o in r["observations"]), "no municipality %r came out" % start)

elif CASE == "interrupt":
    # Ctrl-C, SIGTERM and SIGHUP in the middle of a long run leave whole
    # records in every file, under the file's own name only at the end.
    for number, name in ((signal.SIGINT, "int"), (signal.SIGTERM, "term"),
                         (signal.SIGHUP, "hup")):
        jsonl, csv_file = path(name + ".jsonl"), path(name + ".csv")
        process = subprocess.Popen([DEMO, "generate", "10000000", "--threads", "2", "-o", jsonl,
                                    "-o", csv_file, "--data", DATA], cwd=WORK,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and bytes_written(process.pid, WORK) < 2000000:
            time.sleep(0.05)
        check(not os.path.exists(jsonl), "the file has its name before the run ended")
        process.send_signal(number)
        _, err = process.communicate(timeout=60)
        check(process.returncode == 128 + number,
              "exit status %d after signal %d" % (process.returncode, number))
        check(b"Interrupted: " in err and b"whole records only" in err, err.decode())
        from_json = read_json_lines(jsonl)
        check(0 < len(from_json) < 10000000, "%d records" % len(from_json))
        check(("Interrupted: %d records" % len(from_json)).encode() in err, err.decode())
        compare_csv(csv_file, from_json)
    check(not [f for f in os.listdir(WORK) if ".tavisor-" in f], "temporary files left")

elif CASE == "pipes":
    # Ctrl-C while the writer waits on a full pipe that nobody reads: the run
    # ends within a second all the same, and the file beside it holds the
    # records that the pipe got whole.
    process = subprocess.Popen([DEMO, "generate", "1000000", "-o", "-", "-o", "p.jsonl",
                                "--data", DATA], cwd=WORK, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    time.sleep(2)  # long enough to fill the pipe
    process.send_signal(signal.SIGINT)
    started = time.monotonic()
    try:
        process.wait(timeout=1.5)
    except subprocess.TimeoutExpired:
        fail("Ctrl-C not honoured while the pipe was full")
    check(time.monotonic() - started < 1.5, "slow to end")
    piped, err = process.communicate(timeout=10)
    check(process.returncode == 130, "exit status %d" % process.returncode)
    whole = piped.split(b"\n")[:-1]
    check(len(read_json_lines(path("p.jsonl"))) == len(whole) > 0,
          "%d records in the file, %d through the pipe" % (
              len(read_json_lines(path("p.jsonl"))), len(whole)))
    # A reader that goes away ends the run as a signal would; the file keeps
    # whole records.
    process = subprocess.Popen([DEMO, "generate", "1000000", "-o", "-", "-o", "r.jsonl",
                                "--data", DATA], cwd=WORK, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    process.stdout.read(100000)
    process.stdout.close()
    err = process.stderr.read()
    process.wait(timeout=30)
    check(process.returncode == 141, "exit status %d, %s" % (process.returncode, err))
    check(b"standard output was closed by its reader" in err, err.decode())
    check(len(read_json_lines(path("r.jsonl"))) > 0, "no records in the file")

elif CASE == "damage":
    def status(*args):
        return subprocess.run([DEMO, "generate", *args, "--data", DATA], cwd=WORK,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def write(name, data):
        with open(path(name), "wb") as f:
            f.write(data)

    def read(name):
        with open(path(name), "rb") as f:
            return f.read()

    write("good.jsonl", b"keep\n")
    write("mix.jsonl", b"mine\n")
    os.symlink("mix.jsonl", path("link.csv"))
    os.symlink("new.jsonl", path("dangling.csv"))  # a link to a file not made yet
    # Each run fails or is refused: every file stays as it was.
    for args, code, message in (
            (["10", "-o", "good.jsonl", "-o", "/nonexistent/x.jsonl"], 1, b"cannot open"),
            (["10", "-o", "mix.jsonl", "-o", "link.csv"], 2, b"are the same file"),
            (["10", "-o", "good.jsonl", "-o", "./good.jsonl"], 2, b"are the same file"),
            (["10", "-o", "new.jsonl", "-o", "dangling.csv"], 2, b"are the same file"),
            (["10", "-o", "good.jsonl", "-o", "good.xml"], 2, b"unknown extension"),
            (["10", "-o", "good.jsonl", "-o", "folder.jsonl"], 1, b"cannot open")):
        os.makedirs(path("folder.jsonl"), exist_ok=True)
        result = status(*args)
        check(result.returncode == code and message in result.stderr,
              "%r: exit status %d, %s" % (args, result.returncode, result.stderr))
        check(read("good.jsonl") == b"keep\n" and read("mix.jsonl") == b"mine\n",
              "%r changed a file" % args)
    # Written through a link, the link stays and the file it names changes.
    result = status("10", "--seed", "3", "-o", "link.csv", "--format", "csv")
    check(result.returncode == 0 and os.path.islink(path("link.csv")), "the link was replaced")
    check(read("mix.jsonl").startswith(b"record,order"), "the link's file did not change")
    check(not [f for f in os.listdir(WORK) if ".tavisor-" in f], "temporary files left")

elif CASE == "reproducible":
    forms = ("jsonl", "csv", "txt", "csv.gz")

    def files(prefix):
        return [arg for form in forms for arg in ("-o", "%s.%s" % (prefix, form))]

    def contents(prefix, form):
        with (gzip.open if form.endswith(".gz") else open)(path(prefix + "." + form), "rb") as f:
            return f.read()

    # One seed: the same bytes whatever the threads, and a run without a
    # seed repeats from the seed its last line gives.
    run("1000", "--seed", "18446744073709551615", "--threads", "1", *files("one"))
    run("1000", "--seed", "18446744073709551615", "--threads", "4", *files("four"))
    for form in forms:
        check(contents("one", form) == contents("four", form), form + " differs with 4 threads")
    with open(path("one.jsonl"), "rb") as f:
        check(f.read() == contents("four", "jsonl"), "jsonl")
    seeds = []
    for name in ("fresh1", "fresh2"):
        err = run("300", "-o", name + ".jsonl").stderr.decode()
        found = re.search(r"; seed (\d+): repeat with --seed (\d+)$", err.strip())
        check(found and found.group(1) == found.group(2), err)
        seeds.append(found.group(1))
    check(seeds[0] != seeds[1] and contents("fresh1", "jsonl") != contents("fresh2", "jsonl"),
          "two runs without a seed made the same records")
    run("300", "--seed", seeds[0], "-o", "again.jsonl")
    check(contents("again", "jsonl") == contents("fresh1", "jsonl"), "--seed does not repeat")
    # Shards, one after the other, are the whole run; compressed ones too,
    # read as one file.
    for part in (1, 2, 3):
        run("1000", "--seed", "18446744073709551615", "--shard", "%d/3" % part, *files("s%d" % part))
    for form in forms:
        joined = b"".join(contents("s%d" % part, form) for part in (1, 2, 3))
        check(joined == contents("one", form), "shards of %s do not join to the run" % form)
    with open(path("s-all.csv.gz"), "wb") as f:
        for part in (1, 2, 3):
            with open(path("s%d.csv.gz" % part), "rb") as piece:
                f.write(piece.read())
    check(contents("s-all", "csv.gz") == contents("one", "csv"), "joined .gz files")
    # 010 is ten; extensions in any case; .json is one document.
    err = run("010", "--seed", "1", "-o", "ten.JSON", "-o", "ten.Csv", "-o", "ten.NDJSON",
              "--quiet").stderr.decode()
    check(err.startswith("Wrote 10 records") and err.count("\n") == 1, "--quiet: " + err)
    with open(path("ten.JSON"), encoding="utf-8") as f:
        document = json.load(f)
    check([r["record"] for r in document] == list(range(1, 11)), "JSON document")
    check(read_json_lines(path("ten.NDJSON")) == document, ".ndjson")
    compare_csv(path("ten.Csv"), document)
    # Started where the lists are, the program takes them from there.
    lists = path("lists-here")
    os.mkdir(lists)
    for name in ("Eesti linnud.txt", "Eesti omavalitsused.txt"):
        with open(os.path.join(DATA, name), "rb") as f, open(os.path.join(lists, name), "wb") as g:
            g.write(f.read())
    result = subprocess.run([DEMO, "generate", "3"], cwd=lists, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    check(result.returncode == 0 and
          ('Reference lists loaded from "%s"' % lists).encode() in result.stderr,
          result.stderr.decode())

else:
    fail("unknown case " + CASE)

print("generate %s: all checks passed" % CASE)
