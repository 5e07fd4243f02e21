"""How the robot drives a plan: when its cutter runs, how fast it goes, how long it takes, and the
waypoints a mission needs.

One model serves every output. The cutter runs along every mowing stretch, and stays on across a
transit between two mowing stretches that is shorter than the idle length and stays inside the
mowable area (a hop to the next lane): blades take seconds to spin up and down. With the cutter on
the robot drives at the mowing speed, otherwise at the transit speed; every heading change above
TURN_DEG costs the turn time.
"""

from __future__ import annotations

import itertools
import math
from dataclasses import dataclass

from swathor_plan.errors import need
from swathor_plan.frame import Coord
from swathor_plan.planning import BREAK, Plan

# Transits shorter than this (metres) that stay on the mowable area keep the cutter running.
DEFAULT_IDLE = 5.0
DEFAULT_SPEEDS = (0.5, 1.0)     # mowing, transit (m/s)
DEFAULT_TURN_TIME = 3.0         # seconds per heading change above TURN_DEG
TURN_DEG = 30.0
# Two consecutive waypoints closer than this (metres) are one.
SAME_WAYPOINT = 0.001
# A waypoint this close (metres) to the straight line between its neighbours adds nothing.
ON_THE_LINE = 0.01
# How far the cutter-on area reaches beyond the mowable area for a hop to count as inside it.
INSIDE_SLACK = 1e-3


def is_turn(a: Coord, b: Coord, c: Coord) -> bool:
    """Does the heading change by more than TURN_DEG at b? Not where a step has no length."""
    if a == b or b == c:
        return False
    h1 = math.atan2(b[1] - a[1], b[0] - a[0])
    h2 = math.atan2(c[1] - b[1], c[0] - b[0])
    return math.degrees(abs((h2 - h1 + math.pi) % (2 * math.pi) - math.pi)) > TURN_DEG


# numpy's arctan2 may differ from math.atan2 in the last bit: heading changes this close to
# TURN_DEG (degrees) are decided one by one, as is_turn decides them.
TURN_DEG_DOUBT = 1e-6


def count_turns(route: list[Coord]) -> int:
    """How many waypoints is_turn counts, all at once."""
    if len(route) < 3:
        return 0
    import numpy as np
    p = flat_points([route])[0]
    d1, d2 = p[1:-1] - p[:-2], p[2:] - p[1:-1]
    h1, h2 = np.arctan2(d1[:, 1], d1[:, 0]), np.arctan2(d2[:, 1], d2[:, 0])
    change = np.degrees(np.abs(np.remainder(h2 - h1 + math.pi, 2 * math.pi) - math.pi))
    moving = (d1 != 0).any(axis=1) & (d2 != 0).any(axis=1)
    doubt = moving & (np.abs(change - TURN_DEG) < TURN_DEG_DOUBT)
    turns = int((moving & ~doubt & (change > TURN_DEG)).sum())
    return turns + sum(is_turn(*route[k:k + 3]) for k in np.flatnonzero(doubt).tolist())


def flat_points(lists: list[list]):
    """The points of `lists` in one (n, 2) numpy array, and how many each list has: numpy
    takes a hundred thousand nested lists three times slower."""
    import numpy as np
    sizes = np.array([len(p) for p in lists], dtype=np.intp)
    flat = np.fromiter(itertools.chain.from_iterable(itertools.chain.from_iterable(lists)), float)
    if len(flat) != 2 * sizes.sum():
        raise ValueError("every point must have two coordinates")
    return flat.reshape(-1, 2), sizes


def spans(np, starts, counts):
    """The indices of `counts[k]` points from `starts[k]` on, one span after another, and where
    each span ends in them."""
    ends = np.cumsum(counts)
    return np.arange(ends[-1] if len(ends) else 0) - np.repeat(ends - counts - starts, counts), ends


def turning(np, xy, sizes):
    """Per ring (its points one after another in `xy`, `sizes` of them each): twice its signed
    area, positive when it runs counterclockwise. The shoelace sum, not GEOS's orientation
    test, which a ring touching itself can fool."""
    starts = np.cumsum(sizes) - sizes
    if not len(starts):
        return np.zeros(0)
    after = np.arange(len(xy)) + 1
    after[starts + sizes - 1] = starts                 # each ring's last point meets its first
    return np.add.reduceat(xy[:, 0] * xy[after, 1] - xy[after, 0] * xy[:, 1], starts)


def stretch_spans(np, plan: Plan):
    """Plan.stretches() all at once, for plans of a hundred thousand stretches: per stretch, the
    route index of its first point, its steps, its slice index (-1 for a transit) and the part
    of the route it lies in (the steps between parts belong to none)."""
    step = np.asarray(plan.step_slice, dtype=np.intp).reshape(-1)
    first = np.flatnonzero(np.concatenate([[True], step[1:] != step[:-1]]))[:len(step)]
    count = np.diff(np.append(first, len(step)))
    part = (np.cumsum(step == BREAK) - (step == BREAK))[first]
    keep = step[first] != BREAK
    return first[keep], count[keep], step[first][keep], part[keep]


def linestrings(shapely, lists: list[list]):
    """Shapely LineStrings of point lists (two points or more each), made all at once."""
    import numpy as np
    xy, sizes = flat_points(lists)
    return shapely.linestrings(xy, indices=np.repeat(np.arange(len(lists)), sizes))


def cutter_states(plan: Plan, mowable, idle: float = DEFAULT_IDLE) -> list[bool]:
    """Per route step: does the cutter run along it? `mowable` is the shapely mowable area."""
    shapely = need("shapely", "geo")
    if idle <= 0:
        return [s >= 0 for s in plan.step_slice]
    # Hops shorter than `idle` between two slices, asked about all at once: does the area
    # the cutter may run over cover them? A hop is a run of transit steps [i, j) with a
    # slice's step on either side.
    import numpy as np
    step = np.asarray(plan.step_slice)
    on = step >= 0
    transit = np.concatenate([[False], step == -1, [False]])
    edges = np.flatnonzero(transit[1:] != transit[:-1])
    start, end = edges[::2], edges[1::2]
    keep = (start > 0) & (end < len(on))
    start, end = start[keep], end[keep]
    keep = on[start - 1] & on[end]
    start, end = start[keep], end[keep]
    if not len(start):
        return on.tolist()
    # Hop lengths as differences of the distance driven; those so near `idle` that the sum's
    # rounding could tell them apart are added up step by step.
    xy, _ = flat_points([plan.route])
    driven = np.concatenate([[0.0], np.cumsum(np.hypot(*np.diff(xy, axis=0).T))])
    length = driven[end] - driven[start]
    short = length < idle
    for k in np.flatnonzero(np.abs(length - idle) <= 1e-9 * (driven[-1] + idle)).tolist():
        points = plan.route[start[k]:end[k] + 1]
        short[k] = sum(math.dist(a, b) for a, b in zip(points, points[1:])) < idle
    start, end = start[short], end[short]
    if len(start):
        inside = mowable.buffer(INSIDE_SLACK)
        shapely.prepare(inside)
        counts = end - start + 1                     # points of each hop
        index, _ = spans(np, start, counts)
        lines = shapely.linestrings(xy[index], indices=np.repeat(np.arange(len(start)), counts))
        covered = shapely.covers(inside, lines)
        # Steps [start, end) of every covered hop, marked by a running count.
        mark = np.zeros(len(on) + 1, dtype=np.intp)
        np.add.at(mark, start[covered], 1)
        np.add.at(mark, end[covered], -1)
        on |= np.cumsum(mark[:-1]) > 0
    return on.tolist()


@dataclass
class Duration:
    mowing_s: float
    transit_s: float
    turns: int
    turn_s: float

    @property
    def total_s(self) -> float:
        return self.mowing_s + self.transit_s + self.turns * self.turn_s

    def describe(self) -> str:
        return (f"about {_hours(self.total_s)} (mowing {_hours(self.mowing_s)}, transit "
                f"{_hours(self.transit_s)}, {self.turns:,} turns)")


def _hours(seconds: float) -> str:
    minutes = int(round(seconds / 60))
    if minutes < 60:
        return f"{minutes} min" if minutes else f"{seconds:.0f} s"
    return f"{minutes // 60} h {minutes % 60} min"


def duration(route: list[Coord], on: list[bool], speeds=DEFAULT_SPEEDS,
             turn_time: float = DEFAULT_TURN_TIME, skip: list[bool] | None = None) -> Duration:
    """Time along `route` by the model; steps marked in `skip` (between lawn parts) take none."""
    mow_m = transit_m = 0.0
    for k, (a, b) in enumerate(zip(route, route[1:])):
        if skip and skip[k]:
            continue
        if on[k]:
            mow_m += math.dist(a, b)
        else:
            transit_m += math.dist(a, b)
    return Duration(mow_m / speeds[0], transit_m / speeds[1], count_turns(route), turn_time)


def plan_duration(plan: Plan, on: list[bool], speeds=DEFAULT_SPEEDS,
                  turn_time: float = DEFAULT_TURN_TIME) -> Duration:
    """The plan's time, part by part for a lawn in parts (nothing is driven between them)."""
    total = Duration(0.0, 0.0, 0, turn_time)
    for part, part_on in zip(plan.part_plans(), plan.per_part(on)):
        d = duration(part.route, part_on, speeds, turn_time)
        total.mowing_s += d.mowing_s
        total.transit_s += d.transit_s
        total.turns += d.turns
    return total


def waypoints(route: list[Coord], on: list[bool]) -> tuple[list[Coord], list[bool]]:
    """The route's points a mission needs, with the cutter state of the leg into each (the first
    point's is False): no two consecutive points within SAME_WAYPOINT, and no point within
    ON_THE_LINE of the straight line between its neighbours where the cutter does not change."""
    if not route:
        return [], []
    pts, states = [route[0]], [False]
    dropped: list[Coord] = []   # points left out since pts[-2], all near the line to pts[-1]
    for k in range(1, len(route)):
        p, state = route[k], on[k - 1]
        if math.dist(p, pts[-1]) < SAME_WAYPOINT:
            continue
        if len(pts) >= 2 and states[-1] == state and all(
                _on_line(pts[-2], q, p) for q in dropped + [pts[-1]]):
            dropped.append(pts[-1])
            pts[-1] = p
            continue
        dropped = []
        pts.append(p)
        states.append(state)
    return pts, states


def _on_line(a: Coord, b: Coord, c: Coord) -> bool:
    """b lies within ON_THE_LINE of the segment a-c, between its ends."""
    dx, dy = c[0] - a[0], c[1] - a[1]
    length2 = dx * dx + dy * dy
    if length2 == 0:
        return False
    t = ((b[0] - a[0]) * dx + (b[1] - a[1]) * dy) / length2
    if not 0 < t < 1:
        return False
    return abs((b[0] - a[0]) * dy - (b[1] - a[1]) * dx) / math.sqrt(length2) <= ON_THE_LINE


def parse_speeds(text: str) -> tuple[float, float]:
    """'MOW[:TRANSIT]' in m/s."""
    parts = text.split(":")
    try:
        values = [float(p) for p in parts]
    except ValueError:
        values = []
    if not 1 <= len(values) <= 2 or not all(math.isfinite(v) and 0 < v <= 20 for v in values):
        raise ValueError(f"speed {text!r}: use MOW[:TRANSIT] in m/s, each above 0 and at most 20")
    return values[0], values[-1] if len(values) == 2 else DEFAULT_SPEEDS[1]


# ArduPilot Rover's mission capacity by the storage that holds it: (storage - 4) / 15 items.
BOARDS = (
    (166, "4 KB boards"),
    (308, "8-15 KB boards"),
    (655, "16 KB boards (Pixhawk 1, Cube)"),
    (1312, "32 KB boards (Pixhawk 6X, Matek H743)"),
    (4368, "missions on the SD card (BRD_SD_MISSION 64)"),
)
# Without --max-items, a mission larger than the common 16 KB boards hold is warned about.
WARN_ITEMS = 655


def fits(items: int) -> str:
    """Which of ArduPilot's mission stores hold `items` items."""
    for capacity, where in BOARDS:
        if items <= capacity:
            return f"fits {where} and larger (up to {capacity:,} items)"
    return f"more than any board holds ({BOARDS[-1][0]:,} items with the SD card)"
