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

void checkPoints(const std::string& what, const std::vector<Point>& points) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    const std::string where = what + " point " + std::to_string(i);
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

  checkPoints("perimeter", environment.getPerimeter().getPoints());
  const auto& obstacles = environment.getObstacles();
  for (std::size_t i = 0; i < obstacles.size(); ++i) {
    checkPoints("obstacle " + std::to_string(i), obstacles[i].getPoints());
  }
  const auto& mowAreas = environment.getMowAreas();
  for (std::size_t i = 0; i < mowAreas.size(); ++i) {
    checkPoints("mow area " + std::to_string(i), mowAreas[i].getPoints());
  }
  checkPoints("virtual wire", environment.getVirtualWire().getPoints());
  checkPoints("docking wire", environment.getDockingWire().getPoints());
  checkLength("start x", start.x);
  checkLength("start y", start.y);
}

}  // namespace Planner
