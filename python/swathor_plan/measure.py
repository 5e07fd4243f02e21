"""What a plan mows: coverage, gaps, overlap, lengths and turns, measured once for every output.

The cutter is a disc as wide as the lane spacing: a mowing stretch mows everything within
offset/2 of it. Transits mow nothing. The mowable area is the perimeter (or the union of the mow
areas, when the site has any, or of the lawn's parts) minus the obstacles.
"""

from __future__ import annotations

import functools
import math
from dataclasses import dataclass, field

from swathor_plan.errors import need
from swathor_plan.drive import DEFAULT_IDLE, count_turns, cutter_states
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
    mowed: object = None        # shapely geometry of everything the cutter passes over
    cutter: list = field(default_factory=list)  # per route step: does the cutter run

    @functools.cached_property
    def uncovered(self):
        """Shapely geometry of the mowable area left unmowed (made when first asked for)."""
        return self.mowable.difference(self.mowed)

    @property
    def coverage(self) -> float:
        return self.covered_m2 / self.mowable_m2 if self.mowable_m2 > 0 else 0.0

    @property
    def uncovered_m2(self) -> float:
        return max(0.0, self.mowable_m2 - self.covered_m2)

    @property
    def overlap_share(self) -> float:
        return self.overlap_m2 / self.mowable_m2 if self.mowable_m2 > 0 else 0.0


def mowable_area(site: Site):
    shapely = need("shapely", "geo")
    if site.mow_areas:
        area = shapely.union_all([shapely.Polygon(r).buffer(0) for r in site.mow_areas])
    elif site.parts:
        area = shapely.union_all([shapely.Polygon(r).buffer(0) for r in site.parts])
    else:
        area = shapely.Polygon(site.perimeter).buffer(0)
    if site.obstacles:
        area = area.difference(shapely.union_all([shapely.Polygon(r).buffer(0)
                                                  for r in site.obstacles]))
    return area


def _swaths(shapely, lines: list[list], width: float):
    geoms = [shapely.LineString(p) if len(p) >= 2 else shapely.Point(p[0]) for p in lines if p]
    return list(shapely.buffer(geoms, width / 2, quad_segs=QUAD_SEGS)) if geoms else []


def _direction(points: list) -> object:
    """Which family a stretch belongs to for the overlap: straight lanes by their direction
    (to 0.1 degree, either way along), everything else (laps, rings) together."""
    if len(points) != 2:
        return "curves"
    (x0, y0), (x1, y1) = points
    return round(math.degrees(math.atan2(y1 - y0, x1 - x0)) % 180.0, 1) % 180.0


def _mowed_and_overlap(shapely, stretches: list[list], swaths: list):
    """The union of the swaths, and the area inside two or more of them.

    Twice-mowed area is the union of every pair's intersection. Pairs are found family by
    family: parallel lanes meet only their neighbours, so within a family the pairs are few;
    between two families (the lanes of "squares" and the lanes across them, or lanes and laps)
    every pair's intersections together are the intersection of the two families' unions, one
    operation instead of a million.
    """
    families: dict[object, list] = {}
    for points, swath in zip(stretches, swaths):
        families.setdefault(_direction(points), []).append(swath)
    unions = [shapely.union_all(group) for group in families.values()]
    pieces = [_overlap(shapely, group) for group in families.values()]
    for i in range(len(unions)):
        for j in range(i + 1, len(unions)):
            pieces.append(unions[i].intersection(unions[j]))
    pieces = [p for p in pieces if not p.is_empty and p.area > 0]
    mowed = shapely.union_all(unions) if unions else shapely.GeometryCollection()
    return mowed, shapely.union_all(pieces) if pieces else shapely.GeometryCollection()


def _overlap(shapely, swaths: list):
    """The area inside two or more swaths: the union of every overlapping pair's intersection."""
    if len(swaths) < 2:
        return shapely.GeometryCollection()
    tree = shapely.STRtree(swaths)
    left, right = tree.query(swaths, predicate="intersects")
    keep = left < right
    left, right = left[keep], right[keep]
    if not len(left):
        return shapely.GeometryCollection()
    a = [swaths[i] for i in left]
    b = [swaths[j] for j in right]
    inner = ~shapely.touches(a, b)      # side by side lanes only touch
    if not inner.any():
        return shapely.GeometryCollection()
    pieces = shapely.intersection([g for g, k in zip(a, inner) if k],
                                  [g for g, k in zip(b, inner) if k])
    pieces = [p for p in pieces if p.area > 0]
    return shapely.union_all(pieces) if pieces else shapely.GeometryCollection()


def _cut_runs(plan: Plan, on: list[bool]) -> list[list]:
    """The runs of steps along which the cutter runs, as point lists: one per slice driven and
    one per hop it keeps running across (a run over many lanes would be a long zig-zag, whose
    buffer GEOS builds very slowly)."""
    runs: list[list] = []
    last = None
    for k, state in enumerate(on):
        key = plan.step_slice[k] if state and plan.step_slice[k] != BREAK else None
        if key is not None and key == last:
            runs[-1].append(plan.route[k + 1])
        elif key is not None:
            runs.append([plan.route[k], plan.route[k + 1]])
        last = key
    return runs


def measure(site: Site, plan: Plan, offset: float, idle: float = DEFAULT_IDLE) -> Measures:
    """Coverage of the mowable area by what the cutter mows along `plan` (its mowing stretches
    and the short hops it keeps running across, see drive.cutter_states) with lane spacing
    `offset`."""
    shapely = need("shapely", "geo")
    mowable = mowable_area(site)
    cutter = cutter_states(plan, mowable, idle)
    mowing = _cut_runs(plan, cutter)
    swaths = _swaths(shapely, mowing, offset)
    mowed, twice = _mowed_and_overlap(shapely, mowing, swaths)
    covered = mowable.intersection(mowed)
    overlap = mowable.intersection(twice)
    skipped = _swaths(shapely, [plan.slices[i] + plan.slices[i][:1] if len(plan.slices[i]) >= 3
                                else plan.slices[i] for i in plan.skipped], offset)
    skipped_area = (mowable.intersection(shapely.union_all(skipped)).difference(mowed).area
                    if skipped else 0.0)
    return Measures(
        mowable_m2=mowable.area, covered_m2=covered.area, overlap_m2=overlap.area,
        skipped_m2=skipped_area, mowing_m=plan.length(True), transit_m=plan.length(False),
        turns=sum(count_turns(part.route) for part in plan.part_plans()), mowable=mowable,
        mowed=mowed, cutter=cutter)


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
