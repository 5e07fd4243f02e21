"""Coverage, overlap, the gap rule and the slice kinds of one planning run."""

import itertools
import math
import sys
from pathlib import Path

import pytest

import swathor
import swathor_plan as sp
from swathor_plan.planning import BREAK, environment, settings_from

REPO = Path(__file__).resolve().parents[2]
SITES = REPO / "examples" / "sites"
STRIP = sp.Site(perimeter=[(0, 0), (10, 0), (10, 2), (0, 2)])


def lanes(*ys):
    """A plan that mows one lane per y across the strip, with transits between them."""
    route, steps = [], []
    for i, y in enumerate(ys):
        route += [(0, y), (10, y)]
        steps += ([-1] if i else []) + [i]
    return sp.Plan(route, [[(0, y), (10, y)] for y in ys], ["lane"] * len(ys), steps, [], 0.0)


@pytest.mark.parametrize("ys, covered, overlap", [
    ((0.5,), 10.0, 0.0),            # one lane: the lower half of the strip, a known gap above
    ((0.5, 1.5), 20.0, 0.0),        # two lanes side by side: all of it, no overlap
    ((0.5, 1.0), 15.0, 5.0),        # two lanes half a width apart: 5 m² mowed twice
])
def test_coverage_and_overlap_by_hand(ys, covered, overlap):
    m = sp.measure(STRIP, lanes(*ys), 1.0)
    assert m.covered_m2 == pytest.approx(covered, abs=1e-6)
    assert m.uncovered_m2 == pytest.approx(20 - covered, abs=1e-6)
    assert m.overlap_m2 == pytest.approx(overlap, abs=1e-6)
    assert m.transit_m == pytest.approx(sum(((10 ** 2 + (b - a) ** 2) ** 0.5)
                                            for a, b in zip(ys, ys[1:])))


@pytest.mark.parametrize("step, overlap", [(1.0, 0.0), (0.5, 9990.0)])
def test_thousands_of_rows_merged_in_groups_measure_as_a_whole(step, overlap):
    site = sp.Site(perimeter=[(0, 0), (10, 0), (10, 1000), (0, 1000)])
    m = sp.measure(site, lanes(*(0.5 + step * k for k in range(int(999 / step) + 1))), 1.0)
    assert (m.covered_m2, m.overlap_m2) == (pytest.approx(10000), pytest.approx(overlap))


def test_hundreds_of_loops_keep_their_holes():
    """Closed loops' swaths have holes, which must stay with their outer rings."""
    loops = [[(x, y), (x + 2, y), (x + 2, y + 2), (x, y + 2), (x, y)]
             for y in range(1, 91, 3) for x in range(1, 91, 3)]
    route, steps = [], []
    for k, loop in enumerate(loops):
        steps += ([-1] if k else []) + [k] * 4
        route += loop
    site = sp.Site(perimeter=[(0, 0), (100, 0), (100, 100), (0, 100)])
    m = sp.measure(site, sp.Plan(route, loops, ["ring"] * len(loops), steps, [], 0.0), 0.5)
    assert m.covered_m2 == pytest.approx(geos_figures(m)[0], abs=1e-3)


def test_skipped_slices_count_what_they_would_have_mowed_and_nothing_twice():
    slices = [[(0, 0.5), (10, 0.5)], [(0, 1.0), (10, 1.0)]]
    plan = sp.Plan(slices[0], slices, ["lane"] * 2, [0], [1], 0.0)
    m = sp.measure(STRIP, plan, 1.0)
    assert (m.covered_m2, m.skipped_m2) == (pytest.approx(10), pytest.approx(5))


def test_transits_mow_nothing_and_mow_areas_bound_the_measure():
    plan = lanes(0.5, 1.5)
    plan.step_slice = [0, -1, -1]
    site = sp.Site(perimeter=STRIP.perimeter, mow_areas=[[(0, 0), (5, 0), (5, 2), (0, 2)]])
    m = sp.measure(site, plan, 1.0)
    assert m.mowable_m2 == pytest.approx(10) and m.covered_m2 == pytest.approx(5)


@pytest.mark.parametrize("inset, offset, laps, fitted", [
    (1.5, 0.5, 4, 1.75), (1.0, 0.4, 3, 1.0), (0.3, 0.3, 2, 0.45), (0.0, 0.5, 1, 0.25),
])
def test_fit_rule(inset, offset, laps, fitted):
    assert sp.fit_laps(inset, offset) == (laps, pytest.approx(fitted))
    options = sp.options(distanceToBorder=fitted, offset=offset, borderLaps=laps,
                         exclusionsBorderLaps=laps)
    assert sp.gaps(options, True) == []


@pytest.mark.parametrize("laps, gaps", [((3, 2), {"border": 0.249, "obstacles": 0.749}),
                                        ((4, 4), {}), ((1, 0), {"border": 1.249, "obstacles": 1.5})])
def test_gap_rule(laps, gaps):
    options = sp.options(borderLaps=laps[0], exclusionsBorderLaps=laps[1])
    found = {g.where: round(g.width, 3) for g in sp.gaps(options, True)}
    assert found == gaps


def three_run_kinds(site, options):
    """The slice kinds as three planner runs tell them: the area slices, then the laps."""
    env = environment(site)
    start = swathor.Point(*site.perimeter[0])

    def count(**only):
        s = settings_from({**options, "mowArea": False, "mowBorder": False,
                           "mowExclusionsBoder": False, **only})
        return len(swathor.PathService().computeFullTask(env, s, start).slices)

    full = len(swathor.PathService().computeFullTask(env, settings_from(options), start).slices)
    border, obstacle = count(mowBorder=True), count(mowExclusionsBoder=True)
    return ["area"] * (full - border - obstacle) + ["border_lap"] * border + \
        ["obstacle_lap"] * obstacle


@pytest.mark.parametrize("name, pattern, inset, laps, ccw, offset", [
    (n, *rest) for n, rest in itertools.product(
        ("garden", "orchard"),
        [("lines", 1.5, (3, 2), (False, False), 0.5), ("rings", 0, (4, 4), (False, False), 0.9),
         ("rings", 0.7, (1, 7), (True, False), 0.5), ("squares", 1.5, (4, 4), (True, True), 0.9),
         ("lines", 0, (2, 5), (False, True), 0.4)])])
def test_kinds_of_one_run_match_three_runs(name, pattern, inset, laps, ccw, offset):
    site = sp.load_site(SITES / f"{name}.geojson")
    options = sp.options(pattern=pattern, offset=offset, angle=0.3, distanceToBorder=inset,
                         borderLaps=laps[0], exclusionsBorderLaps=laps[1], mowBorderCcw=ccw[0],
                         mowExclusionsBorderCcw=ccw[1])
    plan = sp.plan_site(site, options, site.perimeter[0])
    kinds = [k if k.endswith("lap") else "area" for k in plan.kinds]
    assert kinds == three_run_kinds(site, options)


def test_coverage_stays_cheap_on_fine_lanes():
    """A 100 m square at 0.02 m: 5000 lanes. Counted, not timed: one swath per stretch."""
    site = sp.Site(perimeter=[(0, 0), (100, 0), (100, 100), (0, 100)])
    plan = sp.plan_site(site, sp.options(offset=0.02, distanceToBorder=0, mowBorder=False,
                                         mowExclusionsBoder=False), (0, 0))
    m = sp.measure(site, plan, 0.02)
    assert len(plan.slices) == 5000 and m.coverage > 0.999


def test_cutter_runs_one_per_slice_and_hop_and_none_across_a_break():
    """A slice's steps are one run, a short hop mowed across is its own, a step between
    parts is none; the runs read as lists from either end and in slices."""
    p = [(1, 1), (2, 1), (3, 1), (3, 2), (1, 2), (1, 8), (9, 8)]
    plan = sp.Plan(p, [p[:3], p[3:5], p[5:]], ["lane"] * 3, [0, 0, -1, 1, BREAK, 2], [], 0.0)
    m = sp.measure(sp.Site(perimeter=[(0, 0), (10, 0), (10, 10), (0, 10)]), plan, 0.5)
    runs = [p[0:3], p[2:4], p[3:5], p[5:7]]
    assert (list(m.runs), m.runs[-1], m.runs[1:3]) == (runs, runs[-1], runs[1:3])


def geos_figures(m):
    """Covered and twice-mowed area of the same swaths through plain GEOS unions."""
    shapely = pytest.importorskip("shapely")
    swaths = list(shapely.buffer([shapely.LineString(r) for r in m.runs], m.width / 2,
                                 quad_segs=4))
    left, right = shapely.STRtree(swaths).query(swaths, predicate="intersects")
    pairs = [(i, j) for i, j in zip(left, right) if i < j and not swaths[i].touches(swaths[j])]
    twice = shapely.union_all([swaths[i].intersection(swaths[j]) for i, j in pairs])
    return (m.mowable.intersection(shapely.union_all(swaths)).area,
            m.mowable.intersection(twice).area)


@pytest.mark.parametrize("strip", [None, 300])    # one sweep; vertical strips, figures added
@pytest.mark.parametrize("name, pattern, angle", [
    ("garden", "squares", 30.0),        # two turned families crossing everywhere
    ("garden", "rings", 0.0),           # rings and laps only
    ("orchard", "lines", 77.0),         # lanes broken by trees, short hops between them
    ("garden", "squares", 0.0),         # hops lined up along borders, swept the other way
])
def test_figures_match_plain_unions(name, pattern, angle, strip, monkeypatch):
    if strip:
        monkeypatch.setattr(sys.modules["swathor_plan.measure"], "POINTS_PER_STRIP", strip)
        monkeypatch.setattr(sys.modules["swathor_plan.measure"], "ONE_SWEEP_POINTS", 0)
    site = sp.load_site(SITES / f"{name}.geojson")
    plan = sp.plan_site(site, sp.options(pattern=pattern, angle=angle, offset=0.3),
                        site.perimeter[0])
    m = sp.measure(site, plan, 0.3)
    covered, twice = geos_figures(m)
    assert m.covered_m2 == pytest.approx(covered, abs=1e-3)
    assert m.overlap_m2 == pytest.approx(twice, abs=1e-3)
    assert m.uncovered.area == pytest.approx(m.uncovered_m2, abs=1e-3)


@pytest.mark.parametrize("name, angle", [("orchard", 40.0), ("park", 70.0)])
def test_strips_leave_no_more_twice_mowed_area_uncounted_than_one_sweep(name, angle, monkeypatch):
    """What a family may cover twice and leave uncounted is shared among the strips, not
    allowed again in each (that lost 0.0005 m² on the orchard)."""
    site = sp.load_site(SITES / f"{name}.geojson")
    plan = sp.plan_site(site, sp.options(pattern="squares", angle=angle, offset=0.3),
                        site.perimeter[0])
    measure = sys.modules["swathor_plan.measure"]
    monkeypatch.setattr(measure, "ONE_SWEEP_POINTS", 10 ** 9)
    whole = sp.measure(site, plan, 0.3)
    monkeypatch.setattr(measure, "ONE_SWEEP_POINTS", 0)
    monkeypatch.setattr(measure, "POINTS_PER_STRIP", 300)
    strips = sp.measure(site, plan, 0.3)
    assert strips.overlap_m2 == pytest.approx(whole.overlap_m2, abs=2 * measure.NEGLIGIBLE_M2)
    assert strips.covered_m2 == pytest.approx(whole.covered_m2, abs=1e-6)


def test_unmowed_ring_and_island_keep_their_hole():
    """A square lap leaves the frame outside it (with a hole) and an island inside."""
    ring = [(2, 2), (8, 2), (8, 8), (2, 8), (2, 2)]
    plan = sp.Plan(ring, [ring[:-1]], ["lane"], [0] * 4, [], 0.0)
    m = sp.measure(sp.Site(perimeter=[(0, 0), (10, 0), (10, 10), (0, 10)]), plan, 1.0)
    parts = sorted(m.uncovered.geoms, key=lambda p: p.area)
    assert [len(p.interiors) for p in parts] == [0, 1]
    assert parts[0].area == pytest.approx(25, abs=0.1)
    assert m.uncovered.area == pytest.approx(m.uncovered_m2, abs=1e-6)


@pytest.mark.parametrize("depth", [2, 3, 5])
@pytest.mark.parametrize("reverse", [False, True])
def test_nested_hole_goes_to_its_ring_not_the_island_inside_it(depth, reverse):
    """Squares one inside the other, outer rings and holes by turns: a point inside a hole is
    also inside the island the hole holds, which must not take the hole."""
    import numpy as np
    import shapely
    measure = sys.modules["swathor_plan.measure"]
    rings = []
    for k in range(depth):
        a, b = k, 20 - k
        square = [(a, a), (b, a), (b, b), (a, b)]
        rings.append(np.array(square if k % 2 == 0 else square[::-1], dtype=float))
    rings = rings[::-1] if reverse else rings
    got = measure._nested(shapely, np, np.concatenate(rings), np.array([len(r) for r in rings]))
    assert got.is_valid and len(got.geoms) == (depth + 1) // 2
    assert got.area == pytest.approx(sum((-1) ** k * (20 - 2 * k) ** 2 for k in range(depth)))


@pytest.mark.parametrize("x, y, filled", [
    (7.5, 7.5, True),       # where two obstacles drawn opposite ways round overlap
    (1.0, 9.5, True),       # by the last corner of an obstacle given without its closing point
    (29, 29, False),        # the unmowed part's hole
    (22, 22, True),         # the unmowed part around it
    (18, 2, False),         # nothing
])
def test_picture_fills_obstacles_and_unmowed_holes_in_one_patch(x, y, filled):
    import matplotlib.pyplot as plt
    import numpy as np
    import shapely
    from matplotlib.patches import PathPatch
    from swathor_plan import plot
    fig, ax = plt.subplots(figsize=(4, 4), dpi=50)
    ax.set_xlim(0, 40), ax.set_ylim(0, 40), ax.set_position([0, 0, 1, 1]), ax.axis("off")
    obstacles = [[(0, 0), (10, 0), (10, 10), (0, 10)], [(5, 5), (5, 15), (15, 15), (15, 5)]]
    ax.add_patch(PathPatch(plot._compound(plot._rings(obstacles)), facecolor="k"))
    plot._fill(ax, shapely.Polygon([(20, 20), (20, 38), (38, 38), (38, 20)],
                                   [[(25, 25), (33, 25), (33, 33), (25, 33)]]), facecolor="k")
    fig.canvas.draw()
    image = np.asarray(fig.canvas.buffer_rgba())[..., 0]
    plt.close(fig)
    row, col = int((40 - y) / 40 * image.shape[0]), int(x / 40 * image.shape[1])
    assert (image[row, col] < 128) == filled


@pytest.mark.parametrize("x, y, colour", [
    (10, 10, (0, 0, 255)),       # the blue stretch, driven second, over the red one
    (30, 10, (255, 0, 0)),       # the red one driven third over the blue
    (10, 30, (255, 0, 0)),       # nothing crosses here
])
def test_picture_draws_what_is_driven_later_on_top(x, y, colour):
    import matplotlib.pyplot as plt
    import numpy as np
    from swathor_plan import plot
    fig, ax = plt.subplots(figsize=(4, 4), dpi=50)
    ax.set_xlim(0, 40), ax.set_ylim(0, 40), ax.set_position([0, 0, 1, 1]), ax.axis("off")
    segments = np.array([[(10, 0), (10, 40)], [(0, 10), (40, 10)], [(30, 0), (30, 40)]], float)
    plot._lines(ax, segments, ["#ff0000", "#0000ff", "#ff0000"], linewidth=6)
    fig.canvas.draw()
    image = np.asarray(fig.canvas.buffer_rgba())[..., :3]
    plt.close(fig)
    row, col = int((40 - y) / 40 * image.shape[0]), int(x / 40 * image.shape[1])
    assert tuple(image[row, col]) == colour


def _heading(deg, length=1.0):
    return (length * math.cos(math.radians(deg)), length * math.sin(math.radians(deg)))


@pytest.mark.parametrize("route, turns", [
    ([(0, 0), (1, 0), (2, 0)], 0),                          # straight on
    ([(0, 0), (1, 0), (1, 1)], 1),                          # a right angle
    ([(0, 0), (1, 0), (0, 0)], 1),                          # back the way it came
    ([(0, 0), (1, 0), (1, 0), (1, 1)], 0),                  # a step of no length turns nothing
    ([(0, 0), (1, 0), (1 + 2 ** 0.5 / 2, 2 ** 0.5 / 2)], 1),  # 45 degrees
    ([(0, 0), (1, 0), (1 + math.cos(math.radians(29)), math.sin(math.radians(29)))], 0),
    ([(0, 0), (1, 0)], 0),
])
def test_turns_counted_above_thirty_degrees(route, turns):
    from swathor_plan import drive
    assert drive.count_turns(route) == turns


@pytest.mark.parametrize("seed", range(4))
def test_turns_counted_all_at_once_as_one_by_one(seed):
    import random
    from swathor_plan import drive
    rng = random.Random(seed)
    route = [(0.0, 0.0)]
    for _ in range(2000):
        dx, dy = _heading(rng.choice([0, 30, 30.000001, 45, 90, 150, 180, rng.uniform(0, 360)]),
                          rng.choice([0.0, 1e-9, 0.3, 1.0]))
        route.append((route[-1][0] + dx, route[-1][1] + dy))
    assert drive.count_turns(route) == sum(
        drive.is_turn(a, b, c) for a, b, c in zip(route, route[1:], route[2:]))
