#pragma once

#include <utility>
#include <vector>

#include "planner/geometry/point.h"

namespace Planner {

// One ring, read as closed: the edge from the last point back to the first is
// implied. Points are kept exactly as supplied, so a repeated closing point stays
// (it only adds an edge of length zero). Counter-clockwise means positive area.
class Polygon {
 public:
  Polygon() = default;
  explicit Polygon(std::vector<Point> points) : points_(std::move(points)) {}

  const std::vector<Point>& getPoints() const { return points_; }
  std::vector<Point>& getPoints() { return points_; }

  // Shoelace area, positive for a counter-clockwise ring; 0 below three points.
  double signedArea() const;

  // Makes the ring counter-clockwise (ccw) or clockwise by reversing the points when
  // needed. A ring counts as counter-clockwise only with an area strictly above 0,
  // so degenerate rings count as clockwise.
  void setOrientation(bool ccw);

  // Whether the ring already runs counter-clockwise (ccw) or clockwise by the rule of
  // setOrientation, which reverses the points exactly when this is false.
  bool hasOrientation(bool ccw) const { return (signedArea() > 0.0) == ccw; }

 private:
  std::vector<Point> points_;
};

// Shoelace area of a ring given as points; see Polygon::signedArea.
double signedArea(const std::vector<Point>& ring);

}  // namespace Planner
