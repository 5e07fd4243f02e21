"""Running the planner on a Site: one planning run, the slice kinds and the route's stretches.

Everything here is on the planning plane (metres); frame.py maps it back to the file's frame.
"""

from __future__ import annotations

import math
import time
from dataclasses import dataclass, field

import swathor

from swathor_plan.errors import need
from swathor_plan.frame import Coord
from swathor_plan.site_file import Site

PATTERNS = ("lines", "squares", "rings")
# Laps lie on a 0.001 grid and their miter corners wander a little more: two distances of a lap
# to different borders closer than this are the same distance.
RING_GAP_TOLERANCE = 0.0015
# The first lap runs this far inside the border it follows.
FIRST_LAP = 0.001
# The robot counts as standing at a docking wire's end within this distance of it (metres).
DOCK_REACH = 0.5
# The step_slice of a step between two parts of a lawn: not driven (the robot cannot be trusted
# to cross what lies between, a road, say), so no output draws or writes it as a move.
BREAK = -2


@dataclass
class Plan:
    route: list[Coord]
    slices: list[list[Coord]]
    kinds: list[str]            # per slice: lane, ring, border_lap or obstacle_lap
    step_slice: list[int]       # per route step: the slice it mows along, or -1 for transit
    skipped: list[int]          # indices of slices the route never drives
    seconds: float
    settings: dict = field(default_factory=dict)
    dock_steps: int = 0         # leading steps that follow the docking wire out of the dock
    return_steps: int = 0       # trailing steps back along the docking wire
    return_failed: bool = False  # the way home was asked for but the transit search found none

    @property
    def steps(self) -> list[bool]:
        """Per route step: True when it mows along a slice."""
        return [s >= 0 for s in self.step_slice]

    def length(self, mowing: bool) -> float:
        return sum(math.dist(a, b) for (a, b), s in zip(zip(self.route, self.route[1:]),
                                                           self.step_slice)
                   if s != BREAK and (s >= 0) == mowing)

    def stretches(self) -> list[tuple[bool, int, list[Coord]]]:
        """Maximal runs of steps with one meaning: (mowing, slice index or -1, points). The steps
        between the parts of a lawn belong to none."""
        return [s for part in self.part_plans() for s in part._stretches()]

    def _stretches(self) -> list[tuple[bool, int, list[Coord]]]:
        out: list[tuple[bool, int, list[Coord]]] = []
        for i, s in enumerate(self.step_slice):
            a, b = self.route[i], self.route[i + 1]
            if out and out[-1][1] == s:
                out[-1][2].append(b)
            else:
                out.append((s >= 0, s, [a, b]))
        return out

    def part_plans(self) -> list["Plan"]:
        """The route of each part of the lawn in driving order (one for a lawn in one piece);
        they share the plan's slices."""
        cuts = [i for i, s in enumerate(self.step_slice) if s == BREAK]
        if not cuts:
            return [self]
        out, begin = [], 0
        for end in cuts + [len(self.route) - 1]:
            out.append(Plan(self.route[begin:end + 1], self.slices, self.kinds,
                            self.step_slice[begin:end], [], 0.0, self.settings,
                            dock_steps=self.dock_steps if begin == 0 else 0))
            begin = end + 1
        return out

    def per_part(self, per_step: list) -> list[list]:
        """A list with one entry per route step, cut into the steps of each part_plans() entry
        (the BREAK steps between parts left out)."""
        out, begin = [], 0
        for part in self.part_plans():
            steps = len(part.route) - 1
            out.append(per_step[begin:begin + steps])
            begin += steps + 1
        return out

    def part_gaps(self) -> list[float]:
        """How far apart consecutive parts are where the route leaves one and enters the next."""
        return [math.dist(self.route[i], self.route[i + 1])
                for i, s in enumerate(self.step_slice) if s == BREAK]


def _polygon(ring):
    return swathor.Polygon([swathor.Point(x, y) for x, y in ring])


def _line(points):
    return swathor.LineString([swathor.Point(x, y) for x, y in points])


def environment(site: Site) -> swathor.Environment:
    env = swathor.Environment(_polygon(site.perimeter))
    for ring in site.obstacles:
        env.addObstacle(_polygon(ring))
    for ring in site.mow_areas:
        env.addMowArea(_polygon(ring))
    if site.virtual_wire:
        env.setVirtualWire(_line(site.virtual_wire))
    if site.docking_wire:
        env.setDockingWire(_line(site.docking_wire))
    return env


def settings_from(options: dict) -> swathor.PathSettings:
    s = swathor.PathSettings()
    for name, value in options.items():
        setattr(s, name, value)
    return s


def _coords(line) -> list[Coord]:
    return [(p.x, p.y) for p in line.getPoints()]


def _slice_edges(points: list[Coord]) -> list[tuple[Coord, Coord]]:
    if len(points) >= 3:
        return list(zip(points, points[1:] + points[:1]))
    return list(zip(points, points[1:]))


def _signed_area(ring: list[Coord]) -> float:
    return sum(a[0] * b[1] - a[1] * b[0] for a, b in zip(ring, ring[1:] + ring[:1])) / 2


def _borders(site: Site) -> list[list[Coord]]:
    """The rings the border laps follow: the mow areas when there are any, else the perimeter."""
    return site.mow_areas or [site.perimeter]


def _ring_gaps(rings: list[list[Coord]], others: list[list[Coord]]) -> list[float]:
    """Per ring: the smallest distance from its vertices to the edges of `others`."""
    shapely = need("shapely", "geo")
    if not others:
        return [math.inf] * len(rings)
    target = shapely.MultiLineString([r + r[:1] for r in others])
    shapely.prepare(target)
    return [float(d) for d in shapely.distance([shapely.MultiPoint(r) for r in rings], target)]


def slice_kinds(site: Site, settings: swathor.PathSettings, slices: list[list[Coord]]) -> list[str]:
    """The kind of every slice, from the fixed order of the slice list.

    The list holds the area slices, then the border laps, then the laps around obstacles.
    Lanes have two points. Where the two lap kinds run the same way round, the laps around
    obstacles begin at the first ring that hugs an obstacle but not the border.
    """
    n = len(slices)
    laps_from = 0
    if settings.mowArea:
        if settings.pattern in ("lines", "squares"):
            while laps_from < n and len(slices[laps_from]) <= 2:
                laps_from += 1
        else:
            laps_from = _area_ring_count(site, settings, slices)
    area = ["lane" if len(s) <= 2 else "ring" for s in slices[:laps_from]]
    tail = slices[laps_from:]
    border_on = settings.mowBorder and settings.borderLaps > 0
    obstacle_on = settings.mowExclusionsBoder and settings.exclusionsBorderLaps > 0
    if not (border_on and obstacle_on):
        return area + ["border_lap" if border_on else "obstacle_lap"] * len(tail)
    if settings.mowBorderCcw != settings.mowExclusionsBorderCcw:
        ccw = [_signed_area(s) > 0 for s in tail]
        split = next((i for i, c in enumerate(ccw) if c != settings.mowBorderCcw), len(tail))
    else:
        # Laps around obstacles start with the first lap's holes, 0.001 from an obstacle and
        # farther from the border; every border lap after the first keeps a whole spacing from
        # the obstacles, and the first keeps 0.001 from the border.
        to_border = _ring_gaps(tail, _borders(site))
        to_obstacle = _ring_gaps(tail, site.obstacles)
        near = FIRST_LAP + settings.offset / 2
        split = next((i for i, (b, o) in enumerate(zip(to_border, to_obstacle))
                      if o < near and b > o + RING_GAP_TOLERANCE), len(tail))
    return area + ["border_lap"] * split + ["obstacle_lap"] * (len(tail) - split)


def _area_ring_count(site: Site, settings, slices) -> int:
    """How many leading slices are the concentric rings of the areas (pattern "rings")."""
    border_on = settings.mowBorder and settings.borderLaps > 0
    obstacle_on = settings.mowExclusionsBoder and settings.exclusionsBorderLaps > 0
    if not (border_on or obstacle_on) or not slices:
        return len(slices)
    inset = settings.distanceToBorder
    if inset > 0.002:
        # Area rings keep the inset from every border; the first lap is 0.001 from one.
        gaps = _ring_gaps(slices, _borders(site) + site.obstacles)
        return next((i for i, g in enumerate(gaps) if g < inset / 2), len(slices))
    # Without an inset the area rings are the laps of the whole site, so the first lap repeats
    # a ring already seen (the same points, maybe the other way round); area rings never do.
    seen: set[frozenset] = set()
    for i, s in enumerate(slices):
        key = frozenset(s)
        if key in seen:
            return i
        seen.add(key)
    return len(slices)


def _step_slices(route: list[Coord], slices: list[list[Coord]]) -> list[int]:
    owner: dict[tuple[Coord, Coord], int] = {}
    for i, points in enumerate(slices):
        for a, b in _slice_edges(points):
            owner.setdefault((a, b), i)
            owner.setdefault((b, a), i)
    return [owner.get((a, b), -1) for a, b in zip(route, route[1:])]


def _skipped(route, slices, step_slice) -> list[int]:
    driven = set(step_slice)
    on_route = set(route)
    return [i for i, pts in enumerate(slices)
            if i not in driven and not (len(pts) == 1 and pts[0] in on_route)]


def plan_site(site: Site, options: dict, start: Coord, dock_return: bool = False) -> Plan:
    """Plans the site; raises ValueError or TypeError for unusable values.

    When the site has a docking wire and `start` lies within DOCK_REACH of one of its ends, the
    robot leaves the dock along the wire: planning starts at the wire's other end and the route
    begins with the wire; `dock_return` adds the way back along the wire at the end.

    A lawn in parts is planned part by part, each as its own site in one planner run: first the
    part at (or nearest to) the start, then always the part nearest to where the last one
    ended, entered at its border point nearest to there. Nothing is driven between parts: the
    plan's route joins them with BREAK steps (see Plan.part_plans). Only a lawn in one part
    returns to the dock.
    """
    if site.parts:
        return _plan_parts(site, options, start, dock_return)
    return _plan_one(site, options, start, dock_return)


def part_sites(site: Site) -> list[Site]:
    """Each part of a lawn in parts as a site of its own: the obstacles and mow areas that meet
    it, the longest piece of the virtual wire inside it, and the docking wire if it reaches it."""
    shapely = need("shapely", "geo")
    out = []
    for ring in site.parts:
        part = shapely.Polygon(ring)
        near = part.buffer(1e-6)
        wire = []
        if len(site.virtual_wire) >= 2:
            inside = shapely.LineString(site.virtual_wire).intersection(near)
            pieces = [g for g in getattr(inside, "geoms", [inside]) if g.geom_type == "LineString"]
            if pieces:
                wire = [tuple(p) for p in max(pieces, key=lambda g: g.length).coords]
        dock = site.docking_wire if (len(site.docking_wire) >= 2 and shapely.LineString(
            site.docking_wire).intersects(near)) else []
        out.append(Site(
            perimeter=ring, frame=site.frame,
            obstacles=[o for o in site.obstacles if shapely.Polygon(o).intersects(part)],
            mow_areas=[m for m in site.mow_areas if shapely.Polygon(m).intersects(part)],
            virtual_wire=wire, docking_wire=list(dock)))
    return out


def _plan_parts(site: Site, options: dict, start: Coord, dock_return: bool) -> Plan:
    shapely = need("shapely", "geo")
    subs = part_sites(site)
    polys = [shapely.Polygon(s.perimeter) for s in subs]
    left = list(range(len(subs)))
    here = shapely.Point(start)
    first = min(left, key=lambda k: (not polys[k].covers(here), polys[k].distance(here)))
    total: Plan | None = None
    k, position = first, tuple(start)
    while True:
        left.remove(k)
        if total is None:
            entry = position
        else:  # the border point of this part nearest to where the robot stands
            entry = min(subs[k].perimeter, key=lambda p: math.dist(p, position))
        plan = _plan_one(subs[k], options, entry, dock_return and len(subs) == 1)
        total = plan if total is None else _joined(total, plan)
        if not left:
            break
        position = total.route[-1] if total.route else position
        here = shapely.Point(position)
        k = min(left, key=lambda j: polys[j].distance(here))
    return total


def _joined(a: Plan, b: Plan) -> Plan:
    n = len(a.slices)
    steps = a.step_slice + ([BREAK] if a.route and b.route else []) + [
        s + n if s >= 0 else s for s in b.step_slice]
    return Plan(a.route + b.route, a.slices + b.slices, a.kinds + b.kinds, steps,
                a.skipped + [i + n for i in b.skipped], a.seconds + b.seconds, a.settings,
                dock_steps=a.dock_steps)


def _plan_one(site: Site, options: dict, start: Coord, dock_return: bool) -> Plan:
    env = environment(site)
    settings = settings_from(options)
    wire = _dock_wire(site.docking_wire, start)
    origin = swathor.Point(*(wire[-1] if wire else start))
    t0 = time.perf_counter()
    result = swathor.PathService().computeFullTask(env, settings, origin)
    route = _coords(result.path)
    slices = [_coords(s) for s in result.slices]
    step_slice = _step_slices(route, slices)
    kinds = slice_kinds(site, settings, slices)
    skipped = _skipped(route, slices, step_slice)
    plan = Plan(route, slices, kinds, step_slice, skipped, 0.0, dict(options))
    if wire and route:
        plan.route = wire[:-1] + route
        plan.step_slice = [-1] * (len(wire) - 1) + step_slice
        plan.dock_steps = len(wire) - 1
        if dock_return:
            back = _way_back(site, route[-1], wire)
            if not back:
                plan.return_failed = True
            plan.route += back
            plan.step_slice += [-1] * len(back)
            plan.return_steps = len(back)
    plan.seconds = time.perf_counter() - t0
    return plan


def _dock_wire(wire: list[Coord], start: Coord) -> list[Coord]:
    """The docking wire from the end at `start` to its other end, or [] when start is elsewhere."""
    if len(wire) < 2:
        return []
    if math.dist(start, wire[0]) <= DOCK_REACH:
        path = list(wire)
    elif math.dist(start, wire[-1]) <= DOCK_REACH:
        path = wire[::-1]
    else:
        return []
    return ([tuple(start)] if tuple(start) != path[0] else []) + path


def _way_back(site: Site, end: Coord, wire: list[Coord]) -> list[Coord]:
    """From the route's end to the docking wire's inner end by the planner's own transit search
    (around the obstacles, over the virtual wire where it pays), then along the docking wire
    into the dock; the points after `end`. Empty when the wire cannot be reached."""
    there = way_to(site, end, wire[-1]) if wire else []
    return there[1:] + wire[-2::-1] if there else []


def way_to(site: Site, start: Coord, goal: Coord) -> list[Coord]:
    """The planner's transit route from start to goal on the site (swathor.transitRoute): start
    first, goal last; [] when the goal cannot be reached."""
    if math.dist(start, goal) < 1e-9:
        return [tuple(start)]
    line = swathor.transitRoute(environment(site), swathor.Point(*start), swathor.Point(*goal))
    route = _coords(line)
    if route:
        route[-1] = tuple(goal)
    return route


def dock_position(site: Site) -> Coord | None:
    """Where the dock is: the docking wire's end outside the lawn, or the end nearest its
    border when both or neither lie outside; None without a docking wire."""
    wire = site.docking_wire
    if len(wire) < 2:
        return None
    shapely = need("shapely", "geo")
    lawn = shapely.Polygon(site.parts[0] if site.parts else site.perimeter)
    if site.parts:
        lawn = shapely.union_all([shapely.Polygon(r) for r in site.parts])
    ends = [tuple(wire[0]), tuple(wire[-1])]
    outside = [e for e in ends if not lawn.covers(shapely.Point(e))]
    if len(outside) == 1:
        return outside[0]
    return min(ends, key=lambda e: lawn.exterior.distance(shapely.Point(e))
               if lawn.geom_type == "Polygon" else lawn.boundary.distance(shapely.Point(e)))
