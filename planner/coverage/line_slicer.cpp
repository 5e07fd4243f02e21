#include "planner/coverage/line_slicer.h"
#include "planner/geometry/tolerances.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "planner/geometry/predicates.h"

namespace Planner {
namespace {

constexpr double kScanHalfWidth = 1000.0;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

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

// One ring's edges, swept upwards: the edges that can meet the current scan line.
// Any edge that could add a crossing or decide a point test at height y has a
// y-range, widened by a margin above every tolerance involved, that contains y.
class SweepRing {
 public:
  explicit SweepRing(const std::vector<Point>& ring) : canContain_(ring.size() >= 3) {
    const std::size_t n = ring.size();
    for (std::size_t k = 0; k < n; ++k) {
      const Point& p = ring[k];
      const Point& q = ring[(k + 1) % n];
      const double margin =
          1e-5 + 2e-9 * std::fabs(q.y - p.y) + 1e-12 * (std::fabs(p.y) + std::fabs(q.y));
      edges_.push_back({p, q, std::min(p.y, q.y) - margin, std::max(p.y, q.y) + margin});
    }
    order_.resize(n);
    for (std::size_t k = 0; k < n; ++k) order_[k] = static_cast<uint32_t>(k);
    std::sort(order_.begin(), order_.end(),
              [&](uint32_t l, uint32_t r) { return edges_[l].lo < edges_[r].lo; });
  }

  // Moves to height y (never lower than the previous one). Active edges stay in
  // ring order, so crossings are collected in the same order as a full scan.
  void advance(double y) {
    bool added = false;
    while (next_ < order_.size() && edges_[order_[next_]].lo <= y) {
      active_.push_back(order_[next_++]);
      added = true;
    }
    if (added) std::sort(active_.begin(), active_.end());
    active_.erase(std::remove_if(active_.begin(), active_.end(),
                                 [&](uint32_t k) { return edges_[k].hi < y; }),
                  active_.end());
  }

  void collect(double y, double x0, double x1, std::vector<double>& crossings) const {
    for (uint32_t k : active_)
      edgeScanCrossings(edges_[k].p, edges_[k].q, {x0, y}, {x1, y}, crossings);
  }

  // The y-range over which some edge can be active.
  double lo() const { return order_.empty() ? kInfinity : edges_[order_.front()].lo; }
  double hi() const {
    double top = -kInfinity;
    for (const Edge& e : edges_) top = std::max(top, e.hi);
    return top;
  }

  // pointInRingInclusive for a point on the current scan line.
  bool containsInclusive(const Point& m) const {
    if (!canContain_) return false;
    bool inside = false;
    for (uint32_t k : active_) {
      // The plain scan looks from W = point k to V = point k + 1.
      const EdgePlace place = placeAgainstEdge(m, edges_[k].p, edges_[k].q);
      if (place.onBoundary) return true;
      if (place.flipsParity) inside = !inside;
    }
    return inside;
  }

 private:
  struct Edge {
    Point p, q;
    double lo, hi;
  };
  bool canContain_;
  std::vector<Edge> edges_;
  std::vector<uint32_t> order_;  // edges by lower end
  std::size_t next_ = 0;
  std::vector<uint32_t> active_;
};

class Sweep : public ScanRings {
 public:
  SweepRing outer;
  std::vector<SweepRing> holes;
  std::vector<SweepRing> mowAreas;

  explicit Sweep(const Environment& area) : outer(area.getPerimeter().getPoints()) {
    for (const Polygon& hole : area.getObstacles()) holes.emplace_back(hole.getPoints());
    for (const Polygon& mow : area.getMowAreas()) mowAreas.emplace_back(mow.getPoints());
    for (const SweepRing& r : holes) holeTop_.push_back(r.hi());
    for (const Polygon& hole : area.getObstacles()) {
      double x0 = kInfinity, x1 = -kInfinity;
      for (const Point& p : hole.getPoints()) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
      }
      // Beyond every tolerance of the point test, and rounding at this magnitude.
      const double margin = 1e-5 + 1e-9 * std::max(std::fabs(x0), std::fabs(x1));
      holeX_.push_back({x0 - margin, x1 + margin});
    }
    holeOrder_.resize(holes.size());
    for (std::size_t k = 0; k < holes.size(); ++k) holeOrder_[k] = static_cast<uint32_t>(k);
    std::sort(holeOrder_.begin(), holeOrder_.end(),
              [&](uint32_t l, uint32_t r) { return holes[l].lo() < holes[r].lo(); });
  }

  // A hole with no edge near the line adds no crossing and holds no point of it, so
  // only the holes whose y-range holds the line are looked at, in ring order.
  void advance(double y) override {
    outer.advance(y);
    bool added = false;
    while (nextHole_ < holeOrder_.size() && holes[holeOrder_[nextHole_]].lo() <= y) {
      activeHoles_.push_back(holeOrder_[nextHole_++]);
      added = true;
    }
    if (added) std::sort(activeHoles_.begin(), activeHoles_.end());
    activeHoles_.erase(std::remove_if(activeHoles_.begin(), activeHoles_.end(),
                                      [&](uint32_t k) { return holeTop_[k] < y; }),
                       activeHoles_.end());
    for (uint32_t k : activeHoles_) holes[k].advance(y);
    for (SweepRing& r : mowAreas) r.advance(y);
  }

  // Outer ring, then every hole, then every mow area, as the plain scan does.
  void collect(double y, double x0, double x1, std::vector<double>& crossings) const override {
    outer.collect(y, x0, x1, crossings);
    for (uint32_t k : activeHoles_) holes[k].collect(y, x0, x1, crossings);
    for (const SweepRing& r : mowAreas) r.collect(y, x0, x1, crossings);
  }

  // Inside the outer ring, in no hole, and inside a mow area when there are any.
  bool accepts(const Point& m) const override {
    if (!outer.containsInclusive(m)) return false;
    for (uint32_t k : activeHoles_) {
      // A point left or right of a ring's x-range is outside it and off its edges: the
      // ray to +x crosses it an even number of times, or not at all.
      if (m.x < holeX_[k].first || m.x > holeX_[k].second) continue;
      if (holes[k].containsInclusive(m)) return false;
    }
    if (mowAreas.empty()) return true;
    for (const SweepRing& r : mowAreas) {
      if (r.containsInclusive(m)) return true;
    }
    return false;
  }

 private:
  std::vector<double> holeTop_;                   // hi() of each hole
  std::vector<std::pair<double, double>> holeX_;  // x-range of each hole, widened
  std::vector<uint32_t> holeOrder_;               // holes by lo()
  std::size_t nextHole_ = 0;
  std::vector<uint32_t> activeHoles_;
};

}  // namespace

std::optional<std::pair<Point, Point>> collinearOverlap(const Point& p, const Point& q,
                                                        const Point& a, const Point& b) {
  const double ex = q.x - p.x;
  const double ey = q.y - p.y;
  if (std::fabs(cross(ex, ey, b.x - a.x, b.y - a.y)) > kCollinear) return std::nullopt;
  if (std::fabs(cross(ex, ey, a.x - p.x, a.y - p.y)) > kCollinear) return std::nullopt;

  auto project = [&](const Point& x) { return (x.x - p.x) * ex + (x.y - p.y) * ey; };
  const double sa = project(a);
  const double sb = project(b);
  const double lo = std::max(0.0, std::min(sa, sb));
  const double hi = std::min(ex * ex + ey * ey, std::max(sa, sb));
  if (!(hi - kMerge > lo)) return std::nullopt;

  std::vector<Point> kept;
  for (const Point& candidate : {p, q, a, b}) {
    const double s = project(candidate);
    if (s < lo - kMerge || s > hi + kMerge) continue;
    const bool duplicate = std::any_of(kept.begin(), kept.end(), [&](const Point& k) {
      return std::fabs(k.x - candidate.x) < kMerge && std::fabs(k.y - candidate.y) < kMerge;
    });
    if (!duplicate) kept.push_back(candidate);
  }
  if (kept.size() < 2) return std::nullopt;
  std::sort(kept.begin(), kept.end(),
            [](const Point& l, const Point& r) { return l.x < r.x || (l.x == r.x && l.y < r.y); });
  return std::make_pair(kept.front(), kept.back());
}

void edgeScanCrossings(const Point& p, const Point& q, const Point& a, const Point& b,
                       std::vector<double>& crossings) {
  const double sx = b.x - a.x;
  const double sy = 0.0;
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
  if (const auto overlap = collinearOverlap(p, q, a, b)) {
    crossings.push_back(overlap->first.x);
    crossings.push_back(overlap->second.x);
  }
}

std::unique_ptr<ScanRings> sweptScanRings(const Environment& area) {
  return std::make_unique<Sweep>(area);
}

double scanLineCount(const Environment& area, double spacing) {
  const std::vector<Point>& outer = area.getPerimeter().getPoints();
  if (outer.size() < 3 || !(spacing > 0.0)) return 0.0;
  double minY = outer.front().y;
  double maxY = minY;
  for (const Point& p : outer) {
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  return std::ceil((maxY - minY) / spacing);
}

std::vector<LineString> generateLineSlices(const Environment& area, double spacing,
                                           const Cancellation& cancel,
                                           const ScanRingsMaker& rings) {
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

  const std::unique_ptr<ScanRings> sweep = rings(area);
  std::vector<double> crossings;
  for (double y = minY + spacing * 0.5; maxY > y; y = y + spacing) {
    cancel.poll();
    sweep->advance(y);
    crossings.clear();
    sweep->collect(y, x0, x1, crossings);
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
      if (!sweep->accepts(Point{(xb + xa) * 0.5, y})) continue;
      slices.emplace_back(std::vector<Point>{Point{xa, y}, Point{xb, y}});
    }
  }
  return slices;
}

}  // namespace Planner
