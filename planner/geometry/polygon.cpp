#include "planner/geometry/polygon.h"

#include <algorithm>

namespace Planner {

double signedArea(const std::vector<Point>& ring) {
  const std::size_t n = ring.size();
  if (n < 3) return 0.0;
  double sum = 0.0;
  for (std::size_t i = 1; i <= n; ++i) {
    const Point& p = ring[i - 1];
    const Point& q = ring[i % n];
    sum += p.x * q.y - p.y * q.x;
  }
  return sum * 0.5;
}

double Polygon::signedArea() const { return Planner::signedArea(points_); }

void Polygon::setOrientation(bool ccw) {
  if (!hasOrientation(ccw)) std::reverse(points_.begin(), points_.end());
}

}  // namespace Planner
