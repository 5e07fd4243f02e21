#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/geometry/point.h"
#include "planner/routing/routing_strategies.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"

// A* transit routes over the virtual wire and the corners of the site, used when no
// straight, clear hop to the next slice exists.
namespace Planner {

struct WireNode {
  Point point;
  bool onWire;
  std::uint64_t wireIndex;  // index in the virtual wire; 0 for corners and the goal
};

// Wire points (all, in wire order), then obstacle and perimeter corners not within
// kSamePoint of an earlier node, then the goal.
std::vector<WireNode> buildTransitGraph(const Environment& environment, const Point& goal);

// Points from the search's start to `last`, following the parents.
std::vector<Point> reconstructRoute(const SearchNode& last, const std::vector<SearchNode>& closed);

// Greedy shortcutting: from each anchor, jump to the farthest point reachable by
// consecutive clear segments.
std::vector<Point> smoothRoute(const std::vector<Point>& route, const Clearance& clearance);

// The transit searches of one planning run. The graph without its goal, and the
// clearance between its fixed nodes, do not depend on the goal: they are built or
// computed once and shared by every search.
class TransitRouter {
 public:
  // `clearance` must outlive the router and describe the same environment; `lists`
  // makes the open and closed lists of each search.
  TransitRouter(const Environment& environment, const Clearance& clearance,
                std::function<std::unique_ptr<SearchLists>()> lists);

  // The smoothed route from position to (within kSamePoint of) goal, starting with
  // position; empty when the goal cannot be reached. Neighbours are examined in
  // graph order, the entry with the least g + h is expanded first (the earliest on
  // equal cost), and an open entry is improved only on a strictly smaller g. Every
  // passable link examined is appended to exploredEdges, unless it is null; then the
  // hops to corners that no answer could change (see SearchLists::settledCost) are not
  // asked about, and the route is the same.
  std::vector<Point> findRoute(const Point& position, const Point& goal,
                               std::vector<LineString>* exploredEdges,
                               const Cancellation& cancel = Cancellation());

 private:
  const Clearance& clearance_;
  std::function<std::unique_ptr<SearchLists>()> lists_;
  std::vector<WireNode> fixed_;
  std::size_t wireCount_;  // the wire points come first among the fixed nodes
  // Per fixed node, 1 when no other fixed node lies within kSamePoint; per search, the
  // same over the search's nodes and start (the goal last).
  std::vector<uint8_t> soleFixed_;
  std::vector<uint8_t> sole_;
  // Per expanded fixed node, the clearance to every fixed node: -1 unknown, 0 blocked, 1
  // clear. It only saves asking again, so it stops growing at kKnownBudget entries in all:
  // on a dense border every node may be expanded, and n nodes would take n * n bytes.
  static constexpr std::size_t kKnownBudget = std::size_t{64} << 20;
  std::unordered_map<std::size_t, std::vector<int8_t>> known_;
  std::size_t knownEntries_ = 0;
  // Scratch space of one expansion: per node, what it is to the expansion, and the
  // points of the hops to test.
  enum Status : uint8_t { kSamePlace, kWireStep, kKnownClear, kBlocked, kAsk, kSettled };
  std::vector<uint8_t> status_;
  std::vector<Point> targets_;
  std::vector<uint8_t> batch_;
};

// One search on its own, with the given strategies.
std::vector<Point> findTransitRoute(const Point& position, const Point& goal,
                                    const Environment& environment,
                                    std::vector<LineString>& exploredEdges,
                                    const RoutingStrategies& strategies = indexedStrategies());

}  // namespace Planner
