"""Drawing a planned route with matplotlib."""

from __future__ import annotations

import textwrap

import matplotlib

matplotlib.use("Agg")

import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.lines import Line2D  # noqa: E402
from matplotlib.patches import Patch, PathPatch, Polygon as PolygonPatch  # noqa: E402

from swathor_plan.drive import flat_points, turning  # noqa: E402
from swathor_plan.planning import BREAK, Plan  # noqa: E402
from swathor_plan.webmap import PIECE_COLOURS  # noqa: E402
from swathor_plan.site_file import Site  # noqa: E402


UNCOVERED = "#ff2d95"
# Segments drawn as one path: Agg sorts the cells of a whole path at once, and slows down when
# a path covers the picture over and over.
SEGMENTS_PER_PATH = 500


def _path(xy, sizes):
    """One matplotlib path of many closed rings, their points one after another in `xy`
    (`sizes` of them each, the last on the first, where the closing code goes): a few thousand
    patches take matplotlib seconds, one path of as many rings a moment."""
    import numpy as np
    from matplotlib.path import Path as MplPath

    if not len(xy):
        return MplPath(np.zeros((0, 2)))
    codes = np.full(len(xy), MplPath.LINETO, dtype=MplPath.code_type)
    starts = np.cumsum(sizes) - sizes
    codes[starts] = MplPath.MOVETO
    codes[starts + sizes - 1] = MplPath.CLOSEPOLY
    return MplPath(xy, codes)


def _compound(rings):
    """_path of rings given as (n, 2) arrays, closed where they are not."""
    import numpy as np

    rings = [r if (r[0] == r[-1]).all() else np.vstack([r, r[:1]]) for r in rings if len(r) >= 3]
    if not rings:
        return _path(np.zeros((0, 2)), np.zeros(0, dtype=np.intp))
    return _path(np.concatenate(rings), np.array([len(r) for r in rings]))


def _fill(ax, geom, **style) -> None:
    """Draws the polygons of a shapely geometry, holes included, as one patch, all rings read
    at once (the unmowed part of a big plan is tens of thousands of them)."""
    import numpy as np
    import shapely

    parts = shapely.get_parts(geom)
    parts = parts[(shapely.get_type_id(parts) == shapely.GeometryType.POLYGON)
                  & ~shapely.is_empty(parts)]
    rings, owner = shapely.get_rings(parts, return_index=True)   # each outer ring, then holes
    xy, sizes = shapely.get_coordinates(rings), shapely.get_num_coordinates(rings)
    # Outer rings counterclockwise and holes clockwise, so that the patch's nonzero fill
    # leaves the holes open.
    outer = np.ones(len(owner), dtype=bool)
    outer[1:] = owner[1:] != owner[:-1]
    starts = np.cumsum(sizes) - sizes
    flip = np.repeat((turning(np, xy, sizes) > 0) != outer, sizes)
    index = np.arange(len(xy))
    xy = xy[np.where(flip, np.repeat(2 * starts + sizes - 1, sizes) - index, index)]
    _add(ax, PathPatch(_path(xy, sizes), **style))


def _lines(ax, segments, colours, **style) -> None:
    """Draws segments ((n, 2, 2) array, in the order driven) in their colours (one RGBA row or
    name each): each run of one colour as paths of SEGMENTS_PER_PATH, so that what is driven
    later still lies on top. A collection would make a matplotlib path of every segment,
    seconds for a hundred thousand."""
    import numpy as np
    from matplotlib.path import Path as MplPath

    colours = np.asarray(colours)
    change = colours[1:] != colours[:-1]
    if change.ndim > 1:
        change = change.any(axis=1)
    starts = np.concatenate([[0], np.flatnonzero(change) + 1])
    ends = np.append(starts[1:], len(segments))
    codes = np.tile([MplPath.MOVETO, MplPath.LINETO], SEGMENTS_PER_PATH).astype(MplPath.code_type)
    for begin, end in zip(starts.tolist(), ends.tolist()):
        colour = colours[begin]
        for a in range(begin, end, SEGMENTS_PER_PATH):
            b = min(end, a + SEGMENTS_PER_PATH)
            _add(ax, PathPatch(MplPath(segments[a:b].reshape(-1, 2), codes[:2 * (b - a)]),
                               fill=False, edgecolor=colour if isinstance(colour, str)
                               else tuple(colour), **style))


def _add(ax, patch) -> None:
    """Adds a patch and its points to the axes' limits: add_patch walks every segment of a
    path as a curve, seconds for a hundred thousand rings."""
    ax.add_artist(patch)
    if len(patch.get_path().vertices):
        ax.update_datalim(patch.get_path().vertices)


def _rings(rings: list) -> list:
    """Point lists as arrays, each counterclockwise (overlapping rings then fill as one)."""
    import numpy as np

    out = []
    for ring in rings:
        xy = np.asarray(ring, dtype=float).reshape(-1, 2)
        twice = np.dot(xy[:, 0], np.roll(xy[:, 1], -1)) - np.dot(xy[:, 1], np.roll(xy[:, 0], -1))
        out.append(xy[::-1] if twice < 0 else xy)
    return out


def draw(out, fmt: str, site: Site, plan: Plan, measures, title: str) -> None:
    """Draws the site and the plan to `out` (a path or a binary file) in format `fmt`."""
    xs = [x for x, _ in site.perimeter]
    ys = [y for _, y in site.perimeter]
    aspect = (max(ys) - min(ys) or 1.0) / (max(xs) - min(xs) or 1.0)
    # The drawing fills a box of at most 9 x 10 inches at the site's own shape; the page adds
    # room for the colour bar and axis labels beside it, the title and legend above and below.
    width = 9.0 if 9.0 * aspect <= 10.0 else max(2.5, 10.0 / aspect)
    height = min(10.0, max(2.5, 9.0 * aspect))
    fig, ax = plt.subplots(figsize=(width + 2.5, height + 2.8), dpi=120)
    for ring in site.parts or [site.perimeter]:
        ax.add_patch(PolygonPatch(ring, closed=True, facecolor="#cfe8b8",
                                  edgecolor="#4d7a2a", linewidth=1.5, zorder=0))
    for ring in site.mow_areas:
        ax.add_patch(PolygonPatch(ring, closed=True, fill=False, edgecolor="#2f6b1d",
                                  linestyle=":", linewidth=1.6, zorder=8))
    if site.obstacles:
        _add(ax, PathPatch(_compound(_rings(site.obstacles)), facecolor="#8c8c8c",
                           edgecolor="#404040", hatch="///", linewidth=1.0, zorder=3))
    if site.virtual_wire:
        xs, ys = zip(*site.virtual_wire)
        ax.plot(xs, ys, color="#d98c00", linewidth=2.5, alpha=0.7, zorder=8)
    if site.docking_wire:
        xs, ys = zip(*site.docking_wire)
        ax.plot(xs, ys, color="#6a1b9a", linewidth=2.5, alpha=0.8, zorder=8)
    if measures is not None and measures.uncovered_m2 > 0:
        _fill(ax, measures.uncovered, facecolor=UNCOVERED, edgecolor="none", alpha=0.85,
              zorder=2)

    import numpy as np
    from matplotlib.cm import ScalarMappable
    from matplotlib.colors import Normalize

    xy = flat_points([plan.route])[0]
    segments = np.stack([xy[:-1], xy[1:]], axis=1) if len(xy) >= 2 else np.zeros((0, 2, 2))
    step = np.asarray(plan.step_slice, dtype=np.intp).reshape(-1)
    order = np.flatnonzero(step >= 0)
    breaks = step == BREAK
    k = int(breaks.sum())
    if len(order) and k > 0:  # parts of a lawn or battery sorties: one colour each
        piece = (np.cumsum(breaks) - breaks)[order]
        _lines(ax, segments[order], np.array(PIECE_COLOURS)[piece % len(PIECE_COLOURS)],
               linewidth=1.3, zorder=4)
    elif len(order):
        shade = ScalarMappable(Normalize(order.min(), order.max()), cmap="viridis")
        _lines(ax, segments[order], shade.to_rgba(order), linewidth=1.3, zorder=4)
        bar = fig.colorbar(shade, ax=ax, fraction=0.035, pad=0.02)
        bar.set_label("order along the route (step)")
    transit = step == -1
    if transit.any():
        _lines(ax, segments[transit], ["#c0392b"] * int(transit.sum()), linewidth=0.9,
               linestyle=(0, (3, 2)), alpha=0.8, zorder=5)
    for i in plan.skipped:
        pts = plan.slices[i]
        if pts:
            xs, ys = zip(*(pts + pts[:1] if len(pts) >= 3 else pts))
            ax.plot(xs, ys, color="#e74c3c", linewidth=2.0, zorder=6)
    parts = plan.part_plans()
    if len(parts) > 1:  # numbered in driving order where each piece starts mowing
        for k, part in enumerate(parts):
            if part.route:
                at = next((part.route[i] for i, s in enumerate(part.step_slice) if s >= 0),
                          part.route[0])
                ax.annotate(f"{'part' if site.parts else 'sortie'} {k + 1}", at,
                            xytext=(6, 6),
                            textcoords="offset points", fontsize=10, fontweight="bold",
                            color="#1f4e9e", zorder=9)
    if plan.route:
        ax.plot(*plan.route[0], marker="o", markersize=10, color="#1f4e9e", zorder=7)
        ax.plot(*plan.route[-1], marker="s", markersize=8, color="#1f4e9e", zorder=7)

    ax.set_aspect("equal")
    ax.autoscale_view()
    ax.margins(0.03)
    ax.set_xlabel("east (m)" if site.frame.geographic else "x (m)")
    ax.set_ylabel("north (m)" if site.frame.geographic else "y (m)")
    ax.set_title("\n".join(textwrap.wrap(title, max(30, int((width + 1.5) * 11)))), fontsize=10)
    ax.grid(True, linewidth=0.3, alpha=0.5)
    handles = [
        Patch(facecolor="#cfe8b8", edgecolor="#4d7a2a", label="lawn"),
        Patch(facecolor="#8c8c8c", edgecolor="#404040", hatch="///", label="obstacle"),
        Line2D([], [], color="#440154", linewidth=1.3,
               label="mowing (colour: " + ("part" if site.parts else "sortie") + ")" if k > 0
               else "mowing (dark = early)"),
        Line2D([], [], color="#c0392b", linestyle="--", label="transit (not mowing)"),
        Line2D([], [], color="#1f4e9e", marker="o", linestyle="", label="start"),
        Line2D([], [], color="#1f4e9e", marker="s", linestyle="", label="end"),
    ]
    if site.virtual_wire:
        handles.append(Line2D([], [], color="#d98c00", linewidth=2.5, alpha=0.6, label="virtual wire"))
    if site.docking_wire:
        handles.append(Line2D([], [], color="#6a1b9a", linewidth=2.5, label="docking wire"))
    if measures is not None and measures.uncovered_m2 > 0:
        handles.append(Patch(facecolor=UNCOVERED, label=f"not mowed: {measures.uncovered_m2:.1f} m²"))
    if site.mow_areas:
        handles.append(Line2D([], [], color="#2f6b1d", linestyle=":", label="mow area"))
    if plan.skipped:
        handles.append(Line2D([], [], color="#e74c3c", linewidth=2, label="skipped slice"))
    ax.legend(handles=handles, loc="upper center", bbox_to_anchor=(0.5, -0.09),
              ncol=4 if width >= 6 else 2,
              fontsize=8, frameon=False)
    fig.tight_layout()
    fig.savefig(out, format=fmt)
    plt.close(fig)
