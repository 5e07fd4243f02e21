"""An interactive map of a plan: one HTML file with Leaflet inlined, usable offline.

Geographic sites are drawn on a web-Mercator map with an optional online tile layer (off until
chosen, so an offline page loads nothing from the network); planar sites on a plain metric
plane. Layers: lawn, mow areas, obstacles, wires, the route coloured by order with dashed
transits, start and end, and the area the plan leaves unmowed.
"""

from __future__ import annotations

import base64
import html
import json
import os
import re
from pathlib import Path

from swathor_plan.checks import wire_crossing_lines
from swathor_plan.drive import flat_points, spans, stretch_spans
from swathor_plan.errors import MissingExtra
from swathor_plan.planning import Plan
from swathor_plan.site_file import Site

LEAFLET_DIRS = (
    Path(__file__).with_name("leaflet"),          # shipped inside the installed package
    Path("/usr/share/javascript/leaflet"),        # Debian's libjs-leaflet
)
# Cool-to-warm stops for the order along the route (early: dark blue, late: yellow).
ORDER_COLOURS = ("#30123b", "#4662d7", "#1ae4b6", "#a2fc3c", "#fbb938", "#e4460a")
# More route stretches and unmowed polygons than this are drawn on a canvas, not as SVG.
MANY_SHAPES = 20000
# Below this the unmowed area is noise from the cutter's polygonised disc (square metres).
MIN_GAP_M2 = 1e-3


def leaflet_assets() -> tuple[str, str]:
    """Leaflet's script and its stylesheet with the images inlined."""
    chosen = os.environ.get("SWATHOR_LEAFLET_DIR")
    dirs = [Path(chosen)] if chosen else list(LEAFLET_DIRS)
    for d in dirs:
        js = d / "leaflet.min.js"
        if not js.is_file():
            js = d / "leaflet.js"
        css = d / "leaflet.css"
        if js.is_file() and css.is_file():
            script = re.sub(r"//# sourceMappingURL=\S+", "", js.read_text(encoding="utf-8"))
            style = css.read_text(encoding="utf-8")

            def inline(m: re.Match) -> str:
                image = d / m.group(1)
                if not image.is_file():
                    return "url()"
                data = base64.b64encode(image.read_bytes()).decode()
                return f"url(data:image/png;base64,{data})"

            style = re.sub(r"url\((images/[^)]+\.png)\)", inline, style)
            return script, style
    raise MissingExtra("the map needs Leaflet: install Debian's libjs-leaflet or set "
                       "SWATHOR_LEAFLET_DIR to a folder holding leaflet.js and leaflet.css")


def _hex(c: str) -> tuple[int, int, int]:
    return int(c[1:3], 16), int(c[3:5], 16), int(c[5:7], 16)


def order_colour(t: float) -> str:
    t = min(1.0, max(0.0, t)) * (len(ORDER_COLOURS) - 1)
    i = min(int(t), len(ORDER_COLOURS) - 2)
    a, b = _hex(ORDER_COLOURS[i]), _hex(ORDER_COLOURS[i + 1])
    f = t - i
    return "#" + "".join(f"{round(x + (y - x) * f):02x}" for x, y in zip(a, b))


def order_colours(ts) -> list[str]:
    """order_colour of each t, all at once: a big plan has a hundred thousand stretches, and
    neighbours mostly share a colour, so each distinct one is written out once."""
    import numpy as np
    t = np.clip(np.asarray(ts, dtype=float), 0.0, 1.0) * (len(ORDER_COLOURS) - 1)
    i = np.minimum(t.astype(int), len(ORDER_COLOURS) - 2)
    stops = np.array([_hex(c) for c in ORDER_COLOURS], dtype=float)
    a, b = stops[i], stops[i + 1]
    rgb = np.rint(a + (b - a) * (t - i)[:, None]).astype(int)   # round half to even, as round()
    codes, inverse = np.unique((rgb[:, 0] << 16) | (rgb[:, 1] << 8) | rgb[:, 2],
                               return_inverse=True)
    names = [f"#{code:06x}" for code in codes.tolist()]
    return [names[k] for k in inverse.reshape(-1).tolist()]


def _latlngs(frame, points) -> list[list[float]]:
    # Leaflet wants [lat, lng]; a planar site is drawn with y as "lat" and x as "lng".
    return [[round(y, 9), round(x, 9)] for x, y in frame.to_output(points)]


def _packed(frame, xy) -> str:
    """Points as [lat, lng] pairs taken to the output frame and rounded, in one go, packed as
    base64 of little-endian doubles: a big plan has millions of points, which JSON would write
    one by one (seconds), where the page reads them in milliseconds."""
    import numpy as np
    if not len(xy):
        return ""
    latlng = np.round(frame.array_to_output(np.asarray(xy, dtype=float)), 9)
    return base64.b64encode(np.ascontiguousarray(latlng[:, ::-1], dtype="<f8").tobytes()).decode()


def _polygons(frame, geom) -> dict:
    """The polygons of `geom` worth drawing: the points of their rings (packed), how many each
    ring has, and how many rings each polygon has (its outer ring, then its holes). All rings
    are read at once: the unmowed part of a big plan is tens of thousands of slivers."""
    import numpy as np
    import shapely
    parts = shapely.get_parts(geom)
    parts = parts[(shapely.get_type_id(parts) == shapely.GeometryType.POLYGON)
                  & (shapely.area(parts) >= MIN_GAP_M2)]
    rings, owner = shapely.get_rings(parts, return_index=True)   # each outer ring, then holes
    xy, sizes = _simplified(shapely, np, shapely.get_coordinates(rings),
                            shapely.get_num_coordinates(rings))
    return {"points": _packed(frame, xy), "rings": sizes.tolist(),
            "polygons": np.bincount(owner, minlength=len(parts)).tolist()}


def _simplified(shapely, np, xy, sizes, tolerance: float = 0.01, piece: int = 200):
    """Closed rings, their points one after another in `xy` (`sizes` of them each), simplified
    by Douglas-Peucker in pieces of at most `piece` points that keep their ends: whole, a long
    sawtooth ring (the scallops lanes' caps leave along a border) costs GEOS time with the
    square of its points, seconds for one. Returns the points and sizes of the rings drawn."""
    sizes = np.asarray(sizes, dtype=np.intp)
    if not len(sizes):
        return np.zeros((0, 2)), sizes
    # Pieces start every piece - 1 points and share their ends with the next.
    per = -(-(sizes - 1) // (piece - 1))
    owner = np.repeat(np.arange(len(sizes)), per)
    within = np.arange(per.sum()) - np.repeat(np.cumsum(per) - per, per)
    counts = np.minimum(piece, sizes[owner] - within * (piece - 1))
    index, _ = spans(np, (np.cumsum(sizes) - sizes)[owner] + within * (piece - 1), counts)
    simple = shapely.simplify(
        shapely.linestrings(xy[index], indices=np.repeat(np.arange(len(counts)), counts)),
        tolerance, preserve_topology=False)
    kept = shapely.get_num_coordinates(simple)
    first = np.ones(kept.sum(), dtype=bool)
    first[(np.cumsum(kept) - kept)[within > 0]] = False     # each later piece's shared start
    return (shapely.get_coordinates(simple)[first],
            np.bincount(owner, weights=kept - (within > 0), minlength=len(sizes)).astype(np.intp))


# Colours of the pieces of a route in parts or sorties, in turn.
PIECE_COLOURS = ("#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2",
                 "#17becf", "#bcbd22", "#7f7f7f")


def map_data(site: Site, plan: Plan, measures, unit: str = "part") -> dict:
    import numpy as np
    frame = site.frame
    pieces = plan.part_plans()
    first, steps, index, piece = stretch_spans(np, plan)
    mowing = index >= 0
    if len(pieces) > 1:
        colours = np.array(PIECE_COLOURS)[piece % len(PIECE_COLOURS)].tolist()
    else:   # by order: the n-th mowing stretch, and each transit takes the next one's
        colours = order_colours((np.cumsum(mowing) - mowing) / max(1, int(mowing.sum()) - 1))
    at, _ = spans(np, first, steps + 1)
    # Column by column, the points packed: see _packed.
    route = {"mowing": mowing.tolist(), "slice": index.tolist(),
             "colour": [c if m else "#c0392b" for m, c in zip(mowing.tolist(), colours)],
             "piece": piece.tolist(), "sizes": (steps + 1).tolist(),
             "points": _packed(frame, flat_points([plan.route])[0][at])}
    data = {
        "geographic": frame.geographic,
        "lawn": ([[_latlngs(frame, r)] for r in site.parts] if site.parts
                 else _latlngs(frame, site.perimeter)),
        # A route in parts or sorties: each piece's number, in driving order, where it starts
        # mowing (sorties all leave the same dock).
        "parts": [{"label": f"{unit} {k + 1}", "at": _latlngs(frame, [next(
            (part.route[i] for i, s in enumerate(part.step_slice) if s >= 0),
            part.route[0])])[0]} for k, part in enumerate(pieces) if part.route]
        if len(pieces) > 1 else [],
        "obstacles": [_latlngs(frame, r) for r in site.obstacles],
        "mowAreas": [_latlngs(frame, r) for r in site.mow_areas],
        "virtualWire": _latlngs(frame, site.virtual_wire),
        # Where the virtual wire runs through an obstacle (transits follow it there).
        "wireCrossings": [_latlngs(frame, line) for *_, lines in wire_crossing_lines(site)
                          for line in lines],
        "dockingWire": _latlngs(frame, site.docking_wire),
        "route": route,
        "start": _latlngs(frame, plan.route[:1]),
        "end": _latlngs(frame, plan.route[-1:]),
        "uncovered": {"points": "", "rings": [], "polygons": []},
        "summary": "",
    }
    if measures is not None:
        data["uncovered"] = _polygons(frame, measures.uncovered)
        data["summary"] = (f"coverage {measures.coverage * 100:.1f} %, "
                           f"{measures.uncovered_m2:.1f} m² not mowed, route "
                           f"{measures.mowing_m + measures.transit_m:.0f} m")
    return data


PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>__TITLE__</title>
<style>__LEAFLET_CSS__</style>
<style>
html, body, #map { height: 100%; margin: 0; }
body { font: 14px/1.4 system-ui, sans-serif; }
.swathor-title { background: rgba(255,255,255,.9); padding: 6px 10px; border-radius: 4px; }
.swathor-legend i { display: inline-block; width: 18px; height: 10px; margin-right: 6px; }
</style>
</head>
<body>
<div id="map"></div>
<script>__LEAFLET_JS__</script>
<script>
"use strict";
const MANY_SHAPES = __MANY_SHAPES__;
const data = __DATA__;
// Point lists packed as base64 of little-endian doubles, lat then lng, `sizes` points each.
function pointLists(packed, sizes) {
  const text = atob(packed);
  const bytes = new Uint8Array(text.length);
  for (let k = 0; k < text.length; k++) bytes[k] = text.charCodeAt(k);
  const flat = new Float64Array(bytes.buffer);
  const out = [];
  let at = 0;
  for (const n of sizes) {
    const points = new Array(n);
    for (let k = 0; k < n; k++, at += 2) points[k] = [flat[at], flat[at + 1]];
    out.push(points);
  }
  return out;
}
// Many shapes are drawn on a canvas: as SVG elements, 150,000 of them take a browser seconds.
const many = data.route.sizes.length + data.uncovered.polygons.length > MANY_SHAPES;
const map = L.map("map", Object.assign({preferCanvas: many},
  data.geographic ? {} : {crs: L.CRS.Simple, minZoom: -5}));
const blank = L.layerGroup();
const bases = {"No background (offline)": blank};
if (data.geographic) {
  bases["OpenStreetMap (online)"] = L.tileLayer(
    "https://tile.openstreetmap.org/{z}/{x}/{y}.png",
    {maxZoom: 22, maxNativeZoom: 19, attribution: "&copy; OpenStreetMap contributors"});
}
blank.addTo(map);
// The lawn, then the unmowed area, lie under everything else (panes below the overlays').
map.createPane("lawn").style.zIndex = 380;
map.createPane("gaps").style.zIndex = 390;
const lawn = L.polygon(data.lawn, {color: "#4d7a2a", weight: 2, fillColor: "#cfe8b8",
                                   fillOpacity: 0.6, pane: "lawn"});
const areas = L.layerGroup(data.mowAreas.map(r => L.polygon(r, {color: "#2f6b1d", weight: 2,
                                                                 dashArray: "2 4", fill: false})));
const obstacles = L.layerGroup(data.obstacles.map(r => L.polygon(r, {color: "#404040",
  weight: 1, fillColor: "#8c8c8c", fillOpacity: 0.9})));
const rings = pointLists(data.uncovered.points, data.uncovered.rings);
let ring = 0;
// One SVG shape of all the unmowed polygons: pieces that meet (the area is measured in
// strips) then show no seam between them, and a browser draws it in a moment (on a canvas,
// seconds).
const gapParts = data.uncovered.polygons.map(n => rings.slice(ring, ring += n));
const gaps = L.layerGroup(gapParts.length ? [L.polygon(gapParts, {stroke: false,
  fillColor: "#ff2d95", fillOpacity: 0.85, pane: "gaps", renderer: L.svg({pane: "gaps"})})]
  : []);
const pieces = [];
const r = data.route;
pointLists(r.points, r.sizes).forEach((points, k) => {
  while (pieces.length <= r.piece[k]) pieces.push(L.layerGroup());
  L.polyline(points, r.mowing[k] ? {color: r.colour[k], weight: 2}
    : {color: r.colour[k], weight: 2, dashArray: "6 5", opacity: 0.9}).addTo(pieces[r.piece[k]]);
});
const route = L.layerGroup(pieces);
const wires = L.layerGroup();
if (data.virtualWire.length) L.polyline(data.virtualWire, {color: "#d98c00", weight: 4,
                                                            opacity: 0.7}).addTo(wires);
if (data.dockingWire.length) L.polyline(data.dockingWire, {color: "#6a1b9a", weight: 4,
                                                            opacity: 0.8}).addTo(wires);
for (const c of data.wireCrossings) L.polyline(c, {color: "#e00000", weight: 6, opacity: 0.9})
  .bindTooltip("the virtual wire runs through an obstacle here").addTo(wires);
const ends = L.layerGroup();
if (data.start.length) L.circleMarker(data.start[0], {radius: 7, color: "#1f4e9e",
  fillOpacity: 1}).bindTooltip("start").addTo(ends);
if (data.end.length) L.circleMarker(data.end[0], {radius: 5, color: "#1f4e9e", fillColor: "#fff",
  fillOpacity: 1}).bindTooltip("end").addTo(ends);
for (const p of data.parts) L.circleMarker(p.at, {radius: 4, color: "#1f4e9e"})
  .bindTooltip(p.label, {permanent: true, direction: "right"}).addTo(ends);
for (const layer of [lawn, areas, gaps, route, obstacles, wires, ends]) layer.addTo(map);
const overlays = {"Lawn": lawn, "Mow areas": areas, "Obstacles": obstacles,
                  "Not mowed": gaps, "Route": route, "Wires": wires, "Start and end": ends};
// A route in several pieces (parts of a lawn, battery sorties): each can be shown alone.
if (data.parts.length > 1) {
  delete overlays["Route"];
  data.parts.forEach((p, k) => { overlays[p.label] = pieces[k]; });
}
L.control.layers(bases, overlays, {collapsed: false}).addTo(map);
map.fitBounds(lawn.getBounds(), {padding: [20, 20]});
const title = L.control({position: "bottomleft"});
title.onAdd = () => {
  const div = L.DomUtil.create("div", "swathor-title swathor-legend");
  div.innerHTML = "<b>__TITLE__</b><br>" + (data.summary ? data.summary + "<br>" : "") +
    "<i style='background:#30123b'></i>early <i style='background:#e4460a'></i>late " +
    "<i style='border-top:2px dashed #c0392b;height:0'></i>transit " +
    (data.uncovered.polygons.length ? "<i style='background:#ff2d95'></i>not mowed" : "");
  return div;
};
title.addTo(map);
window.swathorReady = true;
</script>
</body>
</html>
"""


def map_bytes(site: Site, plan: Plan, measures, title: str, unit: str = "part") -> bytes:
    script, style = leaflet_assets()
    data = json.dumps(map_data(site, plan, measures, unit)).replace("</", "<\\/")
    # The data goes in as it is, between the page's two halves: the other fields are not
    # searched for in its megabytes, nor in each other.
    head, tail = PAGE.split("__DATA__")
    fields = {"__LEAFLET_CSS__": style, "__TITLE__": html.escape(title), "__LEAFLET_JS__": script,
              "__MANY_SHAPES__": str(MANY_SHAPES)}
    head, tail = (re.sub("|".join(fields), lambda m: fields[m.group(0)], half)
                  for half in (head, tail))
    return b"".join(part.encode() for part in (head, data, tail))
