#pragma once

#include "planner/geometry/point.h"
#include "planner/site/environment.h"

namespace Planner {

// May the robot drive straight from a to b? Segments shorter than 0.01 always may.
// Otherwise the segment, shortened by 0.01 at each end, must lie inside the
// perimeter, cross no obstacle edge, and its midpoint must not lie strictly inside
// an obstacle. Beyond that, the shortened segment is cut wherever it meets a
// perimeter or obstacle edge, and no piece may run strictly inside an obstacle or
// outside the perimeter; so a hop through an obstacle from vertex to vertex is
// blocked, while one along an edge or touching a vertex from outside stays clear.
bool isSegmentClear(const Point& a, const Point& b, const Environment& environment);

}  // namespace Planner
