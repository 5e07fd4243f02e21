"""Reading a site from a GeoJSON FeatureCollection in planar site coordinates."""

from __future__ import annotations

import json
import math
from dataclasses import dataclass, field
from pathlib import Path

Coord = tuple[float, float]
Ring = list[Coord]


class SiteError(Exception):
    """A site file that cannot be planned; the message names the problem."""


@dataclass
class Site:
    perimeter: Ring
    obstacles: list[Ring] = field(default_factory=list)
    mow_areas: list[Ring] = field(default_factory=list)
    virtual_wire: list[Coord] = field(default_factory=list)
    docking_wire: list[Coord] = field(default_factory=list)


ROLES = {
    "perimeter": "Polygon",
    "obstacle": "Polygon",
    "mow_area": "Polygon",
    "virtual_wire": "LineString",
    "docking_wire": "LineString",
}


def _position(value, where: str) -> Coord:
    if not isinstance(value, (list, tuple)) or len(value) < 2:
        raise SiteError(f"{where}: a position must be a list of two numbers, got {value!r}")
    coords = []
    for c in value[:2]:
        if isinstance(c, bool) or not isinstance(c, (int, float)):
            raise SiteError(f"{where}: coordinate {c!r} is not a number")
        c = float(c)
        if not math.isfinite(c):
            raise SiteError(f"{where}: coordinate {c!r} is not finite")
        coords.append(c)
    return coords[0], coords[1]


def _line(value, where: str) -> list[Coord]:
    if not isinstance(value, list):
        raise SiteError(f"{where}: coordinates must be a list of positions")
    return [_position(p, f"{where}, position {i}") for i, p in enumerate(value)]


def _ring(value, where: str) -> Ring:
    ring = _line(value, where)
    if len(ring) > 1 and ring[0] == ring[-1]:
        ring = ring[:-1]  # GeoJSON repeats the first position; the planner closes rings itself
    if len(ring) < 3:
        raise SiteError(f"{where}: a ring needs at least three distinct positions")
    return ring


def parse_site(data) -> Site:
    """Builds a Site from decoded GeoJSON, or raises SiteError."""
    if not isinstance(data, dict) or data.get("type") != "FeatureCollection":
        raise SiteError("not a GeoJSON FeatureCollection")
    features = data.get("features")
    if not isinstance(features, list):
        raise SiteError("the FeatureCollection has no 'features' list")
    perimeter = None
    site_parts: dict[str, list] = {role: [] for role in ROLES}
    for i, feature in enumerate(features):
        where = f"feature {i}"
        if not isinstance(feature, dict) or feature.get("type") != "Feature":
            raise SiteError(f"{where} is not a GeoJSON Feature")
        props = feature.get("properties") or {}
        role = props.get("role") if isinstance(props, dict) else None
        if role not in ROLES:
            raise SiteError(f"{where} has role {role!r}; expected one of {', '.join(ROLES)}")
        where = f"{where} ({role})"
        geometry = feature.get("geometry")
        kind = geometry.get("type") if isinstance(geometry, dict) else None
        if kind != ROLES[role]:
            raise SiteError(f"{where} must be a {ROLES[role]}, got {kind or 'no geometry'}")
        coords = geometry.get("coordinates")
        if kind == "Polygon":
            if not isinstance(coords, list) or not coords:
                raise SiteError(f"{where}: a Polygon needs at least one ring")
            rings = [_ring(r, f"{where}, ring {k}") for k, r in enumerate(coords)]
            if role == "perimeter":
                if perimeter is not None:
                    raise SiteError(f"{where}: the site has more than one perimeter")
                perimeter = rings[0]
                site_parts["obstacle"].extend(rings[1:])  # holes of the lawn are obstacles
            else:
                site_parts[role].extend(rings[:1])
                if role == "obstacle":
                    site_parts["obstacle"].extend(rings[1:])
        else:
            line = _line(coords, where)
            if len(line) < 2:
                raise SiteError(f"{where}: a LineString needs at least two positions")
            if site_parts[role]:
                raise SiteError(f"{where}: the site has more than one {role}")
            site_parts[role].append(line)
    if perimeter is None:
        raise SiteError("no feature with role 'perimeter'")
    return Site(
        perimeter=perimeter,
        obstacles=site_parts["obstacle"],
        mow_areas=site_parts["mow_area"],
        virtual_wire=site_parts["virtual_wire"][0] if site_parts["virtual_wire"] else [],
        docking_wire=site_parts["docking_wire"][0] if site_parts["docking_wire"] else [],
    )


def load_site(path: Path) -> Site:
    """Reads and parses a site file, or raises SiteError."""
    try:
        text = path.read_text(encoding="utf-8")
    except FileNotFoundError:
        raise SiteError("no such file") from None
    except IsADirectoryError:
        raise SiteError("is a directory, not a site file") from None
    except (OSError, UnicodeDecodeError) as e:
        raise SiteError(f"cannot read: {e}") from None
    try:
        data = json.loads(text)
    except json.JSONDecodeError as e:
        raise SiteError(f"not valid JSON: {e.msg} at line {e.lineno} column {e.colno}") from None
    return parse_site(data)
