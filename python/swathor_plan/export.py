"""Rendering a plan as GeoJSON and as a picture, in the site file's own frame."""

from __future__ import annotations

import io
import json
import math

from swathor_plan.errors import need
from swathor_plan.planning import Plan
from swathor_plan.site_file import Site

PLOT_SUFFIXES = {".png", ".svg", ".pdf"}


def _line(frame, points) -> list[list[float]]:
    return [list(p) for p in frame.to_output(points)]


def plan_geojson(site: Site, plan: Plan, unit: str = "part") -> dict:
    """The route as its mowing and transit stretches in order, each with the number of the lawn's
    part it lies in (1 for a lawn in one piece; `unit` names the property: "sortie" when the
    plan's pieces are battery sorties), then every slice with its kind.

    Geographic sites give WGS 84 longitude/latitude (RFC 7946); planar sites keep their plane
    and carry the "frame": "local" marker, so the file reads back as planar.
    """
    frame = site.frame
    features = []
    stretches = [(k + 1, s) for k, part in enumerate(plan.part_plans()) for s in part.stretches()]
    for order, (part, (mowing, index, points)) in enumerate(stretches):
        length = sum(math.dist(a, b) for a, b in zip(points, points[1:]))
        features.append({
            "type": "Feature",
            "properties": {"order": order, "kind": "mowing" if mowing else "transit",
                           "slice": index if mowing else None, "length_m": round(length, 4),
                           unit: part},
            "geometry": {"type": "LineString", "coordinates": _line(frame, points)},
        })
    skipped = set(plan.skipped)
    for i, (points, kind) in enumerate(zip(plan.slices, plan.kinds)):
        closed = points + points[:1] if len(points) >= 3 else points
        if len(closed) < 2:
            closed = closed * 2
        features.append({
            "type": "Feature",
            "properties": {"kind": kind, "slice": i, "skipped": i in skipped},
            "geometry": {"type": "LineString", "coordinates": _line(frame, closed)},
        })
    data: dict = {"type": "FeatureCollection"}
    if not frame.geographic:
        data["frame"] = "local"
    data["features"] = features
    return data


def geojson_bytes(site: Site, plan: Plan, unit: str = "part") -> bytes:
    return (json.dumps(plan_geojson(site, plan, unit)) + "\n").encode()


def plot_bytes(suffix: str, site: Site, plan: Plan, measures, title: str) -> bytes:
    need("matplotlib", "plot")
    from swathor_plan.plot import draw  # matplotlib only when a picture is asked for

    buffer = io.BytesIO()
    draw(buffer, suffix.lstrip(".").lower(), site, plan, measures, title)
    return buffer.getvalue()
