#!/bin/sh
# The memory map as files, read by real tools: the JSON by a JSON parser, its
# facts checked against the ranges the module loads; the SVG by an XML parser
# and drawn by a real renderer, whose picture must show a bar for each range
# in address order, one colour for each section, no bar colour inside a gap,
# and a break in every gap longer than a quarter of the span; and the
# protections a map file gets beside the output.
#   sh map_files.sh TRELON SOURCE_DIR
trelon=$(realpath "$1") src=$(realpath "$2")
. "$src/tests/needs.sh" && needs "Debian's python3, libxml2-utils and librsvg2-bin" python3 xmllint rsvg-convert
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
fail() { echo "FAIL: $*"; exit 1; }

# Sections of one to a few bytes over 4 GiB, one loaded over, one left out by /I.
printf 'ASL0,400.\nLD0102030405060708.\nASP0,404.\nLD1112.\nASL1,600.\nLD0102.\nASL2,10000.\nLD0102030405060708090A.\nASL3,FFFF0000.\nLD01020304.\nASG,500.\nME.\n' >four.muf
# 100 sections, loaded from the highest down, in a binary image.
awk 'BEGIN { print "ASL0,1000.ASS0,1900."; for (k = 99; k >= 0; k--) printf "ASP%d,%X.\nLD%02X%02X%02X%02X.\n", k, 4096 + 64 * k, k, k, k, k
             print "ASG,1000.\nME." }' </dev/null >hundred.muf
printf 'ASL0,FFFFFF00.\nLD0102030405060708.\nASL1,FFFFFFFC.\nLD1112131415161718.\nASP0,FFFFFF02.\nLD2122.\nASG,FFFFFFFF.\nME.\n' >top.muf
for run in four:/I hundred:/B top:/M2; do
  name=${run%%:*} word=${run#*:}
  "$trelon" --map="$name.json" "$word" "$name.muf" "$name.out" >/dev/null 2>&1 &&
    "$trelon" --map="$name.svg" "$word" "$name.muf" "$name.out" >/dev/null 2>&1 || fail "$name: a run failed"
  xmllint --noout "$name.svg" || fail "$name.svg does not parse as XML"
  ! grep -q '<image' "$name.svg" || fail "$name.svg holds a raster image"
  rsvg-convert -o "$name.png" "$name.svg" || fail "$name.svg does not render"
done

python3 - <<'PY' || exit 1
import json, struct, sys, zlib

def fail(what):
    print("FAIL:", what)
    sys.exit(1)

def check_json(name, word):
    m = json.load(open(name + ".json"))
    ranges = m["ranges"]
    if m["version"] != 1: fail(name + ": version")
    if m["loaded_bytes"] != sum(r["length"] for r in ranges): fail(name + ": loaded_bytes")
    for a, b in zip(ranges, ranges[1:]):
        if a["address"] + a["length"] > b["address"]: fail(name + ": ranges out of order or overlapping")
    gaps = [{"address": a["address"] + a["length"], "length": b["address"] - a["address"] - a["length"]}
            for a, b in zip(ranges, ranges[1:]) if a["address"] + a["length"] < b["address"]]
    if m["gaps"] != gaps: fail(name + ": gaps " + str(m["gaps"]))
    for v in [r[k] for r in ranges for k in ("address", "length", "line")]:
        if type(v) is not int: fail(name + ": a number that is no JSON integer")
    return m

four, hundred, top = check_json("four", "/I"), check_json("hundred", "/B"), check_json("top", "/M2")
if [r["section"] for r in hundred["ranges"]] != [str(k) for k in range(100)]: fail("hundred: sections")
for r in hundred["ranges"]:
    k = int(r["section"])
    if (r["address"], r["length"], r["file_offset"], r["line"]) != (4096 + 64 * k, 4, 64 * k, 2 + 2 * (99 - k) + 1):
        fail("hundred: range " + str(r))
if hundred["start"] != {"address": 4096, "line": 202, "in_loaded_range": True}: fail("hundred: start")
if [(r["address"], r["length"]) for r in top["ranges"]] != [(0, 4), (0xFFFFFF00, 8), (0xFFFFFFFC, 4)]: fail("top: ranges")
if top["overlaps"] != [{"address": 0xFFFFFF02, "length": 2, "line": 6, "earlier_line": 2}]: fail("top: overlaps")
if top["start"] != {"address": 0xFFFFFFFF, "line": 7, "in_loaded_range": True}: fail("top: start")
lost = top["left_out"]
if [(l["reason"], l["bytes"], l["address"], l["line"]) for l in lost] != [("past_address_width", 18, 0xFFFFFF00, 2)]:
    fail("top: left_out " + str(lost))
if four["start"]["in_loaded_range"] or len(four["overlaps"]) != 1 or four["left_out"][0]["address"] != 0x10000:
    fail("four: start, overlaps or left_out")

def pixels(path):  # an 8-bit RGB or RGBA PNG, unfiltered: rows of (r, g, b)
    data = open(path, "rb").read()
    width, height, depth, kind = struct.unpack(">IIBB", data[16:26])
    if depth != 8 or kind not in (2, 6): fail(path + ": not 8-bit RGB(A)")
    n, chunks, at = (3 if kind == 2 else 4), b"", 8
    while at < len(data):
        size, tag = struct.unpack(">I4s", data[at:at + 8])
        if tag == b"IDAT": chunks += data[at + 8:at + 8 + size]
        at += 12 + size
    raw, rows, prior = zlib.decompress(chunks), [], bytearray(width * n)
    for y in range(height):
        f, line = raw[y * (width * n + 1)], bytearray(raw[y * (width * n + 1) + 1:(y + 1) * (width * n + 1)])
        for i in range(len(line)):
            a = line[i - n] if i >= n else 0
            b, c = prior[i], prior[i - n] if i >= n else 0
            p = a + b - c
            pred = [0, a, b, (a + b) // 2, a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c][f]
            line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[i:i + 3]) for i in range(0, len(line), n)])
        prior = line
    return rows

def saturated(c): return max(c) - min(c) > 40
def greyish_dark(c): return max(c) - min(c) < 30 and max(c) < 0xB0

def check_svg(name, m):
    rows = pixels(name + ".png")
    ranges = m["ranges"]
    band = max(range(len(rows)), key=lambda y: sum(saturated(c) for c in rows[y]))
    row = rows[band]
    runs = []  # [colour, first x, last x]
    for x, c in enumerate(row):
        if saturated(c) and runs and runs[-1][0] == c and runs[-1][2] == x - 1: runs[-1][2] = x
        elif saturated(c): runs.append([c, x, x])
    runs = [r for r in runs if r[2] - r[1] >= 2]
    if len(runs) != len(ranges): fail(name + ": %d bars for %d ranges" % (len(runs), len(ranges)))
    colour = {}
    for run, r in zip(runs, ranges):
        if colour.setdefault(r["section"], run[0]) != run[0]: fail(name + ": section %s in two colours" % r["section"])
    if len(set(colour.values())) != len(colour): fail(name + ": two sections share a colour")
    top, bottom = band, band
    while saturated(rows[top - 1][runs[0][1] + 1]): top -= 1
    while saturated(rows[bottom + 1][runs[0][1] + 1]): bottom += 1
    bars = set(colour.values())
    span = ranges[-1]["address"] + ranges[-1]["length"] - ranges[0]["address"]
    for a, b, left, right in zip(ranges, ranges[1:], runs, runs[1:]):
        gap = b["address"] - a["address"] - a["length"]
        inside = [rows[y][x] for y in range(top, bottom + 1) for x in range(left[2] + 1, right[1])]
        if gap > 0 and len(inside) < 2 * (bottom - top + 1): fail(name + ": no gap drawn before " + hex(b["address"]))
        if any(c in bars for c in inside): fail(name + ": a bar colour inside the gap before " + hex(b["address"]))
        if 4 * gap > span and not any(greyish_dark(c) for c in inside):
            fail(name + ": no break in the gap before " + hex(b["address"]))
    marks = {c for y in range(bottom + 1, bottom + 30) for c in rows[y] if saturated(c)}
    return marks - bars

if len(check_svg("four", four)) < 2: fail("four: no overlap and left-out marks of their own colours")
check_svg("hundred", hundred)
check_svg("top", top)
PY

# The protections: the input or the output as the map is refused (status 1)
# with the files intact; a form that is none is status 2 with nothing made;
# under --strict a failing run leaves no map and no temporary file.
cp "$src/examples/monitor.muf" m.muf && echo old >old.bin && ln -s m.muf link.svg && mkdir s
"$trelon" --map=link.svg /I m.muf x.ihx >/dev/null 2>&1; [ $? = 1 ] && cmp -s m.muf "$src/examples/monitor.muf" &&
  [ ! -e x.ihx ] || fail "the input as the map"
"$trelon" --map=./old.bin /B m.muf old.bin >/dev/null 2>&1; [ $? = 1 ] && [ "$(cat old.bin)" = old ] || fail "the output as the map"
"$trelon" --map=m.pdf /I m.muf old.bin >/dev/null 2>&1; [ $? = 2 ] && [ "$(cat old.bin)" = old ] && [ ! -e m.pdf ] ||
  fail "--map=m.pdf"
sed 's/^CS2D\./CS00./' "$src/examples/demo.muf" >bad.muf && echo old >s/map.svg
"$trelon" --strict --map=s/map.svg /I bad.muf s/out.ihx >/dev/null 2>&1; [ $? = 2 ] && [ "$(cat s/map.svg)" = old ] &&
  [ "$(ls -A s)" = map.svg ] || fail "a failing run under --strict: $(ls -A s)"
"$trelon" --strict --map=s/map.svg /I m.muf s/out.ihx >/dev/null 2>&1 && xmllint --noout s/map.svg &&
  [ "$(ls -A s | tr '\n' ' ')" = "map.svg out.ihx " ] || fail "a run under --strict: $(ls -A s)"
# The README's picture is what the converter draws today.
"$trelon" --quiet --map=now.svg /I "$src/examples/monitor.muf" now.ihx && cmp -s now.svg "$src/docs/monitor.svg" ||
  fail "docs/monitor.svg is not what --map=FILE.svg draws for examples/monitor.muf"
echo "map files: ok"
