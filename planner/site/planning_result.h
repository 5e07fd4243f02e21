#pragma once

#include <vector>

#include "planner/geometry/line_string.h"

namespace Planner {

// What one planning request returns, all in the caller's frame. Published to users
// as PathPlanner::PlanningResult.
struct PlanningResult {
  LineString path;                        // start point, then transits and slices in driving order
  std::vector<LineString> slices;         // every slice, in production order
  std::vector<LineString> transitLinks;   // [position, entry] per slice that needed a search
  std::vector<LineString> exploredEdges;  // passable links examined by the transit searches
};

}  // namespace Planner
