"""The ArduPilot Rover parameters a mission of this planner relies on, as a .parm file.

- WP_RADIUS: a waypoint counts as reached within this distance. Rover's default of 2 m would
  switch the cutter and turn up to 2 m early on 0.5 m lanes; at most half the lane spacing keeps
  every lane end within half a swath.
- WP_SPEED and CRUISE_SPEED: the transit and mowing speeds; the mission's DO_CHANGE_SPEED items
  switch between them, these hold until the first one and when a mission is resumed.
- SERVOn_FUNCTION 0 for a servo cutter's channel: ArduPilot refuses DO_SET_SERVO on a channel
  that another function drives. A relay cutter needs RELAYn_FUNCTION 1 (relay) on ArduPilot 4.5
  and later.
- MIS_DONE_BEHAVE 0: hold where the mission ends (the dock, when the route returns there).
"""

from __future__ import annotations

from swathor_plan.mission import Cutter


def rover_parameters(offset: float, speeds: tuple[float, float],
                     cutter: Cutter | None) -> list[tuple[str, float]]:
    out = [("WP_RADIUS", round(min(2.0, offset / 2), 3)),
           ("WP_SPEED", speeds[1]),
           ("CRUISE_SPEED", speeds[0]),
           ("MIS_DONE_BEHAVE", 0)]
    if cutter and cutter.kind == "servo":
        out.append((f"SERVO{cutter.channel}_FUNCTION", 0))
    elif cutter:
        out.append((f"RELAY{cutter.channel + 1}_FUNCTION", 1))
    return out


def parm_bytes(parameters: list[tuple[str, float]]) -> bytes:
    """NAME,VALUE lines, as Mission Planner and pymavlink's mavparm load them."""
    return "".join(f"{name},{value:g}\n" for name, value in parameters).encode()
