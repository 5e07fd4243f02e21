#include "planner/geometry/transforms.h"

#include <cmath>

namespace Planner {

void rotatePoints(std::vector<Point>& points, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  for (Point& p : points) {
    const double x = p.x * c - p.y * s;
    const double y = p.y * c + p.x * s;
    p.x = x;
    p.y = y;
  }
}

Point rotatePoint(const Point& p, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  return {c * p.x - s * p.y, s * p.x + c * p.y};
}

}  // namespace Planner
