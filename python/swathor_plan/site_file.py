"""Reading a site from a GIS file: GeoJSON, KML, GeoPackage, Shapefile or anything GDAL reads.

Each feature says what it is with a `role` attribute: perimeter, obstacle, mow_area,
virtual_wire or docking_wire (KML placemarks may instead be named after their role, such as
"obstacle: pond"). A file of a single polygon without roles is a lawn: the polygon is the
perimeter and its holes are obstacles. Lawn polygons that overlap or repeat are one lawn; a lawn
in separate parts (a MultiPolygon, or several perimeter features) keeps its parts, which are
planned one after another, each as its own site (see planning.py). Holes of mow areas become
obstacles.

The frame (see frame.py): WGS 84 longitude/latitude unless the file names another CRS or carries
the top-level member `"frame": "local"` (planar coordinates in metres); `frame=` overrides both.
Heights are accepted and ignored.
"""

from __future__ import annotations

import json
import math
import warnings
from dataclasses import dataclass, field
from pathlib import Path

from swathor_plan.errors import SiteError, need
from swathor_plan.frame import (Coord, FrameError, GeoFrame, LocalFrame, check_lonlat,
                                check_planar)
from swathor_plan.simplify import DEFAULT_TOLERANCE, simplify_site

Ring = list[Coord]

ROLES = ("perimeter", "obstacle", "mow_area", "virtual_wire", "docking_wire")
AREA_ROLES = {"perimeter", "obstacle", "mow_area"}
FRAMES = ("auto", "lonlat", "local")


@dataclass
class Site:
    """A site on the planning plane (metres), with the frame that maps it back to the file's."""

    perimeter: Ring
    obstacles: list[Ring] = field(default_factory=list)
    mow_areas: list[Ring] = field(default_factory=list)
    virtual_wire: list[Coord] = field(default_factory=list)
    docking_wire: list[Coord] = field(default_factory=list)
    frame: object = field(default_factory=LocalFrame)
    warnings: list[str] = field(default_factory=list)
    # What simplifying the rings and wires did, one line per kind of feature.
    simplified: list[str] = field(default_factory=list)
    # A lawn in separate parts: the outline of each (the perimeter is then their convex hull,
    # which only frames the site: nothing is planned or driven outside the parts).
    parts: list[Ring] = field(default_factory=list)


@dataclass
class _Raw:
    """What the file says, in its own coordinates, before projection."""

    perimeter: list[Ring] = field(default_factory=list)
    obstacles: list[Ring] = field(default_factory=list)
    mow_areas: list[Ring] = field(default_factory=list)
    virtual_wire: list[Coord] = field(default_factory=list)
    docking_wire: list[Coord] = field(default_factory=list)
    warnings: list[str] = field(default_factory=list)

    def positions(self) -> list[Coord]:
        pts = [p for r in self.perimeter + self.obstacles + self.mow_areas for p in r]
        return pts + self.virtual_wire + self.docking_wire


def _role_of(record: dict) -> str | None:
    for key, value in record.items():
        if key.lower() == "role" and isinstance(value, str) and value.strip():
            return value.strip().lower().replace(" ", "_").replace("-", "_")
    for key, value in record.items():
        if key.lower() == "name" and isinstance(value, str):
            word = value.strip().lower().replace(" ", "_").replace("-", "_").split(":")[0]
            if word in ROLES:
                return word
    return None


def _finite(coords, where: str) -> list[Coord]:
    out = []
    for x, y in coords:
        if not (math.isfinite(x) and math.isfinite(y)):
            raise SiteError(f"{where}: coordinate ({x}, {y}) is not a finite number")
        out.append((float(x), float(y)))
    return out


def _clean_ring(coords, where: str, warnings: list[str]) -> Ring:
    ring = _finite([c[:2] for c in coords], where)
    if len(ring) > 1 and ring[0] == ring[-1]:
        ring = ring[:-1]  # the file repeats the first position; the planner closes rings itself
    cleaned = [p for i, p in enumerate(ring) if i == 0 or p != ring[i - 1]]
    if len(cleaned) > 1 and cleaned[0] == cleaned[-1]:
        cleaned.pop()
    if len(set(cleaned)) < 3:
        raise SiteError(f"{where}: a ring needs at least three distinct positions")
    if len(cleaned) != len(ring):
        warnings.append(f"{where}: removed {len(ring) - len(cleaned)} repeated position(s)")
    return cleaned


def _valid_polygons(geom, where: str, warnings: list[str]):
    """The polygons of an areal geometry, repaired with make_valid when they self-intersect."""
    shapely = need("shapely", "geo")
    polys = list(getattr(geom, "geoms", [geom]))
    out = []
    for k, poly in enumerate(polys):
        name = where if len(polys) == 1 else f"{where}, part {k}"
        if poly.is_empty:
            continue
        if len(set(poly.exterior.coords)) < 3:
            raise SiteError(f"{name}: a ring needs at least three distinct positions")
        if not poly.is_valid:
            reason = shapely.is_valid_reason(poly)
            fixed = shapely.make_valid(poly)
            parts = [g for g in getattr(fixed, "geoms", [fixed]) if g.geom_type == "Polygon"
                     and g.area > 0]
            parts += [p for g in getattr(fixed, "geoms", []) if g.geom_type == "MultiPolygon"
                      for p in g.geoms]
            if not parts:
                raise SiteError(f"{name}: the ring is not a valid area ({reason}) and encloses "
                                "nothing after repair")
            warnings.append(f"{name}: invalid ring ({reason}) repaired into {len(parts)} "
                            "polygon(s)")
            out.extend((f"{name}, repaired part {i}", p) for i, p in enumerate(parts))
        else:
            out.append((name, poly))
    return out


def _rings(poly, where: str, warnings: list[str]) -> tuple[Ring, list[Ring]]:
    outer = _clean_ring(list(poly.exterior.coords), f"{where}, outer ring", warnings)
    holes = [_clean_ring(list(h.coords), f"{where}, hole {i}", warnings)
             for i, h in enumerate(poly.interiors)]
    return outer, holes


def _add_feature(raw: _Raw, role: str, geom, where: str) -> None:
    kind = geom.geom_type
    if role in AREA_ROLES:
        if kind not in ("Polygon", "MultiPolygon"):
            raise SiteError(f"{where} must be a Polygon or MultiPolygon, got {kind}")
        for name, poly in _valid_polygons(geom, where, raw.warnings):
            outer, holes = _rings(poly, name, raw.warnings)
            {"perimeter": raw.perimeter, "obstacle": raw.obstacles,
             "mow_area": raw.mow_areas}[role].append(outer)
            if role != "obstacle":
                raw.obstacles.extend(holes)  # holes of a lawn or mow area are not mowed
            elif holes:
                raw.warnings.append(f"{name}: holes of an obstacle are ignored")
        return
    if kind != "LineString":
        raise SiteError(f"{where} must be a LineString, got {kind}")
    line = _finite([c[:2] for c in geom.coords], where)
    line = [p for i, p in enumerate(line) if i == 0 or p != line[i - 1]]
    if len(line) < 2:
        raise SiteError(f"{where}: a line needs at least two distinct positions")
    target = raw.virtual_wire if role == "virtual_wire" else raw.docking_wire
    if target:
        raise SiteError(f"{where}: the site has more than one {role}")
    target.extend(line)


def _frame_marker(path: Path) -> str | None:
    """The top-level "frame" member of a GeoJSON file, if any."""
    if path.suffix.lower() not in (".geojson", ".json"):
        return None
    try:
        data = json.loads(path.read_bytes())
    except RecursionError:
        raise SiteError("not a usable GeoJSON file: nested too deeply") from None
    except ValueError as e:
        raise SiteError(f"not valid JSON: {e}") from None
    marker = data.get("frame") if isinstance(data, dict) else None
    if marker is not None and marker not in ("local", "lonlat"):
        raise SiteError(f"unknown \"frame\" value {marker!r}; use \"local\" or \"lonlat\"")
    return marker


def _read_features(path: Path):
    """(role or None, shapely geometry, where) for every feature of every layer, the CRS, and
    what GDAL said while reading, as warning lines."""
    pyogrio = need("pyogrio", "geo")
    shapely = need("shapely", "geo")
    from pyogrio.errors import DataSourceError, DataLayerError

    try:
        layers = [str(name) for name, _ in pyogrio.list_layers(path)]
    except (DataSourceError, DataLayerError, OSError, ValueError) as e:
        raise SiteError(f"not a site file GDAL can read ({_short(e)})") from None
    features, records, crs = [], [], None
    notes: set[str | None] = set()
    unclosed: list[str] = []
    for layer in layers:
        try:
            with warnings.catch_warnings(record=True) as said:
                warnings.simplefilter("always")
                meta, _, geoms, fields = pyogrio.raw.read(path, layer=layer)
        except (DataSourceError, DataLayerError, OSError, ValueError, RecursionError) as e:
            raise SiteError(f"cannot read layer {layer!r} ({_short(e)})") from None
        notes.update(_gdal_note(str(w.message)) for w in said)
        if crs is None:
            crs = meta.get("crs")
        names = list(meta.get("fields", []))
        layer_records = [{n: fields[k][i] for k, n in enumerate(names)}
                         for i in range(len(geoms) if geoms is not None else 0)]
        records.extend(layer_records)
        for i, wkb in enumerate(geoms if geoms is not None else []):
            where = f"feature {len(features)}" + (f" (layer {layer})" if len(layers) > 1 else "")
            if wkb is None:
                raise SiteError(f"{where} has no geometry")
            try:
                geom = shapely.from_wkb(wkb)
            except Exception:  # GEOS reports malformed geometry in its own error type
                try:  # rings written without their closing position: closed here
                    geom = shapely.from_wkb(wkb, on_invalid="fix")
                except Exception as e:
                    raise SiteError(f"{where}: unreadable geometry ({_short(e)})") from None
                if geom is None or geom.is_empty:
                    raise SiteError(f"{where}: unreadable geometry") from None
                unclosed.append(where)
            features.append((None, geom, where))
    if path.suffix.lower() == ".kml":
        _add_kml_extended_data(path, records)
    notes.discard(None)
    if unclosed:
        notes.discard(UNCLOSED)
        notes.add(f"{', '.join(unclosed)}: ring(s) without their closing position closed")
    return [(_role_of(r), g, w) for r, (_, g, w) in zip(records, features)], crs, sorted(notes)


# What GDAL says while reading, as the user should hear it; anything else is not theirs to act on.
UNCLOSED = "a ring without its closing position was closed"
_GDAL_NOTES = (
    ("Non closed ring", UNCLOSED),
    ("too many members in array", "positions with more than three numbers: the extra ones are "
                                  "ignored"),
)


def _gdal_note(message: str) -> str | None:
    return next((note for key, note in _GDAL_NOTES if key in message), None)


def _add_kml_extended_data(path: Path, records: list[dict]) -> None:
    """Adds each placemark's ExtendedData (SchemaData/SimpleData and Data/value) to its record.

    GDAL's plain KML driver reads placemarks in document order but drops their ExtendedData, where
    ogr2ogr and other tools write attributes such as `role`. The file is read again with lxml,
    refusing entities, DTDs and the network, and the two are matched in order; when the
    placemarks and GDAL's features do not line up one for one (by count and by name), nothing is
    added.
    """
    try:
        from lxml import etree
    except ImportError:
        return
    parser = etree.XMLParser(resolve_entities=False, load_dtd=False, no_network=True,
                             huge_tree=False)
    try:
        root = etree.parse(str(path), parser).getroot()
    except (etree.XMLSyntaxError, OSError, ValueError):
        return
    placemarks = [el for el in root.iter() if isinstance(el.tag, str)
                  and etree.QName(el).localname == "Placemark"]
    if len(placemarks) != len(records):
        return

    def local(el):
        return etree.QName(el).localname if isinstance(el.tag, str) else ""

    extra = []
    for pm in placemarks:
        data, name = {}, None
        for el in pm.iter():
            kind = local(el)
            if kind == "name" and el.getparent() is pm:
                name = (el.text or "").strip()
            elif kind == "SimpleData" and el.get("name"):
                data[el.get("name")] = (el.text or "").strip()
            elif kind == "Data" and el.get("name"):
                value = next((c for c in el if local(c) == "value"), None)
                data[el.get("name")] = (value.text or "").strip() if value is not None else ""
        extra.append((name, data))
    for record, (name, _) in zip(records, extra):
        given = next((v for k, v in record.items() if k.lower() == "name"), None)
        if name is not None and given is not None and str(given).strip() != name:
            return
    for record, (_, data) in zip(records, extra):
        for key, value in data.items():
            record.setdefault(key, value)


def _short(e: Exception, limit: int = 160) -> str:
    """The first line of a library's message, cut to a readable length."""
    text = str(e).strip().splitlines()[0] if str(e).strip() else type(e).__name__
    return text if len(text) <= limit else text[:limit - 3] + "..."


def _gather(features) -> _Raw:
    raw = _Raw()
    roles = [r for r, _, _ in features]
    if not features:
        raise SiteError("the file holds no features")
    if all(r is None for r in roles):
        areal = [(g, w) for _, g, w in features if g.geom_type in ("Polygon", "MultiPolygon")]
        if len(features) != 1 or not areal:
            raise SiteError(
                "the features have no roles; give each a 'role' property (perimeter, obstacle, "
                "mow_area, virtual_wire, docking_wire), or give a file of one lawn polygon")
        features = [("perimeter", features[0][1], features[0][2] + " (lawn)")]
    for role, geom, where in features:
        if role not in ROLES:
            raise SiteError(f"{where} has role {role!r}; expected one of {', '.join(ROLES)}")
        _add_feature(raw, role, geom, f"{where} ({role})" if "(lawn)" not in where else where)
    if not raw.perimeter:
        raise SiteError("no feature with role 'perimeter'")
    return raw


def _join_lawn(site: Site, rings: list[Ring]) -> None:
    """The lawn from its polygons on the plane: overlapping or repeated ones are one lawn, and
    separate ones are its parts. Holes of the joined lawn become obstacles."""
    shapely = need("shapely", "geo")
    lawn = shapely.union_all([shapely.Polygon(r).buffer(0) for r in rings])
    polys = sorted((g for g in getattr(lawn, "geoms", [lawn]) if g.geom_type == "Polygon"
                    and g.area > 0), key=lambda g: -g.area)
    if not polys:
        raise SiteError("the lawn polygons enclose nothing")
    site.obstacles[:0] = [list(h.coords)[:-1] for g in polys for h in g.interiors]
    if len(polys) == 1:
        site.perimeter = list(polys[0].exterior.coords)[:-1]
        site.warnings.append(f"{len(rings)} lawn polygons overlap or repeat: planned as one lawn")
        return
    site.parts = [list(g.exterior.coords)[:-1] for g in polys]
    site.perimeter = list(shapely.MultiPolygon(polys).convex_hull.exterior.coords)[:-1]
    site.warnings.append(f"the lawn has {len(polys)} separate parts: each is planned as its own "
                         "site, one after another")


def _clip_mow_areas(site: Site) -> None:
    """Mow areas reaching beyond the perimeter are cut back to it."""
    if not site.mow_areas:
        return
    shapely = need("shapely", "geo")
    lawn = shapely.Polygon(site.perimeter).buffer(0)
    kept = []
    for i, ring in enumerate(site.mow_areas):
        area = shapely.Polygon(ring).buffer(0)
        if lawn.covers(area):
            kept.append(ring)
            continue
        inside = area.intersection(lawn)
        parts = [g for g in getattr(inside, "geoms", [inside]) if g.geom_type == "Polygon"
                 and g.area > 1e-6]
        site.warnings.append(f"mow area {i} reaches beyond the perimeter: "
                             + ("clipped to it" if parts else "dropped, it lies outside"))
        kept.extend(list(p.exterior.coords)[:-1] for p in parts)
    site.mow_areas = kept


def load_site(path: Path, frame: str = "auto", simplify: float = DEFAULT_TOLERANCE) -> Site:
    """Reads a site file and projects it onto the planning plane, or raises SiteError.

    Every ring and wire is then simplified within `simplify` metres, keeping the places where
    rings meet (see simplify.py); 0 keeps every vertex as read.
    """
    if frame not in FRAMES:
        raise SiteError(f"unknown frame {frame!r}; use one of {', '.join(FRAMES)}")
    if not (simplify >= 0 and math.isfinite(simplify)):
        raise SiteError(f"simplification tolerance {simplify!r}: give 0 or a positive number "
                        "of metres")
    if not path.exists():
        raise SiteError("no such file")
    if path.is_dir():
        raise SiteError("is a directory, not a site file")
    marker = _frame_marker(path)
    features, crs, notes = _read_features(path)
    raw = _gather(features)
    raw.warnings[:0] = notes
    if frame == "auto":
        frame = marker or ("lonlat" if crs is None and path.suffix.lower() in
                           (".geojson", ".json") else "crs")
    try:
        if frame == "local":
            check_planar(raw.positions())
            to = LocalFrame()
        else:
            source = "EPSG:4326" if frame == "lonlat" else _source_crs(crs)
            to = _geo_frame(raw, source)
    except FrameError as e:
        raise SiteError(str(e)) from None

    site = Site(perimeter=to.to_plane(raw.perimeter[0]),
                obstacles=[to.to_plane(r) for r in raw.obstacles],
                mow_areas=[to.to_plane(r) for r in raw.mow_areas],
                virtual_wire=to.to_plane(raw.virtual_wire),
                docking_wire=to.to_plane(raw.docking_wire),
                frame=to, warnings=raw.warnings)
    if len(raw.perimeter) > 1:
        _join_lawn(site, [to.to_plane(r) for r in raw.perimeter])
    _clip_mow_areas(site)
    site.simplified = [s.describe(simplify) for s in simplify_site(site, simplify)]
    return site


def _source_crs(crs):
    pyproj = need("pyproj", "geo")
    if crs is None:
        raise FrameError("the file names no coordinate reference system; pass --frame lonlat "
                         "for WGS 84 longitude/latitude or --frame local for planar metres")
    parsed = pyproj.CRS.from_user_input(crs)
    return parsed.to_2d() if parsed.is_geographic or parsed.is_compound else parsed


def _geo_frame(raw: _Raw, source) -> GeoFrame:
    pyproj = need("pyproj", "geo")
    source = pyproj.CRS.from_user_input(source)
    to_lonlat = pyproj.Transformer.from_crs(source, pyproj.CRS.from_epsg(4326), always_xy=True)
    pts = raw.positions()
    xs, ys = to_lonlat.transform([p[0] for p in pts], [p[1] for p in pts])
    lonlat = list(zip(xs, ys))
    if not all(math.isfinite(x) and math.isfinite(y) for x, y in lonlat):
        raise FrameError("some coordinates cannot be projected from the file's CRS "
                         f"{source.name!r}; pass --frame local if they are planar metres")
    check_lonlat(lonlat)
    return GeoFrame.centred_on(lonlat[:sum(map(len, raw.perimeter))], source)
