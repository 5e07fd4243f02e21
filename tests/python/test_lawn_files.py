"""Lawn files as GIS tools write them: other datums, KML from ogr2ogr."""

import json
import math
import subprocess

import pytest

import swathor_plan as sp


def lonlat_site(tmp_path, lon0, lat0):
    m = 111_250.0
    ring = [[lon0 + x / (m * math.cos(math.radians(lat0))), lat0 + y / m]
            for x, y in [(0, 0), (40, 0), (40, 30), (0, 30), (0, 0)]]
    bed = [[lon0 + x / (m * math.cos(math.radians(lat0))), lat0 + y / m]
           for x, y in [(10, 10), (14, 10), (14, 13), (10, 13), (10, 10)]]
    path = tmp_path / "lawn.geojson"
    path.write_text(json.dumps({"type": "FeatureCollection", "features": [
        {"type": "Feature", "properties": {"role": role, "name": name},
         "geometry": {"type": "Polygon", "coordinates": [r]}}
        for role, name, r in (("perimeter", "lawn", ring), ("obstacle", "bed", bed))]}))
    return path


def ogr2ogr(*args):
    subprocess.run(["ogr2ogr", *map(str, args)], check=True, capture_output=True)


@pytest.mark.parametrize("epsg, lon, lat", [
    ("EPSG:27700", -1.5, 52.5),    # British National Grid, OSGB36
    ("EPSG:2056", 7.5, 46.9),      # Swiss LV95, CH1903+
    ("EPSG:26715", -105.0, 40.0),  # NAD27 / UTM 15N
])
def test_other_datums_land_where_their_lonlat_twin_lies(tmp_path, epsg, lon, lat):
    twin = lonlat_site(tmp_path, lon, lat)
    projected = tmp_path / "lawn.gpkg"
    ogr2ogr("-f", "GPKG", "-t_srs", epsg, projected, twin)
    a, b = sp.load_site(twin), sp.load_site(projected)
    lonlat_a, lonlat_b = a.frame.to_output(a.perimeter), b.frame.to_output(b.perimeter)
    apart = [math.dist(*a.frame.lonlat_to_plane([p, q])) for p, q in zip(lonlat_a, lonlat_b)]
    assert max(apart) < 0.5
    assert epsg in b.frame.describe()
    assert (" W" in b.frame.describe()) == (lon < 0)


def test_kml_written_by_ogr2ogr_keeps_its_roles(tmp_path):
    kml = tmp_path / "lawn.kml"
    ogr2ogr("-f", "KML", kml, lonlat_site(tmp_path, 5.17, 52.08))
    assert "<SimpleData name=\"role\">obstacle" in kml.read_text()
    site = sp.load_site(kml)
    assert len(site.obstacles) == 1 and not site.mow_areas


def test_a_lawn_in_parts_is_planned_part_by_part_and_never_driven_between(tmp_path):
    """A common cut by roads into five parts, written by ogr2ogr; a duplicate polygon is one lawn."""
    import shapely

    m = 111_250.0
    cos = math.cos(math.radians(52.08))

    def box(x0, y0, x1, y1):
        return [[5.17 + x / (m * cos), 52.08 + y / m]
                for x, y in [(x0, y0), (x1, y0), (x1, y1), (x0, y1), (x0, y0)]]

    parts = [box(0, 0, 40, 30), box(48, 0, 90, 30), box(0, 38, 40, 70), box(48, 38, 90, 70),
             box(100, 0, 130, 70), box(100, 0, 130, 70)]
    source = tmp_path / "common.geojson"
    source.write_text(json.dumps({"type": "FeatureCollection", "features": [
        {"type": "Feature", "properties": {"role": "perimeter"},
         "geometry": {"type": "MultiPolygon", "coordinates": [[p] for p in parts]}}]}))
    gpkg = tmp_path / "common.gpkg"
    ogr2ogr("-f", "GPKG", gpkg, source)
    from test_cli import run

    out = tmp_path / "out"
    out.mkdir()
    r = run(gpkg, "--angle", 30, "--geojson", out / "route.geojson",
            "--mission", out / "common.waypoints")
    assert r.returncode == 0, r.stderr
    assert "parts:     5 separate lawn parts" in r.stdout
    assert sorted(p.name for p in out.iterdir()) == [
        "common-1.waypoints", "common-2.waypoints", "common-3.waypoints", "common-4.waypoints",
        "common-5.waypoints", "route.geojson"]
    lawn = shapely.union_all([shapely.Polygon(p) for p in parts]).buffer(1e-7)
    stretches = [f for f in json.loads((out / "route.geojson").read_text())["features"]
                 if "order" in f["properties"]]
    assert {f["properties"]["part"] for f in stretches} == {1, 2, 3, 4, 5}
    for f in stretches:
        assert lawn.covers(shapely.LineString(f["geometry"]["coordinates"])), f["properties"]
