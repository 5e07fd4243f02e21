#pragma once

#include <cmath>
#include <vector>

#include "planner/geometry/point.h"

namespace Planner {

// A turn about the origin by a fixed angle in radians, counter-clockwise for a positive
// angle, with its cosine and sine computed once: results with many polylines turn
// hundreds of thousands of them.
class Rotation {
 public:
  explicit Rotation(double angle) : c_(std::cos(angle)), s_(std::sin(angle)) {}
  Point operator()(const Point& p) const { return {p.x * c_ - p.y * s_, p.y * c_ + p.x * s_}; }
  void apply(std::vector<Point>& points) const {
    for (Point& p : points) p = (*this)(p);
  }

 private:
  double c_;
  double s_;
};

// Turns every point of the sequence by `angle`.
void rotatePoints(std::vector<Point>& points, double angle);

// The same turn for a single point.
Point rotatePoint(const Point& p, double angle);

}  // namespace Planner
