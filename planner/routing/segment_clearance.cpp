#include "planner/routing/segment_clearance.h"
#include "planner/geometry/tolerances.h"

#include <algorithm>
#include <cmath>

#include "planner/geometry/predicates.h"

namespace Planner {
namespace {

std::vector<std::vector<Point>> obstacleRings(const Environment& environment) {
  std::vector<std::vector<Point>> rings;
  for (const Polygon& obstacle : environment.getObstacles()) rings.push_back(obstacle.getPoints());
  return rings;
}

}  // namespace

bool isSegmentClear(const Point& a, const Point& b, const Environment& environment) {
  return SegmentClearance(environment).isClear(a, b);
}

SegmentClearance::SegmentClearance(const Environment& environment)
    : perimeterValid_(environment.getPerimeter().getPoints().size() >= 3),
      perimeter_({environment.getPerimeter().getPoints()}),
      obstacles_(obstacleRings(environment)) {
  allEdges_ = perimeter_.edges();
  allEdges_.insert(allEdges_.end(), obstacles_.edges().begin(), obstacles_.edges().end());
}

bool SegmentClearance::inclusiveInPerimeter(const Point& q) const {
  perimeter_.locate(q, places_);
  return !places_.empty() && (places_[0].boundary || places_[0].inside);
}

bool SegmentClearance::strictlyInObstacle(const Point& q) const {
  obstacles_.locate(q, places_);
  return std::any_of(places_.begin(), places_.end(),
                     [](const EdgeIndex::Place& p) { return p.inside && !p.boundary; });
}

bool SegmentClearance::insidePerimeter(const Point& a, const Point& b) const {
  if (!perimeterValid_) return false;
  const Point mid{(a.x + b.x) * 0.5, (a.y + b.y) * 0.5};
  if (!inclusiveInPerimeter(a) || !inclusiveInPerimeter(b) || !inclusiveInPerimeter(mid)) {
    return false;
  }
  const Point d{b.x - a.x, b.y - a.y};
  return !perimeter_.anyEdgeAlong(
      a, b, [&](const RingEdge& e) { return properIntersection(a, d, e.p, e.q).proper; });
}

bool SegmentClearance::piecesStayClear(const Point& a, const Point& b) const {
  cuts_.assign({0.0, 1.0});
  perimeter_.edgesAlong(a, b, near_);
  for (const RingEdge& e : near_) addEdgeCuts(a, b, e.p, e.q, cuts_);
  obstacles_.edgesAlong(a, b, near_);
  for (const RingEdge& e : near_) addEdgeCuts(a, b, e.p, e.q, cuts_);
  std::sort(cuts_.begin(), cuts_.end());
  const double len = distance(a, b);
  const std::vector<double>& cuts = cuts_;  // the point tests below do not touch it
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    if ((cuts[i + 1] - cuts[i]) * len <= kShortestPiece) continue;
    const double um = (cuts[i] + cuts[i + 1]) * 0.5;
    const Point mid{a.x + um * (b.x - a.x), a.y + um * (b.y - a.y)};
    if (!inclusiveInPerimeter(mid) || strictlyInObstacle(mid)) return false;
  }
  return true;
}

bool SegmentClearance::blocksEveryHopFrom(const Point& p) const {
  if (!perimeterValid_) return true;
  // The shortened hop starts 0.01 from p; keep well clear of that distance.
  const double reach =
      kShortestHop * 1.001 + queryMargin(std::max(std::fabs(p.x), std::fabs(p.y)), 0);
  const auto farFromEdges = [&](const EdgeIndex& rings) {
    rings.edgesNear(p.x - reach, p.y - reach, p.x + reach, p.y + reach, near_);
    return std::none_of(near_.begin(), near_.end(),
                        [&](const RingEdge& e) { return distanceToSegment(p, e.p, e.q) <= reach; });
  };
  // Outside the perimeter every shortened hop starts outside it; deep inside an
  // obstacle the first piece of every shortened hop lies strictly inside the obstacle.
  if (!inclusiveInPerimeter(p)) return farFromEdges(perimeter_);
  return strictlyInObstacle(p) && farFromEdges(obstacles_);
}

bool SegmentClearance::isClear(const Point& a, const Point& b) const {
  const std::optional<ShortenedHop> hop = shortenHop(a, b);
  if (!hop) return true;
  const Point& a2 = hop->a;
  const Point& b2 = hop->b;
  // A hop whose box meets no edge's box (each widened beyond every tolerance of the tests
  // below) lies in one region of the site, off every edge: no edge crosses or cuts it, and
  // every point the tests place there gets the answer its midpoint gets.
  const double m = queryMargin(
      std::max({std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y)}), hop->length);
  const double x0 = std::min(a2.x, b2.x) - m, y0 = std::min(a2.y, b2.y) - m;
  const double x1 = std::max(a2.x, b2.x) + m, y1 = std::max(a2.y, b2.y) + m;
  if (perimeterValid_ && !obstacles_.anyEdgeNear(x0, y0, x1, y1) &&
      !perimeter_.anyEdgeNear(x0, y0, x1, y1)) {
    const Point mid{(a2.x + b2.x) * 0.5, (a2.y + b2.y) * 0.5};
    return inclusiveInPerimeter(mid) && !strictlyInObstacle(mid);
  }
  // The obstacles first: they settle most blocked hops between corners.
  const Point d{b2.x - a2.x, b2.y - a2.y};
  const bool crossed = obstacles_.anyEdgeAlong(
      a2, b2, [&](const RingEdge& e) { return crossesClearOfEnds(a2, d, b2, e.p, e.q); });
  if (crossed) return false;
  if (!insidePerimeter(a2, b2)) return false;
  const Point mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
  if (strictlyInObstacle(mid)) return false;
  return piecesStayClear(a2, b2);
}

void SegmentClearance::isClearFromEach(const Point& from, const std::vector<Point>& to,
                                       std::vector<uint8_t>& clear) const {
  // So few hops are cheaper to test one by one than to sort the edges for.
  constexpr std::size_t kFewHops = 64;
  if (to.size() < kFewHops) {
    Clearance::isClearFromEach(from, to, clear);
    return;
  }
  if (!fan_) fan_ = std::make_unique<VisibilityFan>(allEdges_);
  if (!fan_->holds(from)) {
    Clearance::isClearFromEach(from, to, clear);
    return;
  }
  fan_->build(from);
  arcPlace_.assign(fan_->arcCount(), -1);
  clear.resize(to.size());
  Point start{0, 0};
  for (std::size_t i = 0; i < to.size(); ++i) {
    const VisibilityFan::Hop verdict =
        fan_->holds(to[i]) ? fan_->classify(to[i], start) : VisibilityFan::Hop::kUnsure;
    if (verdict == VisibilityFan::Hop::kBlocked) {
      clear[i] = 0;
    } else if (verdict == VisibilityFan::Hop::kUnsure) {
      clear[i] = isClear(from, to[i]) ? 1 : 0;
    } else {
      // Far from every edge, the whole shortened hop, and every piece and midpoint the
      // full test would look at, lies where its start does.
      int8_t& place = arcPlace_[fan_->arcOf(start)];
      if (place < 0) place = inclusiveInPerimeter(start) && !strictlyInObstacle(start) ? 1 : 0;
      clear[i] = static_cast<uint8_t>(place);
    }
  }
}

}  // namespace Planner
