#pragma once

// The route planner transcribed step by step, with linear scans everywhere. Kept as
// the oracle that the indexed planner of the module must match point for point.

#include <vector>

#include "planner/routing/path_planner.h"
#include "planner/routing/transit_router.h"

namespace Planner::Literal {

bool isSegmentClear(const Point& a, const Point& b, const Environment& environment);

std::vector<WireNode> buildTransitGraph(const Environment& environment, const Point& goal);
std::size_t selectOpenNode(const std::vector<SearchNode>& open);
void relaxNeighbour(const SearchNode& current, const WireNode& neighbour, double multiplier,
                    const Point& goal, int32_t parentIndex, std::vector<SearchNode>& open,
                    const std::vector<SearchNode>& closed);
std::vector<Point> reconstructRoute(const SearchNode& last, const std::vector<SearchNode>& closed);
std::vector<Point> smoothRoute(const std::vector<Point>& route, const Environment& environment);
std::vector<Point> findTransitRoute(const Point& position, const Point& goal,
                                    const Environment& environment,
                                    std::vector<LineString>& exploredEdges);

SliceChoice chooseVisibleSlice(const Point& position, const std::vector<LineString>& slices,
                               const std::vector<bool>& done, const Environment& environment);
SliceChoice chooseNearestSlice(const Point& position, const std::vector<LineString>& slices,
                               const std::vector<bool>& done);
void appendSliceToPath(LineString& path, const LineString& slice, const SliceChoice& choice);

PlanningResult planRoute(const Environment& environment, const std::vector<LineString>& slices,
                         const Point& start);

}  // namespace Planner::Literal
