#pragma once

#include <memory>
#include <vector>

#include "planner/geometry/edge_index.h"
#include "planner/geometry/point.h"
#include "planner/routing/routing_strategies.h"
#include "planner/routing/visibility_fan.h"
#include "planner/site/environment.h"

namespace Planner {

// May the robot drive straight from a to b? Segments shorter than 0.01 always may.
// Otherwise the segment, shortened by 0.01 at each end, must lie inside the
// perimeter, cross no obstacle edge, and its midpoint must not lie strictly inside
// an obstacle. Beyond that, the shortened segment is cut wherever it meets a
// perimeter or obstacle edge, and no piece may run strictly inside an obstacle or
// outside the perimeter; so a hop through an obstacle from vertex to vertex is
// blocked, while one along an edge or touching a vertex from outside stays clear.
bool isSegmentClear(const Point& a, const Point& b, const Environment& environment);

// The same test for many segments on one site: the perimeter and obstacle edges
// are indexed once, and each test visits only the edges near the segment.
class SegmentClearance : public Clearance {
 public:
  explicit SegmentClearance(const Environment& environment);

  bool isClear(const Point& a, const Point& b) const override;

  // True when no hop of length 0.01 or more from p can be clear: p lies outside the
  // perimeter, or strictly inside an obstacle, and more than 0.01 away from the edges
  // of that ring set, so every shortened hop starts outside or within an obstacle.
  bool blocksEveryHopFrom(const Point& p) const override;

  // Sorts the site's edges around `from` once, then settles most hops from the edge that
  // crosses them or from the region they lie in; the rest get the full test.
  void isClearFromEach(const Point& from, const std::vector<Point>& to,
                       std::vector<uint8_t>& clear) const override;

 private:
  bool insidePerimeter(const Point& a, const Point& b) const;
  bool inclusiveInPerimeter(const Point& q) const;
  bool strictlyInObstacle(const Point& q) const;
  bool piecesStayClear(const Point& a, const Point& b) const;

  bool perimeterValid_;
  EdgeIndex perimeter_;
  EdgeIndex obstacles_;
  std::vector<RingEdge> allEdges_;
  mutable std::unique_ptr<VisibilityFan> fan_;  // made on first use
  mutable std::vector<int8_t> arcPlace_;
  // Scratch space of the queries.
  mutable std::vector<RingEdge> near_;
  mutable std::vector<EdgeIndex::Place> places_;
  mutable std::vector<double> cuts_;
};

}  // namespace Planner
