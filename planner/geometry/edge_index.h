#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "planner/geometry/point.h"

// The edges of a set of rings in an R-tree, so that many point and segment tests on
// one site visit only the edges near the query. Every test applies the same
// per-edge arithmetic as the plain ring tests in predicates.h, and the query boxes
// carry a margin wide enough that no edge which could change a result is left out,
// so the results are identical.
namespace Planner {

struct RingEdge {
  Point p;        // point k of the ring
  Point q;        // point k + 1 (mod n)
  uint32_t ring;  // index of the ring in the index's input
};

class EdgeIndex {
 public:
  EdgeIndex();
  // Rings with fewer than three points contribute no edges: they contain nothing.
  explicit EdgeIndex(const std::vector<std::vector<Point>>& rings);
  EdgeIndex(EdgeIndex&&) noexcept;
  EdgeIndex& operator=(EdgeIndex&&) noexcept;
  ~EdgeIndex();

  std::size_t ringCount() const { return ringCount_; }
  // Every edge, ring by ring.
  const std::vector<RingEdge>& edges() const;

  // Edges whose box meets [x0, x1] x [y0, y1] (widened by the index's own margins).
  void edgesNear(double x0, double y0, double x1, double y1, std::vector<RingEdge>& out) const;

  // Whether any edge's box meets [x0, x1] x [y0, y1] (widened as for edgesNear).
  bool anyEdgeNear(double x0, double y0, double x1, double y1) const;

  // Edges that may meet the segment a->b within the tolerances of the segment tests.
  void edgesAlong(const Point& a, const Point& b, std::vector<RingEdge>& out) const;

  // Whether `hit` holds for some edge that edgesAlong(a, b) would list; stops at the
  // first such edge.
  bool anyEdgeAlong(const Point& a, const Point& b,
                    const std::function<bool(const RingEdge&)>& hit) const;

  // Where q lies against each ring, exactly as pointInRingInclusive/Strict decide it:
  // on its boundary, and else inside by the parity of the ray crossings. Only rings with
  // a box holding q are listed (once each, in no particular order); every other ring
  // has q outside and off its boundary. The cost follows the edges near q's ray to +x
  // within those boxes, not the number of rings.
  struct Place {
    uint32_t ring;
    bool boundary;
    bool inside;
  };
  void locate(const Point& q, std::vector<Place>& out) const;

 private:
  struct Tree;
  std::vector<uint8_t> ringHasEdges_;
  std::size_t ringCount_ = 0;
  std::unique_ptr<Tree> tree_;
};

// Query margin for coordinates of this magnitude and a segment of this length.
double queryMargin(double magnitude, double length);

}  // namespace Planner
