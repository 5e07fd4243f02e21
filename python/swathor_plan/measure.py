"""What a plan mows: coverage, gaps, overlap, lengths and turns, measured once for every output.

The cutter is a disc as wide as the lane spacing: a mowing stretch mows everything within
offset/2 of it. Transits mow nothing. The mowable area is the perimeter (or the union of the mow
areas, when the site has any, or of the lawn's parts) minus the obstacles.
"""

from __future__ import annotations

import functools
import math
from collections.abc import Sequence
from dataclasses import dataclass, field

from swathor_plan.errors import need
from swathor_plan.drive import (DEFAULT_IDLE, count_turns, cutter_states, flat_points,
                                 linestrings, spans, turning)
from swathor_plan.planning import BREAK, Plan
from swathor_plan.site_file import Site

# Arc segments per quarter circle of the cutter's disc; more is slower and barely more exact.
QUAD_SEGS = 4


@dataclass
class Measures:
    mowable_m2: float
    covered_m2: float
    overlap_m2: float           # mowed twice or more
    skipped_m2: float           # what the skipped slices would have mowed
    mowing_m: float
    transit_m: float
    turns: int
    mowable: object = None      # shapely geometry of the mowable area
    # Shapely geometry of the mowable area left unmowed, drawn by the picture and the map. Its
    # pieces may touch one another (where a big site is measured in strips, along their sides):
    # shapely.make_valid it before an overlay (which takes seconds on a big site).
    uncovered: object = None
    cutter: list = field(default_factory=list)  # per route step: does the cutter run
    runs: Sequence = field(default_factory=list, repr=False)  # point lists the cutter runs along
    width: float = 0.0                                     # and the width it mows

    @functools.cached_property
    def mowed(self):
        """Shapely geometry of everything the cutter passes over (made when first asked for;
        slow on big sites, and no figure needs it)."""
        shapely = need("shapely", "geo")
        swaths = _swaths(shapely, self.runs, self.width)
        return shapely.union_all(swaths) if swaths else shapely.GeometryCollection()

    @property
    def coverage(self) -> float:
        return self.covered_m2 / self.mowable_m2 if self.mowable_m2 > 0 else 0.0

    @property
    def uncovered_m2(self) -> float:
        return max(0.0, self.mowable_m2 - self.covered_m2)

    @property
    def overlap_share(self) -> float:
        return self.overlap_m2 / self.mowable_m2 if self.mowable_m2 > 0 else 0.0


class RouteRuns(Sequence):
    """Runs of a route's points, each given as `count` points from `start` on: a list of its
    points is made only when one is asked for (a big plan has a hundred thousand runs, and
    no figure needs them as lists)."""

    def __init__(self, route: list, starts, counts):
        self._route, self.starts, self.counts = route, starts, counts

    def __len__(self) -> int:
        return len(self.starts)

    def __getitem__(self, k):
        if isinstance(k, slice):
            return [self[i] for i in range(*k.indices(len(self)))]
        start = int(self.starts[k])
        return self._route[start:start + int(self.counts[k])]


def mowable_area(site: Site):
    shapely = need("shapely", "geo")
    if site.mow_areas:
        area = shapely.union_all(_polygons(shapely, site.mow_areas))
    elif site.parts:
        area = shapely.union_all(_polygons(shapely, site.parts))
    else:
        area = shapely.Polygon(site.perimeter).buffer(0)
    if site.obstacles:
        area = area.difference(shapely.union_all(_polygons(shapely, site.obstacles)))
    return area


def _polygons(shapely, rings: list[list]):
    """Each ring as a valid polygon (buffer(0) mends one that crosses itself); all at once,
    since sites have thousands of obstacles."""
    import numpy as np
    xy, sizes = flat_points(rings)
    lines = shapely.linearrings(xy, indices=np.repeat(np.arange(len(rings)), sizes))
    return shapely.buffer(shapely.polygons(lines), 0)


def _swaths(shapely, lines: list[list], width: float):
    """The swath of each point list (a point mows a disc), all built at once."""
    import numpy as np
    lines = [p for p in lines if p]
    if not lines:
        return []
    long = np.array([len(p) >= 2 for p in lines])
    geoms = np.empty(len(lines), dtype=object)
    if long.any():
        geoms[long] = linestrings(shapely, [p for p, k in zip(lines, long) if k])
    if not long.all():
        geoms[~long] = shapely.points([p[0] for p, k in zip(lines, long) if not k])
    return list(shapely.buffer(geoms, width / 2, quad_segs=QUAD_SEGS))


# Integer grid of the exact measuring, in steps per metre: ten nanometres, so that lanes
# that touch and get turned and rounded overlap by slivers of no measurable area; coarser
# only where coordinates are so large that the integers would leave Clipper2's exact range.
GRID = 1e8
GRID_LIMIT = 2.0 ** 40
# Twice-mowed area a family of swaths may leave uncounted: a thousandth of the figures' last
# printed digit.
NEGLIGIBLE_M2 = 1e-4
# Swath points measured in one sweep; more are cut in vertical strips (nested rings and laps
# make Clipper2's sweep slow with the square of the edges a horizontal line meets) of
# POINTS_PER_STRIP each. Cut so, the unmowed part comes back in pieces that meet along the
# strips' sides, so sites of up to ONE_SWEEP_POINTS, which one sweep measures in milliseconds,
# are not cut.
ONE_SWEEP_POINTS = 40000
POINTS_PER_STRIP = 2000


def _shapely_rings(shapely, np, groups: list[tuple[list, int]]):
    """(points, points per ring, rings per polygon, group per polygon) of shapely polygons."""
    geoms = [g for gs, _ in groups for g in gs]
    codes = np.repeat(np.array([code for _, code in groups], dtype=np.int64),
                      [len(gs) for gs, _ in groups])
    polygons, owner = shapely.get_parts(np.asarray(geoms, dtype=object), return_index=True)
    keep = shapely.get_type_id(polygons) == 3        # buffers of nothing come out empty
    polygons, owner = polygons[keep], owner[keep]
    rings, ring_owner = shapely.get_rings(polygons, return_index=True)
    return (shapely.get_coordinates(rings).reshape(-1, 2), shapely.get_num_coordinates(rings),
            np.bincount(ring_owner, minlength=len(polygons)), codes[owner])


def _nested(shapely, np, xy, sizes):
    """A MultiPolygon of the rings whose points follow one another in `xy` (`sizes` of
    them each): the outer rings (counterclockwise), each with the holes (clockwise) that lie
    in it; a hole goes to the smallest outer ring around it."""
    if not len(sizes):
        return shapely.MultiPolygon()
    starts = np.cumsum(sizes) - sizes
    outer = turning(np, xy, sizes) > 0
    shell_ring, hole_ring = np.flatnonzero(outer), np.flatnonzero(~outer)
    hole = shell = np.zeros(0, dtype=np.intp)
    if len(hole_ring) and len(shell_ring):
        shells, holes = (shapely.polygons(_closed_rings(shapely, np, xy, starts[k], sizes[k]))
                         for k in (shell_ring, hole_ring))
        # Rings do not cross, so a point inside a hole is inside the outer rings around the
        # hole and the islands in it, which are smaller: a hundred thousand point tests on
        # prepared rings, where asking whether whole holes lie in rings took seconds.
        tree = shapely.STRtree(shells)
        shapely.prepare(shells)
        shell_area = shapely.area(shells)
        inside = shapely.point_on_surface(holes)
        hole, shell = tree.query(inside)
        hit = shapely.contains_xy(shells[shell], shapely.get_x(inside[hole]),
                                  shapely.get_y(inside[hole]))
        hit &= shell_area[shell] > shapely.area(holes)[hole]
        hole, shell = hole[hit], shell[hit]
        lost = np.setdiff1d(np.arange(len(holes)), hole)
        if len(lost):                     # slivers without an inside point to test
            more, also = tree.query(holes[lost], predicate="covered_by")
            hole, shell = np.concatenate([hole, lost[more]]), np.concatenate([shell, also])
        # Each hole goes to the smallest ring around it.
        order = np.lexsort((shell_area[shell], hole))
        hole, shell = hole[order], shell[order]
        first = np.ones(len(hole), dtype=bool)
        first[1:] = hole[1:] != hole[:-1]
        hole, shell = hole[first], shell[first]
    # Every polygon's outer ring, then its holes, built straight from the coordinates (GEOS
    # copies every ring again when polygons are made of rings).
    owner = np.concatenate([np.arange(len(shell_ring)), shell])
    ring = np.concatenate([shell_ring, hole_ring[hole]])
    ring = ring[np.lexsort((np.arange(len(owner)), owner))]
    index, ends = _closed_index(np, starts[ring], sizes[ring])
    per_polygon = np.bincount(owner, minlength=len(shell_ring))
    return shapely.from_ragged_array(
        shapely.GeometryType.MULTIPOLYGON, xy[index],
        (np.concatenate([[0], ends]), np.concatenate([[0], np.cumsum(per_polygon)]),
         np.array([0, len(shell_ring)])))[0]


def _closed_index(np, starts, sizes):
    """Point indices of rings (first point and count each), each ring closed by its first,
    and where each closed ring ends in them."""
    index, ends = spans(np, starts, sizes + 1)
    index[ends - 1] = starts
    return index, ends


def _closed_rings(shapely, np, xy, starts, sizes):
    """LinearRings of the rings whose points start at `starts` in `xy`."""
    index, _ = _closed_index(np, starts, sizes)
    return shapely.linearrings(xy[index], indices=np.repeat(np.arange(len(starts)), sizes + 1))


def _cut_areas(shapely, runs: RouteRuns, xy, width: float, skipped: list, mowable):
    """(covered, overlap, skipped and not covered) areas of `mowable`, and its part no swath
    covers, measured exactly on the swaths of `runs` (polygons as _swaths makes them), whose
    route's points `xy` holds."""
    import numpy as np
    import _swathor_cut

    starts, counts = runs.starts, runs.counts
    is_lane = counts == 2
    is_lane[is_lane] = (xy[starts[is_lane]] != xy[starts[is_lane] + 1]).any(axis=1)
    lanes = np.stack([xy[starts[is_lane]], xy[starts[is_lane] + 1]], axis=1)
    # Lanes fall in families by direction (to 0.1 degree, either way along), lanes shorter than
    # two swath widths (hops from lane to lane) in families of their own: lined up along a
    # border, they would make the sweep of the long lanes they cross meet them all at once.
    # A family runs the way its first lane does, so that its lanes' swaths, built turned that
    # way, have sides that run exactly along x. Everything else (laps, rings, single points)
    # is one family.
    d = lanes[:, 1] - lanes[:, 0]
    angle = np.arctan2(d[:, 1], d[:, 0]) % math.pi
    keys = np.round(np.degrees(angle), 1) % 180.0
    keys += np.where(np.hypot(d[:, 0], d[:, 1]) < 2 * width, 180.0, 0.0)
    _, first, family = np.unique(keys, return_index=True, return_inverse=True)
    curves = _swaths(shapely, [runs[k] for k in np.flatnonzero(~is_lane).tolist()], width)
    points, sizes, counts, groups = _shapely_rings(
        shapely, np, [(curves, len(first)), ([mowable], -1), (skipped, -2)])
    span = max([float(np.abs(a).max()) for a in (points, lanes) if len(a)] or [1.0]) + width
    grid = min(GRID, GRID_LIMIT / span)
    points *= grid
    swath_points = len(points) + len(lanes) * (4 * QUAD_SEGS + 2)
    per_strip = POINTS_PER_STRIP if swath_points > ONE_SWEEP_POINTS else swath_points + 1
    covered, overlap, either, pieces = _swathor_cut.measure_cut(
        np.rint(points, out=points).astype(np.int64), np.cumsum(sizes).astype(np.int64),
        np.cumsum(counts).astype(np.int64), groups.astype(np.int64),
        lanes.reshape(-1, 4) * grid, family.reshape(-1).astype(np.int64), width / 2 * grid,
        QUAD_SEGS, [*angle[first].tolist(), 0.0], NEGLIGIBLE_M2 * grid * grid, per_strip)
    uncovered = _nested(shapely, np, pieces[0] / grid, pieces[1])
    unit = grid * grid
    return covered / unit, overlap / unit, max(0.0, either - covered) / unit, uncovered


def _cut_runs(np, plan: Plan, on: list[bool]):
    """The runs of steps along which the cutter runs, as the route index of each one's first
    point and its number of points: one per slice driven and one per hop it keeps running
    across (a run over many lanes would be a long zig-zag, whose buffer GEOS builds very
    slowly)."""
    step = np.asarray(plan.step_slice, dtype=np.int64).reshape(-1)
    if not len(step):
        return np.zeros(0, dtype=np.intp), np.zeros(0, dtype=np.intp)
    key = np.where(np.asarray(on, dtype=bool) & (step != BREAK), step, BREAK)
    bounds = np.flatnonzero(np.concatenate([[True], key[1:] != key[:-1], [True]]))
    first, end = bounds[:-1], bounds[1:]
    keep = key[first] != BREAK
    return first[keep], end[keep] - first[keep] + 1


def measure(site: Site, plan: Plan, offset: float, idle: float = DEFAULT_IDLE) -> Measures:
    """Coverage of the mowable area by what the cutter mows along `plan` (its mowing stretches
    and the short hops it keeps running across, see drive.cutter_states) with lane spacing
    `offset`."""
    import numpy as np
    shapely = need("shapely", "geo")
    mowable = mowable_area(site)
    cutter = cutter_states(plan, mowable, idle)
    mowing = RouteRuns(plan.route, *_cut_runs(np, plan, cutter))
    skipped = _swaths(shapely, [plan.slices[i] + plan.slices[i][:1] if len(plan.slices[i]) >= 3
                                else plan.slices[i] for i in plan.skipped], offset)
    covered, overlap, skipped_area, uncovered = _cut_areas(
        shapely, mowing, flat_points([plan.route])[0], offset, skipped, mowable)
    return Measures(
        mowable_m2=mowable.area, covered_m2=covered, overlap_m2=overlap,
        skipped_m2=skipped_area, mowing_m=plan.length(True), transit_m=plan.length(False),
        turns=sum(count_turns(part.route) for part in plan.part_plans()), mowable=mowable,
        uncovered=uncovered, cutter=cutter, runs=mowing, width=offset)


@dataclass
class Gap:
    """An unmowed band the settings leave between the laps and the lanes."""

    where: str          # "border" or "obstacles"
    width: float        # metres


def lap_reach(laps: int, offset: float) -> float:
    """How far from its border the last of `laps` laps mows (the first runs 0.001 inside)."""
    return 0.001 + (laps - 0.5) * offset if laps > 0 else 0.0


def gaps(options: dict, has_obstacles: bool) -> list[Gap]:
    """Bands the settings leave unmowed: lanes keep the inset from every border, and laps reach
    lap_reach() from it. Nothing when no lanes are planned or the laps are off."""
    inset, offset = options["distanceToBorder"], options["offset"]
    if not options["mowArea"] or not inset > 0:
        return []
    out = []
    sides = [("border", options["mowBorder"], options["borderLaps"])]
    if has_obstacles:
        sides.append(("obstacles", options["mowExclusionsBoder"], options["exclusionsBorderLaps"]))
    for where, on, laps in sides:
        band = inset - lap_reach(laps if on else 0, offset)
        if band > 1e-6:
            out.append(Gap(where, band))
    return out


def fit_laps(inset: float, offset: float) -> tuple[int, float]:
    """Lap count L and inset (L - 0.5) x offset with the smallest L whose inset covers `inset`,
    so the last lap and the first lane meet."""
    laps = max(1, math.ceil(inset / offset + 0.5 - 1e-9))
    return laps, (laps - 0.5) * offset
