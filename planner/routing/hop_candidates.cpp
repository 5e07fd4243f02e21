#include "planner/routing/hop_candidates.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <tuple>

#include "planner/geometry/tolerances.h"

namespace Planner {
namespace {

// The first slice of an expansion's hops; each further slice is four times the last, so
// that an expansion whose hops keep reaching the front is scanned a few times at most.
constexpr std::size_t kFirstSlice = 512;

bool before(const HopCandidates::Hop& a, const HopCandidates::Hop& b) {
  return std::tie(a.f, a.g, a.from, a.to) < std::tie(b.f, b.g, b.from, b.to);
}

}  // namespace

bool HopCandidates::Later::operator()(const Hop& a, const Hop& b) const { return before(b, a); }

HopCandidates::HopCandidates(const std::vector<uint32_t>& targets, const std::vector<WireNode>& nodes,
                             const std::vector<double>& estimate, const std::vector<double>& bound)
    : targets_(targets), nodes_(nodes), estimate_(estimate), bound_(bound) {}

void HopCandidates::addExpansion(int32_t from, const SearchNode& node) {
  // A hop finds its expansion by `from`.
  assert(static_cast<std::size_t>(from) == expansions_.size());
  expansions_.push_back({node, from, {}, {}, 0, kFirstSlice});
  refill(expansions_.back());
  pushHead(expansions_.size() - 1);
}

void HopCandidates::refill(Expansion& e) {
  constexpr double kNone = std::numeric_limits<double>::infinity();
  const bool more = !e.hops.empty();
  const Hop after = more ? e.hops.back() : Hop{-kNone, 0, 0, 0};
  const std::size_t n = targets_.size();
  f_.resize(n);
  g_.resize(n);
  least_.clear();
  const SearchNode& from = e.node;
  for (std::size_t i = 0; i < n; ++i) {
    const uint32_t k = targets_[i];
    // The cost as the search's relaxation computes it.
    const WireNode& to = nodes_[k];
    const double multiplier =
        consecutiveWire(from.onWire, from.wireIndex, to) ? kWireMultiplier : 1.0;
    const double g = from.g + distance(from.point, to.point) * multiplier;
    const double f = g + estimate_[k];
    const bool useful = g < bound_[k] && f >= after.f;
    g_[i] = g;
    f_[i] = useful ? f : kNone;
    if (useful) least_.push_back(f);
  }
  // The slice's costs are those up to the slice-th least; ties there all come along.
  double most = kNone;
  e.last = least_.size() <= e.slice;
  if (!e.last) {
    const auto nth = least_.begin() + static_cast<std::ptrdiff_t>(e.slice - 1);
    std::nth_element(least_.begin(), nth, least_.end());
    most = *nth;
  }
  e.hops.clear();
  for (std::size_t i = 0; i < n; ++i) {
    if (!(f_[i] <= most)) continue;
    const Hop hop{f_[i], g_[i], e.from, targets_[i]};
    if (more && !before(after, hop)) continue;
    e.hops.push_back(hop);
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
      e.hops = {};
      e.clear = {};
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
