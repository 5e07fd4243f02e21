"""Writing results: GeoJSON and pictures, never leaving a partial file behind."""

from __future__ import annotations

import json
import os
import tempfile
from pathlib import Path

from swathor_plan.planning import Plan
from swathor_plan.site_file import Site

PLOT_SUFFIXES = {".png", ".svg", ".pdf"}


def atomic_write(path: Path, write) -> None:
    """Calls write(tmp_path), then moves the finished file into place."""
    directory = path.parent if str(path.parent) else Path(".")
    fd, tmp = tempfile.mkstemp(prefix=f".{path.name}.", suffix=path.suffix, dir=directory)
    os.close(fd)
    try:
        write(Path(tmp))
        os.replace(tmp, path)
    except BaseException:
        Path(tmp).unlink(missing_ok=True)
        raise


def plan_geojson(plan: Plan) -> dict:
    features = [{
        "type": "Feature",
        "properties": {"kind": "route", "index": 0},
        "geometry": {"type": "LineString", "coordinates": [list(p) for p in plan.route]},
    }]
    for i, (points, kind) in enumerate(zip(plan.slices, plan.kinds)):
        closed = len(points) >= 3
        features.append({
            "type": "Feature",
            "properties": {"kind": kind, "index": i, "skipped": i in plan.skipped},
            "geometry": {"type": "LineString",
                         "coordinates": [list(p) for p in points + (points[:1] if closed else [])]},
        })
    return {"type": "FeatureCollection", "features": features}


def write_geojson(path: Path, plan: Plan) -> None:
    data = plan_geojson(plan)
    atomic_write(path, lambda tmp: tmp.write_text(json.dumps(data) + "\n", encoding="utf-8"))


def write_plot(path: Path, site: Site, plan: Plan, title: str) -> None:
    from swathor_plan.plot import draw  # matplotlib only when a picture is asked for

    atomic_write(path, lambda tmp: draw(tmp, site, plan, title))
