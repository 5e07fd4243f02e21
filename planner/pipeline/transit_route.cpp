#include "planner/pipeline/transit_route.h"

#include <vector>

#include "planner/pipeline/input_checks.h"
#include "planner/pipeline/obstacle_clipping.h"
#include "planner/pipeline/obstacle_merging.h"
#include "planner/routing/routing_strategies.h"
#include "planner/routing/transit_router.h"

namespace Planner {

LineString transitRoute(const Environment& site, const Point& start, const Point& goal,
                        const Cancellation& cancel) {
  checkRequest(site, PathSettings(), start);
  checkRequest(site, PathSettings(), goal);
  Environment working = site;
  mergeTouchingObstacles(working, cancel);
  if (clipObstaclesToPerimeter(working, cancel)) return {};
  const RoutingStrategies& strategies = indexedStrategies();
  const auto clearance = strategies.clearance(working);
  TransitRouter router(working, *clearance, strategies.lists);
  return LineString(router.findRoute(start, goal, nullptr, cancel));
}

}  // namespace Planner
