#include "planner/pipeline/path_service.h"
#include "planner/geometry/tolerances.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "planner/coverage/line_slicer.h"
#include "planner/coverage/offset_rings.h"
#include "planner/geometry/transforms.h"
#include "planner/pipeline/input_checks.h"
#include "planner/pipeline/obstacle_clipping.h"

namespace Planner {
namespace {

constexpr double kHalfPi = 1.5707963267948966;
// Scan lines of one request, summed over its areas and both passes of "squares".
constexpr double kMaxScanLines = 1e7;
// A scan line step must be this many units in the last place of the largest |y|, so
// that every step moves y by about the spacing.
constexpr double kMinStepUlps = 16.0;

// Lap counts beyond the signed 32-bit range mean "as many as possible", not a
// wrapped-around small count.
int32_t lapCount(std::uint64_t laps) {
  return static_cast<int32_t>(std::min<std::uint64_t>(laps, std::numeric_limits<int32_t>::max()));
}

void appendRings(std::vector<LineString>& slices, std::vector<Polygon>&& rings) {
  for (Polygon& ring : rings) slices.emplace_back(std::move(ring.getPoints()));
}

// y extent and largest |y| of an area's outer ring.
struct ScanSpan {
  double height = 0.0;
  double maxAbsY = 0.0;
};

ScanSpan scanSpan(const Environment& area) {
  const auto& pts = area.getPerimeter().getPoints();
  if (pts.empty()) return {};
  const auto [lo, hi] = std::minmax_element(
      pts.begin(), pts.end(), [](const Point& a, const Point& b) { return a.y < b.y; });
  return {hi->y - lo->y, std::max(std::fabs(lo->y), std::fabs(hi->y))};
}

std::string countText(double count) {
  std::ostringstream out;
  if (count < 1e15) {
    out << static_cast<unsigned long long>(count);
  } else {
    out << "more than 10,000,000";
  }
  return out.str();
}

// Refuses, before any lane is made, a spacing whose scan lines would not end: more than
// kMaxScanLines over all areas and both passes of "squares", or too small to move y at
// the area's coordinates (y + offset == y).
void checkLaneBudget(const std::vector<Environment>& areas, const PathSettings& settings) {
  if (settings.pattern != "lines" && settings.pattern != "squares") return;
  const double offset = settings.offset;
  double total = 0.0;
  double tallest = 0.0;
  double largestY = 0.0;
  for (const Environment& area : areas) {
    // scanLineCount reads the outer ring only: the second pass needs just that, turned.
    std::vector<Environment> passes{Environment(area.getPerimeter())};
    if (settings.pattern == "squares") {
      passes.push_back(passes.front());
      passes.back().rotate(kHalfPi);
    }
    for (const Environment& pass : passes) {
      const double lines = scanLineCount(pass, offset);
      if (lines == 0.0) continue;
      const ScanSpan span = scanSpan(pass);
      tallest = std::max(tallest, span.height);
      largestY = std::max(largestY, span.maxAbsY);
      total += lines;
    }
  }
  if (total > kMaxScanLines) {
    std::ostringstream message;
    message << "offset " << offset << " is too small for an area of height " << tallest
            << ": it would need " << countText(total) << " scan lines (at most 10000000)";
    throw std::invalid_argument(message.str());
  }
  const double smallest = kMinStepUlps * std::numeric_limits<double>::epsilon() * largestY;
  if (offset < smallest) {
    std::ostringstream message;
    message << "offset " << offset << " is too small to move a scan line at coordinates of "
            << "magnitude " << largestY << ": it must be at least " << smallest;
    throw std::invalid_argument(message.str());
  }
}

std::vector<Environment> prepareAreas(const Environment& site, const PathSettings& settings,
                                      const Cancellation& cancel) {
  std::vector<Environment> areas;
  if (!(settings.distanceToBorder > 0.0)) {
    areas.push_back(site);
    return areas;
  }
  const std::vector<Polygon> rings =
      computeOffsetRings(site, settings.distanceToBorder, 1, settings.distanceToBorder, cancel);
  const std::vector<Polygon> outers = selectRingsByOrientation(rings, false);
  const std::vector<Polygon> holes = selectRingsByOrientation(rings, true);
  for (const Polygon& outer : outers) {
    Environment area(outer);
    for (const Polygon& hole : holes) area.addObstacle(hole);
    areas.push_back(std::move(area));
  }
  return areas;
}

void appendAreaSlices(Environment& area, const PathSettings& settings,
                      std::vector<LineString>& slices, const Cancellation& cancel) {
  if (settings.pattern == "lines") {
    std::vector<LineString> lanes = generateLineSlices(area, settings.offset, cancel);
    std::move(lanes.begin(), lanes.end(), std::back_inserter(slices));
  } else if (settings.pattern == "squares") {
    std::vector<LineString> lanes = generateLineSlices(area, settings.offset, cancel);
    area.rotate(kHalfPi);
    std::vector<LineString> cross = generateLineSlices(area, settings.offset, cancel);
    area.rotate(-kHalfPi);
    for (LineString& lane : cross) rotatePoints(lane.getPoints(), -kHalfPi);
    std::move(lanes.begin(), lanes.end(), std::back_inserter(slices));
    std::move(cross.begin(), cross.end(), std::back_inserter(slices));
  } else {
    appendRings(slices, computeOffsetRings(area, settings.offset, 0, kFirstLapDistance, cancel));
  }
}

}  // namespace

PathService::PathService() : version_(SWATHOR_VERSION) {}

PathPlanner::PlanningResult PathService::computeFullTask(const Environment& environment,
                                                         const PathSettings& settings,
                                                         const Point& start) const {
  return computeFullTask(environment, settings, start, Cancellation());
}

PathPlanner::PlanningResult PathService::computeFullTask(const Environment& environment,
                                                         const PathSettings& settings,
                                                         const Point& start,
                                                         const Cancellation& cancel) const {
  const RoutePlanner planner = [&](const Environment& site, const std::vector<LineString>& slices,
                                   const Point& from) {
    return PathPlanner::planRoute(site, slices, from, cancel);
  };
  return computeFullTaskWith(environment, settings, start, planner, cancel);
}

PathPlanner::PlanningResult computeFullTaskWith(const Environment& environment,
                                                const PathSettings& settings, const Point& start,
                                                const RoutePlanner& planRoute,
                                                const Cancellation& cancel) {
  checkRequest(environment, settings, start);
  const double a = settings.angle;

  Environment site = environment;
  site.rotate(-a);
  const Point workingStart = rotatePoint(start, -a);
  if (clipObstaclesToPerimeter(site, cancel)) return {};

  std::vector<LineString> slices;
  if (settings.mowArea) {
    std::vector<Environment> areas = prepareAreas(site, settings, cancel);
    checkLaneBudget(areas, settings);
    for (Environment& area : areas) appendAreaSlices(area, settings, slices, cancel);
  }

  // Border laps and laps around obstacles come from the same offset run: one run
  // with the larger lap count serves both.
  const bool border = settings.mowBorder && settings.borderLaps != 0;
  const bool exclusions = settings.mowExclusionsBoder && settings.exclusionsBorderLaps != 0;
  if (border || exclusions) {
    const int32_t borderLaps = lapCount(settings.borderLaps);
    const int32_t exclusionLaps = lapCount(settings.exclusionsBorderLaps);
    const OffsetLaps laps = computeOffsetLaps(
        site, settings.offset, std::max(border ? borderLaps : 0, exclusions ? exclusionLaps : 0),
        kFirstLapDistance, cancel);
    if (border) {
      std::vector<Polygon> rings = selectRingsByOrientation(laps.firstLaps(borderLaps), false);
      if (!settings.mowBorderCcw) {
        for (Polygon& ring : rings) ring.setOrientation(false);
      }
      appendRings(slices, std::move(rings));
    }
    if (exclusions) {
      std::vector<Polygon> rings = selectRingsByOrientation(laps.firstLaps(exclusionLaps), true);
      if (settings.mowExclusionsBorderCcw) {
        for (Polygon& ring : rings) ring.setOrientation(true);
      }
      appendRings(slices, std::move(rings));
    }
  }

  PathPlanner::PlanningResult result = planRoute(site, slices, workingStart);
  result.slices = std::move(slices);

  rotatePoints(result.path.getPoints(), a);
  for (LineString& link : result.transitLinks) rotatePoints(link.getPoints(), a);
  for (LineString& edge : result.exploredEdges) rotatePoints(edge.getPoints(), a);
  for (LineString& slice : result.slices) rotatePoints(slice.getPoints(), a);
  return result;
}

}  // namespace Planner
