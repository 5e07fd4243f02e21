"""Robot mission files from a plan, chosen by suffix.

- .waypoints: QGC WPL 110, the mission text file of ArduPilot's ground stations (Mission Planner,
  QGroundControl). Item 0 is home (the route's start); every route point is a NAV_WAYPOINT at
  altitude 0 relative to home. Built as pymavlink mission items; written with 9 decimals of a
  degree (about 0.1 mm), since the loader's own writer keeps only 6 (about 11 cm).
- .plan: QGroundControl's JSON mission for an ArduPilot rover, with the lawn as the inclusion
  fence and the obstacles as exclusion fences.
- .gpx: one GPX route (gpxpy); each point's type says whether the robot mows on its way there.
- .csv: index, x, y (planning plane, metres), longitude, latitude, mowing (0/1), slice.

A cutter output can be switched off on transits and on along mowing stretches with
MAV_CMD_DO_SET_SERVO or MAV_CMD_DO_SET_RELAY items (.waypoints and .plan).
"""

from __future__ import annotations

import csv
import io
import json
from dataclasses import dataclass

from swathor_plan.errors import need
from swathor_plan.planning import Plan
from swathor_plan.site_file import Site

SUFFIXES = (".waypoints", ".plan", ".gpx", ".csv")
GEOGRAPHIC_ONLY = (".waypoints", ".plan", ".gpx")

MAV_CMD_NAV_WAYPOINT = 16
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
                if channel >= 1 and 0 <= on <= 3000 and 0 <= off <= 3000:
                    return cls("servo", channel, on, off)
            elif parts[0] == "relay" and len(parts) == 2 and int(parts[1]) >= 0:
                return cls("relay", int(parts[1]))
        except ValueError:
            pass
        raise ValueError(f"cutter {text!r}: use servo:CHANNEL:ON_PWM:OFF_PWM (channel 1 or more, "
                         "PWM 0 to 3000) or relay:NUMBER")

    def item(self, mowing: bool) -> tuple[int, list[float]]:
        command = MAV_CMD_DO_SET_SERVO if self.kind == "servo" else MAV_CMD_DO_SET_RELAY
        return command, [self.channel, self.on if mowing else self.off, 0, 0, 0, 0, 0]


def _items(site: Site, plan: Plan, cutter: Cutter | None):
    """(command, frame, params[7]) for the mission after home; positions as lat, lon."""
    lonlat = site.frame.to_output(plan.route)
    items = []
    state = None
    for i, (lon, lat) in enumerate(lonlat):
        mowing = i > 0 and plan.step_slice[i - 1] >= 0
        if cutter and mowing != state:
            command, params = cutter.item(mowing)
            items.append((command, MAV_FRAME_MISSION, params))
            state = mowing
        items.append((MAV_CMD_NAV_WAYPOINT, MAV_FRAME_GLOBAL_RELATIVE_ALT,
                      [0, 0, 0, 0, lat, lon, 0]))
    if cutter and state:
        command, params = cutter.item(False)
        items.append((command, MAV_FRAME_MISSION, params))
    return lonlat[0], items


def waypoints_bytes(site: Site, plan: Plan, cutter: Cutter | None = None) -> bytes:
    mavutil = need("pymavlink.mavutil", "mission")
    mavlink = mavutil.mavlink
    (lon0, lat0), items = _items(site, plan, cutter)
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


def plan_bytes(site: Site, plan: Plan, cutter: Cutter | None = None) -> bytes:
    (lon0, lat0), items = _items(site, plan, cutter)
    mission_items = []
    for n, (command, frame, params) in enumerate(items, start=1):
        mission_items.append({
            "type": "SimpleItem", "autoContinue": True, "command": command, "doJumpId": n,
            "frame": frame, "params": [p for p in params[:3]] + [None] + params[4:]
            if command == MAV_CMD_NAV_WAYPOINT else params,
            "AMSLAltAboveTerrain": None, "Altitude": 0, "AltitudeMode": 1,
        })
    fences = [{"inclusion": True, "version": 1,
               "polygon": [[lat, lon] for lon, lat in site.frame.to_output(ring)]}
              for ring in site.parts or [site.perimeter]]
    for ring in site.obstacles:
        fences.append({"inclusion": False, "version": 1,
                       "polygon": [[lat, lon] for lon, lat in site.frame.to_output(ring)]})
    data = {
        "fileType": "Plan", "version": 1, "groundStation": "swathor",
        "mission": {"version": 2, "firmwareType": QGC_FIRMWARE_ARDUPILOT,
                    "vehicleType": QGC_VEHICLE_GROUND_ROVER, "cruiseSpeed": 1.0,
                    "hoverSpeed": 1.0, "globalPlanAltitudeMode": 1,
                    "plannedHomePosition": [lat0, lon0, 0], "items": mission_items},
        "geoFence": {"version": 2, "polygons": fences, "circles": []},
        "rallyPoints": {"version": 2, "points": []},
    }
    return (json.dumps(data, indent=1) + "\n").encode()


def gpx_bytes(site: Site, plan: Plan, name: str) -> bytes:
    gpxpy = need("gpxpy.gpx", "mission")
    gpx = gpxpy.GPX()
    gpx.creator = "swathor"
    route = gpxpy.GPXRoute(name=name, description="mowing route")
    for i, (lon, lat) in enumerate(site.frame.to_output(plan.route)):
        mowing = i > 0 and plan.step_slice[i - 1] >= 0
        route.points.append(gpxpy.GPXRoutePoint(lat, lon, elevation=None, name=str(i),
                                                type="mowing" if mowing else "transit"))
    gpx.routes.append(route)
    return gpx.to_xml(version="1.1").encode()


def csv_bytes(site: Site, plan: Plan) -> bytes:
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(["index", "x", "y", "longitude", "latitude", "mowing", "slice"])
    lonlat = site.frame.to_output(plan.route) if site.frame.geographic else None
    for i, (x, y) in enumerate(plan.route):
        s = plan.step_slice[i - 1] if i > 0 else -1
        lon, lat = (f"{lonlat[i][0]:.9f}", f"{lonlat[i][1]:.9f}") if lonlat else ("", "")
        writer.writerow([i, f"{x:.4f}", f"{y:.4f}", lon, lat, int(s >= 0), s])
    return out.getvalue().encode()


def mission_bytes(suffix: str, site: Site, plan: Plan, name: str,
                  cutter: Cutter | None = None) -> bytes:
    suffix = suffix.lower()
    if suffix == ".waypoints":
        return waypoints_bytes(site, plan, cutter)
    if suffix == ".plan":
        return plan_bytes(site, plan, cutter)
    if suffix == ".gpx":
        return gpx_bytes(site, plan, name)
    if suffix == ".csv":
        return csv_bytes(site, plan)
    raise ValueError(f"unknown mission type {suffix!r}; use {', '.join(SUFFIXES)}")
