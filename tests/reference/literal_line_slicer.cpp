#include "tests/reference/literal_line_slicer.h"

#include "planner/coverage/line_slicer.h"
#include "planner/geometry/tolerances.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "planner/geometry/predicates.h"

namespace Planner::Literal {
namespace {

constexpr double kScanHalfWidth = 1000.0;

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// The scan line runs from -1000 to 1000; an area that reaches beyond that range gets
// a scan line over its own extent instead, so no lane is lost.
std::pair<double, double> scanLineEnds(const Environment& area) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  auto widen = [&](const std::vector<Point>& ring) {
    for (const Point& p : ring) {
      lo = std::min(lo, p.x);
      hi = std::max(hi, p.x);
    }
  };
  widen(area.getPerimeter().getPoints());
  for (const Polygon& hole : area.getObstacles()) widen(hole.getPoints());
  for (const Polygon& mow : area.getMowAreas()) widen(mow.getPoints());
  if (lo >= -kScanHalfWidth && hi <= kScanHalfWidth) return {-kScanHalfWidth, kScanHalfWidth};
  const double margin = 1.0 + (hi - lo) * 1e-6;
  return {std::min(-kScanHalfWidth, lo - margin), std::max(kScanHalfWidth, hi + margin)};
}

bool acceptsMiddle(const Point& m, const Environment& area) {
  if (!pointInRingInclusive(m, area.getPerimeter())) return false;
  for (const Polygon& hole : area.getObstacles()) {
    if (pointInRingInclusive(m, hole)) return false;
  }
  const std::vector<Polygon>& mowAreas = area.getMowAreas();
  if (mowAreas.empty()) return true;
  for (const Polygon& mow : mowAreas) {
    if (pointInRingInclusive(m, mow)) return true;
  }
  return false;
}

}  // namespace

void collectScanLineCrossings(const std::vector<Point>& ring, double y, double x0, double x1,
                              std::vector<double>& crossings) {
  const std::size_t n = ring.size();
  const Point a{x0, y};
  const Point b{x1, y};
  const double sx = b.x - a.x;
  const double sy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const Point& p = ring[i];
    const Point& q = ring[(i + 1) % n];
    const double ex = q.x - p.x;
    const double ey = q.y - p.y;
    const double d = cross(ex, ey, sx, sy);
    if (std::fabs(d) >= kParallel) {
      const double t = cross(a.x - p.x, a.y - p.y, sx, sy) / d;
      const double u = cross(a.x - p.x, a.y - p.y, ex, ey) / d;
      if (t >= -kParamSlack && t <= 1.0 + kParamSlack && u >= -kParamSlack &&
          u <= 1.0 + kParamSlack) {
        crossings.push_back(p.x + t * ex);
      }
    }
    if (const auto overlap = Planner::collinearOverlap(p, q, a, b)) {
      crossings.push_back(overlap->first.x);
      crossings.push_back(overlap->second.x);
    }
  }
}

std::vector<LineString> generateLineSlices(const Environment& area, double spacing) {
  std::vector<LineString> slices;
  const std::vector<Point>& outer = area.getPerimeter().getPoints();
  if (outer.size() < 3 || !(spacing > 0.0)) return slices;

  double minY = outer.front().y;
  double maxY = minY;
  for (const Point& p : outer) {
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  const auto [x0, x1] = scanLineEnds(area);

  std::vector<double> crossings;
  for (double y = minY + spacing * 0.5; maxY > y; y = y + spacing) {
    crossings.clear();
    Literal::collectScanLineCrossings(outer, y, x0, x1, crossings);
    for (const Polygon& hole : area.getObstacles()) {
      Literal::collectScanLineCrossings(hole.getPoints(), y, x0, x1, crossings);
    }
    for (const Polygon& mow : area.getMowAreas()) {
      Literal::collectScanLineCrossings(mow.getPoints(), y, x0, x1, crossings);
    }
    std::sort(crossings.begin(), crossings.end());

    std::size_t kept = 0;
    for (std::size_t i = 0; i < crossings.size(); ++i) {
      if (kept == 0 || !(std::fabs(crossings[i] - crossings[kept - 1]) < kMerge)) {
        crossings[kept++] = crossings[i];
      }
    }
    crossings.resize(kept);

    for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
      const double xa = crossings[i];
      const double xb = crossings[i + 1];
      if (std::fabs(xb - xa) < kMerge) continue;
      if (!acceptsMiddle(Point{(xb + xa) * 0.5, y}, area)) continue;
      slices.emplace_back(std::vector<Point>{Point{xa, y}, Point{xb, y}});
    }
  }
  return slices;
}

}  // namespace Planner::Literal
