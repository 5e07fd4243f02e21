#include "planner/routing/path_planner.h"
#include "planner/geometry/tolerances.h"

#include "planner/routing/planner_log.h"
#include "planner/routing/transit_router.h"

namespace Planner {
namespace {

std::uint64_t nearestRingPoint(const std::vector<Point>& ring, const Point& p) {
  double best = 1e18;
  std::uint64_t index = 0;
  for (std::size_t j = 0; j < ring.size(); ++j) {
    const double d = distance(ring[j], p);
    if (d < best) {
      best = d;
      index = j;
    }
  }
  return index;
}

SliceChoice logged(const SliceChoice& choice) {
  if (choice.sliceIndex != -1) logDecision(choice.sliceIndex, choice.distance, choice.reverse);
  return choice;
}

}  // namespace

void appendSliceToPath(LineString& path, const LineString& slice, const SliceChoice& choice) {
  const std::vector<Point>& pts = slice.getPoints();
  if (pts.empty()) return;
  if (choice.isRing) {
    const std::size_t m = pts.size();
    const std::size_t s = choice.startIndex;
    const std::vector<Point>& route = path.getPoints();
    const std::size_t c = !route.empty() && distance(pts[s], route.back()) < kSamePoint ? 1 : 0;
    for (std::size_t k = 0; k <= m - c; ++k) path.addPoint(pts[(s + c + k) % m]);
  } else if (choice.reverse) {
    for (auto it = pts.rbegin(); it != pts.rend(); ++it) path.addPoint(*it);
  } else {
    for (const Point& p : pts) path.addPoint(p);
  }
}

PathPlanner::PlanningResult PathPlanner::planRoute(const Environment& environment,
                                                   const std::vector<LineString>& slices,
                                                   const Point& start) {
  return planRoute(environment, slices, start, Cancellation());
}

PathPlanner::PlanningResult PathPlanner::planRoute(const Environment& environment,
                                                   const std::vector<LineString>& slices,
                                                   const Point& start, const Cancellation& cancel,
                                                   const RoutingStrategies& strategies,
                                                   ExploredEdges explored) {
  PlanningResult result;
  if (slices.empty()) return result;
  std::vector<bool> done(slices.size(), false);
  const std::unique_ptr<Clearance> clearance = strategies.clearance(environment);
  TransitRouter router(environment, *clearance, strategies.lists);
  const std::unique_ptr<EntryFinder> entries = strategies.entries(slices, done);
  EntryFinder& chooser = *entries;
  Point position = start;
  // The route holds every slice's points and the transits between them: reserved at
  // once, so that a long route is not copied to fresh memory again and again as it grows.
  std::size_t slicePoints = 1;
  for (const LineString& slice : slices) slicePoints += slice.getPoints().size() + 1;
  result.path.getPoints().reserve(slicePoints + slicePoints / 8);
  result.path.addPoint(start);

  auto finish = [&](std::size_t slice) {
    done[slice] = true;
    chooser.remove(slice);
  };
  for (std::size_t iteration = 0; iteration < slices.size(); ++iteration) {
    cancel.poll();
    logPosition(position);
    const SliceChoice choice = logged(chooser.nearestClear(position, *clearance));
    if (choice.sliceIndex != -1) {
      finish(choice.sliceIndex);
      appendSliceToPath(result.path, slices[choice.sliceIndex], choice);
    } else {
      SliceChoice alternative = chooser.nearest(position);
      if (alternative.sliceIndex != -1) {
        const auto i = static_cast<std::size_t>(alternative.sliceIndex);
        const std::vector<Point>& pts = slices[i].getPoints();
        const Point goal = alternative.reverse ? pts.back() : pts.front();
        result.transitLinks.emplace_back(std::vector<Point>{position, goal});
        const std::vector<Point> route = router.findRoute(
            position, goal, explored == ExploredEdges::record ? &result.exploredEdges : nullptr,
            cancel);
        if (route.empty()) {
          finish(i);
          logSkip(alternative.sliceIndex);
          continue;
        }
        for (std::size_t k = 1; k < route.size(); ++k) result.path.addPoint(route[k]);
        if (alternative.isRing) alternative.startIndex = nearestRingPoint(pts, route.back());
        finish(i);
        appendSliceToPath(result.path, slices[i], alternative);
      }
    }
    position = result.path.getPoints().back();
  }
  return result;
}

}  // namespace Planner
