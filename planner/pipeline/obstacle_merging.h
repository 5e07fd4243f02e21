#pragma once

#include "planner/site/cancellation.h"
#include "planner/site/environment.h"

namespace Planner {

// Obstacles that touch or overlap act as one obstacle.
//
// A wall drawn as two rectangles sharing an edge is one wall to the robot, but to the
// clearance test a hop along the shared edge runs on the boundary of each and inside
// neither, so it would be driven. Each group of obstacles whose regions meet on
// Clipper2's 1/1000 grid (along an edge or in an area, or less than 0.002 apart, as a
// corner drawn on another's edge may be once on the grid) is replaced, in the place of
// its first member, by the outer rings of the members' union, with those gaps closed,
// clockwise and on the grid.
// Lawn that the group encloses (a pocket walled in on every side) cannot be reached
// without crossing the group: it is left to the obstacle. Obstacles that meet no other
// stay exactly as given, and a site without such groups is not touched at all.
// Returns the number of obstacles merged away.
std::size_t mergeTouchingObstacles(Environment& site, const Cancellation& cancel);

}  // namespace Planner
