#include "planner/geometry/transforms.h"

namespace Planner {

void rotatePoints(std::vector<Point>& points, double angle) { Rotation(angle).apply(points); }

Point rotatePoint(const Point& p, double angle) { return Rotation(angle)(p); }

}  // namespace Planner
