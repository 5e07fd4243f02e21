#include "planner/pipeline/slice_budget.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

namespace Planner {
namespace {

// A scan line step must be this many units in the last place of the largest |y|, so
// that every step moves y by about the spacing.
constexpr double kMinStepUlps = 16.0;

std::vector<const std::vector<Point>*> ringsOf(const Environment& area) {
  std::vector<const std::vector<Point>*> rings{&area.getPerimeter().getPoints()};
  for (const Polygon& obstacle : area.getObstacles()) rings.push_back(&obstacle.getPoints());
  return rings;
}

// Lanes of one pass along x: every scan line meets each edge spanning it once, and
// two meetings bound a lane.
double laneCount(const Environment& area, double offset, bool alongY) {
  if (area.getPerimeter().getPoints().size() < 3) return 0.0;
  double rise = 0.0;
  for (const std::vector<Point>* ring : ringsOf(area)) {
    for (std::size_t i = 0; i < ring->size(); ++i) {
      const Point& p = (*ring)[i];
      const Point& q = (*ring)[(i + 1) % ring->size()];
      rise += alongY ? std::fabs(q.x - p.x) : std::fabs(q.y - p.y);
    }
  }
  return rise / (2 * offset);
}

struct Extent {
  double halfWidth = 0.0;  // half the smaller side of the outer ring's box
  double maxAbsX = 0.0;    // largest |x| and |y| of the outer ring
  double maxAbsY = 0.0;
};

Extent extentOf(const Environment& area) {
  const auto& pts = area.getPerimeter().getPoints();
  if (pts.empty()) return {};
  double x0 = pts[0].x, x1 = x0, y0 = pts[0].y, y1 = y0;
  for (const Point& p : pts) {
    x0 = std::min(x0, p.x);
    x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y);
    y1 = std::max(y1, p.y);
  }
  return {std::min(x1 - x0, y1 - y0) / 2, std::max(std::fabs(x0), std::fabs(x1)),
          std::max(std::fabs(y0), std::fabs(y1))};
}

// Offset steps of a ring or lap run: each makes at least one ring, and the run ends
// when the area is used up.
double offsetSteps(const Environment& area, double offset, double steps) {
  if (area.getPerimeter().getPoints().size() < 3) return 0.0;
  return std::min(steps, std::ceil(extentOf(area).halfWidth / offset) + 1);
}

std::string countText(double count) {
  std::ostringstream out;
  if (count < 1e15) {
    out << static_cast<unsigned long long>(count);
  } else {
    out << "more than 1,000,000";
  }
  return out.str();
}

[[noreturn]] void refuse(const std::string& subject, double count, const std::string& made) {
  throw std::invalid_argument(subject + " would make " + countText(count) + " " + made +
                              " (at most 1000000)");
}

std::string offsetText(double offset) {
  std::ostringstream out;
  out << "offset " << offset;
  return out.str();
}

}  // namespace

void checkSliceBudget(const Environment& site, const std::vector<Environment>& areas,
                      const PathSettings& settings) {
  const double offset = settings.offset;
  const bool lanes = settings.pattern == "lines" || settings.pattern == "squares";
  double total = 0.0;
  double largestY = 0.0;  // of the scan lines, over both passes of "squares"
  for (const Environment& area : areas) {
    const Extent extent = extentOf(area);
    if (lanes) {
      total += laneCount(area, offset, false);
      largestY = std::max(largestY, extent.maxAbsY);
      if (settings.pattern == "squares") {
        total += laneCount(area, offset, true);
        largestY = std::max(largestY, extent.maxAbsX);
      }
    } else {
      total += offsetSteps(area, offset, std::numeric_limits<double>::infinity());
    }
  }
  if (total > kMaxSlices) refuse(offsetText(offset), total, lanes ? "lanes" : "rings");

  // The laps of border and obstacles come from one run of the larger lap count.
  double laps = 0.0;
  std::string setting = "borderLaps";
  if (settings.mowBorder) laps = static_cast<double>(settings.borderLaps);
  if (settings.mowExclusionsBoder && static_cast<double>(settings.exclusionsBorderLaps) > laps) {
    laps = static_cast<double>(settings.exclusionsBorderLaps);
    setting = "exclusionsBorderLaps";
  }
  const double lapSteps = offsetSteps(site, offset, laps);
  if (lapSteps > kMaxSlices) {
    refuse(setting + " " + countText(laps) + " with " + offsetText(offset), lapSteps, "laps");
  }

  const double smallest = kMinStepUlps * std::numeric_limits<double>::epsilon() * largestY;
  if (lanes && offset < smallest) {
    std::ostringstream message;
    message << "offset " << offset << " is too small to move a scan line at coordinates of "
            << "magnitude " << largestY << ": it must be at least " << smallest;
    throw std::invalid_argument(message.str());
  }
}

}  // namespace Planner
