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
  for (std::size_t i = 0; i < n; ++i) addEdgeCuts(a, b, ring[i], ring[(i + 1) % n], cuts);
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
  const std::optional<ShortenedHop> hop = shortenHop(a, b);
  if (!hop) return true;
  const Point& a2 = hop->a;
  const Point& b2 = hop->b;
  if (!segmentInsideRing(a2, b2, environment.getPerimeter().getPoints())) return false;
  const Point mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
  for (const Polygon& obstacle : environment.getObstacles()) {
    if (segmentCrossesRing(a2, b2, obstacle.getPoints())) return false;
    if (pointInRingStrict(mid, obstacle)) return false;
  }
  return piecesStayClear(a2, b2, environment);
}

}  // namespace Planner::Literal
