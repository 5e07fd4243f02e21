#pragma once

#include <cstddef>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/geometry/polygon.h"

namespace Planner {

// One mowing site, or one prepared area of it. Orientations are fixed when rings
// enter: the perimeter and mow areas counter-clockwise, obstacles (holes) clockwise.
// Every operation stores its own copy; the caller's geometry is never touched.
class Environment {
 public:
  // The only constructor: a site needs a perimeter.
  explicit Environment(Polygon perimeter);

  void addObstacle(const Polygon& obstacle);
  void addMowArea(const Polygon& area);
  // Each call replaces the previous wire.
  void setVirtualWire(const LineString& wire);
  void setDockingWire(const LineString& wire);

  const Polygon& getPerimeter() const { return perimeter_; }
  const std::vector<Polygon>& getObstacles() const { return obstacles_; }
  // Read-only access for the planner; these three are not exposed to Python.
  const std::vector<Polygon>& getMowAreas() const { return mowAreas_; }
  const LineString& getVirtualWire() const { return virtualWire_; }
  const LineString& getDockingWire() const { return dockingWire_; }

  // Where point i of a stored ring stood in the ring as the caller gave it: rings are
  // reversed on entry when their orientation differs. For messages about the input.
  std::size_t givenPerimeterIndex(std::size_t i) const;
  std::size_t givenObstacleIndex(std::size_t ring, std::size_t i) const;
  std::size_t givenMowAreaIndex(std::size_t ring, std::size_t i) const;

  // Turns all five members about the origin by `angle` radians (counter-clockwise
  // for a positive angle). Orientations are preserved.
  void rotate(double angle);

 private:
  Polygon perimeter_;
  std::vector<Polygon> obstacles_;
  std::vector<Polygon> mowAreas_;
  LineString virtualWire_;
  LineString dockingWire_;
  bool perimeterReversed_ = false;
  std::vector<bool> obstacleReversed_;
  std::vector<bool> mowAreaReversed_;
};

}  // namespace Planner
