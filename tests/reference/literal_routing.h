#pragma once

// The route planner's ways of finding things written as the rules read: linear scans
// everywhere. The planner itself (tour, ring entry, transit search, reconstruction and
// smoothing) is the module's; run with these strategies it is the oracle that the
// indexed strategies must match point for point.

#include <vector>

#include "planner/routing/path_planner.h"
#include "planner/routing/routing_strategies.h"
#include "planner/routing/transit_router.h"

namespace Planner::Literal {

const RoutingStrategies& strategies();

// The clearance rules of segment_clearance.h, every ring scanned edge by edge.
bool isSegmentClear(const Point& a, const Point& b, const Environment& environment);

std::vector<Point> findTransitRoute(const Point& position, const Point& goal,
                                    const Environment& environment,
                                    std::vector<LineString>& exploredEdges);

PlanningResult planRoute(const Environment& environment, const std::vector<LineString>& slices,
                         const Point& start);

}  // namespace Planner::Literal
