"""swathor-plan run as a program, the way a person runs it."""

import json
import math
import os
import stat
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
SITES = REPO / "examples" / "sites"


def run(*args, cwd=None, umask=0o022, env=None):
    return subprocess.run([sys.executable, "-m", "swathor_plan", *map(str, args)],
                          capture_output=True, text=True, cwd=cwd,
                          env={**os.environ, **(env or {})},
                          preexec_fn=lambda: os.umask(umask))


def summary_value(stdout, key):
    line = next(l for l in stdout.splitlines() if l.startswith(key + ":"))
    return line.split(":", 1)[1].strip()


def write(tmp_path, name, content):
    path = tmp_path / name
    path.write_text(content if isinstance(content, str) else json.dumps(content))
    return path


def collection(*features, **top):
    return {"type": "FeatureCollection", **top, "features": list(features)}


def feature(role, kind, coords):
    return {"type": "Feature", "properties": {"role": role} if role else {},
            "geometry": {"type": kind, "coordinates": coords}}


SQUARE = [[0, 0], [10, 0], [10, 10], [0, 10], [0, 0]]
BOX = [[[2, 2], [4, 2], [4, 4], [2, 4], [2, 2]]]
LOCAL = {"frame": "local"}


def square_site(*extra):
    return collection(feature("perimeter", "Polygon", [SQUARE]), *extra, **LOCAL)


def test_default_run_writes_every_output(tmp_path):
    outs = {o: tmp_path / f"garden{s}" for o, s in
            (("plot", ".png"), ("geojson", ".geojson"), ("map", ".html"), ("mission", ".waypoints"))}
    r = run(*[a for o, p in outs.items() for a in (f"--{o}", p)], umask=0o027)
    assert r.returncode == 0, r.stderr
    assert r.stderr == ""
    assert outs["plot"].read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert outs["mission"].read_text().startswith("QGC WPL 110\n")
    assert "L.map(" in outs["map"].read_text() and "https://unpkg" not in outs["map"].read_text()
    for p in outs.values():
        assert stat.S_IMODE(p.stat().st_mode) == 0o640
    data = json.loads(outs["geojson"].read_text())
    route = [f for f in data["features"] if "order" in f["properties"]]
    total = sum(f["properties"]["length_m"] for f in route)
    assert f"{total:.1f} m" in summary_value(r.stdout, "route")
    assert "coverage" in r.stdout and "gap:" in r.stdout
    assert not list(tmp_path.glob(".*"))  # no temporary files left


@pytest.mark.parametrize("site, args", [("park", ["--pattern", "squares", "--angle", "30"]),
                                        ("orchard", ["--pattern", "rings"]),
                                        ("orchard", ["--fit"]),
                                        ("garden-local", ["--offset", "0.3"])])
def test_bundled_sites(tmp_path, site, args):
    out = tmp_path / "plot.svg"
    r = run(SITES / f"{site}.geojson", *args, "--plot", out)
    assert r.returncode == 0, r.stderr
    assert out.stat().st_size > 1000
    assert summary_value(r.stdout, "skipped").startswith("0")
    if "--fit" in args:
        assert float(summary_value(r.stdout, "coverage").split()[0]) >= 99.0


NESTED = '{"type": "FeatureCollection", "features": ' + "[" * 100000 + "]" * 100000 + "}"


@pytest.mark.parametrize("content, args, message", [
    (None, [], "no such file"),
    ("{not json", [], "not valid JSON"),
    (NESTED, [], "nested too deeply"),
    (collection(**LOCAL), [], "no features"),
    (collection(feature("obstacle", "Polygon", BOX), **LOCAL), [], "no feature with role 'perimeter'"),
    (collection(feature("perimeter", "LineString", SQUARE), **LOCAL), [], "must be a Polygon"),
    (square_site(feature("tree", "Point", [1, 1])), [], "has role 'tree'"),
    (collection(feature(None, "Polygon", [SQUARE]), feature(None, "Polygon", BOX), **LOCAL), [],
     "give each a 'role'"),
    ('{"type": "FeatureCollection", "frame": "local", "features": [{"type": "Feature", '
     '"properties": {"role": "perimeter"}, "geometry": {"type": "Polygon", "coordinates": '
     '[[[0, 0], [1e999, 0], [10, 10], [0, 0]]]}}]}', [], "1e999"),
    (collection(feature("perimeter", "Polygon", [[[0, 0], [0, 0], [0, 0], [0, 0]]]), **LOCAL), [],
     "three distinct positions"),
    (collection(feature("perimeter", "Polygon", [SQUARE])), [], "--frame local"),
    (square_site(), ["--offset", "0"], "--offset 0"),
    (square_site(), ["--border-laps", "-1"], "out of range"),
    (square_site(), ["--border-laps", str(2**64)], "out of range"),
    (square_site(), ["--pattern", "line"], "lines, squares, rings"),
    (square_site(), ["--pattern", "Lines"], "lines, squares, rings"),
    (square_site(), ["--mission", "{out}/m.waypoints"], "needs a geographic site"),
    (square_site(), ["--plot", "{out}/route.bmp"], "unsupported plot type"),
    (square_site(), ["--map", "{out}"], "is a directory"),
    (square_site(), ["--plot", "{out}/no/such/folder.png"], "folder does not exist"),
    (square_site(), ["--map", "{out}/m.html"], "Leaflet"),
    (square_site(), ["--return"], "no docking wire"),
    (square_site(), ["--cutter", "servo:9:1900:1100"], "--cutter"),
    (square_site(), ["--cutter", "servo:33:1900:1100", "--mission", "{out}/m.plan"], "1 to 32"),
    (square_site(), ["--cutter", "relay:16"], "0 to 15"),
    (square_site(), ["--cutter", "relay:1", "--mission", "{out}/m.csv"], "--cutter"),
    (square_site(), ["--speed", "0"], "MOW[:TRANSIT]"),
], ids=lambda v: v[:30] if isinstance(v, str) else None)
def test_bad_input_exits_2_with_one_line_and_no_output(tmp_path, content, args, message):
    site = tmp_path / "missing.geojson" if content is None else write(tmp_path, "site.geojson",
                                                                         content)
    out = tmp_path / "out"
    out.mkdir()
    args = [a.replace("{out}", str(out)) for a in args]
    r = run(site, *args, "--geojson", out / "route.geojson",
            env={"SWATHOR_LEAFLET_DIR": str(tmp_path)})
    assert r.returncode == 2, r.stdout
    assert message in r.stderr and "Traceback" not in r.stderr
    assert len(r.stderr.strip().splitlines()) == 1
    assert list(out.iterdir()) == []


@pytest.mark.parametrize("extra, warning", [
    (feature("obstacle", "Polygon", [[[2, 2], [4, 4], [4, 2], [2, 4], [2, 2]]]), "repaired"),
    (feature("obstacle", "Polygon", [[[2, 2], [4, 2], [4, 2], [4, 4], [2, 4], [2, 2]]]),
     "removed 1 repeated"),
    (feature("mow_area", "Polygon", [[[5, 5], [15, 5], [15, 8], [5, 8], [5, 5]]]),
     "clipped to it"),
    # Hand-written GeoJSON: GDAL's own warnings become one line of ours.
    (feature("obstacle", "Polygon", [[[2, 2], [4, 2], [4, 4], [2, 4]]]), "closing position closed"),
    (feature("obstacle", "Polygon", [[[2, 2, 0, 7], [4, 2], [4, 4], [2, 4], [2, 2]]]),
     "more than three numbers"),
])
def test_repairs_are_said_in_one_line(tmp_path, extra, warning):
    r = run(write(tmp_path, "site.geojson", square_site(extra)), "--offset", "0.5")
    assert r.returncode == 0, r.stderr
    assert warning in r.stderr and len(r.stderr.strip().splitlines()) == 1


DOCKED = square_site(feature("docking_wire", "LineString", [[-1, 5], [0.5, 5], [2, 5]]))


@pytest.mark.parametrize("site, start, status, expect", [
    (DOCKED, ["-1", "5"], 0, "route starts with the wire"),
    (DOCKED, ["-1.3", "5.2"], 0, "route starts with the wire"),
    (square_site(), ["-0.3", "1"], 1, "0.30 m outside the lawn"),
    (square_site(feature("obstacle", "Polygon", BOX)), ["3", "3"], 1, "inside obstacle 0"),
])
def test_start_and_dock(tmp_path, site, start, status, expect):
    geo = tmp_path / "route.geojson"
    back = ["--return"] if site is DOCKED else []
    r = run(write(tmp_path, "site.geojson", site), "--start", *start, *back, "--geojson", geo)
    assert r.returncode == status, r.stderr
    if status:
        assert expect in r.stderr and "not mowed" in r.stderr
        return
    assert summary_value(r.stdout, "skipped").startswith("0")
    route = [f for f in json.loads(geo.read_text())["features"] if "order" in f["properties"]]
    first, last = route[0]["geometry"]["coordinates"], route[-1]["geometry"]["coordinates"]
    assert first[:2] == [[float(start[0]), float(start[1])], [-1, 5]] or first[0] == [-1, 5]
    assert route[0]["properties"]["kind"] == "transit" and last[-1] == first[0]


def test_outputs_write_through_links_fifos_and_stdout(tmp_path):
    real = tmp_path / "real.geojson"
    real.write_text("old")
    link = tmp_path / "link.geojson"
    link.symlink_to(real)
    r = run("--geojson", link)
    assert r.returncode == 0 and link.is_symlink()
    assert json.loads(real.read_text())["type"] == "FeatureCollection"
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    reader = subprocess.Popen(["cat", str(fifo)], stdout=subprocess.PIPE)
    r = run("--geojson", fifo)
    assert r.returncode == 0, r.stderr
    assert json.loads(reader.communicate(timeout=30)[0])["type"] == "FeatureCollection"
    assert stat.S_ISFIFO(fifo.stat().st_mode)
    r = run("--geojson", "-")
    assert r.returncode == 0 and json.loads(r.stdout)["type"] == "FeatureCollection"
    assert "coverage" in r.stderr


def test_many_sites(tmp_path):
    sites = tmp_path / "sites"
    sites.mkdir()
    for name in ("garden", "park"):
        (sites / f"{name}.geojson").write_bytes((SITES / f"{name}.geojson").read_bytes())
    write(sites, "broken.geojson", "{")
    r = run(sites, "--map", tmp_path / "{site}.html", "--jobs", "2")
    assert r.returncode == 1
    assert sorted(p.name for p in tmp_path.glob("*.html")) == ["garden.html", "park.html"]
    assert r.stderr.count("\n") == 1 and "broken.geojson" in r.stderr
    table = r.stdout.splitlines()[-3:]
    assert [l.split()[0] for l in table] == ["broken.geojson", "garden.geojson", "park.geojson"]
    r = run(sites, "--map", tmp_path / "one.html")
    assert r.returncode == 2 and "{site}" in r.stderr


def test_help_names_every_option():
    r = run("--help")
    assert r.returncode == 0
    for option in ("--pattern", "--offset", "--angle", "--inset", "--border-laps", "--fit",
                   "--obstacle-laps", "--start", "--return", "--plot", "--geojson", "--map",
                   "--mission", "--cutter", "--frame", "counter-clockwise from east"):
        assert option in r.stdout
