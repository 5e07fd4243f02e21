#include "planner/routing/visibility_fan.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "planner/geometry/tolerances.h"

namespace Planner {
namespace {

constexpr std::size_t kBins = 4096;
// Directions are measured by a pseudo-angle in [0, 4): cheaper than atan2, in the same
// order, and never changing faster than the angle in radians.
constexpr double kTurn = 4;
constexpr double kBinWidth = kTurn / kBins;

double pseudoAngle(double dx, double dy) {
  const double sum = std::fabs(dx) + std::fabs(dy);
  if (sum == 0) return 0;
  const double p = dy / sum;
  return dx >= 0 ? (dy >= 0 ? p : kTurn + p) : 2 - p;
}

// Edges nearer the centre than this span too wide an angle to bin; they are asked
// about every hop.
constexpr double kCloseToCentre = kShortestHop / 2;

double square(double v) { return v * v; }

// floor(angle / kBinWidth) without a call to floor: angles are small, finite numbers.
int64_t binFloor(double angle) {
  const double bins = angle / kBinWidth;
  const auto k = static_cast<int64_t>(bins);
  return bins < static_cast<double>(k) ? k - 1 : k;
}

double cross(const Point& o, const Point& a, const Point& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Whether segments a-b (of length ab) and p-q may come within r of each other. Rounding
// moves these distances by far less than the doubled margins r stands for; crossing
// segments that the signs miss have an end within rounding of the other.
bool within(const Point& a, const Point& b, double ab, const Point& p, const Point& q, double r) {
  const double o1 = cross(a, b, p), o2 = cross(a, b, q);
  // Both ends farther than r on one side of the line through a and b.
  const double side = r * ab;
  if ((o1 > side && o2 > side) || (o1 < -side && o2 < -side)) return false;
  // Both ends farther than r beyond b, or before a, along a->b: the edges around the
  // target corner, which every hop to it meets.
  const double dx = b.x - a.x, dy = b.y - a.y;
  const auto along = [&](const Point& from, const Point& v) {
    return (v.x - from.x) * dx + (v.y - from.y) * dy;
  };
  if ((along(b, p) > side && along(b, q) > side) || (along(a, p) < -side && along(a, q) < -side)) {
    return false;
  }
  const double o3 = cross(p, q, a), o4 = cross(p, q, b);
  if (o1 * o2 <= 0 && o3 * o4 <= 0) return true;
  return distanceToSegment(p, a, b) <= r || distanceToSegment(q, a, b) <= r ||
         distanceToSegment(a, p, q) <= r || distanceToSegment(b, p, q) <= r;
}

}  // namespace

VisibilityFan::VisibilityFan(const std::vector<RingEdge>& edges) : edges_(edges) {
  double magnitude = 1;
  for (const RingEdge& e : edges) {
    magnitude = std::max(
        {magnitude, std::fabs(e.p.x), std::fabs(e.p.y), std::fabs(e.q.x), std::fabs(e.q.y)});
  }
  reach_ = 2 * magnitude;
  margin_.reserve(edges.size());
  angularMargin_.reserve(edges.size());
  for (const RingEdge& e : edges) {
    // Rounding at this magnitude, and the band within kOnEdge (as a cross product) of a
    // short edge's line that the ring tests count as on it; all doubled.
    const double length = distance(e.p, e.q);
    const double onEdgeBand = length > 0 ? std::min(kOnEdge / length, 1.5 * length) : 0.0;
    const double m = 2 * (1e-7 + 1e-11 * reach_ + onEdgeBand + 1e-8);
    margin_.push_back(m);
    angularMargin_.push_back(m < kShortestHop / 10 ? 1.2 * m / (kShortestHop - m) + 1e-12
                                                   : std::numbers::pi);
  }
}

bool VisibilityFan::holds(const Point& p) const {
  return std::fabs(p.x) <= reach_ && std::fabs(p.y) <= reach_;
}

std::size_t VisibilityFan::binOf(double angle) const {
  const int64_t k = binFloor(angle);
  return static_cast<std::size_t>(std::clamp<int64_t>(k, 0, kBins - 1));
}

void VisibilityFan::build(const Point& centre) {
  centre_ = centre;
  lastBlocker_ = UINT32_MAX;
  close_.clear();
  arcs_.clear();
  pending_.clear();
  wall_.assign(kBins, UINT32_MAX);
  wallFar_.assign(kBins, std::numeric_limits<double>::infinity());
  const auto angleOf = [&](const Point& p) { return pseudoAngle(p.x - centre.x, p.y - centre.y); };
  double lastAngle = 0;  // angle of the end of edge lastAngleOf
  uint32_t lastAngleOf = UINT32_MAX;
  for (uint32_t i = 0; i < edges_.size(); ++i) {
    const RingEdge& e = edges_[i];
    // The distance to the edge's box is enough for the reach filter of the hops, which
    // may only let too many edges through; only edges near the centre need the true one.
    const double nearRadius = square(kShortestHop * 1.01 + 2 * margin_[i]);
    double nearest = squaredDistanceToBox(centre, std::min(e.p.x, e.q.x), std::min(e.p.y, e.q.y),
                                          std::max(e.p.x, e.q.x), std::max(e.p.y, e.q.y));
    if (nearest <= nearRadius) nearest = squaredDistanceToSegment(centre, e.p, e.q);
    if (nearest <= nearRadius) {
      // Where the edge crosses the circle of the hops' starts; extra angles only split
      // arcs that share a region.
      const Point f{e.p.x - centre.x, e.p.y - centre.y};
      const Point d{e.q.x - e.p.x, e.q.y - e.p.y};
      const double a = d.x * d.x + d.y * d.y;
      const double b = 2 * (f.x * d.x + f.y * d.y);
      const double c = f.x * f.x + f.y * f.y - kShortestHop * kShortestHop;
      const double disc = b * b - 4 * a * c;
      if (a > 0 && disc >= 0) {
        for (const double s :
             {(-b - std::sqrt(disc)) / (2 * a), (-b + std::sqrt(disc)) / (2 * a)}) {
          if (s >= -1e-6 && s <= 1 + 1e-6)
            arcs_.push_back(pseudoAngle(f.x + s * d.x, f.y + s * d.y));
        }
      }
    }
    if (nearest < square(kCloseToCentre) || angularMargin_[i] >= 1) {
      close_.push_back(i);
      continue;
    }
    // Ring by ring, an edge starts where the one before ended.
    const bool follows =
        i > 0 && lastAngleOf == i - 1 && edges_[i - 1].q.x == e.p.x && edges_[i - 1].q.y == e.p.y;
    const double from = follows ? lastAngle : angleOf(e.p);
    lastAngle = angleOf(e.q);
    lastAngleOf = i;
    double turn = lastAngle - from;
    if (turn > kTurn / 2) turn -= kTurn;
    if (turn <= -kTurn / 2) turn += kTurn;
    const double lo = std::min(from, from + turn);
    const double hi = std::max(from, from + turn);
    const int64_t first = binFloor(lo - angularMargin_[i]);
    int64_t last = binFloor(hi + angularMargin_[i]);
    if (last - first + 1 >= static_cast<int64_t>(kBins)) last = first + kBins - 1;
    // Bins strictly between those of the edge's ends lie wholly within its directions.
    const int64_t spanFirst = binFloor(lo);
    const int64_t spanLast = binFloor(hi);
    const double far = std::max(square(e.p.x - centre.x) + square(e.p.y - centre.y),
                                square(e.q.x - centre.x) + square(e.q.y - centre.y));
    for (int64_t k = first; k <= last; ++k) {
      const auto bin = static_cast<uint32_t>(k & static_cast<int64_t>(kBins - 1));
      const bool spans = spanFirst < k && k < spanLast;
      pending_.push_back({bin, spans, {i, nearest}});
      if (spans && far < wallFar_[bin]) {
        wallFar_[bin] = far;
        wall_[bin] = i;
      }
    }
  }
  std::sort(arcs_.begin(), arcs_.end());

  // Counting sort into bins, spanning edges first; no order within each part.
  binStart_.assign(kBins + 1, 0);
  binSplit_.assign(kBins, 0);
  for (const Pending& entry : pending_) {
    ++binStart_[entry.bin + 1];
    binSplit_[entry.bin] += entry.spans;
  }
  for (std::size_t b = 0; b < kBins; ++b) {
    binStart_[b + 1] += binStart_[b];
    binSplit_[b] += binStart_[b];
  }
  binned_.resize(pending_.size());
  fill_.assign(binStart_.begin(), binStart_.end() - 1);
  partialFill_ = binSplit_;
  for (const Pending& entry : pending_) {
    binned_[entry.spans ? fill_[entry.bin]++ : partialFill_[entry.bin]++] = entry.entry;
  }
}

VisibilityFan::Hop VisibilityFan::classify(const Point& to, const ShortenedHop& hop) {
  const Point& a = hop.a;
  const Point& b = hop.b;
  const Point d{b.x - a.x, b.y - a.y};
  const double reach = square(hop.length + kShortestHop / 5);
  // The same crossing rule as the clearance test's obstacle edges, which also blocks at
  // a perimeter edge.
  const auto crosses = [&](uint32_t edge) {
    return crossesClearOfEnds(a, d, b, edges_[edge].p, edges_[edge].q);
  };
  const std::size_t bin = binOf(pseudoAngle(to.x - centre_.x, to.y - centre_.y));
  if (wallFar_[bin] < reach && crosses(wall_[bin])) return Hop::kBlocked;
  if (lastBlocker_ < edges_.size() && crosses(lastBlocker_)) return Hop::kBlocked;
  const auto blocks = [&](uint32_t edge) {
    if (!crosses(edge)) return false;
    lastBlocker_ = edge;
    return true;
  };
  // Binned edges have margins below kShortestHop / 10: nothing farther can come near.
  const auto blocksInReach = [&](const Entry& e) { return e.nearest <= reach && blocks(e.edge); };
  const auto spanning = binned_.begin() + binStart_[bin];
  const auto partial = binned_.begin() + binSplit_[bin];
  const auto end = binned_.begin() + binStart_[bin + 1];
  if (std::any_of(spanning, partial, blocksInReach) ||
      std::any_of(close_.begin(), close_.end(), blocks) ||
      std::any_of(partial, end, blocksInReach)) {
    return Hop::kBlocked;
  }
  const double length = distance(a, b);
  const auto near = [&](uint32_t edge) {
    const RingEdge& e = edges_[edge];
    return within(a, b, length, e.p, e.q, margin_[edge]);
  };
  const auto nearInReach = [&](const Entry& e) { return e.nearest <= reach && near(e.edge); };
  if (std::any_of(close_.begin(), close_.end(), near) || std::any_of(spanning, end, nearInReach)) {
    return Hop::kUnsure;
  }
  return Hop::kFarFromEdges;
}

std::size_t VisibilityFan::arcOf(const Point& hopStart) const {
  if (arcs_.empty()) return 0;
  const double angle = pseudoAngle(hopStart.x - centre_.x, hopStart.y - centre_.y);
  const auto k =
      static_cast<std::size_t>(std::upper_bound(arcs_.begin(), arcs_.end(), angle) - arcs_.begin());
  return k == arcs_.size() ? 0 : k;
}

}  // namespace Planner
