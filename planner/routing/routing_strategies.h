#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/geometry/point.h"
#include "planner/site/environment.h"

// What may differ between two route planners that decide exactly alike: how they find
// things, never what they decide. The tour loop, ring entry, the transit search with
// its route reconstruction and smoothing exist once (path_planner, transit_router) and
// ask these strategies. The module's planner uses indexed ones (indexedStrategies());
// the reference planner of the tests uses linear scans written as the rules read.
namespace Planner {

struct SliceChoice {
  int32_t sliceIndex = -1;       // -1: no candidate
  bool reverse = false;          // a line entered at its last point
  double distance = 1e10;        // straight distance to the entry point
  std::uint64_t startIndex = 0;  // entry point of a ring
  bool isRing = false;
};

// May the robot drive straight from a to b? The rules are in segment_clearance.h.
class Clearance {
 public:
  virtual ~Clearance() = default;
  virtual bool isClear(const Point& a, const Point& b) const = 0;
  // True only when no hop of kShortestHop or more from p can be clear; false is
  // always a safe answer (the chooser then tests every candidate).
  virtual bool blocksEveryHopFrom(const Point&) const { return false; }
  // isClear(from, to[i]) for every i, into clear[i]: many hops from one point at once.
  virtual void isClearFromEach(const Point& from, const std::vector<Point>& to,
                               std::vector<uint8_t>& clear) const {
    clear.resize(to.size());
    for (std::size_t i = 0; i < to.size(); ++i) clear[i] = isClear(from, to[i]) ? 1 : 0;
  }
};

// The entry points of the slices still to drive. The nearest entry wins; on equal
// distance the one first in scan order (slice index, then a line's first point before
// its last, then a ring's point index).
class EntryFinder {
 public:
  virtual ~EntryFinder() = default;
  // The nearest entry whose straight hop from `position` is clear; no log line.
  virtual SliceChoice nearestClear(const Point& position, const Clearance& clearance) const = 0;
  // The nearest entry regardless of clearance.
  virtual SliceChoice nearest(const Point& position) const = 0;
  // Takes a driven or skipped slice out.
  virtual void remove(std::size_t slice) = 0;
};

struct SearchNode {
  Point point;
  double g;        // cost of the best known way from the search's start
  double h;        // straight distance to the goal, times kWireEstimateWeight for wire points
  int32_t parent;  // index in the closed list; -1 for the start entry
  bool onWire;
  std::uint64_t wireIndex;
};

// The open and closed lists of one transit search.
class SearchLists {
 public:
  struct Opened {
    SearchNode node;
    int64_t graphIndex;  // the node's place in the transit graph; -1 for the start
  };
  virtual ~SearchLists() = default;
  // Appends an open entry; entries keep the order in which they were opened.
  virtual void open(const Opened& entry) = 0;
  virtual bool anyOpen() const = 0;
  // Removes and returns the open entry of least g + h, the earliest on equal cost.
  virtual Opened takeBest() = 0;
  // Whether peekBest() answers; searches on lists that cannot peek ask about every hop
  // as they go.
  virtual bool canPeek() const { return false; }
  // The entry takeBest() would return, left open; null when none is open.
  virtual const Opened* peekBest() const { return nullptr; }
  // `sole` below is p's graph index when p is that graph node and no other node of the
  // search (graph node or start) lies within kSamePoint of it, so that only its own
  // entries can be near p; -1 otherwise. Lists may answer by it, with the answer by p.
  //
  // The earliest open entry within kSamePoint of p: improves it when g is strictly
  // smaller and returns true; false when there is none.
  virtual bool improveNear(const Point& p, double g, double h, int32_t parent,
                           int64_t sole = -1) = 0;
  // Adds a node, taken from the open list with this graph index, to the closed list and
  // returns its index there.
  virtual int32_t close(const SearchNode& node, int64_t graphIndex = -1) = 0;
  virtual bool closedNear(const Point& p, int64_t sole = -1) const = 0;
  // For a `sole` graph node (see above): -infinity when it is closed, the cost of its open
  // entry when it has one, +infinity otherwise (also when the lists cannot tell). A hop
  // reaching it at a cost at or above this changes nothing, passable or not.
  virtual double settledCost(int64_t /*sole*/) const {
    return std::numeric_limits<double>::infinity();
  }
  virtual const std::vector<SearchNode>& closed() const = 0;
};

// Makers of the strategies of one planning run.
struct RoutingStrategies {
  std::function<std::unique_ptr<Clearance>(const Environment&)> clearance;
  // `slices` outlives the finder; slices marked in `done` are left out.
  std::function<std::unique_ptr<EntryFinder>(const std::vector<LineString>& slices,
                                             const std::vector<bool>& done)>
      entries;
  std::function<std::unique_ptr<SearchLists>()> lists;
};

// R-trees of edges, a grid of entry points, a heap and grids of kSamePoint cells.
const RoutingStrategies& indexedStrategies();

}  // namespace Planner
