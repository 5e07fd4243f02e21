#include "planner/geometry/predicates.h"

#include <algorithm>
#include <cmath>

namespace Planner {
namespace {

constexpr double kOnEdge = 1e-9;
constexpr double kParallel = 1e-10;
constexpr double kUpperParam = 0.999999999;
constexpr double kEndClearance = 0.001;

enum class PointPlace { Outside, Inside, Boundary };

PointPlace locatePoint(const Point& q, const Ring& ring) {
  const std::size_t n = ring.size();
  if (n < 3) return PointPlace::Outside;
  bool inside = false;
  for (std::size_t i = 0; i < n; ++i) {
    const Point& v = ring[i];
    const Point& w = ring[i == 0 ? n - 1 : i - 1];
    const double cross = (w.x - v.x) * (q.y - v.y) - (q.x - v.x) * (w.y - v.y);
    if (std::fabs(cross) < kOnEdge && std::min(w.x, v.x) - kOnEdge <= q.x &&
        q.x <= std::max(w.x, v.x) + kOnEdge && std::min(w.y, v.y) - kOnEdge <= q.y &&
        q.y <= std::max(w.y, v.y) + kOnEdge) {
      return PointPlace::Boundary;
    }
    if ((v.y > q.y) != (w.y > q.y) && q.x < (w.x - v.x) * (q.y - v.y) / (w.y - v.y) + v.x) {
      inside = !inside;
    }
  }
  return inside ? PointPlace::Inside : PointPlace::Outside;
}

struct EdgeHit {
  bool proper;  // both parameters strictly inside the open interval
  double u;     // position along the segment
};

EdgeHit intersectEdge(const Point& a, const Point& d, const Point& p, const Point& q) {
  const double ex = q.x - p.x;
  const double ey = q.y - p.y;
  const double den = ey * d.x - ex * d.y;
  if (std::fabs(den) < kParallel) return {false, 0.0};
  const double t = ((a.y - p.y) * d.x - (a.x - p.x) * d.y) / den;
  const double u = ((a.y - p.y) * ex - (a.x - p.x) * ey) / den;
  const bool proper = kOnEdge < t && t < kUpperParam && kOnEdge < u && u < kUpperParam;
  return {proper, u};
}

}  // namespace

bool pointInRingInclusive(const Point& q, const Ring& ring) {
  return locatePoint(q, ring) != PointPlace::Outside;
}

bool pointInRingStrict(const Point& q, const Ring& ring) {
  return locatePoint(q, ring) == PointPlace::Inside;
}

bool segmentCrossesRing(const Point& a, const Point& b, const Ring& ring) {
  const std::size_t n = ring.size();
  if (n < 3) return false;
  const Point d{b.x - a.x, b.y - a.y};
  for (std::size_t i = 0; i < n; ++i) {
    const EdgeHit hit = intersectEdge(a, d, ring[i], ring[(i + 1) % n]);
    if (!hit.proper) continue;
    const Point x{a.x + hit.u * d.x, a.y + hit.u * d.y};
    if (distance(x, a) > kEndClearance && distance(x, b) > kEndClearance) return true;
  }
  return false;
}

bool segmentInsideRing(const Point& a, const Point& b, const Ring& ring) {
  const std::size_t n = ring.size();
  if (n < 3) return false;
  const Point mid{(a.x + b.x) * 0.5, (a.y + b.y) * 0.5};
  if (!pointInRingInclusive(a, ring) || !pointInRingInclusive(b, ring) ||
      !pointInRingInclusive(mid, ring)) {
    return false;
  }
  const Point d{b.x - a.x, b.y - a.y};
  for (std::size_t i = 0; i < n; ++i) {
    if (intersectEdge(a, d, ring[i], ring[(i + 1) % n]).proper) return false;
  }
  return true;
}

bool ringCrossesRing(const Ring& a, const Ring& b) {
  const std::size_t n = a.size();
  if (n < 3 || b.size() < 3) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (segmentCrossesRing(a[i], a[(i + 1) % n], b)) return true;
  }
  return false;
}

bool ringInsideRing(const Ring& a, const Ring& b) {
  const std::size_t n = a.size();
  if (n < 3 || b.size() < 3) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!segmentInsideRing(a[i], a[(i + 1) % n], b)) return false;
  }
  return true;
}

}  // namespace Planner
