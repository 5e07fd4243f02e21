#include "planner/geometry/clipper_bridge.h"

#include <cmath>

namespace Planner {

Clipper2Lib::Path64 toPath64(const std::vector<Point>& points) {
  Clipper2Lib::Path64 path;
  path.reserve(points.size());
  for (const Point& p : points) {
    // std::llround rounds halves away from zero.
    path.emplace_back(static_cast<int64_t>(std::llround(p.x * kClipperScale)),
                      static_cast<int64_t>(std::llround(p.y * kClipperScale)));
  }
  return path;
}

std::vector<Point> fromPath64(const Clipper2Lib::Path64& path) {
  std::vector<Point> points;
  points.reserve(path.size());
  for (const auto& p : path) {
    points.emplace_back(static_cast<double>(p.x) / kClipperScale,
                        static_cast<double>(p.y) / kClipperScale);
  }
  return points;
}

}  // namespace Planner
