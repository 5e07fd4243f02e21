#include "planner/routing/visibility_fan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <span>

#include "planner/geometry/tolerances.h"

namespace Planner {
namespace {

constexpr std::size_t kBins = 8192;
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

// An edge from a hop's target that turns more than this (sine of the angle) away from
// the hop's line can neither cross it nor come within a binned margin of it.
constexpr double kTargetEdgeSlope = 0.2;

// A wall settles a hop without the crossing test only when the centre and the target
// stand this far from its line, the crossing is this share of the wall from its ends,
// and the wall is this long: far beyond what rounding moves, so the test would agree.
// Edges from the centre or the target are left out of a hop's test only when this long.
constexpr double kWallClearance = 2 * kShortestHop;
constexpr double kWallEndShare = 1e-3;
constexpr double kShortestWall = 1e-3;

// Edges are left out behind walls in runs of this many; a run spanning more bins than
// kChunkBins is not worth the look.
constexpr std::size_t kChunk = 16;
constexpr int64_t kChunkBins = 64;

double square(double v) { return v * v; }

// A float at or below v >= 0: squared distances kept as lower bounds. A millionth less
// is far more than float rounding can add back.
float floatBelow(double v) { return static_cast<float>(v * (1 - 1e-6)); }

bool samePosition(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }

// floor(angle / kBinWidth) without a call to floor: angles are small, finite numbers.
int64_t binFloor(double angle) {
  const double bins = angle / kBinWidth;
  const auto k = static_cast<int64_t>(bins);
  return bins < static_cast<double>(k) ? k - 1 : k;
}

// The bin of a direction; angles at the turn's ends round into the first and last bins.
std::size_t binOf(double angle) {
  return static_cast<std::size_t>(std::clamp<int64_t>(binFloor(angle), 0, kBins - 1));
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
  length_.reserve(edges.size());
  angularMargin_.reserve(edges.size());
  for (const RingEdge& e : edges) {
    // Rounding at this magnitude, and the band within kOnEdge (as a cross product) of a
    // short edge's line that the ring tests count as on it; all doubled.
    const double length = distance(e.p, e.q);
    length_.push_back(length);
    const double onEdgeBand = length > 0 ? std::min(kOnEdge / length, 1.5 * length) : 0.0;
    const double m = 2 * (1e-7 + 1e-11 * reach_ + onEdgeBand + 1e-8);
    margin_.push_back(m);
    angularMargin_.push_back(m < kShortestHop / 10 ? 1.2 * m / (kShortestHop - m) + 1e-12
                                                   : std::numbers::pi);
  }
  // Each edge's end is mostly the next edge's start: its direction from a centre is
  // then found once.
  endsAtNext_.reserve(edges.size());
  for (std::size_t i = 0; i < edges.size(); ++i) {
    endsAtNext_.push_back(i + 1 < edges.size() && samePosition(edges[i + 1].p, edges[i].q));
  }
  for (std::size_t first = 0; first < edges.size(); first += kChunk) {
    Chunk chunk{static_cast<uint32_t>(first),
                std::numeric_limits<double>::infinity(),
                std::numeric_limits<double>::infinity(),
                -std::numeric_limits<double>::infinity(),
                -std::numeric_limits<double>::infinity(),
                0,
                0,
                true};
    double widestMargin = 0;
    for (std::size_t i = first; i < std::min(first + kChunk, edges.size()); ++i) {
      for (const Point& p : {edges[i].p, edges[i].q}) {
        chunk.x0 = std::min(chunk.x0, p.x);
        chunk.y0 = std::min(chunk.y0, p.y);
        chunk.x1 = std::max(chunk.x1, p.x);
        chunk.y1 = std::max(chunk.y1, p.y);
      }
      chunk.angularMargin = std::max(chunk.angularMargin, angularMargin_[i]);
      chunk.binnable = chunk.binnable && angularMargin_[i] < 1;
      widestMargin = std::max(widestMargin, margin_[i]);
    }
    chunk.nearRadius = square(kShortestHop * 1.01 + 2 * widestMargin);
    chunks_.push_back(chunk);
  }
  wall_.assign(kBins, UINT32_MAX);
}

void VisibilityFan::addArcs(const RingEdge& e) {
  // Where the edge crosses the circle of the hops' starts; extra angles only split arcs
  // that share a region.
  const Point f{e.p.x - centre_.x, e.p.y - centre_.y};
  const Point d{e.q.x - e.p.x, e.q.y - e.p.y};
  const double a = d.x * d.x + d.y * d.y;
  const double b = 2 * (f.x * d.x + f.y * d.y);
  const double c = f.x * f.x + f.y * f.y - kShortestHop * kShortestHop;
  const double disc = b * b - 4 * a * c;
  if (!(a > 0 && disc >= 0)) return;
  for (const double s : {(-b - std::sqrt(disc)) / (2 * a), (-b + std::sqrt(disc)) / (2 * a)}) {
    if (s >= -1e-6 && s <= 1 + 1e-6) arcs_.push_back(pseudoAngle(f.x + s * d.x, f.y + s * d.y));
  }
}

void VisibilityFan::build(const Point& centre) {
  centre_ = centre;
  lastBlocker_ = UINT32_MAX;
  close_.clear();
  touching_.clear();
  arcs_.clear();
  // Filled by index: push_back's capacity checks cost more than the rest of the loop.
  spans_.resize(edges_.size());
  std::size_t spanCount = 0;
  wallFar_.assign(kBins, std::numeric_limits<double>::infinity());
  binStart_.assign(kBins + 1, 0);
  binSplit_.assign(kBins, 0);
  const auto angleOf = [&](const Point& p) { return pseudoAngle(p.x - centre.x, p.y - centre.y); };
  // The directions and squared distances of the corners of the run being added: the
  // runs left out need none.
  std::array<double, kChunk + 1> cornerAngle{}, cornerDistance{};
  uint32_t runFirst = 0;
  const auto locate = [&](std::size_t c, const Point& corner) {
    const double dx = corner.x - centre.x, dy = corner.y - centre.y;
    cornerAngle[c] = pseudoAngle(dx, dy);
    cornerDistance[c] = dx * dx + dy * dy;
  };
  const auto addEdge = [&](uint32_t i) {
    const RingEdge& e = edges_[i];
    // The distance to the edge's box is enough for the reach filter of the hops, which
    // may only let too many edges through; only edges near the centre need the true one.
    double nearest = squaredDistanceToBox(centre, std::min(e.p.x, e.q.x), std::min(e.p.y, e.q.y),
                                          std::max(e.p.x, e.q.x), std::max(e.p.y, e.q.y));
    const double nearRadius = square(kShortestHop * 1.01 + 2 * margin_[i]);
    if (nearest <= nearRadius) {
      nearest = squaredDistanceToSegment(centre, e.p, e.q);
      if (nearest <= nearRadius) addArcs(e);
    }
    if (nearest < square(kCloseToCentre) || angularMargin_[i] >= 1) {
      if ((samePosition(e.p, centre) || samePosition(e.q, centre)) &&
          margin_[i] < kShortestHop * kBinWidth / 4 && length_[i] >= kShortestWall) {
        const Point& other = samePosition(e.p, centre) ? e.q : e.p;
        touching_.push_back({i, static_cast<uint32_t>(binOf(angleOf(other)))});
      } else {
        close_.push_back(i);
      }
      return;
    }
    // The run's corners are its edges' starts, and one slot for an end that is none.
    std::size_t end = i + 1 - runFirst;
    if (!endsAtNext_[i] || end == kChunk) {
      end = kChunk;
      locate(end, e.q);
    }
    const double from = cornerAngle[i - runFirst];
    double turn = cornerAngle[end] - from;
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
    const double far = std::max(cornerDistance[i - runFirst], cornerDistance[end]);
    // Room in the bins where no standing wall hides it (later walls may free some), and
    // the edge as the wall of the bins it spans nearer than their walls so far.
    const float stored = floatBelow(nearest);
    bool seen = false;
    for (int64_t k = first; k <= last; ++k) {
      const auto bin = static_cast<uint32_t>(k & static_cast<int64_t>(kBins - 1));
      if (stored > wallFar_[bin]) continue;
      seen = true;
      const bool spans = spanFirst < k && k < spanLast;
      ++binStart_[bin + 1];
      binSplit_[bin] += spans;
      if (spans && far < wallFar_[bin]) {
        wallFar_[bin] = far;
        wall_[bin] = i;
      }
    }
    if (seen) {
      spans_[spanCount++] = {i,
                             static_cast<int16_t>(first),
                             static_cast<int16_t>(last),
                             static_cast<int16_t>(spanFirst),
                             static_cast<int16_t>(spanLast),
                             stored};
    }
  };
  // Runs of edges nearest first, so that the walls stand before the runs behind them,
  // which are then left out whole: every bin of theirs would leave them out, and none of
  // their edges would be a nearer wall. A run's key is the float of its distance above
  // its number: one integer compare.
  chunkOrder_.clear();
  chunkDistance_.resize(chunks_.size());
  for (uint32_t c = 0; c < chunks_.size(); ++c) {
    const Chunk& chunk = chunks_[c];
    chunkDistance_[c] = squaredDistanceToBox(centre, chunk.x0, chunk.y0, chunk.x1, chunk.y1);
    const auto key = std::bit_cast<uint32_t>(static_cast<float>(chunkDistance_[c]));
    chunkOrder_.push_back(uint64_t{key} << 32 | c);
  }
  std::sort(chunkOrder_.begin(), chunkOrder_.end());
  for (const uint64_t order : chunkOrder_) {
    const auto c = static_cast<uint32_t>(order);
    const Chunk& chunk = chunks_[c];
    if (!hiddenBehindWalls(chunk, chunkDistance_[c])) {
      const auto end =
          static_cast<uint32_t>(std::min<std::size_t>(chunk.first + kChunk, edges_.size()));
      runFirst = chunk.first;
      for (uint32_t i = chunk.first; i < end; ++i) locate(i - runFirst, edges_[i].p);
      for (uint32_t i = chunk.first; i < end; ++i) addEdge(i);
    }
  }
  // Counting sort into bins, spanning edges first; no order within each part. An edge
  // stays out of the bins where it lies wholly behind the wall: a hop that may reach it
  // there reaches past the wall too, and is settled by the wall or left unsure.
  std::sort(arcs_.begin(), arcs_.end());
  uint32_t fullest = 0;  // the most room a bin has
  for (std::size_t b = 0; b < kBins; ++b) {
    fullest = std::max(fullest, binStart_[b + 1]);
    binStart_[b + 1] += binStart_[b];
    binSplit_[b] += binStart_[b];
  }
  binned_.resize(binStart_[kBins]);
  fill_.assign(binStart_.begin(), binStart_.end() - 1);
  partialFill_ = binSplit_;
  for (std::size_t s = 0; s < spanCount; ++s) {
    const Span& span = spans_[s];
    for (int64_t k = span.first; k <= span.last; ++k) {
      const auto bin = static_cast<uint32_t>(k & static_cast<int64_t>(kBins - 1));
      if (span.nearest > wallFar_[bin]) continue;
      const bool spans = span.spanFirst < k && k < span.spanLast;
      binned_[spans ? fill_[bin]++ : partialFill_[bin]++] = {span.edge, span.nearest};
    }
  }
  // Room for the most candidates a hop can have: written by index in classify().
  candidates_.resize(fullest + close_.size() + touching_.size());
}

bool VisibilityFan::hiddenBehindWalls(const Chunk& chunk, double distance) const {
  if (!chunk.binnable || !(distance > chunk.nearRadius)) return false;
  const float nearest = floatBelow(distance);
  // The box's directions from the centre: between those of its corners, less than half a
  // turn apart since the box keeps clear of the centre.
  const double x[] = {chunk.x0, chunk.x1}, y[] = {chunk.y0, chunk.y1};
  const double reference = pseudoAngle(chunk.x0 - centre_.x, chunk.y0 - centre_.y);
  // Most runs that show are told by the bin of one corner.
  if (!(nearest > wallFar_[binOf(reference)])) return false;
  double lo = 0, hi = 0;
  for (const double cx : x) {
    for (const double cy : y) {
      double turn = pseudoAngle(cx - centre_.x, cy - centre_.y) - reference;
      if (turn > kTurn / 2) turn -= kTurn;
      if (turn <= -kTurn / 2) turn += kTurn;
      lo = std::min(lo, turn);
      hi = std::max(hi, turn);
    }
  }
  // A little wider than the margins, for rounding between the box's and the edges' angles.
  const double margin = chunk.angularMargin + 1e-9;
  const int64_t first = binFloor(reference + lo - margin);
  const int64_t last = binFloor(reference + hi + margin);
  if (last - first >= kChunkBins) return false;
  for (int64_t k = first; k <= last; ++k) {
    if (!(nearest > wallFar_[static_cast<std::size_t>(k & static_cast<int64_t>(kBins - 1))])) {
      return false;
    }
  }
  return true;
}

bool VisibilityFan::wallStandsBetween(uint32_t wall, const Point& to) const {
  const RingEdge& w = edges_[wall];
  if (length_[wall] < kShortestWall) return false;
  // The centre and the target lie on either side of the wall's line, each more than
  // kWallClearance from it: the crossing is that far from both, so from the shortened
  // hop's ends a kShortestHop less.
  const double clearance = kWallClearance * length_[wall];
  const double centreSide = cross(w.p, w.q, centre_);
  const double targetSide = cross(w.p, w.q, to);
  if (!((centreSide > clearance && targetSide < -clearance) ||
        (centreSide < -clearance && targetSide > clearance))) {
    return false;
  }
  // The wall's ends lie on either side of the hop's line, the crossing a share more
  // than kWallEndShare of the wall from either end.
  const double pSide = cross(centre_, to, w.p);
  const double qSide = cross(centre_, to, w.q);
  const double apart = std::fabs(pSide - qSide) * kWallEndShare;
  return ((pSide > apart && qSide < -apart) || (pSide < -apart && qSide > apart));
}

VisibilityFan::Hop VisibilityFan::classify(const Point& to, Point& start) {
  const double dx = to.x - centre_.x, dy = to.y - centre_.y;
  const std::size_t bin = binOf(pseudoAngle(dx, dy));
  if (wallFar_[bin] < dx * dx + dy * dy && wallStandsBetween(wall_[bin], to)) {
    return Hop::kBlocked;
  }
  const std::optional<ShortenedHop> shortened = shortenHop(centre_, to);
  // Shorter hops are left to the full test: their pieces may all be too short to test.
  if (!shortened || shortened->length < 4 * kShortestHop) return Hop::kUnsure;
  const ShortenedHop& hop = *shortened;
  const Point& a = hop.a;
  const Point& b = hop.b;
  const Point d{b.x - a.x, b.y - a.y};
  const double reach = square(hop.length + kShortestHop / 5);
  // The same crossing rule as the clearance test's obstacle edges, which also blocks at
  // a perimeter edge.
  const auto crosses = [&](uint32_t edge) {
    return crossesClearOfEnds(a, d, b, edges_[edge].p, edges_[edge].q);
  };
  const bool pastWall = wallFar_[bin] < reach;
  if (pastWall && crosses(wall_[bin])) return Hop::kBlocked;

  // A crossing blocks the hop whichever edge it is, so these need no candidate list.
  const auto blocks = [&](uint32_t edge) {
    if (!crosses(edge)) return false;
    lastBlocker_ = edge;
    return true;
  };
  if (lastBlocker_ < edges_.size()) {
    // Hops to neighbouring corners are mostly blocked by the same edge or the next one
    // along its ring.
    const uint32_t last = lastBlocker_;
    if (crosses(last) || (last + 1 < edges_.size() && blocks(last + 1)) ||
        (last > 0 && blocks(last - 1))) {
      return Hop::kBlocked;
    }
  }
  // The edges that may block the hop or come near it. Binned edges have margins below
  // kShortestHop / 10: nothing farther than the reach can come near.
  std::size_t count = 0;
  const Point back{centre_.x - to.x, centre_.y - to.y};
  const auto consider = [&](const Entry& entry) {
    if (entry.nearest > reach) return;
    const RingEdge& e = edges_[entry.edge];
    // An edge from the target that turns well away from the hop's line meets it only at
    // the target, a shortening beyond the hop's end, and stays farther from it than
    // kTargetEdgeSlope shortenings, beyond every binned margin.
    if ((samePosition(e.p, to) || samePosition(e.q, to)) && length_[entry.edge] >= kShortestWall) {
      const Point& other = samePosition(e.p, to) ? e.q : e.p;
      const Point out{other.x - to.x, other.y - to.y};
      const double side = std::fabs(out.x * back.y - out.y * back.x);
      if (side > kTargetEdgeSlope * length_[entry.edge] * hop.length) return;
    }
    candidates_[count++] = entry.edge;
  };
  std::for_each(binned_.begin() + binStart_[bin], binned_.begin() + fill_[bin], consider);
  std::for_each(binned_.begin() + binSplit_[bin], binned_.begin() + partialFill_[bin], consider);
  for (const uint32_t edge : close_) candidates_[count++] = edge;
  // An edge from the centre meets the hop only at the centre, a shortening before the
  // hop's start, unless it runs in nearly the hop's direction.
  for (const Touching& t : touching_) {
    const uint32_t apart = (static_cast<uint32_t>(bin) - t.bin) & (kBins - 1);
    if (apart <= 1 || apart == kBins - 1) candidates_[count++] = t.edge;
  }
  // Edges behind the wall were left out of the bin.
  start = a;
  if (count == 0) return pastWall ? Hop::kUnsure : Hop::kFarFromEdges;
  const auto candidates = std::span(candidates_).first(count);

  if (std::any_of(candidates.begin(), candidates.end(), blocks)) return Hop::kBlocked;
  if (pastWall) return Hop::kUnsure;
  const double length = distance(a, b);
  const auto near = [&](uint32_t edge) {
    const RingEdge& e = edges_[edge];
    return within(a, b, length, e.p, e.q, margin_[edge]);
  };
  return std::any_of(candidates.begin(), candidates.end(), near) ? Hop::kUnsure
                                                                 : Hop::kFarFromEdges;
}

std::size_t VisibilityFan::arcOf(const Point& hopStart) const {
  if (arcs_.empty()) return 0;
  const double angle = pseudoAngle(hopStart.x - centre_.x, hopStart.y - centre_.y);
  const auto k =
      static_cast<std::size_t>(std::upper_bound(arcs_.begin(), arcs_.end(), angle) - arcs_.begin());
  return k == arcs_.size() ? 0 : k;
}

}  // namespace Planner
