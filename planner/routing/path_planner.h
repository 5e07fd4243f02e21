#pragma once

#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/routing/routing_strategies.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"
#include "planner/site/planning_result.h"

// Greedy nearest-next tour over the slices. A slice of one or two points is a line
// (driven either way); one of three or more is a ring (entered at any point, driven
// in stored order and closed at its entry point).
namespace Planner {

// Appends the slice's points in driving order. A ring entered where the path
// already stands (within 0.001) skips the repeated entry point.
void appendSliceToPath(LineString& path, const LineString& slice, const SliceChoice& choice);

// Whether the transit searches keep every passable link they examine in the result's
// exploredEdges. A dense border makes millions of them (a recorded 17,000-vertex park:
// 12 million, about a gigabyte), so callers that never read them leave them out; the
// route is the same either way.
enum class ExploredEdges : bool { record, skip };

class PathPlanner {
 public:
  using PlanningResult = Planner::PlanningResult;

  // Orders every slice from `start`: exactly one iteration per slice; unreachable
  // slices are skipped. Fills path, transitLinks and exploredEdges; slices stays
  // empty. An empty slice list gives an empty result, without the start point.
  static PlanningResult planRoute(const Environment& environment,
                                  const std::vector<LineString>& slices, const Point& start);
  // The same, polling `cancel` between tour iterations and transit expansions, with
  // the given ways of finding things (the decisions do not depend on them).
  static PlanningResult planRoute(const Environment& environment,
                                  const std::vector<LineString>& slices, const Point& start,
                                  const Cancellation& cancel,
                                  const RoutingStrategies& strategies = indexedStrategies(),
                                  ExploredEdges explored = ExploredEdges::record);
};

}  // namespace Planner
