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
#include "planner/geometry/predicates.h"
#include "planner/geometry/transforms.h"
#include "planner/pipeline/input_checks.h"
#include "planner/pipeline/obstacle_clipping.h"
#include "planner/pipeline/obstacle_merging.h"
#include "planner/pipeline/slice_budget.h"

namespace Planner {
namespace {

constexpr double kHalfPi = 1.5707963267948966;
// Lap counts beyond the signed 32-bit range mean "as many as possible", not a
// wrapped-around small count.
int32_t lapCount(std::uint64_t laps) {
  return static_cast<int32_t>(std::min<std::uint64_t>(laps, std::numeric_limits<int32_t>::max()));
}

void appendRings(std::vector<LineString>& slices, std::vector<Polygon>&& rings) {
  for (Polygon& ring : rings) slices.emplace_back(std::move(ring.getPoints()));
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
  for (const Polygon& outer : outers) areas.emplace_back(outer);
  // Each hole belongs to the innermost outer ring around it, and only there: a pocket
  // walled in by obstacles is an outer ring inside the ring around the walls, and given
  // that ring as a hole it would keep no lane. The rings of one offset never cross, so
  // one point of a hole tells where it lies.
  std::vector<double> areaOf(outers.size());
  for (std::size_t i = 0; i < outers.size(); ++i) {
    areaOf[i] = std::fabs(outers[i].signedArea());
  }
  for (const Polygon& hole : holes) {
    std::size_t owner = outers.size();
    for (std::size_t i = 0; i < outers.size(); ++i) {
      if (pointInRingInclusive(hole.getPoints().front(), outers[i].getPoints()) &&
          (owner == outers.size() || areaOf[i] < areaOf[owner])) {
        owner = i;
      }
    }
    if (owner < outers.size()) {
      areas[owner].addObstacle(hole);
    } else {
      for (Environment& area : areas) area.addObstacle(hole);  // lies in none: harmless anywhere
    }
  }
  return areas;
}

// Lanes of the area. A lane shorter than the same-point tolerance is a sliver between
// two rings that run a hair apart (a clipped obstacle's edge along the border it was
// cut to, its corners on the 1/1000 grid): nothing to mow, but a place to drive to.
std::vector<LineString> lanesOf(const Environment& area, double spacing,
                                const Cancellation& cancel) {
  std::vector<LineString> lanes = generateLineSlices(area, spacing, cancel);
  std::erase_if(lanes, [](const LineString& lane) {
    const std::vector<Point>& p = lane.getPoints();
    return p.size() == 2 && distance(p[0], p[1]) < kSamePoint;
  });
  return lanes;
}

void appendAreaSlices(Environment& area, const PathSettings& settings,
                      std::vector<LineString>& slices, const Cancellation& cancel) {
  if (settings.pattern == "lines") {
    std::vector<LineString> lanes = lanesOf(area, settings.offset, cancel);
    std::move(lanes.begin(), lanes.end(), std::back_inserter(slices));
  } else if (settings.pattern == "squares") {
    std::vector<LineString> lanes = lanesOf(area, settings.offset, cancel);
    area.rotate(kHalfPi);
    std::vector<LineString> cross = lanesOf(area, settings.offset, cancel);
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
                                                         const Cancellation& cancel,
                                                         ExploredEdges explored) const {
  const RoutePlanner planner = [&](const Environment& site, const std::vector<LineString>& slices,
                                   const Point& from) {
    return PathPlanner::planRoute(site, slices, from, cancel, indexedStrategies(), explored);
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
  // Before turning, so that which obstacles meet does not depend on the lane angle.
  mergeTouchingObstacles(site, cancel);
  site.rotate(-a);
  const Point workingStart = rotatePoint(start, -a);
  if (clipObstaclesToPerimeter(site, cancel)) return {};

  std::vector<Environment> areas;
  if (settings.mowArea) areas = prepareAreas(site, settings, cancel);
  checkSliceBudget(site, areas, settings);
  std::vector<LineString> slices;
  for (Environment& area : areas) appendAreaSlices(area, settings, slices, cancel);

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

  const Rotation back(a);
  back.apply(result.path.getPoints());
  for (LineString& link : result.transitLinks) back.apply(link.getPoints());
  for (LineString& edge : result.exploredEdges) back.apply(edge.getPoints());
  for (LineString& slice : result.slices) back.apply(slice.getPoints());
  return result;
}

}  // namespace Planner
