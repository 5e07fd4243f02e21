#include "bench/stages.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "planner/coverage/line_slicer.h"
#include "planner/coverage/offset_rings.h"
#include "planner/geometry/tolerances.h"
#include "planner/pipeline/obstacle_clipping.h"
#include "planner/pipeline/obstacle_merging.h"
#include "planner/pipeline/path_service.h"

namespace Planner::Bench {
namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

class CountingClearance : public Clearance {
 public:
  CountingClearance(std::unique_ptr<Clearance> inner, StageTimes& times)
      : inner_(std::move(inner)), times_(times) {}
  bool isClear(const Point& a, const Point& b) const override {
    ++times_.singleTests;
    return inner_->isClear(a, b);
  }
  bool blocksEveryHopFrom(const Point& p) const override { return inner_->blocksEveryHopFrom(p); }
  void isClearFromEach(const Point& from, const std::vector<Point>& to,
                       std::vector<uint8_t>& clear) const override {
    times_.batchedHops += to.size();
    inner_->isClearFromEach(from, to, clear);
  }

 private:
  std::unique_ptr<Clearance> inner_;
  StageTimes& times_;
};

class TimedEntries : public EntryFinder {
 public:
  TimedEntries(std::unique_ptr<EntryFinder> inner, StageTimes& times)
      : inner_(std::move(inner)), times_(times) {}
  SliceChoice nearestClear(const Point& position, const Clearance& clearance) const override {
    const auto t0 = Clock::now();
    const SliceChoice choice = inner_->nearestClear(position, clearance);
    times_.chooser += since(t0);
    return choice;
  }
  SliceChoice nearest(const Point& position) const override {
    const auto t0 = Clock::now();
    const SliceChoice choice = inner_->nearest(position);
    times_.chooser += since(t0);
    return choice;
  }
  void remove(std::size_t slice) override {
    const auto t0 = Clock::now();
    inner_->remove(slice);
    times_.chooser += since(t0);
  }

 private:
  std::unique_ptr<EntryFinder> inner_;
  StageTimes& times_;
};

}  // namespace

StageTimes measureStages(const Site& site) {
  StageTimes times;
  const PathSettings& s = site.settings;
  Environment turned = site.environment;

  auto t0 = Clock::now();
  mergeTouchingObstacles(turned, Cancellation());
  turned.rotate(-s.angle);
  clipObstaclesToPerimeter(turned, Cancellation());
  std::vector<Environment> areas;
  if (s.distanceToBorder > 0) {
    const std::vector<Polygon> rings =
        computeOffsetRings(turned, s.distanceToBorder, 1, s.distanceToBorder);
    for (const Polygon& outer : selectRingsByOrientation(rings, false)) {
      Environment area(outer);
      for (const Polygon& hole : selectRingsByOrientation(rings, true)) area.addObstacle(hole);
      areas.push_back(std::move(area));
    }
  } else {
    areas.push_back(turned);
  }
  times.inset = since(t0);

  t0 = Clock::now();
  for (const Environment& area : areas) generateLineSlices(area, s.offset);
  times.slicing = since(t0);

  t0 = Clock::now();
  const auto laps = static_cast<int32_t>(std::max(s.borderLaps, s.exclusionsBorderLaps));
  computeOffsetLaps(turned, s.offset, laps, kFirstLapDistance);
  times.laps = since(t0);

  const RoutingStrategies& indexed = indexedStrategies();
  RoutingStrategies timed = indexed;
  timed.clearance = [&](const Environment& env) -> std::unique_ptr<Clearance> {
    return std::make_unique<CountingClearance>(indexed.clearance(env), times);
  };
  timed.entries = [&](const std::vector<LineString>& all,
                      const std::vector<bool>& done) -> std::unique_ptr<EntryFinder> {
    return std::make_unique<TimedEntries>(indexed.entries(all, done), times);
  };
  // The route of the real pipeline, on its own slices.
  const RoutePlanner planner = [&](const Environment& env, const std::vector<LineString>& slices,
                                   const Point& start) {
    const auto r0 = Clock::now();
    PlanningResult result =
        PathPlanner::planRoute(env, slices, start, Cancellation(), timed, ExploredEdges::skip);
    times.transit = since(r0) - times.chooser;
    return result;
  };
  computeFullTaskWith(site.environment, s, site.start, planner);
  return times;
}

}  // namespace Planner::Bench
