#pragma once

#include <cstdint>
#include <vector>

#include "planner/geometry/edge_index.h"
#include "planner/geometry/point.h"
#include "planner/geometry/predicates.h"

// The edges of a site as seen from one centre, sorted into angular bins, so that the
// hops from that centre to many targets are told apart without a clearance test each:
// a hop is blocked when some edge properly crosses its shortened part, with the exact
// arithmetic of the clearance test; it is far from edges when every edge stays more
// than a margin away from its shortened part, so that every point of it, and of every
// piece the test would cut it into, lies in the same region of the site. Anything else
// is left to the full test.
namespace Planner {

class VisibilityFan {
 public:
  enum class Hop { kBlocked, kFarFromEdges, kUnsure };

  // `edges` must outlive the fan.
  explicit VisibilityFan(const std::vector<RingEdge>& edges);

  // Whether the fan may be asked about this centre or target: points far beyond the
  // site round too coarsely for its margins.
  bool holds(const Point& p) const;

  // Sorts the edges around a new centre.
  void build(const Point& centre);

  // How the hop from the centre to `to`, shortened to `hop`, meets the edges. Asked
  // first: the nearest edge spanning the hop's bin, then the edge that blocked the
  // previous hop (hops in graph order mostly run to neighbouring corners, behind it).
  Hop classify(const Point& to, const ShortenedHop& hop);

  // Hops whose shortened part is far from every edge and starts in the same arc of the
  // circle of radius kShortestHop around the centre start in the same region.
  std::size_t arcOf(const Point& hopStart) const;
  std::size_t arcCount() const { return arcs_.empty() ? 1 : arcs_.size(); }

 private:
  struct Entry {
    uint32_t edge;
    double nearest;  // squared distance from the centre to the edge, or less
  };
  struct Pending {
    uint32_t bin;
    uint32_t spans;  // the edge crosses every direction of the bin
    Entry entry;
  };
  std::size_t binOf(double angle) const;

  const std::vector<RingEdge>& edges_;
  double reach_ = 0;
  // Per edge: the distance beyond which every ring test places a point as its true
  // position says, and the angle that distance spans at kShortestHop from the centre.
  std::vector<double> margin_;
  std::vector<double> angularMargin_;
  Point centre_{0, 0};
  // Bins of entries, CSR: first the edges spanning the bin (what blocks most hops), then
  // the others.
  std::vector<uint32_t> binStart_;
  std::vector<uint32_t> binSplit_;  // where each bin's second part starts
  std::vector<Entry> binned_;
  // Per bin, the spanning edge whose far end is nearest the centre, and the squared
  // distance of that end: every longer hop in the bin most likely crosses it.
  std::vector<uint32_t> wall_;
  std::vector<double> wallFar_;
  std::vector<uint32_t> close_;        // edges too close to the centre to bin: asked every time
  std::vector<double> arcs_;           // angles where edges cross the circle, sorted
  uint32_t lastBlocker_ = UINT32_MAX;  // edge that blocked the last blocked hop
  // Scratch space of build().
  std::vector<Pending> pending_;
  std::vector<uint32_t> fill_, partialFill_;
};

}  // namespace Planner
