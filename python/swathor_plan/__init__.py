"""swathor_plan: from a lawn drawn on a map to a mission a robot can drive.

The whole job in four calls::

    from pathlib import Path
    import swathor_plan as sp

    site = sp.load_site(Path("lawn.geojson"))          # GeoJSON, KML, GeoPackage, Shapefile
    plan = sp.plan_site(site, sp.options(offset=0.3), site.perimeter[0])
    m = sp.measure(site, plan, 0.3)                      # coverage of the mowable area
    Path("lawn.waypoints").write_bytes(sp.mission_bytes(".waypoints", site, plan, "lawn"))

A Site lives on the planning plane in metres; `site.frame` maps it to and from the file's
coordinates. The command `swathor-plan` is a thin layer over these functions.
"""

from __future__ import annotations

import swathor

from swathor_plan.errors import MissingExtra, SiteError
from swathor_plan.export import geojson_bytes, plan_geojson, plot_bytes
from swathor_plan.frame import GeoFrame, LocalFrame
from swathor_plan.measure import Measures, fit_laps, gaps, measure
from swathor_plan.mission import Cutter, MissionOptions, mission_bytes, mission_files
from swathor_plan.outputs import OutputError, Outputs
from swathor_plan.planning import PATTERNS, Plan, dock_position, plan_site, way_to
from swathor_plan.site_file import Site, load_site
from swathor_plan.sorties import SortieError, Sorties, plan_sorties
from swathor_plan.webmap import map_bytes


def options(**overrides) -> dict:
    """The planner's settings as a dict of PathSettings fields: its defaults, then `overrides`."""
    d = swathor.PathSettings()
    base = {name: getattr(d, name) for name in (
        "pattern", "offset", "angle", "distanceToBorder", "mowArea", "mowBorder", "borderLaps",
        "mowBorderCcw", "mowExclusionsBoder", "exclusionsBorderLaps", "mowExclusionsBorderCcw")}
    unknown = set(overrides) - set(base)
    if unknown:
        raise TypeError(f"unknown setting(s): {', '.join(sorted(unknown))}")
    return {**base, **overrides}


__all__ = [
    "Cutter", "MissionOptions", "SortieError", "Sorties", "dock_position", "mission_files",
    "plan_sorties", "way_to", "GeoFrame", "LocalFrame", "Measures", "MissingExtra", "OutputError", "Outputs",
    "PATTERNS", "Plan", "Site", "SiteError", "fit_laps", "gaps", "geojson_bytes", "load_site",
    "map_bytes", "measure", "mission_bytes", "options", "plan_geojson", "plan_site", "plot_bytes",
]
