"""swathor-plan run as a program, the way a person runs it."""

import json
import math
import os
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
SITES = REPO / "examples" / "sites"


def run(*args, cwd=None):
    return subprocess.run([sys.executable, "-m", "swathor_plan", *map(str, args)],
                          capture_output=True, text=True, cwd=cwd, env=os.environ.copy())


def summary_value(stdout, key):
    line = next(l for l in stdout.splitlines() if l.startswith(key + ":"))
    return line.split(":", 1)[1].strip()


def test_default_run_writes_picture_and_geojson(tmp_path):
    png, geo = tmp_path / "garden.png", tmp_path / "garden.geojson"
    r = run("--plot", png, "--geojson", geo)
    assert r.returncode == 0, r.stderr
    assert r.stderr == ""
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    data = json.loads(geo.read_text())
    kinds = [f["properties"]["kind"] for f in data["features"]]
    assert kinds[0] == "route" and "lane" in kinds and "border_lap" in kinds
    # The summary's lengths agree with the route written out.
    route = data["features"][0]["geometry"]["coordinates"]
    total = sum(math.dist(a, b) for a, b in zip(route, route[1:]))
    text = summary_value(r.stdout, "route")
    assert f"{total:.1f} m" in text
    mowing, transit = (float(x.split(" m ")[0].split()[-1]) for x in text.split("(")[1].split(","))
    assert mowing + transit == pytest.approx(total, abs=0.15)
    assert not list(tmp_path.glob(".*"))  # no temporary files left


@pytest.mark.parametrize("site, suffix", [("park", ".svg"), ("orchard", ".pdf")])
def test_bundled_sites_and_plot_formats(tmp_path, site, suffix):
    out = tmp_path / f"plot{suffix}"
    r = run(SITES / f"{site}.geojson", "--pattern", "squares", "--offset", "1", "--angle", "30",
            "--plot", out)
    assert r.returncode == 0, r.stderr
    assert out.stat().st_size > 1000
    assert summary_value(r.stdout, "skipped").startswith("0")


def write(tmp_path, name, content):
    path = tmp_path / name
    path.write_text(content if isinstance(content, str) else json.dumps(content))
    return path


def collection(*features):
    return {"type": "FeatureCollection", "features": list(features)}


def feature(role, kind, coords):
    return {"type": "Feature", "properties": {"role": role},
            "geometry": {"type": kind, "coordinates": coords}}


SQUARE = [[0, 0], [10, 0], [10, 10], [0, 10], [0, 0]]


@pytest.mark.parametrize("content, args, message", [
    (None, [], "no such file"),
    ("{not json", [], "not valid JSON"),
    (collection(), [], "no feature with role 'perimeter'"),
    (collection(feature("perimeter", "LineString", SQUARE)), [], "must be a Polygon"),
    (collection(feature("perimeter", "Polygon", [SQUARE]), feature("tree", "Point", [1, 1])), [],
     "has role 'tree'"),
    (collection(feature("perimeter", "Polygon", [[[0, 0], [10, "x"], [10, 10], [0, 0]]])), [],
     "is not a number"),
    ('{"type": "FeatureCollection", "features": [{"type": "Feature", "properties": {"role": '
     '"perimeter"}, "geometry": {"type": "Polygon", "coordinates": [[[0, 0], [10, NaN], [10, 10], '
     '[0, 0]]]}}]}', [], "not finite"),
    (collection(feature("perimeter", "Polygon", [SQUARE])), ["--offset", "0"], "offset is 0"),
    (collection(feature("perimeter", "Polygon", [SQUARE])), ["--border-laps", "-1"], "0 or more"),
])
def test_bad_input_exits_2_without_output(tmp_path, content, args, message):
    site = tmp_path / "missing.geojson" if content is None else write(tmp_path, "site.geojson", content)
    png, geo = tmp_path / "out.png", tmp_path / "out.geojson"
    r = run(site, *args, "--plot", png, "--geojson", geo)
    assert r.returncode == 2
    assert message in r.stderr and "Traceback" not in r.stderr
    assert len(r.stderr.strip().splitlines()) == 1
    assert not png.exists() and not geo.exists()


def test_unsupported_picture_type(tmp_path):
    r = run("--plot", tmp_path / "route.bmp")
    assert r.returncode == 2 and "unsupported picture type" in r.stderr


def test_help_explains_options():
    r = run("--help")
    assert r.returncode == 0
    for option in ("--pattern", "--offset", "--angle", "--inset", "--border-laps",
                   "--obstacle-laps", "--border-ccw", "--obstacle-ccw", "--no-area", "--no-border",
                   "--no-obstacle-laps", "--start", "--plot", "--geojson"):
        assert option in r.stdout
