#pragma once

#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/routing/slice_chooser.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"
#include "planner/site/planning_result.h"

// Greedy nearest-next tour over the slices. A slice of one or two points is a line
// (driven either way); one of three or more is a ring (entered at any point, driven
// in stored order and closed at its entry point).
namespace Planner {

// The nearest entry (strictly nearer wins, so earlier candidates keep ties) whose
// straight hop from `position` is clear. Logs the decision when one is found.
SliceChoice chooseVisibleSlice(const Point& position, const std::vector<LineString>& slices,
                               const std::vector<bool>& done, const Environment& environment);

// The same choice by straight distance alone.
SliceChoice chooseNearestSlice(const Point& position, const std::vector<LineString>& slices,
                               const std::vector<bool>& done);

// Appends the slice's points in driving order. A ring entered where the path
// already stands (within 0.001) skips the repeated entry point.
void appendSliceToPath(LineString& path, const LineString& slice, const SliceChoice& choice);

class PathPlanner {
 public:
  using PlanningResult = Planner::PlanningResult;

  // Orders every slice from `start`: exactly one iteration per slice; unreachable
  // slices are skipped. Fills path, transitLinks and exploredEdges; slices stays
  // empty. An empty slice list gives an empty result, without the start point.
  static PlanningResult planRoute(const Environment& environment,
                                  const std::vector<LineString>& slices, const Point& start);
  // The same, polling `cancel` between tour iterations and transit expansions.
  static PlanningResult planRoute(const Environment& environment,
                                  const std::vector<LineString>& slices, const Point& start,
                                  const Cancellation& cancel);
};

}  // namespace Planner
