#pragma once

#include <cstdint>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/geometry/point.h"
#include "planner/site/environment.h"

// A* transit routes over the virtual wire and the corners of the site, used when no
// straight, clear hop to the next slice exists.
namespace Planner {

struct WireNode {
  Point point;
  bool onWire;
  std::uint64_t wireIndex;  // index in the virtual wire; 0 for corners and the goal
};

struct SearchNode {
  Point point;
  double g;        // cost of the best known way from the search's start
  double h;        // straight distance to the goal, times 0.65 for wire points
  int32_t parent;  // index in the closed list; -1 for the start entry
  bool onWire;
  std::uint64_t wireIndex;
};

// Wire points (all, in wire order), then obstacle and perimeter corners not within
// 0.001 of an earlier node, then the goal.
std::vector<WireNode> buildTransitGraph(const Environment& environment, const Point& goal);

// Index of the first entry with the least g + h.
std::size_t selectOpenNode(const std::vector<SearchNode>& open);

// Offers `neighbour` to the open list at the cost through `current` (closed index
// `parentIndex`); an open entry within 0.001 is improved only on a strictly smaller g.
void relaxNeighbour(const SearchNode& current, const WireNode& neighbour, double multiplier,
                    const Point& goal, int32_t parentIndex, std::vector<SearchNode>& open,
                    const std::vector<SearchNode>& closed);

// Points from the search's start to `last`, following the parents.
std::vector<Point> reconstructRoute(const SearchNode& last, const std::vector<SearchNode>& closed);

// Greedy shortcutting: from each anchor, jump to the farthest point reachable by
// consecutive clear segments.
std::vector<Point> smoothRoute(const std::vector<Point>& route, const Environment& environment);

// The smoothed route from position to (within 0.001 of) goal, starting with
// position; empty when the goal cannot be reached. Every passable link examined is
// appended to exploredEdges.
std::vector<Point> findTransitRoute(const Point& position, const Point& goal,
                                    const Environment& environment,
                                    std::vector<LineString>& exploredEdges);

}  // namespace Planner
