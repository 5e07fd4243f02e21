"""A route longer than a battery lasts, cut into sorties from the dock and back.

Every sortie leaves the dock along the docking wire, drives (around the obstacles, by the
planner's own transit search) to where the last one stopped, mows on along the planned route and
turns home when the time left is the way back plus the reserve; then it drives to the docking
wire and along it into the dock. Times come from the model of drive.py (the same speeds, turn
time and cutter rule as the missions and the summary), so every sortie lasts at most the battery.

Where a sortie stops: at the latest point of the route from which it still gets home in time.
If the end of a slice (a lane or lap) lies at most SLICE_END_SLACK of the battery before that
point, it stops there instead, so the next sortie starts a fresh slice; otherwise it stops
mid-lane or mid-lap (a robot can stop anywhere) and the next sortie resumes right there. The
sorties together drive exactly the planned route's mowing; the extra driving is the way out to
the resume point and the way home.
"""

from __future__ import annotations

import math
from dataclasses import dataclass

from swathor_plan import drive
from swathor_plan.frame import Coord
from swathor_plan.errors import need
from swathor_plan.planning import BREAK, Plan, part_sites, way_to
from swathor_plan.site_file import Site

# A sortie stops at a slice's end when that leaves unused at most this share of the battery.
SLICE_END_SLACK = 0.05
# Points are placed along a step to within this (metres) of the latest stop that fits.
STOP_STEP = 0.5


class SortieError(ValueError):
    """The battery cannot carry out even one useful sortie."""


@dataclass
class Sortie:
    route: list[Coord]      # dock ... dock
    on: list[bool]          # cutter state per step
    mowing: list[bool]      # per step: a step of the planned route (not the way out or home)
    slices: list[int]       # per step: the planned route's slice (or -1), -1 out and home
    seconds: float
    extra_m: float          # driven out to the resume point and home again


@dataclass
class Sorties:
    sorties: list[Sortie]
    battery_s: float
    reserve_s: float

    @property
    def extra_m(self) -> float:
        return sum(s.extra_m for s in self.sorties)

    def plan(self, template: Plan) -> Plan:
        """All sorties as one plan, joined by BREAK steps (each starts at the dock again), with
        the template's slices: mowing steps keep their slice, the ways out and home are
        transits."""
        route: list[Coord] = []
        steps: list[int] = []
        for s in self.sorties:
            if route:
                steps.append(BREAK)
            route += s.route
            steps += s.slices
        return Plan(route, template.slices, template.kinds, steps, template.skipped,
                    template.seconds, template.settings)


class _Clock:
    """Time along a growing route by the model: legs by cutter state, turns as they come."""

    def __init__(self, speeds, turn_time):
        self.speeds, self.turn_time = speeds, turn_time

    def leg(self, a: Coord, b: Coord, on: bool) -> float:
        return math.dist(a, b) / self.speeds[0 if on else 1]

    def turn(self, a: Coord, b: Coord, c: Coord) -> float:
        return self.turn_time if drive.is_turn(a, b, c) else 0.0


def _dedup(points: list[Coord]) -> list[Coord]:
    out = []
    for p in points:
        if not out or math.dist(p, out[-1]) > 1e-9:
            out.append(tuple(p))
    return out


def plan_sorties(site: Site, plan: Plan, battery_min: float, reserve_min: float | None = None,
                 speeds=drive.DEFAULT_SPEEDS, turn_time: float = drive.DEFAULT_TURN_TIME,
                 idle: float = drive.DEFAULT_IDLE, mowable=None) -> Sorties:
    """Cuts the first part of `plan` (the one that leaves the dock along the docking wire) into
    sorties of at most `battery_min` minutes each, `reserve_min` (default a tenth of the
    battery) kept back. Raises SortieError when the battery cannot mow anything."""
    from swathor_plan.measure import mowable_area

    if len(site.docking_wire) < 2 or not plan.dock_steps:
        raise SortieError("sorties start and end at the dock: the site needs a docking wire and "
                          "the route must leave the dock along it")
    battery = battery_min * 60.0
    reserve = (battery_min / 10 if reserve_min is None else reserve_min) * 60.0
    if not (battery > reserve >= 0):
        raise SortieError(f"--reserve {reserve / 60:g} min leaves nothing of a "
                          f"{battery_min:g} min battery")
    first = plan.part_plans()[0]
    on_all = drive.cutter_states(plan, mowable if mowable is not None else mowable_area(site),
                                 idle)
    wire = first.route[:first.dock_steps + 1]            # dock ... inner end of the wire
    end = len(first.route) - 1 - first.return_steps
    work = first.route[first.dock_steps:end + 1]          # the planned route after the wire
    work_on = on_all[first.dock_steps:end]
    work_slice = plan.step_slice[first.dock_steps:end]
    clock = _Clock(speeds, turn_time)
    gate = wire[-1]
    if site.parts:  # the ways out and home stay on the part the dock serves
        shapely = need("shapely", "geo")
        subs = part_sites(site)
        site = min(subs, key=lambda s: shapely.Polygon(s.perimeter).distance(
            shapely.Point(gate)))

    def home_from(p: Coord) -> tuple[list[Coord], float]:
        way = way_to(site, p, gate)
        if not way:
            raise SortieError(f"no way from ({p[0]:.1f}, {p[1]:.1f}) back to the docking wire")
        back = _dedup(way + wire[-2::-1])
        seconds = sum(clock.leg(a, b, False) for a, b in zip(back, back[1:]))
        seconds += sum(clock.turn(a, b, c) for a, b, c in zip(back, back[1:], back[2:]))
        return back, seconds

    def out_to(p: Coord) -> list[Coord]:
        if math.dist(p, gate) < 1e-9:
            return list(wire)
        way = way_to(site, gate, p)
        if not way:
            raise SortieError(f"no way from the docking wire to ({p[0]:.1f}, {p[1]:.1f})")
        return _dedup(list(wire) + way[1:])

    sorties: list[Sortie] = []
    position = (0, 0.0)       # index in `work` and the fraction of its next step done
    while True:
        k, f = position
        here = _at(work, k, f)
        out = out_to(here)
        route = list(out)
        on = [False] * (len(route) - 1)
        mowing = [False] * (len(route) - 1)
        slices = [-1] * (len(route) - 1)
        t = sum(clock.leg(a, b, False) for a, b in zip(route, route[1:]))
        t += sum(clock.turn(a, b, c) for a, b, c in zip(route, route[1:], route[2:]))
        # Mow on, step by step, while the way home still fits.
        stops = []            # (index, fraction, time there, is a slice end)
        j, frac = k, f
        while j < len(work) - 1:
            a, b = _at(work, j, frac), work[j + 1]
            state = work_on[j]
            turn = clock.turn(route[-2], route[-1], b) if len(route) >= 2 else 0.0
            t_next = t + turn + clock.leg(a, b, state)
            bound = t_next + math.dist(b, gate) / speeds[1] + reserve
            if bound > battery:
                break
            route.append(b)
            on.append(state)
            mowing.append(True)
            slices.append(work_slice[j])
            t = t_next
            slice_end = j + 1 < len(work_on) and work_on[j + 1] != state or \
                (j + 1 < len(work) - 1 and plan.step_slice[first.dock_steps + j + 1]
                 != plan.step_slice[first.dock_steps + j])
            stops.append((j + 1, 0.0, t, slice_end, len(route)))
            j, frac = j + 1, 0.0
        finished = j >= len(work) - 1
        if not finished:
            # Part of the next step may still fit: walk along it in STOP_STEP pieces.
            a, b = _at(work, j, frac), work[j + 1]
            length = math.dist(a, b)
            state = work_on[j]
            turn = clock.turn(route[-2], route[-1], b) if len(route) >= 2 else 0.0
            best = None
            d = STOP_STEP
            while d < length:
                p = _lerp(a, b, d / length)
                tp = t + turn + clock.leg(a, p, state)
                if tp + math.dist(p, gate) / speeds[1] + reserve > battery:
                    break
                best = (d, tp)
                d += STOP_STEP
            if best:
                d, tp = best
                g = frac + (1 - frac) * d / length
                stops.append((j, g, tp, False, None))
        # The latest stop whose true way home fits; a slice end if it wastes little.
        chosen = None
        for stop in reversed(stops):
            idx, g, ts, _, _ = stop
            p = _at(work, idx, g)
            back, tb = home_from(p)
            if ts + tb + turn_time + reserve <= battery:
                chosen = (stop, back, tb)
                break
        if chosen is None:
            needed = (t + (home_from(here)[1])) / 60
            raise SortieError(f"a {battery_min:g} min battery with {reserve / 60:g} min reserve "
                              f"cannot mow on from ({here[0]:.1f}, {here[1]:.1f}): getting there "
                              f"and back alone takes about {needed:.0f} min")
        stop, back, tb = chosen
        if not finished:
            latest_t = stop[2]
            for cand in reversed(stops):
                if cand[3] and latest_t - cand[2] <= SLICE_END_SLACK * battery:
                    p = _at(work, cand[0], cand[1])
                    cback, ctb = home_from(p)
                    if cand[2] + ctb + turn_time + reserve <= battery:
                        stop, back, tb = cand, cback, ctb
                    break
                if latest_t - cand[2] > SLICE_END_SLACK * battery:
                    break
        idx, g, ts, _, length_at = stop
        if length_at is not None:
            route, on, mowing = route[:length_at], on[:length_at - 1], mowing[:length_at - 1]
            slices = slices[:length_at - 1]
        else:
            route.append(_at(work, idx, g))
            on.append(work_on[idx])
            mowing.append(True)
            slices.append(work_slice[idx])
        full = route + back[1:]
        tail = len(full) - len(route)
        steps_on = on + [False] * tail
        steps_mow = mowing + [False] * tail
        seconds = drive.duration(full, steps_on, speeds, turn_time).total_s
        extra = sum(math.dist(a, b) for (a, b), m in zip(zip(full, full[1:]), steps_mow) if not m)
        sorties.append(Sortie(full, steps_on, steps_mow, slices + [-1] * tail, seconds, extra))
        if (idx, g) == position:
            raise SortieError("the battery cannot carry the robot any further along the route")
        position = (idx, g)
        if idx >= len(work) - 1:
            break
    return Sorties(sorties, battery, reserve)


def _lerp(a: Coord, b: Coord, t: float) -> Coord:
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t)


def _at(points: list[Coord], k: int, f: float) -> Coord:
    if f <= 0 or k + 1 >= len(points):
        return tuple(points[min(k, len(points) - 1)])
    return _lerp(points[k], points[k + 1], f)
