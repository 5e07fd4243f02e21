"""Robot mission files from a plan, chosen by suffix.

- .waypoints: QGC WPL 110, the mission text file of ArduPilot's ground stations (Mission Planner,
  QGroundControl). Item 0 is home (the dock, or the route's start); every waypoint is a
  NAV_WAYPOINT at altitude 0 relative to home. Built as pymavlink mission items; written with 9
  decimals of a degree (about 0.1 mm), since the loader's own writer keeps only 6 (about 11 cm).
- .plan: QGroundControl's JSON mission for an ArduPilot rover, with the fence the planner used
  (the lawn, the obstacles clipped to it and merged), a rally point and home at the dock.
- .gpx: one GPX route (gpxpy); each point's type says whether the cutter runs on the way there.
- .csv: longitude, latitude, east_m, north_m (planning plane), index, cutter (0/1).

The waypoints are the route's points without empty legs or points on a straight line (see
drive.waypoints). A cutter output is switched with MAV_CMD_DO_SET_SERVO or MAV_CMD_DO_SET_RELAY
items and the speed with MAV_CMD_DO_CHANGE_SPEED items where they change (.waypoints and .plan),
by the driving model of drive.py.
"""

from __future__ import annotations

import csv
import io
import json
from dataclasses import dataclass

from swathor_plan.drive import DEFAULT_IDLE, cutter_states, waypoints
from swathor_plan.errors import need
from swathor_plan.frame import Coord
from swathor_plan.measure import mowable_area
from swathor_plan.planning import BREAK, Plan
from swathor_plan.site_file import Site

SUFFIXES = (".waypoints", ".plan", ".gpx", ".csv")
GEOGRAPHIC_ONLY = (".waypoints", ".plan", ".gpx")

MAV_CMD_NAV_WAYPOINT = 16
MAV_CMD_DO_CHANGE_SPEED = 178
MAV_CMD_DO_SET_RELAY = 181
MAV_CMD_DO_SET_SERVO = 183
MAV_FRAME_GLOBAL = 0
MAV_FRAME_MISSION = 2
MAV_FRAME_GLOBAL_RELATIVE_ALT = 3
QGC_FIRMWARE_ARDUPILOT = 3
QGC_VEHICLE_GROUND_ROVER = 10


@dataclass(frozen=True)
class Cutter:
    """How the mission switches the cutter: a servo channel with PWM values, or a relay."""

    kind: str           # "servo" or "relay"
    channel: int
    on: int = 1
    off: int = 0

    @classmethod
    def parse(cls, text: str) -> "Cutter":
        """'servo:CHANNEL:ON_PWM:OFF_PWM' or 'relay:NUMBER'."""
        parts = text.split(":")
        try:
            if parts[0] == "servo" and len(parts) == 4:
                channel, on, off = (int(p) for p in parts[1:])
                if 1 <= channel <= 32 and 0 <= on <= 3000 and 0 <= off <= 3000:
                    return cls("servo", channel, on, off)
            elif parts[0] == "relay" and len(parts) == 2 and 0 <= int(parts[1]) <= 15:
                return cls("relay", int(parts[1]))
        except ValueError:
            pass
        raise ValueError(f"cutter {text!r}: use servo:CHANNEL:ON_PWM:OFF_PWM (channel 1 to 32, "
                         "PWM 0 to 3000) or relay:NUMBER (ArduPilot's relays count from 0: 0 to "
                         "15)")

    def item(self, mowing: bool) -> tuple[int, list[float]]:
        command = MAV_CMD_DO_SET_SERVO if self.kind == "servo" else MAV_CMD_DO_SET_RELAY
        return command, [self.channel, self.on if mowing else self.off, 0, 0, 0, 0, 0]


@dataclass
class Mission:
    """One mission file's worth of the route: its waypoints (plane) with the cutter state of the
    leg into each, and where home is."""

    points: list[Coord]
    states: list[bool]
    home: Coord


@dataclass
class MissionOptions:
    cutter: Cutter | None = None
    speeds: tuple[float, float] | None = None   # (mowing, transit) m/s: speed items when given
    idle: float = DEFAULT_IDLE                  # see drive.cutter_states
    max_items: int | None = None                # split into missions of at most this many items
    dock: Coord | None = None                   # planned home and rally point (plane)


def _items(site: Site, m: Mission, options: MissionOptions):
    """(command, frame, params[7]) for the mission after home; positions as lat, lon."""
    lonlat = site.frame.to_output(m.points)
    items = []
    state = speed = None
    for i, ((lon, lat), mowing) in enumerate(zip(lonlat, m.states)):
        if i == 0 and len(m.states) > 1:
            mowing = m.states[1]  # the first leg's state from the first point on
        if options.cutter and mowing != state:
            command, params = options.cutter.item(mowing)
            items.append((command, MAV_FRAME_MISSION, params))
            state = mowing
        wanted = options.speeds[0 if mowing else 1] if options.speeds else None
        if wanted is not None and wanted != speed:
            items.append((MAV_CMD_DO_CHANGE_SPEED, MAV_FRAME_MISSION, [1, wanted, -1, 0, 0, 0, 0]))
            speed = wanted
        items.append((MAV_CMD_NAV_WAYPOINT, MAV_FRAME_GLOBAL_RELATIVE_ALT,
                      [0, 0, 0, 0, lat, lon, 0]))
    if options.cutter and state:
        command, params = options.cutter.item(False)
        items.append((command, MAV_FRAME_MISSION, params))
    return items


def item_count(site: Site, m: Mission, options: MissionOptions) -> int:
    """Items of the mission with its home row."""
    return 1 + len(_items(site, m, options))


def missions(site: Site, plan: Plan, options: MissionOptions) -> list[Mission]:
    """The plan's missions in driving order: one per part of the lawn, each split where it
    would hold more than `max_items` items (with its home row); a split mission starts at the
    waypoint where the one before it ended."""
    on = cutter_states(plan, mowable_area(site), options.idle)
    out = []
    for part, part_on in zip(plan.part_plans(), plan.per_part(on)):
        points, states = waypoints(part.route, part_on)
        home = options.dock or (points[0] if points else (0.0, 0.0))
        whole = Mission(points, states, home)
        if not options.max_items or item_count(site, whole, options) <= options.max_items:
            out.append(whole)
            continue
        begin = 0
        while begin < len(points) - 1:
            end = begin + 2
            while end < len(points) and item_count(site, Mission(
                    points[begin:end + 1], states[begin:end + 1], home), options) \
                    <= options.max_items:
                end += 1
            out.append(Mission(points[begin:end], states[begin:end], home))
            begin = end - 1
    return out


def waypoints_bytes(site: Site, m: Mission, options: MissionOptions) -> bytes:
    mavutil = need("pymavlink.mavutil", "mission")
    mavlink = mavutil.mavlink
    items = _items(site, m, options)
    (lon0, lat0), = site.frame.to_output([m.home])
    rows = [(MAV_CMD_NAV_WAYPOINT, MAV_FRAME_GLOBAL, [0, 0, 0, 0, lat0, lon0, 0])] + items
    messages = [mavlink.MAVLink_mission_item_message(0, 0, seq, frame, command, int(seq == 0), 1,
                                                     *params)
                for seq, (command, frame, params) in enumerate(rows)]
    out = io.StringIO()
    out.write("QGC WPL 110\n")
    for m in messages:
        out.write("%u\t%u\t%u\t%u\t%.9f\t%.9f\t%.9f\t%.9f\t%.9f\t%.9f\t%.6f\t%u\n" % (
            m.seq, m.current, m.frame, m.command, m.param1, m.param2, m.param3, m.param4,
            m.x, m.y, m.z, m.autocontinue))
    return out.getvalue().encode()


# Rover keeps this many fence items (vertices) without SD fence storage.
FENCE_ITEMS = 84
# Simplification tolerances tried for the fence, largest first (metres).
FENCE_TOLERANCES = (1.0, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01, 0.0)


def fence(site: Site, plan: Plan) -> tuple[list[list[Coord]], list[list[Coord]], float]:
    """The fence the planner used: the lawn (each part) as inclusions, the obstacles clipped to
    it and merged where they meet as exclusions, simplified with the largest tolerance that
    keeps every driven step inside the inclusions and outside the exclusions."""
    shapely = need("shapely", "geo")
    lawn = shapely.union_all([shapely.Polygon(r).buffer(0) for r in site.parts or [site.perimeter]])
    blocked = shapely.union_all([shapely.Polygon(r).buffer(0) for r in site.obstacles])
    blocked = blocked.intersection(lawn) if site.obstacles else shapely.GeometryCollection()
    driven = [shapely.LineString([a, b]) for (a, b), s in
              zip(zip(plan.route, plan.route[1:]), plan.step_slice)
              if s != BREAK and a != b]
    driven = [d for d in driven if lawn.buffer(1e-6).covers(d)]  # the dock wire may lie outside
    path = shapely.MultiLineString(driven) if driven else shapely.GeometryCollection()

    def polygons(geom):
        return [g for g in getattr(geom, "geoms", [geom]) if g.geom_type == "Polygon"
                and g.area > 0]

    for tolerance in FENCE_TOLERANCES:
        inside = [shapely.simplify(p, tolerance, preserve_topology=True) for p in polygons(lawn)]
        outside = [shapely.simplify(p, tolerance, preserve_topology=True)
                   for p in polygons(blocked)]
        allowed = shapely.union_all(inside).difference(shapely.union_all(outside)) \
            if outside else shapely.union_all(inside)
        if tolerance == 0 or allowed.buffer(1e-6).covers(path):
            break
    return ([list(p.exterior.coords)[:-1] for p in inside],
            [list(p.exterior.coords)[:-1] for p in outside], tolerance)


def fence_items(site: Site, plan: Plan) -> int:
    inclusions, exclusions, _ = fence(site, plan)
    return sum(map(len, inclusions + exclusions))


def plan_bytes(site: Site, plan: Plan, m: Mission, options: MissionOptions) -> bytes:
    items = _items(site, m, options)
    (lon0, lat0), = site.frame.to_output([m.home])
    mission_items = []
    for n, (command, frame, params) in enumerate(items, start=1):
        mission_items.append({
            "type": "SimpleItem", "autoContinue": True, "command": command, "doJumpId": n,
            "frame": frame, "params": [p for p in params[:3]] + [None] + params[4:]
            if command == MAV_CMD_NAV_WAYPOINT else params,
            "AMSLAltAboveTerrain": None, "Altitude": 0, "AltitudeMode": 1,
        })
    inclusions, exclusions, _ = fence(site, plan)
    fences = [{"inclusion": inclusion, "version": 1,
               "polygon": [[lat, lon] for lon, lat in site.frame.to_output(ring)]}
              for inclusion, rings in ((True, inclusions), (False, exclusions)) for ring in rings]
    rally = [[lat0, lon0, 0]] if options.dock else []
    speed = options.speeds[0] if options.speeds else 1.0
    data = {
        "fileType": "Plan", "version": 1, "groundStation": "swathor",
        "mission": {"version": 2, "firmwareType": QGC_FIRMWARE_ARDUPILOT,
                    "vehicleType": QGC_VEHICLE_GROUND_ROVER, "cruiseSpeed": speed,
                    "hoverSpeed": 1.0, "globalPlanAltitudeMode": 1,
                    "plannedHomePosition": [lat0, lon0, 0], "items": mission_items},
        "geoFence": {"version": 2, "polygons": fences, "circles": []},
        "rallyPoints": {"version": 2, "points": rally},
    }
    return (json.dumps(data, indent=1) + "\n").encode()


def gpx_bytes(site: Site, m: Mission, name: str) -> bytes:
    gpxpy = need("gpxpy.gpx", "mission")
    gpx = gpxpy.GPX()
    gpx.creator = "swathor"
    route = gpxpy.GPXRoute(name=name, description="mowing route")
    for i, ((lon, lat), on) in enumerate(zip(site.frame.to_output(m.points), m.states)):
        route.points.append(gpxpy.GPXRoutePoint(lat, lon, elevation=None, name=str(i),
                                                type="mowing" if on else "transit"))
    gpx.routes.append(route)
    return gpx.to_xml(version="1.1").encode()


def csv_bytes(site: Site, m: Mission) -> bytes:
    """longitude, latitude first (ground stations' CSV import reads them as the position), then
    the planning plane in metres and whether the cutter runs on the way to the point."""
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(["longitude", "latitude", "east_m", "north_m", "index", "cutter"])
    lonlat = site.frame.to_output(m.points) if site.frame.geographic else None
    for i, ((x, y), on) in enumerate(zip(m.points, m.states)):
        lon, lat = (f"{lonlat[i][0]:.9f}", f"{lonlat[i][1]:.9f}") if lonlat else ("", "")
        writer.writerow([lon, lat, f"{x:.4f}", f"{y:.4f}", i, int(on)])
    return out.getvalue().encode()


def mission_files(suffix: str, site: Site, plan: Plan, name: str,
                  options: MissionOptions | None = None) -> list[bytes]:
    """Every mission of the plan in driving order (see missions()), as file contents."""
    options = options or MissionOptions()
    suffix = suffix.lower()
    if suffix not in SUFFIXES:
        raise ValueError(f"unknown mission type {suffix!r}; use {', '.join(SUFFIXES)}")
    return [mission_file(suffix, site, plan, m, name, options)
            for m in missions(site, plan, options)]


def mission_file(suffix: str, site: Site, plan: Plan, m: Mission, name: str,
                 options: MissionOptions) -> bytes:
    """One mission of the plan as a file of the type `suffix` names."""
    suffix = suffix.lower()
    if suffix == ".waypoints":
        return waypoints_bytes(site, m, options)
    if suffix == ".plan":
        return plan_bytes(site, plan, m, options)
    if suffix == ".gpx":
        return gpx_bytes(site, m, name)
    if suffix == ".csv":
        return csv_bytes(site, m)
    raise ValueError(f"unknown mission type {suffix!r}; use {', '.join(SUFFIXES)}")


def mission_bytes(suffix: str, site: Site, plan: Plan, name: str,
                  cutter: Cutter | None = None, options: MissionOptions | None = None) -> bytes:
    """The plan's mission as one file; ValueError when the plan makes several (a lawn in parts,
    or a split by max_items): mission_files gives them all."""
    options = options or MissionOptions(cutter=cutter)
    files = mission_files(suffix, site, plan, name, options)
    if len(files) != 1:
        raise ValueError(f"the plan makes {len(files)} missions; use mission_files")
    return files[0]
