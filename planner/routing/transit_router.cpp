#include "planner/routing/transit_router.h"
#include "planner/geometry/tolerances.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <queue>
#include <tuple>

#include "planner/routing/near_points.h"
#include "planner/routing/planner_log.h"

namespace Planner {
namespace {

// distance(a, b) < kSamePoint, with the far points (nearly all) told apart cheaply: the
// distance is never below either coordinate difference.
bool samePlace(const Point& a, const Point& b) {
  return std::fabs(a.x - b.x) < kSamePoint && std::fabs(a.y - b.y) < kSamePoint &&
         distance(a, b) < kSamePoint;
}

std::vector<WireNode> fixedNodes(const Environment& environment) {
  std::vector<WireNode> nodes;
  const std::vector<Point>& wire = environment.getVirtualWire().getPoints();
  for (std::size_t i = 0; i < wire.size(); ++i) nodes.push_back({wire[i], true, i});
  NearPoints accepted;
  for (std::size_t i = 0; i < nodes.size(); ++i) accepted.insert(nodes[i].point, i);
  auto addCorner = [&](const Point& p) {
    bool near = false;
    accepted.forEachNear(
        p, [&](uint32_t id) { near = near || distance(nodes[id].point, p) < kSamePoint; });
    if (near) return;
    accepted.insert(p, static_cast<uint32_t>(nodes.size()));
    nodes.push_back({p, false, 0});
  };
  for (const Polygon& obstacle : environment.getObstacles()) {
    for (const Point& p : obstacle.getPoints()) addCorner(p);
  }
  for (const Point& p : environment.getPerimeter().getPoints()) addCorner(p);
  return nodes;
}

}  // namespace

std::vector<WireNode> buildTransitGraph(const Environment& environment, const Point& goal) {
  std::vector<WireNode> nodes = fixedNodes(environment);
  nodes.push_back({goal, false, 0});
  return nodes;
}

std::vector<Point> reconstructRoute(const SearchNode& last, const std::vector<SearchNode>& closed) {
  std::vector<Point> route{last.point};
  for (int32_t parent = last.parent; parent != -1; parent = closed[parent].parent) {
    route.push_back(closed[parent].point);
  }
  std::reverse(route.begin(), route.end());
  return route;
}

std::vector<Point> smoothRoute(const std::vector<Point>& route, const Clearance& clearance) {
  if (route.size() < 3) return route;
  std::vector<Point> output{route.front()};
  std::size_t i = 0;
  while (i < route.size() - 1) {
    std::size_t next = i + 1;
    for (std::size_t j = i + 2; j < route.size(); ++j) {
      if (!clearance.isClear(route[i], route[j])) break;
      next = j;
    }
    output.push_back(route[next]);
    i = next;
  }
  return output;
}

TransitRouter::TransitRouter(const Environment& environment, const Clearance& clearance,
                             std::function<std::unique_ptr<SearchLists>()> lists)
    : clearance_(clearance),
      lists_(std::move(lists)),
      fixed_(fixedNodes(environment)),
      wireCount_(environment.getVirtualWire().getPoints().size()),
      canDefer_(lists_()->canPeek()),
      candidates_(deferred_, fixed_, estimate_, bound_) {
  // Corners keep clear of every earlier node; only wire points may crowd each other.
  NearPoints near;
  for (std::size_t k = 0; k < fixed_.size(); ++k) near.insert(fixed_[k].point, k);
  soleFixed_.assign(fixed_.size(), 1);
  for (std::size_t k = 0; k < fixed_.size(); ++k) {
    near.forEachNear(fixed_[k].point, [&](uint32_t other) {
      if (other != k && samePlace(fixed_[other].point, fixed_[k].point)) soleFixed_[k] = 0;
    });
  }
}

std::vector<Point> TransitRouter::findRoute(const Point& position, const Point& goal,
                                            std::vector<LineString>* exploredEdges,
                                            const Cancellation& cancel) {
  const std::size_t goalIndex = fixed_.size();
  // Which nodes no other node of this search crowds (see SearchLists).
  sole_ = soleFixed_;
  sole_.push_back(distance(position, goal) >= kSamePoint ? 1 : 0);
  for (std::size_t k = 0; k < goalIndex; ++k) {
    if (samePlace(fixed_[k].point, position) || samePlace(fixed_[k].point, goal)) {
      sole_[k] = 0;
      sole_[goalIndex] = 0;
    }
  }
  // Without links to keep, the hops to sole corners wait until they could decide an
  // expansion (see takeDeferred). That pays while the search expands a few of the many
  // corners; a search that keeps expanding (a goal walled off explores all it can reach)
  // starts again asking about every hop as it goes, which costs less per expansion. On a
  // graph of few nodes there is little to save and the bookkeeping would cost more.
  if (exploredEdges == nullptr && canDefer_ && goalIndex >= kDeferFrom) {
    const std::size_t limit = std::max<std::size_t>(kDeferredExpansions, goalIndex / 16);
    if (std::optional<std::vector<Point>> route = search(position, goal, nullptr, cancel, limit)) {
      return *route;
    }
  }
  return *search(position, goal, exploredEdges, cancel, 0);
}

std::optional<std::vector<Point>> TransitRouter::search(const Point& position, const Point& goal,
                                                        std::vector<LineString>* exploredEdges,
                                                        const Cancellation& cancel,
                                                        std::size_t deferLimit) {
  const std::size_t goalIndex = fixed_.size();
  const WireNode goalNode{goal, false, 0};
  auto node = [&](std::size_t k) -> const WireNode& {
    return k < goalIndex ? fixed_[k] : goalNode;
  };
  const std::unique_ptr<SearchLists> lists = lists_();
  lists->open({{position, 0.0, distance(position, goal), -1, false, 0}, -1});

  // The wire points, crowded corners and the goal are asked about at every expansion;
  // sole corners too unless deferring.
  const bool deferring = deferLimit > 0;
  eager_.clear();
  deferred_.clear();
  for (std::size_t k = 0; k <= goalIndex; ++k) {
    // The log reports every check of a wire point.
    const bool defer =
        deferring && k < goalIndex && sole_[k] && (k >= wireCount_ || !plannerLogEnabled);
    (defer ? deferred_ : eager_).push_back(static_cast<uint32_t>(k));
  }
  if (deferring) {
    estimate_.resize(goalIndex);
    for (const uint32_t k : deferred_) {
      estimate_[k] = distance(fixed_[k].point, goal);
      if (fixed_[k].onWire) estimate_[k] *= kWireEstimateWeight;
    }
    bound_.assign(goalIndex, std::numeric_limits<double>::infinity());
    parent_.resize(goalIndex);
    openedAt_.assign(goalIndex + 1, -1);
    front_ = {};
  }
  HopCandidates& candidates = candidates_;
  if (deferring) candidates.restart();

  SearchLists::Opened best{{position, 0.0, 0.0, -1, false, 0}, -1};
  while (deferring ? takeDeferred(*lists, candidates, cancel, best) : lists->anyOpen()) {
    if (!deferring) best = lists->takeBest();
    cancel.poll();
    const SearchNode& current = best.node;
    const int64_t currentIndex = best.graphIndex;
    if (distance(current.point, goal) < kSamePoint) {
      return smoothRoute(reconstructRoute(current, lists->closed()), clearance_);
    }
    const int32_t ci = lists->close(current, currentIndex);
    if (deferring && static_cast<std::size_t>(ci) >= deferLimit) return std::nullopt;
    const bool fromFixed = currentIndex >= 0 && static_cast<std::size_t>(currentIndex) < goalIndex;
    if (deferring) candidates.addExpansion(ci, current);

    // The clearance of every hop this expansion asks about, found in one batch; a fixed
    // node remembers what it found for the next search, while the memory lasts.
    std::vector<int8_t>* known = nullptr;
    if (fromFixed) {
      const auto it = known_.find(static_cast<std::size_t>(currentIndex));
      if (it != known_.end()) {
        known = &it->second;
      } else if (knownEntries_ + goalIndex <= kKnownBudget) {
        knownEntries_ += goalIndex;
        known = &known_[static_cast<std::size_t>(currentIndex)];
        known->assign(goalIndex, -1);
      }
    }
    // What each node is to this expansion, so that the loop over the batch's answers
    // below touches only the nodes it reports or relaxes.
    targets_.clear();
    status_.resize(goalIndex + 1);
    const bool settle = exploredEdges == nullptr;
    const auto statusOf = [&](std::size_t k, const WireNode& n) {
      // Nearly every node is far: told apart here without a call.
      if (std::fabs(n.point.x - current.point.x) < kSamePoint &&
          samePlace(n.point, current.point)) {
        return kSamePlace;
      }
      if (consecutiveWire(current.onWire, current.wireIndex, n)) return kWireStep;
      if (known && k < goalIndex && (*known)[k] >= 0) return (*known)[k] ? kKnownClear : kBlocked;
      // A corner already closed, or open at no more than this hop would give it, is left
      // as it is whether or not the hop is clear: no need to ask (unless the links are
      // kept, or the log reports the wire's checks).
      if (settle && k >= wireCount_ && k < goalIndex && sole_[k]) {
        const double cost = lists->settledCost(static_cast<int64_t>(k));
        if (cost <= current.g + distance(current.point, n.point)) return kSettled;
      }
      targets_.push_back(n.point);
      return kAsk;
    };
    for (const uint32_t k : eager_) status_[k] = statusOf(k, node(k));
    clearance_.isClearFromEach(current.point, targets_, batch_);
    std::size_t next = 0;

    for (const uint32_t k : eager_) {
      const uint8_t status = status_[k];
      if (status == kSamePlace || status == kSettled) continue;
      double multiplier = 1.0;
      bool passable = status == kKnownClear;
      if (status == kWireStep) {
        multiplier = kWireMultiplier;
        passable = true;
      } else if (status == kAsk) {
        passable = batch_[next++] != 0;
        if (known && k < goalIndex) (*known)[k] = passable ? 1 : 0;
      }
      if (k < wireCount_) logWireCheck(current.point, fixed_[k].wireIndex, passable, multiplier);
      if (!passable) continue;
      const WireNode& n = node(k);
      if (exploredEdges) exploredEdges->emplace_back(std::vector<Point>{current.point, n.point});

      // Relaxation: the wire update line first, then closed, then the first open
      // entry (in open-list order) within 0.001.
      const double step = distance(current.point, n.point) * multiplier;
      const double g = current.g + step;
      double h = distance(n.point, goal);
      if (n.onWire) {
        h *= kWireEstimateWeight;
        logWireUpdate(n.wireIndex, g, step, h, h + g);
      }
      const int64_t sole = sole_[k] ? static_cast<int64_t>(k) : -1;
      if (lists->closedNear(n.point, sole)) continue;
      if (lists->improveNear(n.point, g, h, ci, sole)) continue;
      lists->open({{n.point, g, h, ci, n.onWire, n.wireIndex}, static_cast<int64_t>(k)});
      if (deferring) openedAt_[k] = ci;
    }
  }
  return std::vector<Point>{};
}

// The entry an expansion of every hop as it goes would take next. Such a search opens a
// sole corner at the first expansion with a clear hop to it and keeps the cheapest clear
// hop (the earliest on equal cost); here its hops are asked about cheapest first, and only
// while they cost no more than the best entry known, so every corner that could be taken
// next already has its cheapest clear hop. Entries of equal cost are taken in the order
// the other search would have opened them: by the expansion that first saw them clear,
// then by graph index.
bool TransitRouter::takeDeferred(SearchLists& lists, HopCandidates& candidates,
                                 const Cancellation& cancel, SearchLists::Opened& best) {
  constexpr double kNone = std::numeric_limits<double>::infinity();
  const std::vector<SearchNode>& closed = lists.closed();
  const auto fOf = [](const SearchLists::Opened* e) { return e ? e->node.g + e->node.h : kNone; };
  // Front entries whose corner closed or found a cheaper hop since are left behind.
  const auto dropStale = [&] {
    while (!front_.empty() && front_.top().g != bound_[front_.top().corner]) front_.pop();
  };
  dropStale();
  double least = std::min(fOf(lists.peekBest()), front_.empty() ? kNone : front_.top().f);
  std::size_t asked = 0;
  while (!candidates.empty() && candidates.top().f <= least) {
    const HopCandidates::Hop hop = candidates.top();
    if (!(hop.g < bound_[hop.to])) {
      candidates.pop();
      continue;
    }
    if (++asked % 256 == 0) cancel.poll();
    if (!candidates.topIsClear(clearance_)) {
      candidates.pop();
      continue;
    }
    candidates.pop();
    bound_[hop.to] = hop.g;
    parent_[hop.to] = hop.from;
    front_.push({hop.f, hop.g, hop.to});
    least = std::min(least, hop.f);
  }
  if (least == kNone) return false;

  // Every entry of the least cost: the lists' best and the corners at the front.
  std::vector<Front>& tied = tied_;
  tied.clear();
  while (!front_.empty() && front_.top().f == least) {
    tied.push_back(front_.top());
    front_.pop();
    dropStale();
  }
  const SearchLists::Opened* listed = lists.peekBest();
  const bool listedTies = fOf(listed) == least;
  std::size_t chosen = 0;  // tied.size(): the lists' entry
  if (tied.size() + (listedTies ? 1 : 0) > 1) {
    const auto firstClear = [&](uint32_t k) {
      for (std::size_t c = 0; c < closed.size(); ++c) {
        if (consecutiveWire(closed[c].onWire, closed[c].wireIndex, fixed_[k]) ||
            clearance_.isClear(closed[c].point, fixed_[k].point)) {
          return static_cast<int64_t>(c);
        }
      }
      return static_cast<int64_t>(closed.size());
    };
    std::pair<int64_t, int64_t> earliest{INT64_MAX, INT64_MAX};
    for (std::size_t i = 0; i < tied.size(); ++i) {
      const std::pair<int64_t, int64_t> opened{firstClear(tied[i].corner), tied[i].corner};
      if (opened < earliest) {
        earliest = opened;
        chosen = i;
      }
    }
    if (listedTies) {
      const int64_t k = listed->graphIndex;
      const std::pair<int64_t, int64_t> opened{k < 0 ? -1 : openedAt_[static_cast<std::size_t>(k)],
                                               k};
      if (opened < earliest) chosen = tied.size();
    }
  }
  if (tied.empty() || chosen == tied.size()) {
    for (const Front& f : tied) front_.push(f);
    best = lists.takeBest();
    return true;
  }
  for (std::size_t i = 0; i < tied.size(); ++i) {
    if (i != chosen) front_.push(tied[i]);
  }
  const uint32_t k = tied[chosen].corner;
  const WireNode& n = fixed_[k];
  best = {{n.point, bound_[k], estimate_[k], parent_[k], n.onWire, n.wireIndex}, k};
  bound_[k] = -kNone;
  return true;
}

std::vector<Point> findTransitRoute(const Point& position, const Point& goal,
                                    const Environment& environment,
                                    std::vector<LineString>& exploredEdges,
                                    const RoutingStrategies& strategies) {
  const std::unique_ptr<Clearance> clearance = strategies.clearance(environment);
  return TransitRouter(environment, *clearance, strategies.lists)
      .findRoute(position, goal, &exploredEdges);
}

}  // namespace Planner
