#include "planner/routing/transit_router.h"
#include "planner/geometry/tolerances.h"

#include <algorithm>
#include <cmath>
#include <queue>
#include <tuple>

#include "planner/routing/planner_log.h"

namespace Planner {
namespace {

constexpr std::size_t kDenseCacheLimit = 4096;

bool consecutiveWire(bool aOnWire, std::uint64_t a, const WireNode& b) {
  return aOnWire && b.onWire && (a + 1 == b.wireIndex || b.wireIndex + 1 == a);
}

// Points bucketed in cells of 0.001, to find every stored point closer than 0.001
// to a query by looking at the 3 x 3 cells around it.
class NearPoints {
 public:
  void insert(const Point& p, uint32_t id) { cells_[key(cell(p.x), cell(p.y))].push_back(id); }

  void erase(const Point& p, uint32_t id) {
    auto it = cells_.find(key(cell(p.x), cell(p.y)));
    if (it == cells_.end()) return;
    auto& ids = it->second;
    ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
  }

  template <typename F>
  void forEachNear(const Point& p, F&& f) const {
    const int64_t cx = cell(p.x), cy = cell(p.y);
    for (int64_t dx = -1; dx <= 1; ++dx) {
      for (int64_t dy = -1; dy <= 1; ++dy) {
        auto it = cells_.find(key(cx + dx, cy + dy));
        if (it == cells_.end()) continue;
        for (uint32_t id : it->second) f(id);
      }
    }
  }

 private:
  static int64_t cell(double v) { return static_cast<int64_t>(std::floor(v / kSamePoint)); }
  static std::uint64_t key(int64_t x, int64_t y) {
    return static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(y);
  }
  std::unordered_map<std::uint64_t, std::vector<uint32_t>> cells_;
};

// One open-list entry with what the fast search needs besides the search fields.
struct OpenEntry {
  SearchNode node;
  int64_t graphIndex;  // -1 for the start entry
  std::uint64_t version = 0;
  bool open = true;
};

struct HeapKey {
  double f;
  uint32_t seq;  // open-list position order: insertion order
  std::uint64_t version;
  bool operator>(const HeapKey& o) const { return std::tie(f, seq) > std::tie(o.f, o.seq); }
};

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

std::vector<Point> smoothRoute(const std::vector<Point>& route, const Environment& environment) {
  return smoothRoute(route, SegmentClearance(environment));
}

std::vector<Point> smoothRoute(const std::vector<Point>& route, const SegmentClearance& clearance) {
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

TransitRouter::TransitRouter(const Environment& environment, const SegmentClearance& clearance)
    : clearance_(clearance), fixed_(fixedNodes(environment)) {}

bool TransitRouter::fixedClear(std::size_t from, std::size_t to) {
  const std::size_t n = fixed_.size();
  if (n <= kDenseCacheLimit) {
    // Most plans need no transit at all: the matrix is only made when one does.
    if (denseCache_.empty()) denseCache_.assign(n * n, -1);
    int8_t& c = denseCache_[from * n + to];
    if (c < 0) c = clearance_.isClear(fixed_[from].point, fixed_[to].point) ? 1 : 0;
    return c == 1;
  }
  const std::uint64_t key = static_cast<std::uint64_t>(from) * n + to;
  auto it = sparseCache_.find(key);
  if (it != sparseCache_.end()) return it->second;
  const bool clear = clearance_.isClear(fixed_[from].point, fixed_[to].point);
  sparseCache_.emplace(key, clear);
  return clear;
}

std::vector<Point> TransitRouter::findRoute(const Point& position, const Point& goal,
                                            std::vector<LineString>& exploredEdges,
                                            const Cancellation& cancel) {
  const std::size_t goalIndex = fixed_.size();
  const WireNode goalNode{goal, false, 0};
  auto node = [&](std::size_t k) -> const WireNode& {
    return k < goalIndex ? fixed_[k] : goalNode;
  };

  std::vector<OpenEntry> entries;  // every entry ever opened, by insertion order (seq)
  std::vector<SearchNode> closed;
  NearPoints openNear, closedNear;
  std::priority_queue<HeapKey, std::vector<HeapKey>, std::greater<>> heap;

  auto pushKey = [&](uint32_t seq) {
    const OpenEntry& e = entries[seq];
    heap.push({e.node.g + e.node.h, seq, e.version});
  };
  entries.push_back({{position, 0.0, distance(position, goal), -1, false, 0}, -1});
  openNear.insert(position, 0);
  pushKey(0);

  while (!heap.empty()) {
    const HeapKey key = heap.top();
    heap.pop();
    OpenEntry& entry = entries[key.seq];
    if (!entry.open || entry.version != key.version) continue;
    cancel.poll();
    const SearchNode current = entry.node;
    const int64_t currentIndex = entry.graphIndex;
    if (distance(current.point, goal) < kSamePoint) {
      return smoothRoute(reconstructRoute(current, closed), clearance_);
    }
    entry.open = false;
    openNear.erase(current.point, key.seq);
    const auto ci = static_cast<int32_t>(closed.size());
    closed.push_back(current);
    closedNear.insert(current.point, static_cast<uint32_t>(ci));

    for (std::size_t k = 0; k <= goalIndex; ++k) {
      const WireNode& n = node(k);
      if (distance(n.point, current.point) < kSamePoint) continue;
      double multiplier = 1.0;
      bool passable;
      if (consecutiveWire(current.onWire, current.wireIndex, n)) {
        multiplier = kWireMultiplier;
        passable = true;
      } else if (currentIndex >= 0 && static_cast<std::size_t>(currentIndex) < goalIndex &&
                 k < goalIndex) {
        passable = fixedClear(static_cast<std::size_t>(currentIndex), k);
      } else {
        passable = clearance_.isClear(current.point, n.point);
      }
      if (n.onWire) logWireCheck(current.point, n.wireIndex, passable, multiplier);
      if (!passable) continue;
      exploredEdges.emplace_back(std::vector<Point>{current.point, n.point});

      // Relaxation: the wire update line first, then closed, then the first open
      // entry (in open-list order) within 0.001.
      const double step = distance(current.point, n.point) * multiplier;
      const double g = current.g + step;
      double h = distance(n.point, goal);
      if (n.onWire) {
        h *= kWireEstimateWeight;
        logWireUpdate(n.wireIndex, g, step, h, h + g);
      }
      bool isClosed = false;
      closedNear.forEachNear(n.point, [&](uint32_t id) {
        isClosed = isClosed || distance(closed[id].point, n.point) < kSamePoint;
      });
      if (isClosed) continue;
      int64_t first = -1;
      openNear.forEachNear(n.point, [&](uint32_t seq) {
        if (distance(entries[seq].node.point, n.point) < kSamePoint &&
            (first < 0 || seq < static_cast<uint32_t>(first))) {
          first = seq;
        }
      });
      if (first >= 0) {
        OpenEntry& e = entries[static_cast<std::size_t>(first)];
        if (e.node.g > g) {
          e.node.g = g;
          e.node.h = h;
          e.node.parent = ci;
          ++e.version;
          pushKey(static_cast<uint32_t>(first));
        }
        continue;
      }
      const auto seq = static_cast<uint32_t>(entries.size());
      entries.push_back({{n.point, g, h, ci, n.onWire, n.wireIndex}, static_cast<int64_t>(k)});
      openNear.insert(n.point, seq);
      pushKey(seq);
    }
  }
  return {};
}

std::vector<Point> findTransitRoute(const Point& position, const Point& goal,
                                    const Environment& environment,
                                    std::vector<LineString>& exploredEdges) {
  const SegmentClearance clearance(environment);
  return TransitRouter(environment, clearance).findRoute(position, goal, exploredEdges);
}

}  // namespace Planner
