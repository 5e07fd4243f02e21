#include "planner/site/environment.h"

#include <utility>

#include "planner/geometry/transforms.h"

namespace Planner {

namespace {

std::size_t given(bool reversed, std::size_t size, std::size_t i) {
  return reversed && i < size ? size - 1 - i : i;
}

}  // namespace

Environment::Environment(Polygon perimeter)
    : perimeter_(std::move(perimeter)), perimeterReversed_(!perimeter_.hasOrientation(true)) {
  perimeter_.setOrientation(true);
}

void Environment::addObstacle(const Polygon& obstacle) {
  Polygon copy = obstacle;
  obstacleReversed_.push_back(!copy.hasOrientation(false));
  copy.setOrientation(false);
  obstacles_.push_back(std::move(copy));
}

void Environment::addMowArea(const Polygon& area) {
  Polygon copy = area;
  mowAreaReversed_.push_back(!copy.hasOrientation(true));
  copy.setOrientation(true);
  mowAreas_.push_back(std::move(copy));
}

std::size_t Environment::givenPerimeterIndex(std::size_t i) const {
  return given(perimeterReversed_, perimeter_.getPoints().size(), i);
}

std::size_t Environment::givenObstacleIndex(std::size_t ring, std::size_t i) const {
  return given(obstacleReversed_.at(ring), obstacles_.at(ring).getPoints().size(), i);
}

std::size_t Environment::givenMowAreaIndex(std::size_t ring, std::size_t i) const {
  return given(mowAreaReversed_.at(ring), mowAreas_.at(ring).getPoints().size(), i);
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
