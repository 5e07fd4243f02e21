#pragma once

#include <cmath>
#include <string>

namespace Planner {

// A position in the plane, in the site's length unit. The y axis points up.
struct Point {
  double x;
  double y;

  constexpr Point(double px, double py) : x(px), y(py) {}

  // "(x, y)" with both coordinates in "%f" form, e.g. "(1.500000, -2.000000)".
  std::string toString() const;
};

// Straight distance between two points.
inline double distance(const Point& a, const Point& b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace Planner
