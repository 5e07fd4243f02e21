#pragma once

#include <cstdint>
#include <queue>
#include <utility>
#include <vector>

#include "planner/geometry/point.h"
#include "planner/routing/routing_strategies.h"
#include "planner/routing/wire_node.h"

// The hops of a transit search not yet asked about: from each expanded node to every
// node it could open or improve, handed out cheapest first. A search that asks about
// hops only in this order asks about the few that can reach the front before the goal,
// not about every hop of every expansion.
namespace Planner {

class HopCandidates {
 public:
  struct Hop {
    double f;      // g + the target's estimate
    double g;      // cost at the target through this hop
    int32_t from;  // the expanded node's index in the closed list
    uint32_t to;   // the target's graph index
  };

  // The nodes hops may run to (graph indices), and per graph index the node, its estimate
  // and the cost at or above which a hop to it changes nothing (-infinity once closed).
  // All must outlive this object; `bound` may fall while hops are waiting.
  // `firstSlice`: how many hops of an expansion are sorted at first (see Expansion).
  HopCandidates(const std::vector<uint32_t>& targets, const std::vector<WireNode>& nodes,
                const std::vector<double>& estimate, const std::vector<double>& bound,
                std::size_t firstSlice = 512);

  // Starts a search, with the targets and estimates as they are now; no hops wait.
  void restart();

  // The hops from an expanded node; every closed node is added, in closing order.
  void addExpansion(int32_t from, const SearchNode& node);

  bool empty() const { return heads_.empty(); }
  // The least hop by (f, g, from, to); it may have become useless since it was added.
  const Hop& top() const { return heads_.top(); }
  void pop();
  // Whether the top hop, still useful, is clear. An expansion's first kAskedAlone hops are
  // asked about one at a time; after that the rest of its slice still useful is asked about
  // in one batch, whose sorting of every edge around the expansion costs about as much as a
  // few hundred single hops on a large site.
  bool topIsClear(const Clearance& clearance);

 private:
  static constexpr uint32_t kAskedAlone = 384;
  // One expansion's hops, made a slice at a time: the least `slice` of those after the last
  // slice in (f, g, to) order, sorted, with their clearance once known (-1 before). Each
  // slice is four times the last: an expansion whose hops keep reaching the front is
  // looked at a few times at most.
  struct Expansion {
    SearchNode node{{0, 0}, 0, 0, -1, false, 0};
    int32_t from = 0;
    std::vector<Hop> hops;
    std::vector<int8_t> clear;
    std::size_t next = 0;
    std::size_t slice = 0;
    bool last = false;  // the slice held every hop left
    uint32_t asked = 0;
  };
  void refill(Expansion& e);
  void pushHead(std::size_t expansion);

  struct Later {
    bool operator()(const Hop& a, const Hop& b) const;
  };
  const std::vector<uint32_t>& targets_;
  const std::vector<WireNode>& nodes_;
  const std::vector<double>& estimate_;
  const std::vector<double>& bound_;
  std::size_t firstSlice_;
  std::vector<Expansion> expansions_;  // the first expansionCount_ are this search's
  std::size_t expansionCount_ = 0;
  std::priority_queue<Hop, std::vector<Hop>, Later> heads_;
  // The targets on the wire (a hop to a neighbour there costs less than its length), and
  // the others in the cells of a grid: a refill looks at the cells in the order of the
  // least cost a hop into them could have, and stops once its slice is settled.
  std::vector<uint32_t> wireTargets_;
  struct Cell {
    double x0, y0, x1, y1;  // the box of its targets
    double leastEstimate;
    uint32_t first, last;  // its targets in cellTargets_
  };
  std::vector<Cell> cells_;
  std::vector<uint32_t> cellTargets_;
  // Scratch space of restart(), refill() and topIsClear().
  std::vector<uint32_t> off_, cellStart_, cellFill_;
  std::vector<Hop> collected_;
  std::vector<double> least_;
  std::vector<std::pair<double, uint32_t>> order_;
  std::vector<Point> points_;
  std::vector<std::size_t> asking_;
  std::vector<uint8_t> answers_;
};

}  // namespace Planner
