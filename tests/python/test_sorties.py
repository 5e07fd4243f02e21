"""A big lawn over several charges: sorties from the dock and back that fit the battery."""

import json
import math
from pathlib import Path

import pytest
import shapely

import swathor_plan as sp
from swathor_plan import drive
from swathor_plan.planning import dock_position
from swathor_plan.sorties import SortieError, plan_sorties
from test_cli import run

PARK = Path(__file__).resolve().parents[2] / "examples" / "sites" / "park.geojson"


@pytest.fixture(scope="module")
def park():
    site = sp.load_site(PARK)
    dock = dock_position(site)
    plan = sp.plan_site(site, sp.options(), dock)
    return site, plan, dock, sp.measure(site, plan, 0.5)


@pytest.mark.parametrize("battery", [25, 45, 240])
def test_sorties_fit_the_battery_and_mow_what_the_route_mows(park, battery):
    site, plan, dock, single = park
    trips = plan_sorties(site, plan, battery, mowable=single.mowable)
    blocked = shapely.union_all([shapely.Polygon(o) for o in site.obstacles]).buffer(-0.01)
    for s in trips.sorties:
        assert s.route[0] == dock and s.route[-1] == dock
        assert drive.duration(s.route, s.on).total_s <= battery * 60 + 1e-6
        assert not shapely.LineString(s.route).intersects(blocked)
    together = sp.measure(site, trips.plan(plan), 0.5)
    assert together.covered_m2 == pytest.approx(single.covered_m2, rel=1e-3)
    assert len(trips.sorties) == 1 if battery == 240 else len(trips.sorties) > 1


def test_a_battery_too_small_or_no_dock_is_one_line_and_exit_2(park, tmp_path):
    site, plan, _, _ = park
    with pytest.raises(SortieError, match="cannot"):
        plan_sorties(site, plan, 1)
    r = run(PARK, "--battery", "1")
    assert r.returncode == 2 and len(r.stderr.strip().splitlines()) == 1
    garden = tmp_path / "lawn.geojson"
    garden.write_text('{"type": "FeatureCollection", "frame": "local", "features": [{"type": '
                      '"Feature", "properties": {"role": "perimeter"}, "geometry": {"type": '
                      '"Polygon", "coordinates": [[[0, 0], [9, 0], [9, 9], [0, 9], [0, 0]]]}}]}')
    r = run(garden, "--battery", "60")
    assert r.returncode == 2 and "docking wire" in r.stderr


def test_sorties_through_the_command(tmp_path):
    r = run(PARK, "--battery", "45", "--mission", tmp_path / "park.waypoints",
            "--geojson", tmp_path / "route.geojson")
    assert r.returncode == 0, r.stderr
    assert "sorties:" in r.stdout
    count = int(r.stdout.split("sorties:")[1].split()[0])
    assert len(list(tmp_path.glob("park-*.waypoints"))) == count > 1
    features = json.loads((tmp_path / "route.geojson").read_text())["features"]
    assert {f["properties"]["sortie"] for f in features if "order" in f["properties"]} == \
        set(range(1, count + 1))


def test_a_lawn_in_parts_gets_sorties_for_the_docks_part(tmp_path):
    def box(x0, x1):
        return [[x0, 0], [x1, 0], [x1, 40], [x0, 40], [x0, 0]]

    site = tmp_path / "two.geojson"
    site.write_text(json.dumps({"type": "FeatureCollection", "frame": "local", "features": [
        {"type": "Feature", "properties": {"role": "perimeter"},
         "geometry": {"type": "MultiPolygon", "coordinates": [[box(0, 60)], [box(70, 130)]]}},
        {"type": "Feature", "properties": {"role": "docking_wire"},
         "geometry": {"type": "LineString", "coordinates": [[-2, 5], [2, 5]]}}]}))
    r = run(site, "--battery", "30", "--mission", tmp_path / "two.csv")
    assert r.returncode == 0, r.stderr
    count = int(r.stdout.split("sorties:")[1].split()[0])
    assert count > 1 and "part 2 about" in r.stdout
    assert len(list(tmp_path.glob("two-*.csv"))) == count + 1


@pytest.mark.parametrize("battery", [None, 25])     # one route; sorties with steps between
def test_stretches_all_at_once_are_the_plans_own(park, battery):
    import numpy as np
    site, plan, dock, single = park
    if battery:
        plan = plan_sorties(site, plan, battery, mowable=single.mowable).plan(plan)
    first, steps, index, piece = drive.stretch_spans(np, plan)
    got = [(s >= 0, s, plan.route[a:a + n + 1]) for a, n, s in
           zip(first.tolist(), steps.tolist(), index.tolist())]
    assert got == plan.stretches()
    parts = [k for k, part in enumerate(plan.part_plans()) for _ in part.stretches()]
    assert piece.tolist() == parts and (max(parts) > 0) == bool(battery)
