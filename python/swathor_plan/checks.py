"""What a site drawn on a map holds that the planner takes as it is, told to the user.

The planner merges obstacles that touch into one, so lawn they wall in on every side cannot be
reached and is not mowed; and it follows a virtual wire step by step without testing it, so a
wire drawn through an obstacle is driven through it. Both are the drawing's doing: they are
reported, one line each, and not changed.
"""

from __future__ import annotations

from swathor_plan.errors import need
from swathor_plan.site_file import Site

# Obstacles closer than this (metres) meet: the planner closes such gaps when it merges them.
TOUCH = 0.002
# Pockets and crossings smaller than these are drawing noise, not worth a line.
MIN_POCKET_M2 = 0.01
MIN_CROSSING_M = 0.01


def walled_in(site: Site) -> list[str]:
    """Lawn enclosed on every side by obstacles that meet: not reachable, not mowed."""
    shapely = need("shapely", "geo")
    if len(site.obstacles) < 2:
        return []
    shapes = [shapely.Polygon(r).buffer(0) for r in site.obstacles]
    lawn = shapely.Polygon(site.perimeter).buffer(0)
    joined = shapely.unary_union([s.buffer(TOUCH / 2, join_style="mitre") for s in shapes])
    out = []
    for part in getattr(joined, "geoms", [joined]):
        for hole in part.interiors:
            pocket = shapely.Polygon(hole).buffer(TOUCH / 2, join_style="mitre")
            pocket = pocket.intersection(lawn).difference(shapely.unary_union(shapes))
            if pocket.area < MIN_POCKET_M2:
                continue
            walls = [i for i, s in enumerate(shapes) if s.buffer(TOUCH).intersects(
                shapely.Polygon(hole).exterior)]
            out.append(f"obstacles {_names(walls)} wall in {pocket.area:.1f} m² of lawn that the "
                       "robot cannot reach without crossing them: it is not mowed")
    return out


def wire_crossing_lines(site: Site) -> list[tuple[int, int, float, list]]:
    """(wire step, obstacle, metres, the pieces inside as point lists) for every stretch of the
    virtual wire that runs inside an obstacle."""
    shapely = need("shapely", "geo")
    wire = site.virtual_wire
    out = []
    for k, ring in enumerate(site.obstacles):
        inside = shapely.Polygon(ring).buffer(0)
        for i, (a, b) in enumerate(zip(wire, wire[1:])):
            piece = shapely.LineString([a, b]).intersection(inside)
            if piece.length >= MIN_CROSSING_M:
                lines = [list(g.coords) for g in getattr(piece, "geoms", [piece])
                         if g.geom_type == "LineString"]
                out.append((i, k, piece.length, lines))
    return out


def wire_crossings(site: Site) -> list[str]:
    """Every stretch of the virtual wire that runs inside an obstacle, a line each."""
    return [f"the virtual wire between its points {i} and {i + 1} runs {length:.1f} m through "
            f"obstacle {k}; transits follow the wire there"
            for i, k, length, _ in wire_crossing_lines(site)]


def _names(indices: list[int]) -> str:
    words = [str(i) for i in indices]
    return ", ".join(words[:-1]) + " and " + words[-1] if len(words) > 1 else "".join(words)
