#include "planner/routing/transit_router.h"
#include "planner/geometry/tolerances.h"

#include <algorithm>
#include <cmath>
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

bool consecutiveWire(bool aOnWire, std::uint64_t a, const WireNode& b) {
  return aOnWire && b.onWire && (a + 1 == b.wireIndex || b.wireIndex + 1 == a);
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
      wireCount_(environment.getVirtualWire().getPoints().size()) {
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
  const WireNode goalNode{goal, false, 0};
  auto node = [&](std::size_t k) -> const WireNode& {
    return k < goalIndex ? fixed_[k] : goalNode;
  };

  const std::unique_ptr<SearchLists> lists = lists_();
  lists->open({{position, 0.0, distance(position, goal), -1, false, 0}, -1});
  // Which nodes no other node of this search crowds (see SearchLists).
  sole_ = soleFixed_;
  sole_.push_back(distance(position, goal) >= kSamePoint ? 1 : 0);
  for (std::size_t k = 0; k < goalIndex; ++k) {
    if (samePlace(fixed_[k].point, position) || samePlace(fixed_[k].point, goal)) {
      sole_[k] = 0;
      sole_[goalIndex] = 0;
    }
  }

  while (lists->anyOpen()) {
    const SearchLists::Opened best = lists->takeBest();
    cancel.poll();
    const SearchNode& current = best.node;
    const int64_t currentIndex = best.graphIndex;
    if (distance(current.point, goal) < kSamePoint) {
      return smoothRoute(reconstructRoute(current, lists->closed()), clearance_);
    }
    const int32_t ci = lists->close(current, currentIndex);
    const bool fromFixed = currentIndex >= 0 && static_cast<std::size_t>(currentIndex) < goalIndex;

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
    for (std::size_t k = 0; k < goalIndex; ++k) status_[k] = statusOf(k, fixed_[k]);
    status_[goalIndex] = statusOf(goalIndex, goalNode);
    clearance_.isClearFromEach(current.point, targets_, batch_);
    std::size_t next = 0;

    for (std::size_t k = 0; k <= goalIndex; ++k) {
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
    }
  }
  return {};
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
