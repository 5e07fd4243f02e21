"""Borders recorded by driving: thousands of noisy points plan like the drawn outline."""

import json
import math
import os
import random
import subprocess
import sys

import pytest
import shapely

import swathor_plan as sp
from test_cli import run, summary_value


def curvy_park(n=34):
    pts = []
    for i in range(n):
        t = 2 * math.pi * i / n
        r = 1 + 0.1 * math.sin(3 * t) + 0.07 * math.cos(5 * t + 1) + 0.12 * math.sin(9 * t)
        pts.append((60 * r * math.cos(t) + 60, 40 * r * math.sin(t) + 45))
    return pts


def recorded(ring, seed, step=0.05, noise=0.005):
    """The ring as an RTK receiver records it: a point every `step`, each off by up to `noise`."""
    rng = random.Random(seed)
    out = []
    for a, b in zip(ring, ring[1:] + ring[:1]):
        k = max(1, int(math.dist(a, b) / step))
        for j in range(k):
            t = j / k
            out.append((a[0] + (b[0] - a[0]) * t + rng.uniform(-noise, noise),
                        a[1] + (b[1] - a[1]) * t + rng.uniform(-noise, noise)))
    return out


def site_file(tmp_path, name, perimeter, obstacles=()):
    feats = [{"type": "Feature", "properties": {"role": role},
              "geometry": {"type": "Polygon", "coordinates": [[*map(list, r), list(r[0])]]}}
             for role, r in [("perimeter", perimeter)] + [("obstacle", o) for o in obstacles]]
    path = tmp_path / name
    path.write_text(json.dumps({"type": "FeatureCollection", "frame": "local", "features": feats}))
    return path


OBSTACLES = [[(50, 40), (62, 40), (62, 48), (50, 48)],
             [(90 + 4 * math.cos(k / 2), 50 + 4 * math.sin(k / 2)) for k in range(12)]]


def figures(stdout):
    route = summary_value(stdout, "route")
    return (int(route.split()[0]), int(route.split(", ")[-1].split()[0]),
            float(summary_value(stdout, "coverage").split()[0]))


@pytest.mark.parametrize("angle", [0, 35, 90])
def test_recorded_border_plans_like_the_drawn_one(tmp_path, angle):
    drawn = site_file(tmp_path, "drawn.geojson", curvy_park(), OBSTACLES)
    driven = site_file(tmp_path, "driven.geojson", recorded(curvy_park(), seed=angle), OBSTACLES)
    a = run(drawn, "--angle", angle)
    b = run(driven, "--angle", angle)
    assert a.returncode == 0 and b.returncode == 0, a.stderr + b.stderr
    assert "perimeter: 7,762 -> " in summary_value(b.stdout, "simplify")
    (pts_a, turns_a, cov_a), (pts_b, turns_b, cov_b) = figures(a.stdout), figures(b.stdout)
    assert pts_b <= 1.3 * pts_a and turns_b <= 1.3 * turns_a
    assert abs(cov_a - cov_b) <= 0.3


def test_recorded_border_through_the_module_stays_within_a_gigabyte(tmp_path):
    # No simplification: every recorded point is a corner of the transit graph. Lanes that
    # reach the noisy border make the searches expand thousands of corners.
    path = site_file(tmp_path, "driven.geojson", recorded(curvy_park(), seed=5), OBSTACLES)
    # AddressSanitizer reserves terabytes of address space for its shadow: no limit there.
    limit = "" if "libasan" in os.environ.get("LD_PRELOAD", "") else \
        "resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))"
    script = f"""
import resource, swathor, swathor_plan as sp
from pathlib import Path
{limit}
site = sp.load_site(Path({str(path)!r}), simplify=0)
assert len(site.perimeter) > 7000
plan = sp.plan_site(site, sp.options(distanceToBorder=0.0), site.perimeter[0])
print(len(plan.skipped))
"""
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=300)
    assert r.returncode == 0, r.stderr[-2000:]
    assert r.stdout.strip() == "0"


def test_rings_that_meet_still_meet_after_simplification(tmp_path):
    # The border is recorded; a shed stands on it (drawn on the border's own points) and a
    # bed shares the shed's far edge. Each shared stretch must stay shared.
    border = recorded([(0, 0), (40, 0), (40, 30), (0, 30)], seed=3)
    on_border = [p for p in border if p[1] < 0.1 and 10 <= p[0] <= 20]
    shed = on_border + [(on_border[-1][0], 5), (on_border[0][0], 5)]
    bed = [(on_border[0][0], 5), (on_border[-1][0], 5), (on_border[-1][0], 9),
           (on_border[0][0], 9)]
    path = site_file(tmp_path, "site.geojson", border, [shed, bed])
    raw = sp.load_site(path, simplify=0)
    site = sp.load_site(path)
    assert len(site.perimeter) < len(raw.perimeter) / 50

    def shared(one, other):
        return shapely.Polygon(one).boundary.intersection(shapely.Polygon(other).boundary).length

    shed_after, bed_after = map(shapely.Polygon, site.obstacles)
    assert shared(site.obstacles[0], site.perimeter) > 0.999 * math.dist(on_border[0],
                                                                         on_border[-1])
    assert shapely.Polygon(site.perimeter).buffer(1e-9).covers(shed_after)
    assert shared(site.obstacles[0], site.obstacles[1]) == pytest.approx(
        shared(raw.obstacles[0], raw.obstacles[1]), abs=1e-9)
    assert shed_after.intersection(bed_after).area < 1e-9


@pytest.mark.parametrize("value", ["-0.1", "nan", "x"])
def test_bad_tolerance_is_one_line_and_exit_2(value):
    r = run("--simplify", value)
    assert r.returncode == 2 and r.stderr.count("\n") == 1 and "--simplify" in r.stderr
