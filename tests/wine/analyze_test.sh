#!/usr/bin/env bash
# asiochan analyze under Wine: the simulated bench interface's figures worked out
# on paper, a limits file that fails one figure, the default simulated driver as a
# clean wire (not judged without limits), an AC-coupled input read once settled, a
# take the driver skips periods in twice, bad limits files, pairs and output paths,
# and the results read back (JSON, JUnit XML) and drawn by a real browser (the HTML
# report).
#   analyze_test.sh <default-prefix> <bin-folder>
# "asiochan sim (bench)", input k: g_k f(o_k) + x f(o_(k-1)) + noise, f(u) = u + 0.01 u^3,
# g_k = -0.1 k dB (input 5 inverted at -0.5 dB), x = -90 dB, noise -100 dB RMS: gain g_k,
# latency 256 frames, THD+N 0.197 %, noise -97.79 dBFS (-99.83 A-weighted), dynamic
# range 99.83 dB + g_k, output k-1 into input k at -90 dB - g_(k-1).
set -u
prefix="$1"
bin="$(cd "$2" && pwd)"
fixture="$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-fixture.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-analyze.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # description, command...: a check that passes when the command does
    local what="$1"
    shift
    if "$@"; then echo "ok:   $what"; else
        echo "FAIL: $what"
        sed 's/^/    | /' output.txt
        failures=$((failures + 1))
    fi
}
analyze() {  # exit code wanted, args...: runs asiochan analyze, output in output.txt
    local want="$1"
    shift
    timeout --kill-after=5 90 "$fixture" run "$prefix" "$bin/asiochan.exe" analyze "$@" 2>&1 | tr -d '\r' >output.txt
    [ "${PIPESTATUS[0]}" = "$want" ]
}

# Limits around the bench's figures, which pass, and one that fails: input 5's
# polarity is -1 and its pair wants 1.
cat >limits.json <<'JSON'
{
  "gain_db": {"min": -0.75, "max": 0.05},
  "latency_frames": {"max": 300},
  "response_deviation_db": {"max": 0.05},
  "thdn_percent": {"max": 0.25},
  "noise_a_dbfs": {"max": -99},
  "dynamic_range_db": {"min": 99},
  "crosstalk_db": {"max": -85},
  "response_mask": [[20, 20000, -0.05, 0.05]],
  "pairs": {"5:5": {"polarity": {"min": 1}}}
}
JSON
check "the bench interface against limits it fails once: exit 1" analyze 1 --driver "asiochan sim (bench)" \
    --limits limits.json --json bench.json --junit bench.xml --report bench.html
check "  the failure named" grep -q "^FAIL 5:5 polarity" output.txt
check "the bench's figures within their tolerances, one failed verdict, the take at most 20 s" python3 - <<'PY'
import json
r = json.load(open("bench.json"))
assert r["driver"] == "asiochan sim (bench)" and r["rate"] == 48000 and r["period"] == 256, r["driver"]
assert r["passed"] is False and 5 < r["take_seconds"] <= 20, r["take_seconds"]
pairs = r["pairs"]
assert [(p["output"], p["input"]) for p in pairs] == [(k, k) for k in range(8)]
gain = [-0.5 if k == 5 else -0.1 * k for k in range(8)]
def near(v, want, tol, what):
    assert v is not None and abs(v - want) <= tol, f"{what}: {v}, expected {want} +- {tol}"
failed = []
for k, p in enumerate(pairs):
    near(p["gain_db"], gain[k], 0.02, f"gain {k}")
    assert p["polarity"] == (-1 if k == 5 else 1), (k, p["polarity"])
    assert p["latency_frames"] == 256, (k, p["latency_frames"])
    assert p["response_deviation_db"] < 0.02, (k, p["response_deviation_db"])
    near(p["thdn_percent"], 0.197, 0.05 * 0.197, f"THD+N {k}")
    near(p["noise_dbfs"], -97.79, 0.3, f"noise {k}")
    near(p["noise_a_dbfs"], -99.83, 0.3, f"A-weighted noise {k}")
    near(p["dynamic_range_db"], 99.83 + gain[k], 0.3, f"dynamic range {k}")
    failed += [(k, name) for name, v in p["verdicts"].items() if not v["passed"]]
assert failed == [(5, "polarity")], failed
x, floors = r["crosstalk_db"], r["crosstalk_floor_db"]
for j in range(8):
    for k in range(8):
        if j == k:
            assert x[j][k] is None and floors[j][k] is None
        elif k == j + 1:
            near(x[j][k], -90 - gain[j], 1.0, f"crosstalk {j} into {k}")
        else:
            assert x[j][k] is None and floors[j][k] < -120, (j, k, x[j][k], floors[j][k])
PY
check "the JUnit XML reads back: a testcase per pair and figure, the one failure with its limit" python3 - <<'PY'
import xml.etree.ElementTree as ET
suite = ET.parse("bench.xml").getroot().find("testsuite")
cases = suite.findall("testcase")
failures = [c for c in cases if c.find("failure") is not None]
assert int(suite.get("tests")) == len(cases) >= 8 * 7 and int(suite.get("failures")) == 1, suite.attrib
assert len(failures) == 1 and failures[0].get("name") == "polarity", [c.attrib for c in failures]
assert "-1" in failures[0].find("failure").get("message", "") + (failures[0].find("failure").text or "")
PY
check "the HTML report: self-contained, its tags balanced, its SVG well-formed XML" python3 - <<'PY'
import re, xml.etree.ElementTree as ET
from html.parser import HTMLParser
text = open("bench.html", encoding="utf-8").read()
assert not re.search(r'<script|<link|src="http|href="http|url\(', text, re.I), "reaches outside"
class Balance(HTMLParser):
    VOID = {"meta", "br", "hr", "img", "input", "link", "col", "wbr", "source"}
    def __init__(self):
        super().__init__()
        self.open = []
    def handle_starttag(self, tag, attrs):
        if tag not in self.VOID:
            self.open.append(tag)
    def handle_startendtag(self, tag, attrs):
        pass
    def handle_endtag(self, tag):
        assert self.open and self.open[-1] == tag, f"</{tag}> closes {self.open[-3:]}"
        self.open.pop()
b = Balance()
b.feed(text)
b.close()
assert not b.open, b.open
svgs = re.findall(r"<svg.*?</svg>", text, re.S)
assert len(svgs) >= 3, len(svgs)
for s in svgs:
    ET.fromstring(s)
PY
browser_profile=$(mktemp -d "$work/chromium.XXXXXX")
timeout --kill-after=5 60 /usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$browser_profile" \
    --window-size=1400,1600 --screenshot="$work/bench.png" "file://$work/bench.html" >output.txt 2>&1
# The same printed on A4 and the first page made a picture, as a lab files it.
timeout --kill-after=5 60 /usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$browser_profile" \
    --no-pdf-header-footer --print-to-pdf="$work/bench.pdf" "file://$work/bench.html" >>output.txt 2>&1
pdftoppm -png -r 50 -f 1 -l 1 -singlefile bench.pdf bench-page >>output.txt 2>&1
cat >not_blank.py <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n"
chunks, at = {}, 8
while at < len(data):
    n, kind = struct.unpack(">I4s", data[at:at + 8])
    chunks.setdefault(kind, b"")
    chunks[kind] += data[at + 8:at + 8 + n]
    at += 12 + n
w, h, depth, colour = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
assert depth == 8 and colour in (2, 6), (depth, colour)
bpp = 3 if colour == 2 else 4
raw, stride = zlib.decompress(chunks[b"IDAT"]), w * bpp
rows, prev, at = [], bytearray(stride), 0
for _ in range(h):
    f, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
    at += 1 + stride
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b, c = prev[i], prev[i - bpp] if i >= bpp else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line)
    prev = line
pixels = [bytes(r[i:i + 3]) for r in rows[::4] for i in range(0, stride, bpp * 4)]
colours = set(pixels)
inked = sum(p != b"\xff\xff\xff" for p in pixels) / len(pixels)
assert len(colours) > 20 and inked > 0.02, (len(colours), inked)
PY
check "the report drawn by Chromium is not blank: colours, and much of it not white" python3 not_blank.py bench.png
check "  and its first A4 page neither" python3 not_blank.py bench-page.png
check "  which names the limits file by its SHA-256" grep -q "$(sha256sum limits.json | cut -c1-64)" bench.html

check "the default simulated driver, a clean wire, with no limits: exit 0" analyze 0 --pairs 0:0,1:1,2:2,3:3 --json wire.json
check "  not judged" bash -c 'grep -q "not judged" output.txt && ! grep -q PASSED output.txt'
check "  every figure at its floor" python3 - <<'PY'
import json
r = json.load(open("wire.json"))
assert r["passed"] is None and r["judged"] is False, (r["passed"], r["judged"])
for p in r["pairs"]:
    assert abs(p["gain_db"]) <= 0.02 and p["polarity"] == 1 and p["response_deviation_db"] < 0.02, p
    for name, floor in (("thdn_percent", "thdn_floor_percent"), ("noise_dbfs", "noise_floor_dbfs"),
                        ("noise_a_dbfs", "noise_a_floor_dbfs"), ("dynamic_range_db", "dynamic_range_floor_db")):
        assert p[name] is None and p[floor] is not None, (name, p[name], p.get(floor))
assert all(v is None for row in r["crosstalk_db"] for v in row), r["crosstalk_db"]
PY

# y = hp(u + 0.001 u^2) + noise of -130 dB, hp a 2 Hz DC blocker: every level step
# moves the DC level, which settles with a time constant of 80 ms.
check "an AC-coupled input, read once settled: exit 0" analyze 0 --driver "asiochan sim (ac-coupled)" \
    --pairs 0:0,1:1,2:2,3:3 --json coupled.json
check "  its dynamic range that of its noise, no crosstalk above the floor" python3 - <<'PY'
import json
r = json.load(open("coupled.json"))
for p in r["pairs"]:
    assert p["dynamic_range_db"] is not None and abs(p["dynamic_range_db"] - 129.83) <= 0.5, p["dynamic_range_db"]
    assert abs(p["thdn_percent"] - 0.0446) <= 0.05 * 0.0446, p["thdn_percent"]
x, floors = r["crosstalk_db"], r["crosstalk_floor_db"]
assert all(v is None for row in x for v in row), x
assert all(f is None or f < -150 for row in floors for f in row), floors
PY

check "a take the driver skips periods in, twice: exit 3" analyze 3 --driver "asiochan sim (skips)" --pairs 0:0
check "  made again once, then said not valid" bash -c \
    'grep -q "the take is made again" output.txt && grep -q "error: the take is not valid: the driver skipped" output.txt'

printf '{\n  "gain_db": {"min": 1, "max": 0}\n}\n' >bad.json
check "a bad limits file: exit 2, before the driver is opened" analyze 2 --driver "no such driver" --limits bad.json
check "  with its line and the reason" grep -q "bad.json\": line 2: gain_db's min is above its max" output.txt
check "a bad --pairs: exit 2" analyze 2 --pairs 0:0,1:0
check "a pair the driver lacks: exit 2" analyze 2 --pairs 0:0,9:9
check "  named" grep -q "pair 9:9 does not exist" output.txt
printf '{\n  "pairs": {\n    "9:9": {"gain_db": {"min": -1}}\n  }\n}\n' >unmeasured.json
check "limits for a pair not measured: exit 2" analyze 2 --limits unmeasured.json
check "  the line named" grep -q "unmeasured.json\": line 3: pair 9:9 is not measured" output.txt
check "a report in a folder that does not exist: exit 2 before the take" analyze 2 --report no/such/folder/r.html
check "  said at once" bash -c 'grep -q "no/such/folder/r.html\" cannot be written" output.txt && ! grep -q "a take of" output.txt'

exit $((failures != 0))
