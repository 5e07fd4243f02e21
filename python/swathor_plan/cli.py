"""swathor-plan: plan mowing site files and write what the robot will drive."""

from __future__ import annotations

import argparse
import math
import os
import sys
from concurrent.futures import ProcessPoolExecutor, as_completed
from dataclasses import dataclass
from pathlib import Path

import swathor

from swathor_plan import checks, drive, export, mission, params, sorties, webmap
from swathor_plan.errors import MissingExtra, SiteError, need
from swathor_plan.measure import fit_laps, gaps, measure
from swathor_plan.outputs import OutputError, Outputs, check_target
from swathor_plan.planning import PATTERNS, _joined, dock_position, plan_site
from swathor_plan.simplify import DEFAULT_TOLERANCE
from swathor_plan.site_file import FRAMES, load_site

PROG = "swathor-plan"
SITE_SUFFIXES = {".geojson", ".json", ".kml", ".gpkg", ".shp"}
OUTPUT_OPTIONS = ("plot", "geojson", "map", "mission", "params")

EXIT_OK, EXIT_PLAN, EXIT_INPUT = 0, 1, 2


def bundled_sites() -> Path:
    """The example sites: shipped in the package, or the repo's examples/sites."""
    packaged = Path(__file__).with_name("sites")
    if packaged.is_dir():
        return packaged
    return Path(__file__).resolve().parents[2] / "examples" / "sites"


def _pattern(text: str) -> str:
    if text not in PATTERNS:
        raise argparse.ArgumentTypeError(f"unknown pattern {text!r}; use one of "
                                         f"{', '.join(PATTERNS)}")
    return text


def _count(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if not 0 <= value <= 2**31 - 1:
        raise argparse.ArgumentTypeError(f"{text} is out of range; use 0 to {2**31 - 1}")
    return value


def _number(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number") from None
    if not math.isfinite(value):
        raise argparse.ArgumentTypeError(f"{text} is not a finite number")
    return value


def _tolerance(text: str) -> float:
    value = _number(text)
    if value < 0:
        raise argparse.ArgumentTypeError(f"{text} is negative; give 0 (off) or a distance in "
                                         "metres")
    return value


class _Parser(argparse.ArgumentParser):
    def error(self, message: str):  # one line and exit status 2, as for every bad input
        self.exit(EXIT_INPUT, f"{self.prog}: {message}\n")


def build_parser() -> argparse.ArgumentParser:
    d = swathor.PathSettings()
    p = _Parser(
        prog=PROG,
        description="Plan complete-coverage mowing routes for site files and write what the robot "
                    "will drive. A site file (GeoJSON, KML, GeoPackage, Shapefile) holds features "
                    "whose 'role' is perimeter, obstacle, mow_area, virtual_wire or docking_wire; "
                    "a file of one lawn polygon needs no roles. Coordinates are WGS 84 "
                    "longitude/latitude unless the file names another CRS or carries "
                    "\"frame\": \"local\" (planar metres). Geographic sites are planned on a local "
                    "plane in metres (x east, y north) and written back in longitude/latitude.")
    p.add_argument("sites", nargs="*", type=Path, metavar="SITE",
                   help="site files or folders of them (default: the bundled example garden)")
    p.add_argument("--frame", choices=FRAMES, default="auto",
                   help="what the coordinates are: from the file (auto, the default), WGS 84 "
                        "longitude/latitude (lonlat), or planar metres (local)")
    p.add_argument("--simplify", type=_tolerance, default=DEFAULT_TOLERANCE, metavar="METRES",
                   help="simplify every ring and wire within this distance before planning, "
                        "keeping where rings meet; 0 keeps every vertex (default: "
                        f"{DEFAULT_TOLERANCE:g}, about RTK accuracy)")
    p.add_argument("--pattern", type=_pattern, default=d.pattern, metavar="|".join(PATTERNS),
                   help="lines: parallel lanes; squares: lanes plus a second set at right "
                        f"angles; rings: concentric rings (default: {d.pattern})")
    p.add_argument("--offset", type=_number, default=d.offset,
                   help=f"spacing between lanes, rings and laps, and the cutter's width, in metres "
                        f"(default: {d.offset})")
    p.add_argument("--angle", type=_number, default=math.degrees(d.angle),
                   help="lane direction in degrees counter-clockwise from east (from the x axis "
                        "of a planar site) (default: 0)")
    p.add_argument("--inset", type=_number, default=d.distanceToBorder,
                   help="how far the lanes keep from the border and the obstacles, in metres; "
                        f"0 or less plans on the site itself (default: {d.distanceToBorder})")
    p.add_argument("--border-laps", type=_count, default=d.borderLaps,
                   help=f"laps along the perimeter (default: {d.borderLaps})")
    p.add_argument("--obstacle-laps", type=_count, default=d.exclusionsBorderLaps,
                   help=f"laps around every obstacle (default: {d.exclusionsBorderLaps})")
    p.add_argument("--fit", action="store_true",
                   help="choose the lap counts and the inset so that laps and lanes meet: the "
                        "smallest L laps along the border and around obstacles whose inset "
                        "(L - 0.5) x offset covers --inset")
    p.add_argument("--border-ccw", action="store_true",
                   help="drive the border laps counter-clockwise (default: clockwise)")
    p.add_argument("--obstacle-ccw", action="store_true",
                   help="drive the laps around obstacles counter-clockwise (default: clockwise)")
    p.add_argument("--no-area", action="store_true", help="plan no lanes or rings inside the lawn")
    p.add_argument("--no-border", action="store_true", help="plan no laps along the perimeter")
    p.add_argument("--no-obstacle-laps", action="store_true",
                   help="plan no laps around obstacles")
    p.add_argument("--start", type=_number, nargs=2, metavar=("X", "Y"),
                   help="the robot's start in the site file's coordinates (longitude latitude for "
                        "a geographic file; default: the first perimeter point). At an end of the "
                        "docking wire, the route leaves the dock along the wire")
    p.add_argument("--return", dest="dock_return", action="store_true",
                   help="end by driving back to the dock: around the obstacles to the docking "
                        "wire, then along it (needs a docking wire)")
    p.add_argument("--plot", metavar="FILE", help="draw the plan to FILE (.png, .svg or .pdf)")
    p.add_argument("--geojson", metavar="FILE",
                   help="write the route's stretches and every slice to FILE as GeoJSON")
    p.add_argument("--map", metavar="FILE",
                   help="write an interactive map to FILE (.html; works offline)")
    p.add_argument("--mission", metavar="FILE",
                   help="write a robot mission to FILE: .waypoints (QGC WPL 110 for ArduPilot), "
                        ".plan (QGroundControl), .gpx (a route) or .csv")
    p.add_argument("--cutter", type=_cutter, metavar="CUTTER",
                   help="switch the cutter in a .waypoints or .plan mission: "
                        "servo:CHANNEL:ON_PWM:OFF_PWM (channel 1 to 32, MAV_CMD_DO_SET_SERVO) or "
                        "relay:NUMBER (0 to 15: ArduPilot counts relays from 0; "
                        "MAV_CMD_DO_SET_RELAY); on along mowing stretches, off on transits that "
                        "leave the lawn or are longer than --cutter-idle (default: no cutter "
                        "items)")
    p.add_argument("--cutter-idle", type=_tolerance, default=drive.DEFAULT_IDLE,
                   metavar="METRES",
                   help="keep the cutter on across transits shorter than this that stay on the "
                        f"lawn (default: {drive.DEFAULT_IDLE:g}); coverage counts what it mows")
    p.add_argument("--speed", type=_speeds, metavar="MOW[:TRANSIT]",
                   help="speeds in m/s: MAV_CMD_DO_CHANGE_SPEED items where they change, and the "
                        "time the summary gives (default for the time: "
                        f"{drive.DEFAULT_SPEEDS[0]:g}:{drive.DEFAULT_SPEEDS[1]:g}; no speed items)")
    p.add_argument("--turn-time", type=_tolerance, default=drive.DEFAULT_TURN_TIME,
                   metavar="SECONDS",
                   help="seconds per heading change above 30 degrees in the time (default: "
                        f"{drive.DEFAULT_TURN_TIME:g})")
    p.add_argument("--battery", type=_minutes, metavar="MINUTES",
                   help="cut the route into sorties from the dock and back, each lasting at most "
                        "this long by the time of --speed and --turn-time (needs a docking wire)")
    p.add_argument("--reserve", type=_tolerance, metavar="MINUTES",
                   help="battery time each sortie keeps in hand (default: a tenth of --battery)")
    p.add_argument("--max-items", type=_count, metavar="N",
                   help="split the mission into NAME-1.EXT, NAME-2.EXT, ... of at most N items "
                        "each (with the home row), each starting where the one before ended")
    p.add_argument("--params", metavar="FILE",
                   help="write the ArduPilot Rover parameters the mission relies on to FILE "
                        "(.parm: NAME,VALUE lines for Mission Planner and pymavlink)")
    p.add_argument("--jobs", type=_count, default=0,
                   help="sites planned at once (default: the number of processors)")
    p.epilog = ("With several sites, every output FILE must contain {site}, which is replaced by "
                "each site file's name without suffix. Exit status: 0 planned; 1 a plan skips "
                "slices or has nothing to mow, or a site of several failed; 2 bad input.")
    return p


def _minutes(text: str) -> float:
    value = _number(text)
    if not value > 0:
        raise argparse.ArgumentTypeError(f"{text}: give the battery's minutes, more than 0")
    return value


def _speeds(text: str):
    try:
        return drive.parse_speeds(text)
    except ValueError as e:
        raise argparse.ArgumentTypeError(str(e)) from None


def _cutter(text: str):
    try:
        return mission.Cutter.parse(text)
    except ValueError as e:
        raise argparse.ArgumentTypeError(str(e)) from None


class Failure(Exception):
    """One line for standard error, and the exit status."""

    def __init__(self, message: str, status: int = EXIT_INPUT):
        super().__init__(message)
        self.status = status


@dataclass
class Outcome:
    site: str
    status: int
    text: str                 # the summary
    notes: list[str]          # warnings and errors for standard error
    row: dict


def options_from(args) -> dict:
    border, obstacle, inset = args.border_laps, args.obstacle_laps, args.inset
    if args.fit:
        laps, inset = fit_laps(args.inset, args.offset)
        border, obstacle = laps, laps
    return {
        "pattern": args.pattern, "offset": args.offset, "angle": math.radians(args.angle),
        "distanceToBorder": inset, "mowArea": not args.no_area,
        "mowBorder": not args.no_border, "borderLaps": border,
        "mowBorderCcw": args.border_ccw, "mowExclusionsBoder": not args.no_obstacle_laps,
        "exclusionsBorderLaps": obstacle, "mowExclusionsBorderCcw": args.obstacle_ccw,
    }


def _output_path(template: str | None, site: Path) -> str | None:
    if template is None or template == "-":
        return template
    return template.replace("{site}", site.stem)


def _start_note(site, start) -> str:
    """Where a start that skips slices lies: outside the lawn, or inside an obstacle."""
    shapely = need("shapely", "geo")
    point = shapely.Point(start)
    lawn = shapely.Polygon(site.perimeter)
    if not lawn.covers(point):
        return f"the start lies {lawn.exterior.distance(point):.2f} m outside the lawn"
    for i, ring in enumerate(site.obstacles):
        if shapely.Polygon(ring).contains(point):
            return f"the start lies inside obstacle {i}"
    return "some slices cannot be reached from the start"


def run_site(path: Path, args) -> Outcome:
    """Plans one site and writes its outputs; never raises for bad input."""
    notes: list[str] = []
    try:
        return _run_site(path, args, notes)
    except Failure as f:
        notes.append(f"{path}: {f}")
        return Outcome(str(path), f.status, "", notes, {"site": path.name, "error": str(f)})
    except (SiteError, OutputError, MissingExtra, ValueError, TypeError, OverflowError,
            MemoryError, RecursionError) as e:
        message = str(e).splitlines()[0] if str(e) else type(e).__name__
        where = "" if isinstance(e, OutputError) else f"{path}: "
        notes.append(f"{where}{message}")
        return Outcome(str(path), EXIT_INPUT, "", notes, {"site": path.name, "error": message})


def _run_site(path: Path, args, notes: list[str]) -> Outcome:
    outputs = {name: _output_path(getattr(args, name), path) for name in OUTPUT_OPTIONS}
    site = load_site(path, args.frame, args.simplify)
    notes.extend(f"{path}: warning: {w}" for w in
                 site.warnings + checks.walled_in(site) + checks.wire_crossings(site))
    if outputs["mission"] and site.frame.geographic is False and \
            Path(outputs["mission"]).suffix.lower() in mission.GEOGRAPHIC_ONLY:
        raise Failure(f"{outputs['mission']}: this mission type needs a geographic site; the "
                      "site is planar (use .csv, or give the site in longitude/latitude)")
    if args.battery and len(site.docking_wire) < 2:
        raise Failure("--battery: sorties start and end at the dock, and the site has no "
                      "docking wire; draw one (role docking_wire) from the dock into the lawn")
    if args.dock_return and len(site.docking_wire) < 2:
        raise Failure("--return: the site has no docking wire to drive back along; draw one "
                      "(role docking_wire) from the dock into the lawn")
    options = options_from(args)
    dock = dock_position(site)
    if args.start:
        start = site.frame.to_plane([tuple(args.start)])[0]
        if not all(map(math.isfinite, start)):
            raise Failure(f"--start {args.start[0]:g} {args.start[1]:g} cannot be projected")
    else:
        start = dock or (site.parts or [site.perimeter])[0][0]
    plan = plan_site(site, options, start, args.dock_return)
    m = measure(site, plan, args.offset, args.cutter_idle)
    trips = None
    if args.battery:
        try:
            trips = sorties.plan_sorties(site, plan, args.battery, args.reserve,
                                         args.speed or drive.DEFAULT_SPEEDS, args.turn_time,
                                         args.cutter_idle, m.mowable)
        except sorties.SortieError as e:
            raise Failure(f"--battery {args.battery:g}: {e}") from None
        driven = trips.plan(plan)
        for part in plan.part_plans()[1:]:
            driven = _joined(driven, part)
    else:
        driven = plan
    if plan.return_failed:
        notes.append(f"{path}: warning: no way back to the dock was found from the route's end; "
                     "the route ends there")
    mission_options = mission.MissionOptions(
        cutter=args.cutter, speeds=args.speed, idle=args.cutter_idle, max_items=args.max_items,
        dock=dock if dock and plan.dock_steps else None)
    mission_list = mission.missions(site, driven, mission_options) if outputs["mission"] else []
    suffix = Path(outputs["mission"]).suffix.lower() if outputs["mission"] else ""
    counts = [mission.item_count(site, one, mission_options) for one in mission_list]
    if counts and not args.max_items and max(counts) > drive.WARN_ITEMS and \
            suffix in (".waypoints", ".plan"):
        notes.append(f"{path}: warning: the mission has {max(counts):,} items, more than "
                     f"{drive.WARN_ITEMS} (what 16 KB boards hold); split it with --max-items")
    if suffix == ".plan" and mission.fence_items(site, plan) > mission.FENCE_ITEMS:
        notes.append(f"{path}: warning: the fence needs {mission.fence_items(site, plan)} items, "
                     f"more than the {mission.FENCE_ITEMS} a Rover holds without fence storage "
                     "on the SD card")

    status = EXIT_OK
    if not plan.slices:
        notes.append(f"{path}: nothing to mow with these settings")
        status = EXIT_PLAN
    elif plan.skipped:
        notes.append(f"{path}: {len(plan.skipped)} of {len(plan.slices)} slices skipped "
                     f"({m.skipped_m2:.1f} m² not mowed): {_start_note(site, start)}")
        status = EXIT_PLAN
    text = summary(path, site, plan, m, options, args)
    if trips:
        text += "\n" + _sortie_lines(trips, plan, m, args)
    if counts:
        text += (f"\nitems:     {', '.join(f'{c:,}' for c in counts)} "
                 f"({'one mission' if len(counts) == 1 else f'{len(counts)} missions'}; "
                 f"{drive.fits(max(counts))})" if suffix in (".waypoints", ".plan") else
                 f"\nwaypoints: {', '.join(f'{len(one.points):,}' for one in mission_list)}")

    title = (f"{path.name}: {args.pattern}, offset {args.offset:g} m — coverage "
             f"{m.coverage * 100:.1f} %, route {m.mowing_m + m.transit_m:.0f} m")
    out = Outputs()
    unit = "sortie" if trips else "part"
    if outputs["geojson"]:
        out.add(outputs["geojson"], lambda: export.geojson_bytes(site, driven, unit))
    if outputs["plot"]:
        out.add(outputs["plot"], lambda: export.plot_bytes(Path(outputs["plot"]).suffix, site,
                                                           driven, m, title))
    if outputs["map"]:
        out.add(outputs["map"], lambda: webmap.map_bytes(
            site, driven, m, f"{path.name}: {args.pattern}, offset {args.offset:g} m", unit))
    missions = []
    for k, one in enumerate(mission_list, start=1):
        target = numbered(outputs["mission"], k) if len(mission_list) > 1 else outputs["mission"]
        missions.append(target)
        out.add(target, lambda one=one: mission.mission_file(
            suffix, site, driven, one, path.stem, mission_options))
    if outputs["params"]:
        out.add(outputs["params"], lambda: params.parm_bytes(
            params.rover_parameters(args.offset, args.speed or drive.DEFAULT_SPEEDS,
                                    args.cutter)))
    out.commit()
    for name in OUTPUT_OPTIONS:
        if outputs[name] and outputs[name] != "-":
            written = ", ".join(missions) if name == "mission" else outputs[name]
            text += f"\n{name + ':':<10} {written}"
    row = {"site": path.name, "slices": len(plan.slices), "route_m": m.mowing_m + m.transit_m,
           "coverage": m.coverage, "skipped": len(plan.skipped), "seconds": plan.seconds}
    return Outcome(str(path), status, text, notes, row)


def _sortie_lines(trips, plan, m, args) -> str:
    each = [s.seconds for s in trips.sorties]
    mowing = sum(math.dist(a, b) for s in trips.sorties
                 for (a, b), mow in zip(zip(s.route, s.route[1:]), s.mowing) if mow)
    extra = trips.extra_m
    share = extra / (extra + mowing) if extra + mowing > 0 else 0.0
    lines = [f"sorties:   {len(each)} of at most {trips.battery_s / 60:g} min with "
             f"{trips.reserve_s / 60:g} min in reserve (longest {max(each) / 60:.1f} min); "
             f"{extra:,.0f} m ({share * 100:.1f} %) driven to and from the dock",
             "           " + ", ".join(f"{k}: {s / 60:.1f} min" for k, s in
                                      enumerate(each, start=1))]
    rest = plan.part_plans()[1:]
    if rest:
        needs = []
        for k, (part, part_on) in enumerate(zip(rest, plan.per_part(m.cutter)[1:]), start=2):
            d = drive.duration(part.route, part_on, args.speed or drive.DEFAULT_SPEEDS,
                               args.turn_time)
            needs.append(f"part {k} about {d.total_s / 60:.0f} min")
        lines.append(f"           the other parts have no dock and are not in these sorties "
                     f"(their missions follow): {', '.join(needs)} of driving, each to be "
                     f"split by its own battery charges")
    return "\n".join(lines)


def _duration(site, plan, m, args) -> str:
    return drive.plan_duration(plan, m.cutter, args.speed or drive.DEFAULT_SPEEDS,
                               args.turn_time).describe()


def numbered(target: str, k: int) -> str:
    """NAME-k.EXT: the k-th of several missions written for one site."""
    p = Path(target)
    return str(p.with_name(f"{p.stem}-{k}{p.suffix}"))


def summary(path: Path, site, plan, m, options: dict, args) -> str:
    kinds = {k: plan.kinds.count(k) for k in ("lane", "ring", "border_lap", "obstacle_lap")}
    transits = sum(1 for mowing, _, _ in plan.stretches() if not mowing)
    lines = [
        f"site:      {path.name} ({site.frame.describe()})",
        f"slices:    {len(plan.slices)} ({kinds['lane']} lanes, {kinds['ring']} rings, "
        f"{kinds['border_lap']} border laps, {kinds['obstacle_lap']} obstacle laps)",
        f"route:     {len(plan.route)} points, {m.mowing_m + m.transit_m:.1f} m "
        f"({m.mowing_m:.1f} m mowing, {m.transit_m:.1f} m transit in {transits} stretches), "
        f"{m.turns} turns",
        f"skipped:   {len(plan.skipped)} slices" +
        (f" ({', '.join(map(str, plan.skipped[:10]))}{', ...' if len(plan.skipped) > 10 else ''})"
         if plan.skipped else ""),
        f"coverage:  {m.coverage * 100:.1f} % of {m.mowable_m2:.1f} m² mowable, mowed by the cutter"
        f"; {m.uncovered_m2:.1f} m² not mowed; {m.overlap_m2:.1f} m² "
        f"({m.overlap_share * 100:.1f} %) mowed twice or more",
        f"duration:  {_duration(site, plan, m, args)}",
        f"time:      {plan.seconds * 1000:.1f} ms",
    ]
    if site.simplified:
        lines.insert(1, f"simplify:  {'; '.join(site.simplified)}")
    if site.parts:
        gaps_m = plan.part_gaps()
        lines.insert(1, f"parts:     {len(site.parts)} separate lawn parts, planned one after "
                        f"another ({len(plan.part_plans())} route(s), one mission each); nothing "
                        "is driven between them" + (": the robot is taken across "
                        + ", ".join(f"{g:.1f} m" for g in gaps_m) if gaps_m else ""))
    bands = gaps(options, bool(site.obstacles))
    if bands:
        laps, inset = fit_laps(options["distanceToBorder"], options["offset"])
        where = " and ".join(f"{g.width:.2f} m {'along the border' if g.where == 'border' else 'around obstacles'}"
                             for g in bands)
        lines.append(f"gap:       laps and lanes leave an unmowed band {where}; --fit (or "
                     f"--border-laps {laps} --obstacle-laps {laps} --inset {inset:g}) closes it")
    return "\n".join(lines)


def site_files(paths: list[Path]) -> list[Path]:
    files = []
    for p in paths:
        if p.is_dir():
            found = sorted(f for f in p.iterdir() if f.suffix.lower() in SITE_SUFFIXES)
            if not found:
                raise Failure(f"{p}: no site files in this folder")
            files.extend(found)
        else:
            files.append(p)
    return files


def _check_outputs(args, files: list[Path]) -> None:
    suffixes = {"plot": export.PLOT_SUFFIXES, "map": {".html", ".htm"},
                "mission": set(mission.SUFFIXES), "geojson": None, "params": {".parm", ".param"}}
    if args.cutter and (not args.mission or Path(args.mission).suffix.lower() not in
                        (".waypoints", ".plan")):
        raise Failure("--cutter: the cutter is switched by .waypoints and .plan missions; give "
                      "--mission FILE.waypoints or FILE.plan")
    stdout_users = [n for n in OUTPUT_OPTIONS if getattr(args, n) == "-"]
    if len(stdout_users) > 1 or (stdout_users and len(files) > 1):
        raise Failure("only one output of one site can go to standard output ('-')")
    for name in OUTPUT_OPTIONS:
        template = getattr(args, name)
        if template is None:
            continue
        if len(files) > 1 and "{site}" not in template:
            raise Failure(f"--{name} {template}: with several sites the name must contain "
                          "{site}")
        if template == "-" and name in ("plot", "mission", "params"):
            raise Failure(f"--{name} -: its type comes from the file name's suffix; name a file")
        for f in files:
            target = _output_path(template, f)
            try:
                check_target(target)
            except OutputError as e:
                raise Failure(str(e)) from None
        allowed = suffixes[name]
        suffix = Path(template).suffix.lower()
        if allowed and template != "-" and suffix not in allowed:
            raise Failure(f"{template}: unsupported {name} type '{suffix}'; use "
                          f"{', '.join(sorted(allowed))}")


def main(argv: list[str] | None = None) -> int:
    try:
        return _main(argv)
    except KeyboardInterrupt:
        print(f"{PROG}: interrupted", file=sys.stderr)
        return 130
    except Failure as f:
        print(f"{PROG}: {f}", file=sys.stderr)
        return f.status


def _main(argv) -> int:
    args = build_parser().parse_args(argv)
    if not args.offset > 0:
        raise Failure(f"--offset {args.offset:g}: the lane spacing must be more than 0")
    files = site_files(args.sites) if args.sites else [bundled_sites() / "garden.geojson"]
    _check_outputs(args, files)
    summary_out = sys.stderr if any(getattr(args, n) == "-" for n in OUTPUT_OPTIONS) else sys.stdout
    if len(files) == 1:
        outcome = run_site(files[0], args)
        _report(outcome, summary_out)
        return outcome.status
    return _run_many(files, args, summary_out)


def _report(outcome: Outcome, out) -> None:
    for note in outcome.notes:
        print(f"{PROG}: {note}", file=sys.stderr)
    if outcome.text:
        print(outcome.text, file=out)


def _run_many(files: list[Path], args, out) -> int:
    jobs = args.jobs or os.cpu_count() or 1
    outcomes: list[Outcome] = []
    bar = _progress(len(files))
    with ProcessPoolExecutor(max_workers=min(jobs, len(files))) as pool:
        futures = {pool.submit(run_site, f, args): f for f in files}
        for done in as_completed(futures):
            try:
                outcome = done.result()
            except Exception as e:  # a worker that died (out of memory, killed)
                f = futures[done]
                outcome = Outcome(str(f), EXIT_INPUT, "", [f"{f}: planning failed: {e}"],
                                  {"site": f.name, "error": str(e)})
            outcomes.append(outcome)
            if bar:
                bar.update(1)
    if bar:
        bar.close()
    order = {str(f): i for i, f in enumerate(files)}
    outcomes.sort(key=lambda o: order[o.site])
    for o in outcomes:
        _report(o, out)
        print(file=out)
    width = max([28] + [len(o.row["site"]) for o in outcomes])
    print(f"{'site':<{width}} {'slices':>7} {'route m':>9} {'coverage':>9} {'skipped':>8} "
          f"{'ms':>8}  status", file=out)
    for o in outcomes:
        r = o.row
        if "error" in r:
            print(f"{r['site']:<{width}} {'':>7} {'':>9} {'':>9} {'':>8} {'':>8}  failed",
                  file=out)
        else:
            print(f"{r['site']:<{width}} {r['slices']:>7} {r['route_m']:>9.1f} "
                  f"{r['coverage'] * 100:>8.1f}% {r['skipped']:>8} {r['seconds'] * 1000:>8.1f}  "
                  f"{'ok' if o.status == 0 else 'skips slices'}", file=out)
    return EXIT_PLAN if any(o.status != EXIT_OK for o in outcomes) else EXIT_OK


def _progress(total: int):
    if not sys.stderr.isatty():
        return None
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, unit="site", file=sys.stderr)
