"""Running the planner on a Site and measuring what the robot will drive."""

from __future__ import annotations

import math
import time
from dataclasses import dataclass, field

import swathor

from swathor_plan.site_file import Coord, Site


@dataclass
class Plan:
    route: list[Coord]
    slices: list[list[Coord]]
    kinds: list[str]            # per slice: lane, ring, border_lap or obstacle_lap
    steps: list[bool]           # per route step: True when it mows along a slice
    skipped: list[int]          # indices of slices the route never drives
    seconds: float
    settings: dict = field(default_factory=dict)

    def length(self, mowing: bool) -> float:
        return sum(math.dist(a, b) for (a, b), m in zip(zip(self.route, self.route[1:]), self.steps)
                   if m == mowing)


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


def _count(env, options: dict, start, **only) -> int:
    s = settings_from({**options, "mowArea": False, "mowBorder": False,
                       "mowExclusionsBoder": False, **only})
    return len(swathor.PathService().computeFullTask(env, s, start).slices)


def plan_site(site: Site, options: dict, start: Coord) -> Plan:
    """Plans the site; raises ValueError or TypeError when the planner rejects a value."""
    env = environment(site)
    settings = settings_from(options)
    origin = swathor.Point(*start)
    t0 = time.perf_counter()
    result = swathor.PathService().computeFullTask(env, settings, origin)
    seconds = time.perf_counter() - t0
    route = _coords(result.path)
    slices = [_coords(s) for s in result.slices]

    # The slice list holds the area slices, then the border laps, then the obstacle laps.
    border = _count(env, options, origin, mowBorder=True) if settings.mowBorder else 0
    obstacle = _count(env, options, origin, mowExclusionsBoder=True) if settings.mowExclusionsBoder else 0
    area = len(slices) - border - obstacle
    kinds = [("lane" if len(s) <= 2 else "ring") for s in slices[:area]]
    kinds += ["border_lap"] * border + ["obstacle_lap"] * obstacle

    edges = set()
    for points in slices:
        for a, b in _slice_edges(points):
            edges.add((a, b))
            edges.add((b, a))
    steps = [(a, b) in edges for a, b in zip(route, route[1:])]
    driven = set(zip(route, route[1:]))
    skipped = []
    for i, points in enumerate(slices):
        own = _slice_edges(points)
        if own and not any(e in driven or (e[1], e[0]) in driven for e in own):
            skipped.append(i)
        elif not own and points and points[0] not in route:
            skipped.append(i)
    return Plan(route, slices, kinds, steps, skipped, seconds, dict(options))


def coverage(site: Site, plan: Plan, offset: float):
    """Share of the mowable area within offset/2 of the route, or None without shapely."""
    try:
        from shapely.geometry import LineString, Point, Polygon
    except ImportError:
        return None
    lawn = Polygon(site.perimeter)
    for ring in site.obstacles:
        lawn = lawn.difference(Polygon(ring))
    if lawn.area <= 0:
        return None
    if len(plan.route) >= 2:
        reach = LineString(plan.route).buffer(offset / 2)
    elif plan.route:
        reach = Point(plan.route[0]).buffer(offset / 2)
    else:
        return 0.0
    return lawn.intersection(reach).area / lawn.area
