#pragma once

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "planner/geometry/point.h"
#include "planner/geometry/polygon.h"
#include "planner/geometry/tolerances.h"

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

// The per-edge arithmetic of the tests above, shared with the indexed variants so
// that every variant decides exactly alike.
struct EdgePlace {
  bool onBoundary;   // q within 1e-9 of the edge's line and of its widened box
  bool flipsParity;  // the ray from q towards +x crosses the edge
};
// Edge from w (the previous ring point) to v.
inline EdgePlace placeAgainstEdge(const Point& q, const Point& w, const Point& v) {
  const double cross = (w.x - v.x) * (q.y - v.y) - (q.x - v.x) * (w.y - v.y);
  const bool on = std::fabs(cross) < kOnEdge && std::min(w.x, v.x) - kOnEdge <= q.x &&
                  q.x <= std::max(w.x, v.x) + kOnEdge && std::min(w.y, v.y) - kOnEdge <= q.y &&
                  q.y <= std::max(w.y, v.y) + kOnEdge;
  const bool flips =
      (v.y > q.y) != (w.y > q.y) && q.x < (w.x - v.x) * (q.y - v.y) / (w.y - v.y) + v.x;
  return {on, flips};
}

struct EdgeHit {
  bool proper;  // both parameters strictly inside (1e-9, 0.999999999)
  double u;     // position along the segment
};
// Segment from a with direction d against the edge p->q.
inline EdgeHit properIntersection(const Point& a, const Point& d, const Point& p, const Point& q) {
  const double ex = q.x - p.x;
  const double ey = q.y - p.y;
  const double den = ey * d.x - ex * d.y;
  if (std::fabs(den) < kParallel) return {false, 0.0};
  const double t = ((a.y - p.y) * d.x - (a.x - p.x) * d.y) / den;
  const double u = ((a.y - p.y) * ex - (a.x - p.x) * ey) / den;
  return {kParamSlack < t && t < kParamHigh && kParamSlack < u && u < kParamHigh, u};
}

// a->b (direction d = b - a) properly crosses the edge p->q more than kEndClearance
// from a and from b: the crossing rule of obstacle edges in the clearance test.
inline bool crossesClearOfEnds(const Point& a, const Point& d, const Point& b, const Point& p,
                               const Point& q) {
  const EdgeHit hit = properIntersection(a, d, p, q);
  if (!hit.proper) return false;
  const Point x{a.x + hit.u * d.x, a.y + hit.u * d.y};
  return distance(x, a) > kEndClearance && distance(x, b) > kEndClearance;
}

// Appends where a->b meets the edge p->q (0..1 along a->b): a crossing or touch, or
// the ends of a collinear overlap. The cutting of hops in the clearance test.
inline void addEdgeCuts(const Point& a, const Point& b, const Point& p, const Point& q,
                        std::vector<double>& cuts) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  const double len = std::sqrt(len2);
  const double ex = q.x - p.x;
  const double ey = q.y - p.y;
  const double den = dx * ey - dy * ex;
  const double apx = p.x - a.x;
  const double apy = p.y - a.y;
  const double elen = std::sqrt(ex * ex + ey * ey);
  if (std::fabs(den) > kCutParallel * len * elen) {
    const double u = (apx * ey - apy * ex) / den;
    const double t = (apx * dy - apy * dx) / den;
    if (t >= -kParamSlack && t <= 1.0 + kParamSlack && u >= 0.0 && u <= 1.0) cuts.push_back(u);
    return;
  }
  if (std::fabs(apx * dy - apy * dx) > kOnEdge * len) return;
  for (const Point& end : {p, q}) {
    const double u = ((end.x - a.x) * dx + (end.y - a.y) * dy) / len2;
    if (u >= 0.0 && u <= 1.0) cuts.push_back(u);
  }
}

// The part of a hop a->b that the clearance test looks at: a->b shortened by
// kShortestHop at each end, or nothing for a hop shorter than kShortestHop (always clear).
struct ShortenedHop {
  Point a, b;
  double length;  // of the whole hop
};
inline std::optional<ShortenedHop> shortenHop(const Point& a, const Point& b) {
  const double length = distance(a, b);
  if (length < kShortestHop) return std::nullopt;
  const double ux = (b.x - a.x) / length * kShortestHop;
  const double uy = (b.y - a.y) / length * kShortestHop;
  return ShortenedHop{{a.x + ux, a.y + uy}, {b.x - ux, b.y - uy}, length};
}

// Squared distance from p to the box [x0, x1] x [y0, y1]; zero inside it.
inline double squaredDistanceToBox(const Point& p, double x0, double y0, double x1, double y1) {
  const double dx = std::max({x0 - p.x, 0.0, p.x - x1});
  const double dy = std::max({y0 - p.y, 0.0, p.y - y1});
  return dx * dx + dy * dy;
}

// Squared distance from p to the segment a->b.
inline double squaredDistanceToSegment(const Point& p, const Point& a, const Point& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  const double t =
      len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
  const double ex = p.x - (a.x + t * dx), ey = p.y - (a.y + t * dy);
  return ex * ex + ey * ey;
}

// Distance from p to the segment a->b.
inline double distanceToSegment(const Point& p, const Point& a, const Point& b) {
  return std::sqrt(squaredDistanceToSegment(p, a, b));
}

inline bool pointInRingInclusive(const Point& q, const Polygon& ring) {
  return pointInRingInclusive(q, ring.getPoints());
}
inline bool pointInRingStrict(const Point& q, const Polygon& ring) {
  return pointInRingStrict(q, ring.getPoints());
}

}  // namespace Planner
