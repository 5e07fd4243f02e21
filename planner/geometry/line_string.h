#pragma once

#include <utility>
#include <vector>

#include "planner/geometry/point.h"

namespace Planner {

// An open polyline in travel order: a lane, a lap, a wire or the route. It does not
// return to its first point. Empty and one-point line strings are valid.
class LineString {
 public:
  LineString() = default;
  explicit LineString(std::vector<Point> points) : points_(std::move(points)) {}

  // Appends a copy; nothing is validated or de-duplicated.
  void addPoint(const Point& point) { points_.push_back(point); }

  const std::vector<Point>& getPoints() const { return points_; }
  std::vector<Point>& getPoints() { return points_; }

 private:
  std::vector<Point> points_;
};

}  // namespace Planner
