#include "tests/reference/literal_routing.h"

#include "planner/geometry/tolerances.h"
#include "planner/routing/planner_log.h"

namespace Planner::Literal {
namespace {

// Shared scan of both choosers; `clear` decides whether a hop may be taken.
template <typename Clear>
SliceChoice scanSlices(const Point& position, const std::vector<LineString>& slices,
                       const std::vector<bool>& done, Clear&& clear) {
  SliceChoice best;
  for (std::size_t i = 0; i < slices.size(); ++i) {
    const std::vector<Point>& pts = slices[i].getPoints();
    if (done[i] || pts.empty()) continue;
    const auto index = static_cast<int32_t>(i);
    if (pts.size() < 3) {
      const double d1 = distance(position, pts.front());
      if (d1 < best.distance && clear(pts.front())) best = {index, false, d1, 0, false};
      const double d2 = distance(position, pts.back());
      if (d2 < best.distance && clear(pts.back())) best = {index, true, d2, 0, false};
    } else {
      for (std::size_t j = 0; j < pts.size(); ++j) {
        const double d = distance(position, pts[j]);
        if (d < best.distance && clear(pts[j])) best = {index, false, d, j, true};
      }
    }
  }
  return best;
}

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

}  // namespace

SliceChoice chooseVisibleSlice(const Point& position, const std::vector<LineString>& slices,
                               const std::vector<bool>& done, const Environment& environment) {
  const SliceChoice choice = scanSlices(position, slices, done, [&](const Point& entry) {
    return Literal::isSegmentClear(position, entry, environment);
  });
  if (choice.sliceIndex != -1) logDecision(choice.sliceIndex, choice.distance, choice.reverse);
  return choice;
}

SliceChoice chooseNearestSlice(const Point& position, const std::vector<LineString>& slices,
                               const std::vector<bool>& done) {
  return scanSlices(position, slices, done, [](const Point&) { return true; });
}

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

PlanningResult planRoute(const Environment& environment, const std::vector<LineString>& slices,
                         const Point& start) {
  PlanningResult result;
  if (slices.empty()) return result;
  std::vector<bool> done(slices.size(), false);
  Point position = start;
  result.path.addPoint(start);

  for (std::size_t iteration = 0; iteration < slices.size(); ++iteration) {
    logPosition(position);
    const SliceChoice choice = Literal::chooseVisibleSlice(position, slices, done, environment);
    if (choice.sliceIndex != -1) {
      done[choice.sliceIndex] = true;
      Literal::appendSliceToPath(result.path, slices[choice.sliceIndex], choice);
    } else {
      SliceChoice alternative = Literal::chooseNearestSlice(position, slices, done);
      if (alternative.sliceIndex != -1) {
        const auto i = static_cast<std::size_t>(alternative.sliceIndex);
        const std::vector<Point>& pts = slices[i].getPoints();
        const Point goal = alternative.reverse ? pts.back() : pts.front();
        result.transitLinks.emplace_back(std::vector<Point>{position, goal});
        const std::vector<Point> route =
            Literal::findTransitRoute(position, goal, environment, result.exploredEdges);
        if (route.empty()) {
          done[i] = true;
          logSkip(alternative.sliceIndex);
          continue;
        }
        for (std::size_t k = 1; k < route.size(); ++k) result.path.addPoint(route[k]);
        if (alternative.isRing) alternative.startIndex = nearestRingPoint(pts, route.back());
        done[i] = true;
        Literal::appendSliceToPath(result.path, slices[i], alternative);
      }
    }
    position = result.path.getPoints().back();
  }
  return result;
}

}  // namespace Planner::Literal
