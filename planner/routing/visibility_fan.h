#pragma once

#include <cmath>
#include <cstdint>
#include <utility>
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
  bool holds(const Point& p) const { return std::fabs(p.x) <= reach_ && std::fabs(p.y) <= reach_; }

  // Sorts the edges around a new centre.
  void build(const Point& centre);

  // How the hop from the centre to `to`, shortened as the clearance test does, meets
  // the edges; hops shorter than 4 kShortestHop are unsure. Asked first: the nearest
  // edge spanning the hop's bin (the bin's wall), then the edge that blocked the previous
  // hop and its neighbours in the edge list (hops in graph order mostly run to
  // neighbouring corners, behind it). Edges wholly behind a bin's wall are not binned
  // there, so a hop reaching past the wall is blocked or unsure, never far. A far hop's
  // shortened start is left in `start`.
  Hop classify(const Point& to, Point& start);

  // Hops whose shortened part is far from every edge and starts in the same arc of the
  // circle of radius kShortestHop around the centre start in the same region.
  std::size_t arcOf(const Point& hopStart) const;
  std::size_t arcCount() const { return arcs_.empty() ? 1 : arcs_.size(); }

 private:
  struct Entry {
    uint32_t edge;
    float nearest;  // squared distance from the centre to the edge, or less
  };
  struct Span {
    uint32_t edge;
    int16_t first, last;          // the bins of its directions, with its margin
    int16_t spanFirst, spanLast;  // the bins of its ends
    float nearest;
  };
  // A run of consecutive edges: their box, widest angular margin, and the radius within
  // which one of them may cut the circle of hop starts (squared); binnable when no edge
  // of it is asked about every hop.
  struct Chunk {
    uint32_t first;
    double x0, y0, x1, y1;
    double angularMargin;
    double nearRadius;
    bool binnable;
  };
  // Whether every bin the run's box may reach has a wall nearer than the box.
  bool hiddenBehindWalls(const Chunk& chunk, double distance) const;
  void addArcs(const RingEdge& e);
  bool wallStandsBetween(uint32_t wall, const Point& to) const;

  const std::vector<RingEdge>& edges_;
  double reach_ = 0;
  // Per edge: the distance beyond which every ring test places a point as its true
  // position says, and the angle that distance spans at kShortestHop from the centre.
  std::vector<double> margin_;
  std::vector<double> angularMargin_;
  std::vector<double> length_;
  // Per edge, whether it ends where the next edge starts.
  std::vector<uint8_t> endsAtNext_;
  std::vector<Chunk> chunks_;
  Point centre_{0, 0};
  // Bins of entries, CSR with room to spare: first the edges spanning the bin (what
  // blocks most hops) in [binStart_, fill_), then the others in [binSplit_, partialFill_).
  std::vector<uint32_t> binStart_;
  std::vector<uint32_t> binSplit_;
  std::vector<uint32_t> fill_, partialFill_;
  std::vector<Entry> binned_;
  // Per bin, the spanning edge whose far end is nearest the centre, and the squared
  // distance of that end: every longer hop in the bin most likely crosses it. A wall is
  // read only where its distance is finite, so only the distances are reset per centre.
  std::vector<uint32_t> wall_;
  std::vector<double> wallFar_;
  // Edges too close to the centre to bin: those ending at the centre (with a margin far
  // below the angle of a bin at kShortestHop), with the bin of their other end, asked
  // about hops in or next to that bin; the others asked about every hop.
  struct Touching {
    uint32_t edge;
    uint32_t bin;
  };
  std::vector<uint32_t> close_;
  std::vector<Touching> touching_;
  std::vector<double> arcs_;           // angles where edges cross the circle, sorted
  uint32_t lastBlocker_ = UINT32_MAX;  // edge that blocked the last blocked hop
  // Scratch space of build().
  std::vector<Span> spans_;
  std::vector<double> chunkDistance_;  // squared, from the centre to the run's box
  std::vector<uint64_t> chunkOrder_;
  std::vector<uint32_t> candidates_;  // of classify()
};

}  // namespace Planner
