#include "planner/site/environment.h"

#include <utility>

#include "planner/geometry/transforms.h"

namespace Planner {

Environment::Environment(Polygon perimeter) : perimeter_(std::move(perimeter)) {
  perimeter_.setOrientation(true);
}

void Environment::addObstacle(const Polygon& obstacle) {
  Polygon copy = obstacle;
  copy.setOrientation(false);
  obstacles_.push_back(std::move(copy));
}

void Environment::addMowArea(const Polygon& area) {
  Polygon copy = area;
  copy.setOrientation(true);
  mowAreas_.push_back(std::move(copy));
}

void Environment::setVirtualWire(const LineString& wire) { virtualWire_ = wire; }

void Environment::setDockingWire(const LineString& wire) { dockingWire_ = wire; }

void Environment::rotate(double angle) {
  rotatePoints(perimeter_.getPoints(), angle);
  for (Polygon& obstacle : obstacles_) rotatePoints(obstacle.getPoints(), angle);
  for (Polygon& area : mowAreas_) rotatePoints(area.getPoints(), angle);
  rotatePoints(virtualWire_.getPoints(), angle);
  rotatePoints(dockingWire_.getPoints(), angle);
}

}  // namespace Planner
