#pragma once

#include <vector>

#include "planner/geometry/point.h"

namespace Planner {

// Turns every point about the origin by `angle` radians, counter-clockwise for a
// positive angle. Cosine and sine are computed once for the whole sequence.
void rotatePoints(std::vector<Point>& points, double angle);

// The same turn for a single point.
Point rotatePoint(const Point& p, double angle);

}  // namespace Planner
