"""Property-based checks of the Python surface on random sites, settings and starts."""

import math
import os

from hypothesis import HealthCheck, given, settings, strategies as st

import swathor as S

try:
    from shapely.geometry import LineString as ShLine, Polygon as ShPolygon
except ImportError:  # the obstacle-crossing property needs shapely
    ShLine = ShPolygon = None

settings.register_profile("default", max_examples=300, deadline=None, derandomize=True,
                          database=None, suppress_health_check=[HealthCheck.too_slow])
settings.register_profile("quick", max_examples=40, deadline=None, derandomize=True,
                          database=None, suppress_health_check=[HealthCheck.too_slow])
settings.register_profile("soak", max_examples=5000, deadline=None, database=None,
                          suppress_health_check=[HealthCheck.too_slow])
settings.load_profile(os.environ.get("SWATHOR_HYPOTHESIS_PROFILE", "default"))

coord = st.floats(-60, 60, allow_nan=False, allow_infinity=False)


@st.composite
def rings(draw, centre=None, max_radius=40.0):
    cx = draw(coord) if centre is None else centre[0]
    cy = draw(coord) if centre is None else centre[1]
    radius = draw(st.floats(0.5, max_radius))
    n = draw(st.integers(3, 14))
    kind = draw(st.sampled_from(["convex", "star", "scrambled"]))
    pts = []
    for k in range(n):
        a = 2 * math.pi * k / n
        r = radius * (draw(st.floats(0.4, 1.0)) if kind == "star" else 1.0)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    if kind == "scrambled":
        pts = draw(st.permutations(pts))  # usually self-intersecting
    if draw(st.booleans()) and len(pts) > 1:
        i = draw(st.integers(0, len(pts) - 2))
        mid = ((pts[i][0] + pts[i + 1][0]) / 2, (pts[i][1] + pts[i + 1][1]) / 2)
        pts.insert(i + 1, mid if draw(st.booleans()) else pts[i])  # collinear or duplicate
    if draw(st.booleans()):
        pts.append(pts[0])  # repeated closing point
    return pts


@st.composite
def sites(draw):
    perimeter = draw(rings(centre=(0.0, 0.0), max_radius=50.0))
    obstacles = draw(st.lists(rings(max_radius=12.0), max_size=4))
    mow_areas = draw(st.lists(rings(max_radius=40.0), max_size=2))
    wire = draw(st.lists(st.tuples(coord, coord), max_size=8))
    return perimeter, obstacles, mow_areas, wire


laps = st.one_of(st.integers(0, 4), st.just(2**64 - 1), st.integers(0, 2**64 - 1))
options = st.fixed_dictionaries({
    "pattern": st.sampled_from(["lines", "squares", "rings", "", "Lines"]),
    "offset": st.floats(0.6, 6.0),
    "angle": st.floats(-7.0, 7.0),
    "distanceToBorder": st.floats(-2.0, 6.0),
    "mowArea": st.booleans(), "mowBorder": st.booleans(), "borderLaps": laps,
    "mowBorderCcw": st.booleans(), "mowExclusionsBoder": st.booleans(),
    "exclusionsBorderLaps": laps, "mowExclusionsBorderCcw": st.booleans(),
})


def build(site):
    perimeter, obstacles, mow_areas, wire = site
    poly = lambda pts: S.Polygon([S.Point(x, y) for x, y in pts])  # noqa: E731
    env = S.Environment(poly(perimeter))
    for o in obstacles:
        env.addObstacle(poly(o))
    for m in mow_areas:
        env.addMowArea(poly(m))
    env.setVirtualWire(S.LineString([S.Point(x, y) for x, y in wire]))
    return env


def coords(line):
    return [(p.x, p.y) for p in line.getPoints()]


def snapshot(env, s, start):
    return (coords(env.getPerimeter()), [coords(o) for o in env.getObstacles()],
            {k: getattr(s, k) for k in dir(s) if not k.startswith("_")}, (start.x, start.y))


def trimmed(a, b, by):
    length = math.dist(a, b)
    if length <= 2 * by:
        return None
    ux, uy = (b[0] - a[0]) / length * by, (b[1] - a[1]) / length * by
    return (a[0] + ux, a[1] + uy), (b[0] - ux, b[1] - uy)


@given(site=sites(), opts=options, start=st.tuples(st.floats(-80, 80), st.floats(-80, 80)))
def test_any_site_plans_safely(site, opts, start):
    env = build(site)
    s = S.PathSettings()
    for k, v in opts.items():
        setattr(s, k, v)
    origin = S.Point(*start)
    before = snapshot(env, s, origin)
    try:
        result = S.PathService().computeFullTask(env, s, origin)
    except ValueError:
        assert snapshot(env, s, origin) == before
        return
    assert snapshot(env, s, origin) == before

    path = coords(result.path)
    slices = [coords(x) for x in result.slices]
    assert all(math.isfinite(v) for p in path for v in p)
    assert all(math.isfinite(v) for sl in slices for p in sl for v in p)
    if slices:
        assert math.dist(path[0], start) < 1e-9 * (1 + math.hypot(*start))
    else:
        assert path == []

    # No lane is driven more often than it occurs among the slices.
    steps = list(zip(path, path[1:]))
    lanes = {}
    for sl in slices:
        if len(sl) == 2 and sl[0] != sl[1]:
            key = frozenset(sl)
            lanes[key] = lanes.get(key, 0) + 1
    driven = {}
    for a, b in steps:
        key = frozenset((a, b))
        if key in lanes:
            driven[key] = driven.get(key, 0) + 1
    assert all(driven[k] <= lanes[k] for k in driven)

    # No step between slices runs through an obstacle (the first and last 0.011 of a
    # hop are not tested by the planner); consecutive wire points are linked anyway.
    if ShPolygon is None:
        return
    edges = set()
    for sl in slices:
        ring = sl + sl[:1] if len(sl) >= 3 else sl
        edges.update(zip(ring, ring[1:]))
    wire = site[3]
    # Obstacles count only inside the perimeter, on the planner's 1/1000 grid: a hop may
    # run along the border where an obstacle reaches it.
    lawn = ShPolygon(site[0])
    blocks = []
    for o in site[1]:
        shape = ShPolygon(o)
        if shape.is_valid and shape.area > 1e-6 and lawn.is_valid:
            inside = shape.intersection(lawn)
            blocks.append(shape.buffer(-1e-6) if inside.area == shape.area else
                          inside.buffer(-2e-3))
    for a, b in steps:
        if (a, b) in edges or (b, a) in edges:
            continue
        if any(math.dist(a, wire[i]) < 1e-7 and math.dist(b, wire[j]) < 1e-7
               for i in range(len(wire)) for j in (i - 1, i + 1) if 0 <= j < len(wire)):
            continue
        inner = trimmed(a, b, 0.011)
        if inner is None:
            continue
        hop = ShLine(inner)
        assert not any(block.intersects(hop) for block in blocks), (a, b)


@given(values=st.lists(st.one_of(st.floats(), st.integers(-2**70, 2**70)), min_size=4,
                       max_size=4))
def test_odd_numbers_give_a_result_or_a_value_error(values):
    x, y, offset, angle = values
    env = S.Environment(S.Polygon([S.Point(0, 0), S.Point(10, 0), S.Point(x, y)]))
    s = S.PathSettings()
    try:
        s.offset = offset
        s.angle = angle
    except TypeError:
        return
    try:
        result = S.PathService().computeFullTask(env, s, S.Point(1, 1))
    except ValueError as e:
        assert str(e)
        return
    assert all(math.isfinite(p.x) and math.isfinite(p.y) for p in result.path.getPoints())
