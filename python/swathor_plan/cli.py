"""swathor-plan: plan a mowing site file and see what the robot will drive."""

from __future__ import annotations

import argparse
import math
import sys
from pathlib import Path

import swathor

from swathor_plan import export
from swathor_plan.planning import coverage, plan_site
from swathor_plan.site_file import SiteError, load_site

PROG = "swathor-plan"


def bundled_sites() -> Path:
    """The example sites: shipped in the package, or the repo's examples/sites."""
    packaged = Path(__file__).with_name("sites")
    if packaged.is_dir():
        return packaged
    return Path(__file__).resolve().parents[2] / "examples" / "sites"


def build_parser() -> argparse.ArgumentParser:
    d = swathor.PathSettings()
    p = argparse.ArgumentParser(
        prog=PROG,
        description="Plan a complete-coverage mowing route for a site given as GeoJSON "
                    "(planar coordinates in metres; features carry properties.role: perimeter, "
                    "obstacle, mow_area, virtual_wire, docking_wire). Prints a summary; "
                    "--plot and --geojson write the route.")
    p.add_argument("site", nargs="?", type=Path,
                   help="site file (GeoJSON FeatureCollection); default: the bundled example "
                        "garden")
    p.add_argument("--pattern", default=d.pattern,
                   help=f"'lines' (parallel lanes), 'squares' (lanes plus a second set at right "
                        f"angles) or anything else for concentric rings (default: {d.pattern})")
    p.add_argument("--offset", type=float, default=d.offset,
                   help=f"spacing between lanes, rings and laps in metres (default: {d.offset})")
    p.add_argument("--angle", type=float, default=math.degrees(d.angle),
                   help="lane direction in degrees, counter-clockwise from the x axis (default: 0)")
    p.add_argument("--inset", type=float, default=d.distanceToBorder,
                   help="how far the lanes keep from the border and the obstacles, in metres; "
                        f"0 or less plans on the site itself (default: {d.distanceToBorder})")
    p.add_argument("--border-laps", type=int, default=d.borderLaps,
                   help=f"laps along the perimeter (default: {d.borderLaps})")
    p.add_argument("--obstacle-laps", type=int, default=d.exclusionsBorderLaps,
                   help=f"laps around every obstacle (default: {d.exclusionsBorderLaps})")
    p.add_argument("--border-ccw", action="store_true",
                   help="drive the border laps counter-clockwise (default: clockwise)")
    p.add_argument("--obstacle-ccw", action="store_true",
                   help="drive the laps around obstacles counter-clockwise (default: clockwise)")
    p.add_argument("--no-area", action="store_true", help="plan no lanes or rings inside the lawn")
    p.add_argument("--no-border", action="store_true", help="plan no laps along the perimeter")
    p.add_argument("--no-obstacle-laps", action="store_true",
                   help="plan no laps around obstacles")
    p.add_argument("--start", type=float, nargs=2, metavar=("X", "Y"),
                   help="the robot's start position (default: the first perimeter point)")
    p.add_argument("--plot", type=Path, metavar="FILE",
                   help="draw the route to FILE (.png, .svg or .pdf)")
    p.add_argument("--geojson", type=Path, metavar="FILE",
                   help="write the route and every slice to FILE as GeoJSON features")
    return p


def fail(where: str, message: str) -> int:
    print(f"{PROG}: {where}: {message}", file=sys.stderr)
    return 2


def summary(name: str, plan, site, offset: float) -> str:
    kinds = {k: plan.kinds.count(k) for k in ("lane", "ring", "border_lap", "obstacle_lap")}
    mowing = plan.length(True)
    transit = plan.length(False)
    transits = sum(1 for i, m in enumerate(plan.steps)
                   if not m and (i == 0 or plan.steps[i - 1]))
    lines = [
        f"site:      {name}",
        f"slices:    {len(plan.slices)} ({kinds['lane']} lanes, {kinds['ring']} rings, "
        f"{kinds['border_lap']} border laps, {kinds['obstacle_lap']} obstacle laps)",
        f"route:     {len(plan.route)} points, {mowing + transit:.1f} m "
        f"({mowing:.1f} m mowing, {transit:.1f} m transit in {transits} stretches)",
        f"skipped:   {len(plan.skipped)} slices" +
        (f" ({', '.join(map(str, plan.skipped[:10]))}{', ...' if len(plan.skipped) > 10 else ''})"
         if plan.skipped else ""),
        f"planning:  {plan.seconds * 1000:.1f} ms",
    ]
    share = coverage(site, plan, offset)
    if share is not None:
        lines.append(f"coverage:  {share * 100:.1f} % of the mowable area within {offset / 2:g} m "
                     f"of the route")
    return "\n".join(lines)


def main(argv: list[str] | None = None) -> int:
    args = build_parser().parse_args(argv)
    path = args.site or bundled_sites() / "garden.geojson"
    for out, allowed in ((args.plot, export.PLOT_SUFFIXES), (args.geojson, None)):
        if out is None:
            continue
        if allowed and out.suffix.lower() not in allowed:
            return fail(str(out), f"unsupported picture type '{out.suffix}'; use .png, .svg or .pdf")
        if not out.parent.is_dir() and str(out.parent):
            return fail(str(out), "the folder does not exist")
    for name in ("border_laps", "obstacle_laps"):
        if getattr(args, name) < 0:
            return fail("--" + name.replace("_", "-"), "must be 0 or more")
    try:
        site = load_site(path)
    except SiteError as e:
        return fail(str(path), str(e))

    options = {
        "pattern": args.pattern, "offset": args.offset, "angle": math.radians(args.angle),
        "distanceToBorder": args.inset, "mowArea": not args.no_area,
        "mowBorder": not args.no_border, "borderLaps": args.border_laps,
        "mowBorderCcw": args.border_ccw, "mowExclusionsBoder": not args.no_obstacle_laps,
        "exclusionsBorderLaps": args.obstacle_laps, "mowExclusionsBorderCcw": args.obstacle_ccw,
    }
    start = tuple(args.start) if args.start else site.perimeter[0]
    try:
        plan = plan_site(site, options, start)
    except (ValueError, TypeError) as e:
        return fail(str(path), str(e))

    text = summary(path.name, plan, site, args.offset)
    print(text)
    try:
        if args.geojson:
            export.write_geojson(args.geojson, plan)
            print(f"geojson:   {args.geojson}")
        if args.plot:
            title = (f"{path.name}: {args.pattern}, offset {args.offset:g} m, angle {args.angle:g}°"
                     f" — {plan.length(True) + plan.length(False):.0f} m route")
            export.write_plot(args.plot, site, plan, title)
            print(f"plot:      {args.plot}")
    except OSError as e:
        return fail(str(e.filename or args.plot or args.geojson), e.strerror or str(e))
    return 0
