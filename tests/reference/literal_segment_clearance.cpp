#include "tests/reference/literal_routing.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "planner/geometry/predicates.h"
#include "planner/geometry/tolerances.h"

namespace Planner::Literal {
namespace {

// Appends the positions along a->b (0..1) where it meets the ring's edges: proper
// crossings, touches at vertices or edge ends, and the ends of collinear overlaps.
void collectCuts(const Point& a, const Point& b, const std::vector<Point>& ring,
                 std::vector<double>& cuts) {
  const std::size_t n = ring.size();
  if (n < 3) return;  // contains nothing, so cuts nothing
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  const double len = std::sqrt(len2);
  for (std::size_t i = 0; i < n; ++i) {
    const Point& p = ring[i];
    const Point& q = ring[(i + 1) % n];
    const double ex = q.x - p.x;
    const double ey = q.y - p.y;
    const double den = dx * ey - dy * ex;
    const double apx = p.x - a.x;
    const double apy = p.y - a.y;
    const double elen = std::sqrt(ex * ex + ey * ey);
    if (std::fabs(den) > kCutParallel * len * elen) {
      const double u = (apx * ey - apy * ex) / den;  // along a->b
      const double t = (apx * dy - apy * dx) / den;  // along the edge
      if (t >= -kParamSlack && t <= 1.0 + kParamSlack && u >= 0.0 && u <= 1.0) {
        cuts.push_back(u);
      }
      continue;
    }
    // Parallel: only a collinear edge contributes, through its end points.
    if (std::fabs(apx * dy - apy * dx) > 1e-9 * len) continue;
    for (const Point& end : {p, q}) {
      const double u = ((end.x - a.x) * dx + (end.y - a.y) * dy) / len2;
      if (u >= 0.0 && u <= 1.0) cuts.push_back(u);
    }
  }
}

bool piecesStayClear(const Point& a, const Point& b, const Environment& environment) {
  const std::vector<Point>& perimeter = environment.getPerimeter().getPoints();
  std::vector<double> cuts{0.0, 1.0};
  collectCuts(a, b, perimeter, cuts);
  for (const Polygon& obstacle : environment.getObstacles()) {
    collectCuts(a, b, obstacle.getPoints(), cuts);
  }
  std::sort(cuts.begin(), cuts.end());
  const double len = distance(a, b);
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    if ((cuts[i + 1] - cuts[i]) * len <= kShortestPiece) continue;
    const double um = (cuts[i] + cuts[i + 1]) * 0.5;
    const Point m{a.x + um * (b.x - a.x), a.y + um * (b.y - a.y)};
    if (!pointInRingInclusive(m, perimeter)) return false;
    for (const Polygon& obstacle : environment.getObstacles()) {
      if (pointInRingStrict(m, obstacle)) return false;
    }
  }
  return true;
}

}  // namespace

bool isSegmentClear(const Point& a, const Point& b, const Environment& environment) {
  const double length = distance(a, b);
  if (length < kShortestHop) return true;
  const double ux = (b.x - a.x) / length * kShortestHop;
  const double uy = (b.y - a.y) / length * kShortestHop;
  const Point a2{a.x + ux, a.y + uy};
  const Point b2{b.x - ux, b.y - uy};
  if (!segmentInsideRing(a2, b2, environment.getPerimeter().getPoints())) return false;
  const Point mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
  for (const Polygon& obstacle : environment.getObstacles()) {
    if (segmentCrossesRing(a2, b2, obstacle.getPoints())) return false;
    if (pointInRingStrict(mid, obstacle)) return false;
  }
  return piecesStayClear(a2, b2, environment);
}

}  // namespace Planner::Literal
