#pragma once

#include <vector>

#include "planner/geometry/point.h"
#include "planner/geometry/polygon.h"

// Tolerance-based ring and segment tests. A ring is a point sequence read as closed;
// every test needs at least three points in each ring and is false otherwise. A
// repeated closing point is tolerated everywhere.
namespace Planner {

using Ring = std::vector<Point>;

// Inside or on the boundary. "On" means within 1e-9 of an edge's line (absolute
// cross product) and inside the edge's bounding box widened by 1e-9.
bool pointInRingInclusive(const Point& q, const Ring& ring);

// Inside and not on the boundary (same boundary rule as above).
bool pointInRingStrict(const Point& q, const Ring& ring);

// True when a->b properly crosses some edge: both parameters strictly inside
// (1e-9, 0.999999999) and the crossing more than 0.001 from a and from b.
// Touching a vertex and running along an edge do not count.
bool segmentCrossesRing(const Point& a, const Point& b, const Ring& ring);

// a, b and their midpoint are inside or on the ring and the segment properly
// crosses no edge (no end clearance here).
bool segmentInsideRing(const Point& a, const Point& b, const Ring& ring);

// Some edge of A (closing edge included) crosses ring B.
bool ringCrossesRing(const Ring& a, const Ring& b);

// Every edge of A (closing edge included) lies inside ring B.
bool ringInsideRing(const Ring& a, const Ring& b);

inline bool pointInRingInclusive(const Point& q, const Polygon& ring) {
  return pointInRingInclusive(q, ring.getPoints());
}
inline bool pointInRingStrict(const Point& q, const Polygon& ring) {
  return pointInRingStrict(q, ring.getPoints());
}

}  // namespace Planner
