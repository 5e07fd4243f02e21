#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <queue>
#include <unordered_map>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/geometry/point.h"
#include "planner/routing/hop_candidates.h"
#include "planner/routing/routing_strategies.h"
#include "planner/routing/wire_node.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"

// A* transit routes over the virtual wire and the corners of the site, used when no
// straight, clear hop to the next slice exists.
namespace Planner {

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
  // The waiting hops refer to the router's own lists.
  TransitRouter(const TransitRouter&) = delete;
  TransitRouter& operator=(const TransitRouter&) = delete;

  // The smoothed route from position to (within kSamePoint of) goal, starting with
  // position; empty when the goal cannot be reached. Neighbours are examined in
  // graph order, the entry with the least g + h is expanded first (the earliest on
  // equal cost), and an open entry is improved only on a strictly smaller g. Every
  // passable link examined is appended to exploredEdges, unless it is null; then hops to
  // corners are asked about only when their answer could decide the next expansion, and
  // the nodes closed, their order, costs and parents, and so the route, are the same.
  std::vector<Point> findRoute(const Point& position, const Point& goal,
                               std::vector<LineString>* exploredEdges,
                               const Cancellation& cancel = Cancellation());

 private:
  const Clearance& clearance_;
  std::function<std::unique_ptr<SearchLists>()> lists_;
  std::vector<WireNode> fixed_;
  std::size_t wireCount_;  // the wire points come first among the fixed nodes
  bool canDefer_;          // the lists can peek: searches without links may defer hops
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

  // One search; with a deferLimit, hops to sole corners are asked about only when they may
  // decide the next expansion (see takeDeferred), and the search gives up (nullopt) at
  // that many expansions.
  std::optional<std::vector<Point>> search(const Point& position, const Point& goal,
                                           std::vector<LineString>* exploredEdges,
                                           const Cancellation& cancel, std::size_t deferLimit);
  static constexpr std::size_t kDeferredExpansions = 256;
  static constexpr std::size_t kDeferFrom = 256;  // graph nodes
  bool takeDeferred(SearchLists& lists, HopCandidates& candidates, const Cancellation& cancel,
                    SearchLists::Opened& best);
  // Per search: the nodes asked about at every expansion (graph order, the goal last),
  // and the sole nodes that wait.
  std::vector<uint32_t> eager_;
  std::vector<uint32_t> deferred_;
  // Per waiting node: its estimate, the cost of its cheapest clear hop so far (+infinity
  // before any, -infinity once closed), and that hop's expanded node.
  std::vector<double> estimate_;
  std::vector<double> bound_;
  std::vector<int32_t> parent_;
  // Per node asked about at every expansion: the expansion that opened it.
  std::vector<int32_t> openedAt_;
  // Waiting nodes with a clear hop, by g + estimate.
  struct Front {
    double f;
    double g;
    uint32_t corner;
    bool operator>(const Front& o) const { return f > o.f; }
  };
  std::priority_queue<Front, std::vector<Front>, std::greater<>> front_;
  std::vector<Front> tied_;
  HopCandidates candidates_;
};

// One search on its own, with the given strategies.
std::vector<Point> findTransitRoute(const Point& position, const Point& goal,
                                    const Environment& environment,
                                    std::vector<LineString>& exploredEdges,
                                    const RoutingStrategies& strategies = indexedStrategies());

}  // namespace Planner
