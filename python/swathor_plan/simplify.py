"""Simplifying what a site file holds before planning.

A border recorded by driving holds a point every few centimetres, each off by a few
millimetres: thousands of vertices for a shape of tens. The planner would treat every one of
them as a corner (a mission of 40,000 waypoints, laps that follow the noise), so every ring and
wire is simplified first, within a tolerance of about RTK accuracy.

Where rings meet they must keep meeting: an obstacle drawn on the border, or two obstacles
sharing an edge, would otherwise open a gap or overlap after each is simplified on its own.
Where a ring starts or stops touching another ring or wire (within SHARED), its vertex is
pinned, and each ring is simplified run by run between its pinned vertices, with the run's
ends fixed (GEOS's Douglas-Peucker, through shapely). Runs are simplified the same way in
either direction, so a stretch two rings share, drawn on the same points, comes out the same
in both. A ring that would cross itself is
simplified again keeping its topology, and kept as it was if that fails too.
"""

from __future__ import annotations

from dataclasses import dataclass

from swathor_plan.errors import need
from swathor_plan.frame import Coord

# Default tolerance in metres: about what an RTK receiver is sure of.
DEFAULT_TOLERANCE = 0.02
# A vertex this close to another ring or wire (metres) is where the two meet, and stays.
SHARED = 1e-6


@dataclass
class Simplified:
    """What simplification did to one kind of feature."""

    what: str
    before: int
    after: int

    def describe(self, tolerance: float) -> str:
        return f"{self.what}: {self.before:,} -> {self.after:,} vertices within {tolerance:g} m"


def _run(points: list[Coord], tolerance: float) -> list[Coord]:
    """An open run simplified with its ends fixed, the same whichever way it is given."""
    if len(points) <= 2:
        return points
    shapely = need("shapely", "geo")
    flip = points[-1] < points[0]
    ordered = points[::-1] if flip else points
    kept = [tuple(p) for p in shapely.simplify(shapely.LineString(ordered), tolerance,
                                               preserve_topology=False).coords]
    return kept[::-1] if flip else kept


def _pinned(rings: list[list[Coord]], lines: list[list[Coord]]) -> list[list[bool]]:
    """Per ring, per vertex: does the ring start or stop touching another ring or wire here?"""
    shapely = need("shapely", "geo")
    import numpy as np

    shapes = [shapely.LinearRing(r) for r in rings] + [shapely.LineString(w) for w in lines]
    tree = shapely.STRtree(shapes)
    out = []
    for i, ring in enumerate(rings):
        pts = shapely.points(np.asarray(ring, dtype=float))
        which, other = tree.query(pts, predicate="dwithin", distance=SHARED)
        touches: list[set[int]] = [set() for _ in ring]
        for v, s in zip(which.tolist(), other.tolist()):
            if s != i:
                touches[v].add(s)
        n = len(ring)
        out.append([bool(touches[v]) and not (touches[v] == touches[v - 1]
                                              == touches[(v + 1) % n]) for v in range(n)])
    return out


def _ring(ring: list[Coord], pinned: list[bool], tolerance: float) -> list[Coord]:
    shapely = need("shapely", "geo")
    n = len(ring)
    anchors = [i for i in range(n) if pinned[i]]
    if not anchors:
        # No fixed place: start at the first vertex and split at the farthest from it.
        far = max(range(n), key=lambda i: (ring[i][0] - ring[0][0]) ** 2
                  + (ring[i][1] - ring[0][1]) ** 2)
        anchors = [0, far] if far else [0]
    out: list[Coord] = []
    for k, a in enumerate(anchors):
        b = anchors[(k + 1) % len(anchors)]
        run = [ring[j % n] for j in range(a, (b if b > a else b + n) + 1)]
        out.extend(_run(run, tolerance)[:-1])
    if len(out) >= 3 and shapely.Polygon(out).is_valid:
        return out
    kept = shapely.simplify(shapely.Polygon(ring), tolerance, preserve_topology=True)
    coords = [tuple(p) for p in kept.exterior.coords][:-1] if not kept.is_empty else []
    return coords if len(coords) >= 3 and kept.is_valid and not any(pinned) else ring


def simplify_site(site, tolerance: float) -> list[Simplified]:
    """Simplifies the site's rings and wires in place; what changed, per kind of feature."""
    if not tolerance > 0:
        return []
    # A lawn in parts: the parts are its border (the perimeter only frames them).
    border = site.parts or [site.perimeter]
    rings = border + site.obstacles + site.mow_areas
    lines = [w for w in (site.virtual_wire, site.docking_wire) if len(w) >= 2]
    pins = _pinned(rings, lines)
    new = [_ring(r, p, tolerance) for r, p in zip(rings, pins)]
    b, k = len(border), len(site.obstacles)
    report = []
    for what, old_rings, new_rings in (("perimeter", rings[:b], new[:b]),
                                       ("obstacles", rings[b:b + k], new[b:b + k]),
                                       ("mow areas", rings[b + k:], new[b + k:])):
        before, after = sum(map(len, old_rings)), sum(map(len, new_rings))
        if after < before:
            report.append(Simplified(what, before, after))
    if site.parts:
        site.parts = new[:b]
    else:
        site.perimeter = new[0]
    site.obstacles, site.mow_areas = new[b:b + k], new[b + k:]
    for name in ("virtual_wire", "docking_wire"):
        wire = getattr(site, name)
        simpler = _run(wire, tolerance) if len(wire) > 2 else wire
        if len(simpler) < len(wire):
            report.append(Simplified(name.replace("_", " "), len(wire), len(simpler)))
            setattr(site, name, simpler)
    return report
