#include "planner/pipeline/input_checks.h"

#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace Planner {
namespace {

std::string show(double value) {
  std::ostringstream out;
  out.precision(17);
  out << value;
  return out.str();
}

[[noreturn]] void reject(const std::string& what, double value, const std::string& rule) {
  throw std::invalid_argument(what + " is " + show(value) + "; " + rule);
}

void checkLength(const std::string& what, double value) {
  if (!std::isfinite(value) || std::fabs(value) > kMaxLength) {
    reject(what, value, "lengths must be finite and at most 1e9 in magnitude");
  }
}

// `given` maps a stored point index to the caller's (rings may be stored reversed).
template <typename GivenIndex>
void checkPoints(const std::string& what, const std::vector<Point>& points, GivenIndex given) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    const std::string where = what + " point " + std::to_string(given(i));
    checkLength(where + " x", points[i].x);
    checkLength(where + " y", points[i].y);
  }
}

}  // namespace

void checkRequest(const Environment& environment, const PathSettings& settings,
                  const Point& start) {
  if (!(settings.offset > 0.0) || !std::isfinite(settings.offset)) {
    reject("offset", settings.offset, "it must be a positive finite number");
  }
  checkLength("offset", settings.offset);
  if (!std::isfinite(settings.angle)) reject("angle", settings.angle, "it must be finite");
  if (!std::isfinite(settings.distanceToBorder)) {
    reject("distanceToBorder", settings.distanceToBorder, "it must be finite");
  }
  checkLength("distanceToBorder", settings.distanceToBorder);

  const auto same = [](std::size_t i) { return i; };
  checkPoints("perimeter", environment.getPerimeter().getPoints(),
              [&](std::size_t i) { return environment.givenPerimeterIndex(i); });
  const auto& obstacles = environment.getObstacles();
  for (std::size_t k = 0; k < obstacles.size(); ++k) {
    checkPoints("obstacle " + std::to_string(k), obstacles[k].getPoints(),
                [&](std::size_t i) { return environment.givenObstacleIndex(k, i); });
  }
  const auto& mowAreas = environment.getMowAreas();
  for (std::size_t k = 0; k < mowAreas.size(); ++k) {
    checkPoints("mow area " + std::to_string(k), mowAreas[k].getPoints(),
                [&](std::size_t i) { return environment.givenMowAreaIndex(k, i); });
  }
  checkPoints("virtual wire", environment.getVirtualWire().getPoints(), same);
  checkPoints("docking wire", environment.getDockingWire().getPoints(), same);
  checkLength("start x", start.x);
  checkLength("start y", start.y);
}

}  // namespace Planner
