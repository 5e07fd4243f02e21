#include "planner/routing/hop_candidates.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <tuple>

#include "planner/geometry/predicates.h"
#include "planner/geometry/tolerances.h"

namespace Planner {
namespace {

// Targets per cell of the grid a refill looks at, where they lie evenly.
constexpr double kPerCell = 16;

bool before(const HopCandidates::Hop& a, const HopCandidates::Hop& b) {
  return std::tie(a.f, a.g, a.from, a.to) < std::tie(b.f, b.g, b.from, b.to);
}

}  // namespace

bool HopCandidates::Later::operator()(const Hop& a, const Hop& b) const { return before(b, a); }

HopCandidates::HopCandidates(const std::vector<uint32_t>& targets,
                             const std::vector<WireNode>& nodes,
                             const std::vector<double>& estimate, const std::vector<double>& bound,
                             std::size_t firstSlice)
    : targets_(targets),
      nodes_(nodes),
      estimate_(estimate),
      bound_(bound),
      firstSlice_(std::max<std::size_t>(firstSlice, 1)) {}

void HopCandidates::restart() {
  expansionCount_ = 0;
  heads_ = {};
  wireTargets_.clear();
  cells_.clear();
  const std::vector<uint32_t>& targets = targets_;
  const std::vector<WireNode>& nodes = nodes_;
  const std::vector<double>& estimate = estimate_;
  std::vector<uint32_t>& off = off_;
  off.clear();
  for (const uint32_t k : targets) (nodes[k].onWire ? wireTargets_ : off).push_back(k);
  if (off.empty()) return;
  // About kPerCell targets a cell where they lie evenly; cells left empty cost nothing.
  double x0 = nodes[off[0]].point.x, y0 = nodes[off[0]].point.y, x1 = x0, y1 = y0;
  for (const uint32_t k : off) {
    const Point& p = nodes[k].point;
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
  const auto side = static_cast<std::size_t>(
      std::clamp(std::sqrt(static_cast<double>(off.size()) / kPerCell), 1.0, 256.0));
  const double w = std::max({x1 - x0, y1 - y0, 1e-9}) / static_cast<double>(side);
  const auto cellOf = [&](const Point& p) {
    const auto cx = std::min(static_cast<std::size_t>((p.x - x0) / w), side - 1);
    const auto cy = std::min(static_cast<std::size_t>((p.y - y0) / w), side - 1);
    return cy * side + cx;
  };
  std::vector<uint32_t>& start = cellStart_;
  start.assign(side * side + 1, 0);
  for (const uint32_t k : off) ++start[cellOf(nodes[k].point) + 1];
  for (std::size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
  cellTargets_.resize(off.size());
  std::vector<uint32_t>& fill = cellFill_;
  fill.assign(start.begin(), start.end() - 1);
  for (const uint32_t k : off) cellTargets_[fill[cellOf(nodes[k].point)]++] = k;
  for (std::size_t c = 0; c + 1 < start.size(); ++c) {
    if (start[c] == start[c + 1]) continue;
    Cell cell{std::numeric_limits<double>::infinity(),
              std::numeric_limits<double>::infinity(),
              -std::numeric_limits<double>::infinity(),
              -std::numeric_limits<double>::infinity(),
              std::numeric_limits<double>::infinity(),
              start[c],
              start[c + 1]};
    for (uint32_t i = cell.first; i < cell.last; ++i) {
      const uint32_t k = cellTargets_[i];
      const Point& p = nodes[k].point;
      cell.x0 = std::min(cell.x0, p.x);
      cell.y0 = std::min(cell.y0, p.y);
      cell.x1 = std::max(cell.x1, p.x);
      cell.y1 = std::max(cell.y1, p.y);
      cell.leastEstimate = std::min(cell.leastEstimate, estimate[k]);
    }
    cells_.push_back(cell);
  }
}

void HopCandidates::addExpansion(int32_t from, const SearchNode& node) {
  // A hop finds its expansion by `from`.
  assert(static_cast<std::size_t>(from) == expansionCount_);
  // Expansions of earlier searches lend their storage.
  if (expansionCount_ == expansions_.size()) expansions_.emplace_back();
  Expansion& e = expansions_[expansionCount_++];
  e.node = node;
  e.from = from;
  e.hops.clear();
  e.clear.clear();
  e.next = 0;
  e.slice = firstSlice_;
  e.last = false;
  e.asked = 0;
  refill(e);
  pushHead(expansionCount_ - 1);
}

void HopCandidates::refill(Expansion& e) {
  constexpr double kNone = std::numeric_limits<double>::infinity();
  const bool more = !e.hops.empty();
  const Hop after = more ? e.hops.back() : Hop{-kNone, 0, 0, 0};
  const SearchNode& from = e.node;
  // The slice's costs are those up to the slice-th least (ties there all come along);
  // least_ is a max-heap of the least so far.
  collected_.clear();
  least_.clear();
  std::size_t useful = 0;
  const auto consider = [&](uint32_t k) {
    // The cost as the search's relaxation computes it.
    const WireNode& to = nodes_[k];
    const double multiplier =
        consecutiveWire(from.onWire, from.wireIndex, to) ? kWireMultiplier : 1.0;
    const double g = from.g + distance(from.point, to.point) * multiplier;
    if (!(g < bound_[k])) return;
    const Hop hop{g + estimate_[k], g, e.from, k};
    if (more && !before(after, hop)) return;
    ++useful;
    collected_.push_back(hop);
    if (least_.size() < e.slice) {
      least_.push_back(hop.f);
      std::push_heap(least_.begin(), least_.end());
    } else if (hop.f < least_.front()) {
      std::pop_heap(least_.begin(), least_.end());
      least_.back() = hop.f;
      std::push_heap(least_.begin(), least_.end());
    }
  };
  for (const uint32_t k : wireTargets_) consider(k);
  // Cells by the least cost a hop into them could have, a hair below it for rounding;
  // once the slice is full below a cell's least cost, no hop from there on comes in.
  order_.clear();
  for (uint32_t c = 0; c < cells_.size(); ++c) {
    const Cell& cell = cells_[c];
    const double least =
        from.g + std::sqrt(squaredDistanceToBox(from.point, cell.x0, cell.y0, cell.x1, cell.y1)) +
        cell.leastEstimate;
    order_.push_back({least * (1 - 1e-12) - 1e-9, c});
  }
  std::sort(order_.begin(), order_.end());
  std::size_t next = 0;
  for (; next < order_.size(); ++next) {
    if (least_.size() == e.slice && least_.front() < order_[next].first) break;
    const Cell& cell = cells_[order_[next].second];
    for (uint32_t i = cell.first; i < cell.last; ++i) consider(cellTargets_[i]);
  }
  e.last = next == order_.size() && useful <= e.slice;
  const double most = least_.size() == e.slice ? least_.front() : kNone;
  e.hops.clear();
  for (const Hop& hop : collected_) {
    if (hop.f <= most) e.hops.push_back(hop);
  }
  std::sort(e.hops.begin(), e.hops.end(), before);
  e.clear.assign(e.hops.size(), -1);
  e.next = 0;
  e.slice *= 4;
}

void HopCandidates::pushHead(std::size_t expansion) {
  Expansion& e = expansions_[expansion];
  // Hops that have become useless leave here, not through the heap.
  while (e.next < e.hops.size() && !(e.hops[e.next].g < bound_[e.hops[e.next].to])) ++e.next;
  if (e.next == e.hops.size()) {
    if (e.last) {
      e.hops.clear();
      return;
    }
    refill(e);
    return pushHead(expansion);
  }
  heads_.push(e.hops[e.next]);
}

void HopCandidates::pop() {
  const auto expansion = static_cast<std::size_t>(heads_.top().from);
  heads_.pop();
  ++expansions_[expansion].next;
  pushHead(expansion);
}

bool HopCandidates::topIsClear(const Clearance& clearance) {
  Expansion& e = expansions_[static_cast<std::size_t>(heads_.top().from)];
  const SearchNode& from = e.node;
  const std::size_t at = e.next;
  // Between neighbours on the wire the robot may always drive.
  if (consecutiveWire(from.onWire, from.wireIndex, nodes_[e.hops[at].to])) return true;
  if (e.clear[at] < 0 && e.asked < kAskedAlone) {
    ++e.asked;
    e.clear[at] = clearance.isClear(from.point, nodes_[e.hops[at].to].point) ? 1 : 0;
  } else if (e.clear[at] < 0) {
    points_.clear();
    asking_.clear();
    for (std::size_t i = at; i < e.hops.size(); ++i) {
      const Hop& hop = e.hops[i];
      if (e.clear[i] >= 0 || !(hop.g < bound_[hop.to])) continue;
      points_.push_back(nodes_[hop.to].point);
      asking_.push_back(i);
    }
    clearance.isClearFromEach(from.point, points_, answers_);
    for (std::size_t j = 0; j < asking_.size(); ++j) e.clear[asking_[j]] = answers_[j] ? 1 : 0;
  }
  return e.clear[at] != 0;
}

}  // namespace Planner
