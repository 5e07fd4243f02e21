#pragma once

#include <cstdint>
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

  // Edges whose box meets [x0, x1] x [y0, y1] (widened by the index's own margins).
  void edgesNear(double x0, double y0, double x1, double y1, std::vector<RingEdge>& out) const;

  // Edges that may meet the segment a->b within the tolerances of the segment tests.
  void edgesAlong(const Point& a, const Point& b, std::vector<RingEdge>& out) const;

  // For each ring (by index) whether q lies on its boundary, and else the parity of
  // the ray crossings, exactly as pointInRingInclusive/Strict decide them.
  // `boundary` and `inside` are resized to ringCount().
  void locate(const Point& q, std::vector<uint8_t>& boundary, std::vector<uint8_t>& inside) const;

 private:
  struct Tree;
  std::vector<uint8_t> ringHasEdges_;
  std::size_t ringCount_ = 0;
  std::unique_ptr<Tree> tree_;
};

// Query margin for coordinates of this magnitude and a segment of this length.
double queryMargin(double magnitude, double length);

}  // namespace Planner
