"""Site files as GIS tools write them, their frames, and mission files read back by robots' tools."""

import csv
import io
import json
import math
from pathlib import Path

import pyogrio
import pytest
import shapely

import swathor_plan as sp
from swathor_plan.mission import MAV_CMD_DO_SET_SERVO, MAV_CMD_NAV_WAYPOINT
from test_cli import run as run_cli

REPO = Path(__file__).resolve().parents[2]
GARDEN = REPO / "examples" / "sites" / "garden.geojson"
LON0, LAT0 = 5.17, 52.086          # a lawn in the Netherlands
M_PER_DEG_LAT = 111_250.0          # near 52 N, good to 0.1 % for sizing test lawns
M_PER_DEG_LON = M_PER_DEG_LAT * math.cos(math.radians(LAT0))


def lonlat_rect(w, h, z=None):
    pts = [(0, 0), (w, 0), (w, h), (0, h), (0, 0)]
    return [[LON0 + x / M_PER_DEG_LON, LAT0 + y / M_PER_DEG_LAT] + ([z] if z is not None else [])
            for x, y in pts]


def collection(features, **top):
    return {"type": "FeatureCollection", **top, "features": features}


def polygon(rings, role=None):
    return {"type": "Feature", "properties": {"role": role} if role else {},
            "geometry": {"type": "Polygon", "coordinates": rings}}


def write(tmp_path, data, name="site.geojson"):
    path = tmp_path / name
    path.write_text(json.dumps(data))
    return path


METRIC = [[0, 0], [30, 0], [30, 20], [0, 20], [0, 0]]


@pytest.mark.parametrize("data, frame, expect", [
    (collection([polygon([lonlat_rect(30, 20)], "perimeter")]), "auto", "geo"),
    (collection([polygon([lonlat_rect(30, 20, z=41.5)])]), "auto", "geo"),   # RTK heights
    (collection([polygon([METRIC])], frame="local"), "auto", "local"),
    (collection([polygon([METRIC])]), "local", "local"),
    (collection([polygon([METRIC])]), "auto", "--frame local"),
    (collection([polygon([METRIC])],
                crs={"type": "name", "properties": {"name": "urn:ogc:def:crs:OGC:1.3:CRS84"}}),
     "auto", "--frame local"),
    (collection([polygon([[[500000, 5770000], [500030, 5770000], [500030, 5770020],
                           [500000, 5770020], [500000, 5770000]]])],
                crs={"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::32631"}}),
     "auto", "geo"),
    (collection([polygon([lonlat_rect(30, 20)])], frame="local"), "auto", "--frame lonlat"),
    (collection([polygon([lonlat_rect(30, 20)])]), "local", "--frame lonlat"),
])
def test_frame_rules(tmp_path, data, frame, expect):
    path = write(tmp_path, data)
    if expect.startswith("--"):
        with pytest.raises(sp.SiteError, match=expect):
            sp.load_site(path, frame)
        return
    site = sp.load_site(path, frame)
    assert site.frame.geographic == (expect == "geo")
    area = shapely.Polygon(site.perimeter).area
    assert area == pytest.approx(600, rel=1e-2)   # 30 x 20 m however it was given


def test_lonlat_lawn_plans_the_route_of_its_local_plane(tmp_path):
    site = sp.load_site(GARDEN)
    local = collection([polygon([site.perimeter + site.perimeter[:1]], "perimeter")] +
                       [polygon([r + r[:1]], "obstacle") for r in site.obstacles], frame="local")
    planar = sp.load_site(write(tmp_path, local))
    options = sp.options(angle=0.4)
    a = sp.plan_site(site, options, site.perimeter[0])
    b = sp.plan_site(planar, options, planar.perimeter[0])
    assert len(a.route) == len(b.route) > 100
    assert max(math.dist(p, q) for p, q in zip(a.route, b.route)) < 1e-3


def test_gis_formats_written_by_gdal(tmp_path):
    """GeoPackage, Shapefile and KML written by GDAL itself; a MultiPolygon lawn with a hole."""
    import numpy as np

    lawn = shapely.MultiPolygon([
        shapely.Polygon(lonlat_rect(20, 10), [[[x + 5 / M_PER_DEG_LON, y + 4 / M_PER_DEG_LAT]
                                               for x, y in lonlat_rect(2, 2)]]),
        shapely.Polygon([[x + 30 / M_PER_DEG_LON, y] for x, y in lonlat_rect(10, 10)]),
    ])
    lawn = shapely.affinity.translate(lawn, 2 / M_PER_DEG_LON, 2 / M_PER_DEG_LAT, 0)
    geoms = np.array([shapely.to_wkb(lawn)], dtype=object)
    for name, driver in (("lawn.gpkg", "GPKG"), ("lawn.shp", "ESRI Shapefile"),
                         ("lawn.kml", "KML")):
        path = tmp_path / name
        pyogrio.raw.write(path, geoms, [np.array(["perimeter"], dtype=object)], ["role"],
                          driver=driver, geometry_type="MultiPolygon", crs="EPSG:4326")
        site = sp.load_site(path)
        assert site.frame.geographic
        assert len(site.parts) == 2 and len(site.obstacles) == 1
        plan = sp.plan_site(site, sp.options(offset=0.5), site.perimeter[0])
        assert not plan.skipped and plan.slices


@pytest.fixture(scope="module")
def garden_plan():
    site = sp.load_site(GARDEN)
    return site, sp.plan_site(site, sp.options(), site.perimeter[0])


def read_waypoints(path):
    from pymavlink import mavwp

    loader = mavwp.MAVWPLoader()
    loader.load(str(path))
    return [loader.wp(i) for i in range(loader.count())]


def test_waypoints_read_back_by_pymavlink(tmp_path, garden_plan):
    from swathor_plan import drive
    from swathor_plan.measure import mowable_area

    site, plan = garden_plan
    path = tmp_path / "garden.waypoints"
    path.write_bytes(sp.mission_bytes(".waypoints", site, plan, "garden",
                                      sp.Cutter.parse("servo:9:1900:1100")))
    items = read_waypoints(path)
    nav = [(w.y, w.x) for w in items[1:] if w.command == MAV_CMD_NAV_WAYPOINT]
    back = site.frame.lonlat_to_plane(nav)
    # No empty leg, and every route point within 1 cm of the legs.
    assert min(math.dist(p, q) for p, q in zip(back, back[1:])) >= drive.SAME_WAYPOINT
    legs = shapely.LineString(back)
    assert max(legs.distance(shapely.Point(p)) for p in plan.route) < 0.0101
    assert len(back) < len(plan.route)
    # The cutter switches only where a transit leaves the lawn or runs past the idle length.
    on = drive.cutter_states(plan, mowable_area(site))
    switches = sum(1 for a, b in zip(on, on[1:]) if a != b) + 1
    assert sum(1 for w in items if w.command == MAV_CMD_DO_SET_SERVO) <= switches + 1
    pwm, cut = None, []
    for w in items[1:]:
        if w.command == MAV_CMD_DO_SET_SERVO:
            assert w.param1 == 9
            pwm = w.param2
        else:
            cut.append(pwm == 1900)
    mowed = [p for p, c in zip(back, cut) if c]
    assert not cut[0] and mowed


def test_missions_as_a_rover_takes_them(tmp_path):
    """The park with its dock: a split mission, speeds, the way home, the parameters."""
    from pymavlink import mavparm

    out = tmp_path / "out"
    out.mkdir()
    r = run_cli(REPO / "examples" / "sites" / "park.geojson", "--return", "--max-items", "150",
                "--speed", "0.4:1.2", "--cutter", "relay:0", "--mission", out / "park.waypoints",
                "--params", out / "park.parm", "--geojson", out / "route.geojson")
    assert r.returncode == 0, r.stderr
    files = sorted(out.glob("park-*.waypoints"), key=lambda p: int(p.stem.split("-")[1]))
    assert len(files) >= 3
    missions = [read_waypoints(f) for f in files]
    for before, after in zip(missions, missions[1:]):
        last = [w for w in before if w.command == MAV_CMD_NAV_WAYPOINT][-1]
        first = [w for w in after[1:] if w.command == MAV_CMD_NAV_WAYPOINT][0]
        assert (last.x, last.y) == (first.x, first.y)
    assert all(len(m) <= 150 for m in missions)
    speeds = {w.param2 for m in missions for w in m if w.command == 178}
    assert speeds == {0.4, 1.2}
    assert "duration:  about" in r.stdout and "items:" in r.stdout
    # Home: out of the dock along the wire and back into it, never inside an obstacle.
    site = sp.load_site(REPO / "examples" / "sites" / "park.geojson")
    stretches = [f for f in json.loads((out / "route.geojson").read_text())["features"]
                 if "order" in f["properties"]]
    route = [p for f in stretches for p in f["geometry"]["coordinates"]]
    dock = site.frame.to_output([site.docking_wire[0]])[0]
    assert math.dist(route[0], dock) < 1e-9 and math.dist(route[-1], dock) < 1e-9
    blocked = shapely.union_all([shapely.Polygon(o) for o in site.obstacles]).buffer(-0.01)
    plane = site.frame.lonlat_to_plane(route)
    assert not shapely.LineString(plane).intersects(blocked)
    parm = mavparm.MAVParmDict()
    parm.load(str(out / "park.parm"))
    assert parm["WP_RADIUS"] <= 0.25 and parm["RELAY1_FUNCTION"] == 1


def test_plan_gpx_csv_read_back(garden_plan):
    import gpxpy
    import jsonschema

    site, plan = garden_plan
    qgc = json.loads(sp.mission_bytes(".plan", site, plan, "garden"))
    item = {"type": "object", "required": ["type", "command", "frame", "params", "autoContinue",
                                           "doJumpId"],
            "properties": {"params": {"type": "array", "minItems": 7, "maxItems": 7}}}
    schema = {"type": "object", "required": ["fileType", "version", "mission", "geoFence",
                                             "rallyPoints"],
              "properties": {"fileType": {"const": "Plan"}, "mission": {
                  "type": "object", "required": ["version", "firmwareType", "vehicleType",
                                                 "plannedHomePosition", "items"],
                  "properties": {"items": {"type": "array", "items": item}}}}}
    jsonschema.validate(qgc, schema)
    lonlat = [(i["params"][5], i["params"][4]) for i in qgc["mission"]["items"]]
    gpx = gpxpy.parse(sp.mission_bytes(".gpx", site, plan, "garden").decode())
    rows = list(csv.DictReader(io.StringIO(sp.mission_bytes(".csv", site, plan, "x").decode())))
    assert list(rows[0])[:4] == ["longitude", "latitude", "east_m", "north_m"]
    legs = shapely.LineString(plan.route)
    for back in (site.frame.lonlat_to_plane(lonlat),
                 site.frame.lonlat_to_plane([(p.longitude, p.latitude)
                                             for p in gpx.routes[0].points]),
                 site.frame.lonlat_to_plane([(float(r["longitude"]), float(r["latitude"]))
                                             for r in rows]),
                 [(float(r["east_m"]), float(r["north_m"])) for r in rows]):
        assert len(back) == len(rows)
        assert max(legs.distance(shapely.Point(p)) for p in back) < 1e-3
    # The fence holds the route: inside the lawn, outside every obstacle as the planner used it.
    fences = qgc["geoFence"]["polygons"]
    inside = [shapely.Polygon(site.frame.lonlat_to_plane([(lon, lat) for lat, lon in f["polygon"]]))
              for f in fences if f["inclusion"]]
    outside = [shapely.Polygon(site.frame.lonlat_to_plane([(lon, lat) for lat, lon in f["polygon"]]))
               for f in fences if not f["inclusion"]]
    driven = shapely.LineString(plan.route[plan.dock_steps:])
    assert shapely.union_all(inside).buffer(1e-3).covers(driven)
    assert not any(driven.crosses(o.buffer(-1e-3)) for o in outside)


def test_geojson_out_is_rfc7946_and_splits_the_route(garden_plan):
    site, plan = garden_plan
    data = sp.plan_geojson(site, plan)
    assert "crs" not in data and "frame" not in data
    route = [f for f in data["features"] if f["properties"].get("order") is not None]
    assert [f["properties"]["order"] for f in route] == list(range(len(route)))
    assert {f["properties"]["kind"] for f in route} == {"mowing", "transit"}
    points = [tuple(route[0]["geometry"]["coordinates"][0])] + [
        tuple(p) for f in route for p in f["geometry"]["coordinates"][1:]]
    back = site.frame.lonlat_to_plane(points)
    assert max(math.dist(p, q) for p, q in zip(back, plan.route)) < 1e-3
    total = sum(f["properties"]["length_m"] for f in route)
    assert total == pytest.approx(plan.length(True) + plan.length(False), abs=1e-2)
    for f in data["features"]:
        assert all(-180 <= x <= 180 and -90 <= y <= 90 for x, y in f["geometry"]["coordinates"])


@pytest.mark.parametrize("teeth", [3, 2500])        # one piece; hundreds of pieces
def test_map_simplifies_a_sawtooth_ring_in_pieces_within_tolerance(teeth):
    import numpy as np
    from swathor_plan.webmap import _simplified
    x = np.arange(2 * teeth + 1) * 0.025
    top = np.column_stack([x, 1 + 0.025 * (np.arange(len(x)) % 2)])
    ring = np.vstack([[[0, 0]], top, [[x[-1], 0], [0, 0]]])
    out, sizes = _simplified(shapely, np, ring, [len(ring)])
    assert sizes.tolist() == [len(out)]
    assert (out[0] == out[-1]).all()
    drawn, given = shapely.Polygon(out), shapely.Polygon(ring)
    assert drawn.hausdorff_distance(given) <= 0.01 + 1e-9


def test_map_colours_all_at_once_as_one_by_one():
    # Stops, halves that round to even, and outside [0, 1].
    from swathor_plan.webmap import order_colour, order_colours
    ts = [-0.5, 0.0, 0.2, 0.4, 0.5, 0.6, 0.8, 1.0, 1.5, 1 / 3, 0.1 + 0.2,
          *(k / 997 for k in range(997)), *(k / 1024 for k in range(1025))]
    assert order_colours(ts) == [order_colour(t) for t in ts]
    assert order_colours([]) == []
