// The module's strategies: R-trees of edges and entry points, a heap for the open list
// and grids of kSamePoint cells for open and closed membership.
#include <limits>
#include <queue>
#include <tuple>

#include "planner/geometry/tolerances.h"
#include "planner/routing/near_points.h"
#include "planner/routing/routing_strategies.h"
#include "planner/routing/segment_clearance.h"
#include "planner/routing/slice_chooser.h"

namespace Planner {
namespace {

class IndexedSearchLists : public SearchLists {
 public:
  void open(const Opened& entry) override {
    const auto seq = static_cast<uint32_t>(entries_.size());
    entries_.push_back({entry, 0, true});
    openNear_.insert(entry.node.point, seq);
    if (entry.graphIndex >= 0) byGraph(entry.graphIndex).open = seq;
    push(seq);
  }

  bool anyOpen() const override {
    dropStale();
    return !heap_.empty();
  }

  Opened takeBest() override {
    dropStale();
    const uint32_t seq = heap_.top().seq;
    heap_.pop();
    Entry& e = entries_[seq];
    e.open = false;
    openNear_.erase(e.opened.node.point, seq);
    return e.opened;
  }

  bool canPeek() const override { return true; }

  const Opened* peekBest() const override {
    dropStale();
    return heap_.empty() ? nullptr : &entries_[heap_.top().seq].opened;
  }

  bool improveNear(const Point& p, double g, double h, int32_t parent, int64_t sole) override {
    int64_t first = -1;
    if (sole >= 0) {
      // Only the node's own entry can be near; a node is open at most once at a time.
      const uint32_t seq = byGraph(sole).open;
      if (seq != kNone && entries_[seq].open) first = seq;
    } else {
      openNear_.forEachNear(p, [&](uint32_t seq) {
        if (distance(entries_[seq].opened.node.point, p) < kSamePoint &&
            (first < 0 || seq < static_cast<uint32_t>(first))) {
          first = seq;
        }
      });
    }
    if (first < 0) return false;
    SearchNode& node = entries_[static_cast<std::size_t>(first)].opened.node;
    if (node.g > g) {
      node.g = g;
      node.h = h;
      node.parent = parent;
      ++entries_[static_cast<std::size_t>(first)].version;
      push(static_cast<uint32_t>(first));
    }
    return true;
  }

  int32_t close(const SearchNode& node, int64_t graphIndex) override {
    const auto index = static_cast<int32_t>(closed_.size());
    closed_.push_back(node);
    closedNear_.insert(node.point, static_cast<uint32_t>(index));
    if (graphIndex >= 0) byGraph(graphIndex).closed = true;
    return index;
  }

  bool closedNear(const Point& p, int64_t sole) const override {
    if (sole >= 0) return sole < static_cast<int64_t>(graph_.size()) && graph_[sole].closed;
    bool near = false;
    closedNear_.forEachNear(
        p, [&](uint32_t id) { near = near || distance(closed_[id].point, p) < kSamePoint; });
    return near;
  }

  double settledCost(int64_t sole) const override {
    if (sole < 0 || sole >= static_cast<int64_t>(graph_.size())) {
      return std::numeric_limits<double>::infinity();
    }
    const GraphNode& node = graph_[static_cast<std::size_t>(sole)];
    if (node.closed) return -std::numeric_limits<double>::infinity();
    if (node.open != kNone && entries_[node.open].open) return entries_[node.open].opened.node.g;
    return std::numeric_limits<double>::infinity();
  }

  const std::vector<SearchNode>& closed() const override { return closed_; }

 private:
  struct Entry {
    Opened opened;
    std::uint64_t version;
    bool open;
  };
  // Ordered by cost, then by the order of opening; improved entries are pushed again
  // and their older keys skipped.
  struct Key {
    double f;
    uint32_t seq;
    std::uint64_t version;
    bool operator>(const Key& o) const { return std::tie(f, seq) > std::tie(o.f, o.seq); }
  };

  static constexpr uint32_t kNone = UINT32_MAX;
  // Per graph node: its open entry (valid while that entry is open) and whether it closed.
  struct GraphNode {
    uint32_t open = kNone;
    bool closed = false;
  };
  GraphNode& byGraph(int64_t index) {
    const auto i = static_cast<std::size_t>(index);
    if (i >= graph_.size()) graph_.resize(i + 1);
    return graph_[i];
  }

  void push(uint32_t seq) {
    const Entry& e = entries_[seq];
    heap_.push({e.opened.node.g + e.opened.node.h, seq, e.version});
  }

  void dropStale() const {
    while (!heap_.empty()) {
      const Key& top = heap_.top();
      const Entry& e = entries_[top.seq];
      if (e.open && e.version == top.version) return;
      heap_.pop();
    }
  }

  std::vector<Entry> entries_;
  mutable std::priority_queue<Key, std::vector<Key>, std::greater<>> heap_;
  NearPoints openNear_;
  std::vector<SearchNode> closed_;
  NearPoints closedNear_;
  std::vector<GraphNode> graph_;
};

}  // namespace

const RoutingStrategies& indexedStrategies() {
  static const RoutingStrategies strategies{
      [](const Environment& environment) -> std::unique_ptr<Clearance> {
        return std::make_unique<SegmentClearance>(environment);
      },
      [](const std::vector<LineString>& slices, const std::vector<bool>& done)
          -> std::unique_ptr<EntryFinder> { return std::make_unique<SliceChooser>(slices, done); },
      []() -> std::unique_ptr<SearchLists> { return std::make_unique<IndexedSearchLists>(); }};
  return strategies;
}

}  // namespace Planner
