#include "planner/geometry/predicates.h"
#include "planner/geometry/tolerances.h"

namespace Planner {
namespace {

enum class PointPlace { Outside, Inside, Boundary };

PointPlace locatePoint(const Point& q, const Ring& ring) {
  const std::size_t n = ring.size();
  if (n < 3) return PointPlace::Outside;
  bool inside = false;
  for (std::size_t i = 0; i < n; ++i) {
    const EdgePlace e = placeAgainstEdge(q, ring[i == 0 ? n - 1 : i - 1], ring[i]);
    if (e.onBoundary) return PointPlace::Boundary;
    if (e.flipsParity) inside = !inside;
  }
  return inside ? PointPlace::Inside : PointPlace::Outside;
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
    if (crossesClearOfEnds(a, d, b, ring[i], ring[(i + 1) % n])) return true;
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
    if (properIntersection(a, d, ring[i], ring[(i + 1) % n]).proper) return false;
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
