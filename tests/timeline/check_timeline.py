"""Checks the timeline's files.

  check_timeline.py CASE SAMPLE DEMO DATA

  json  the trace follows the Trace Event Format: one named track per lane
  svg   the picture parses as XML; rendered by rsvg-convert, each span's
        colour is where its lane is
  html  the page, shot by headless Chromium, shows the picture and loads
        nothing from outside
  demo  tavisor-demo --timeline writes a trace of its real producer

SAMPLE (timeline_sample) writes a made-up minute of five producers. Exits 77
(skipped) when rsvg-convert or chromium is missing, outside CI only.
"""

import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

SVG = "{http://www.w3.org/2000/svg}"


def tool(name):
    path = shutil.which(name)
    if path:
        return path
    if os.environ.get("TAVISOR_CI"):
        sys.exit(f"{name} is missing, and CI must run this check (scripts/install-deps.sh)")
    print(f"SKIPPED: {name} is not installed (Debian: scripts/install-deps.sh installs it)")
    sys.exit(77)


def read_png(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG form"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    bpp = 4 if colour == 6 else 3
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def rgb(hex_colour):
    return tuple(int(hex_colour[i:i + 2], 16) for i in (1, 3, 5))


def check_trace(path, producers):
    trace = json.load(open(path, encoding="utf-8"))
    events = trace["traceEvents"]
    names = {e["tid"]: e["args"]["name"] for e in events if e["ph"] == "M" and e["name"] == "thread_name"}
    assert len(names) == producers + 1, f"tracks {names}"
    assert "client" in names.values()
    assert len(set(names.values())) == len(names), "two tracks share a name"
    spans = {}
    for e in events:
        for field in ("name", "ph", "pid", "tid"):
            assert field in e, f"{field} missing in {e}"
        assert e["ph"] in ("M", "X", "i"), e
        if e["ph"] == "M":
            continue
        assert e["tid"] in names, f"event on an unnamed track: {e}"
        assert isinstance(e["ts"], (int, float)) and e["ts"] >= 0, e
        if e["ph"] == "X":
            assert isinstance(e["dur"], (int, float)) and e["dur"] >= 0, e
            spans.setdefault(e["tid"], set()).add(e["name"])
        else:
            assert e["s"] in ("t", "p", "g"), e
    for tid, name in names.items():
        if name != "client":
            assert "making / pausing" in spans.get(tid, ()), f"{name} has no making span"
    return trace


def check_svg(path, workdir):
    root = ET.parse(path).getroot()
    assert root.tag == SVG + "svg", root.tag
    png = os.path.join(workdir, "picture.png")
    subprocess.run([tool("rsvg-convert"), path, "-o", png], check=True)
    width, height, rows = read_png(png)
    assert (width, height) == (int(root.get("width")), int(root.get("height"))), (width, height)
    # Each lane's name stands level with its lane's middle.
    middles = {t.text: float(t.get("y")) - 4 for t in root.iter(SVG + "text")}
    checked = set()
    for rect in root.iter(SVG + "rect"):
        title = rect.find(SVG + "title")
        w = float(rect.get("width"))
        if title is None or w < 6 or rect.get("class") == "legend":
            continue
        lane = title.text.split(",")[0]
        x, y, h = float(rect.get("x")), float(rect.get("y")), float(rect.get("height"))
        assert abs(y + h / 2 - middles[lane]) < 1, f"{title.text} is off its lane"
        if rect.get("fill-opacity"):
            continue  # the client's spans are see-through
        pixel = rows[int(y + h / 2)][int(x + w / 2)]
        assert pixel == rgb(rect.get("fill")), f"{title.text}: {pixel} is not {rect.get('fill')}"
        checked.add((lane, rect.get("fill")))
    producer_lanes = {lane for lane, _ in checked}
    assert len(producer_lanes) == 5, producer_lanes
    assert len({fill for _, fill in checked}) >= 3, checked
    return rows


def check_html(path, workdir):
    text = open(path, encoding="utf-8").read()
    assert not re.search(r"(https?:|//[a-z])", text, re.I), "the page names an outside address"
    chromium = tool("chromium")
    shot, netlog = os.path.join(workdir, "shot.png"), os.path.join(workdir, "net.json")
    profile = tempfile.mkdtemp(dir=workdir)
    subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                    "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", f"--user-data-dir={profile}",
                    '--host-resolver-rules=MAP * ~NOTFOUND', f"--log-net-log={netlog}",
                    f"--screenshot={shot}", "--window-size=1280,480",
                    "file://" + os.path.abspath(path)],
                   check=True, timeout=50, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Every request that a page started (the browser's own, with no origin
    # behind them, find no host anyway under the resolver rule above).
    log = json.load(open(netlog, encoding="utf-8"))
    start_job = log["constants"]["logEventTypes"]["URL_REQUEST_START_JOB"]
    requests = {e["params"]["url"] for e in log["events"] if e["type"] == start_job
                and e.get("params", {}).get("initiator", "not an origin") != "not an origin"}
    outside = requests - {"file://" + os.path.abspath(path)}
    assert not outside, f"the page loaded {outside}"
    width, height, rows = read_png(shot)
    colours = {pixel for row in rows[::4] for pixel in row[::4]}
    assert len(colours) > 8, f"the screenshot is nearly blank: {len(colours)} colours"
    making = rgb("#a6cee3")
    assert sum(row.count(making) for row in rows) > 10000, "no making spans on the screenshot"


def check_demo(demo, data, workdir):
    out = os.path.join(workdir, "demo.json")
    subprocess.run([demo, "--data", data, "--variant", "C", "--batches", "1", "--timeline", out],
                   check=True, timeout=50, stdout=subprocess.DEVNULL)
    trace = check_trace(out, 1)
    names = {e["name"] for e in trace["traceEvents"]}
    for name in ("started", "batch waiting for the client", "client holds the batch",
                 "stop requested", "last signal"):
        assert name in names or name == "last signal" and "ended: batch left waiting" in names, name


def main():
    case, sample, demo, data = sys.argv[1:5]
    with tempfile.TemporaryDirectory() as workdir:
        if case == "demo":
            check_demo(demo, data, workdir)
        else:
            path = os.path.join(workdir, "minute." + case)
            subprocess.run([sample, path], check=True)
            {"json": lambda: check_trace(path, 5), "svg": lambda: check_svg(path, workdir),
             "html": lambda: check_html(path, workdir)}[case]()
    print(f"timeline {case}: ok")


if __name__ == "__main__":
    main()
