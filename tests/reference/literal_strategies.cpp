#include <algorithm>
#include <memory>

#include "planner/geometry/tolerances.h"
#include "tests/reference/literal_routing.h"

namespace Planner::Literal {
namespace {

class LinearClearance : public Clearance {
 public:
  explicit LinearClearance(const Environment& environment) : environment_(environment) {}
  bool isClear(const Point& a, const Point& b) const override {
    return Literal::isSegmentClear(a, b, environment_);
  }

 private:
  Environment environment_;
};

// Every entry of every slice still to drive, in scan order; strictly nearer wins.
class LinearEntries : public EntryFinder {
 public:
  LinearEntries(const std::vector<LineString>& slices, const std::vector<bool>& done)
      : slices_(slices), done_(done) {}

  SliceChoice nearestClear(const Point& position, const Clearance& clearance) const override {
    return scan(position, [&](const Point& entry) { return clearance.isClear(position, entry); });
  }
  SliceChoice nearest(const Point& position) const override {
    return scan(position, [](const Point&) { return true; });
  }
  void remove(std::size_t slice) override { done_[slice] = true; }

 private:
  template <typename Clear>
  SliceChoice scan(const Point& position, Clear&& clear) const {
    SliceChoice best;
    for (std::size_t i = 0; i < slices_.size(); ++i) {
      const std::vector<Point>& pts = slices_[i].getPoints();
      if (done_[i] || pts.empty()) continue;
      const auto index = static_cast<int32_t>(i);
      if (pts.size() < 3) {
        const double d1 = distance(position, pts.front());
        if (d1 < best.distance && clear(pts.front())) best = {index, false, d1, 0, false};
        const double d2 = distance(position, pts.back());
        if (d2 < best.distance && clear(pts.back())) best = {index, true, d2, 0, false};
      } else {
        for (std::size_t j = 0; j < pts.size(); ++j) {
          const double d = distance(position, pts[j]);
          if (d < best.distance && clear(pts[j])) best = {index, false, d, j, true};
        }
      }
    }
    return best;
  }

  const std::vector<LineString>& slices_;
  std::vector<bool> done_;
};

bool within(const Point& a, const Point& b) { return distance(a, b) < kSamePoint; }

// Open and closed lists as plain vectors: the open list keeps the order of opening.
class LinearLists : public SearchLists {
 public:
  void open(const Opened& entry) override { open_.push_back(entry); }
  bool anyOpen() const override { return !open_.empty(); }
  Opened takeBest() override {
    std::size_t best = 0;
    for (std::size_t i = 1; i < open_.size(); ++i) {
      const SearchNode& a = open_[i].node;
      const SearchNode& b = open_[best].node;
      if (a.g + a.h < b.g + b.h) best = i;
    }
    const Opened taken = open_[best];
    open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(best));
    return taken;
  }
  bool improveNear(const Point& p, double g, double h, int32_t parent, int64_t) override {
    for (Opened& entry : open_) {
      if (!within(entry.node.point, p)) continue;
      if (entry.node.g > g) {
        entry.node.g = g;
        entry.node.h = h;
        entry.node.parent = parent;
      }
      return true;
    }
    return false;
  }
  int32_t close(const SearchNode& node, int64_t) override {
    closed_.push_back(node);
    return static_cast<int32_t>(closed_.size() - 1);
  }
  bool closedNear(const Point& p, int64_t) const override {
    return std::any_of(closed_.begin(), closed_.end(),
                       [&](const SearchNode& n) { return within(n.point, p); });
  }
  const std::vector<SearchNode>& closed() const override { return closed_; }

 private:
  std::vector<Opened> open_;
  std::vector<SearchNode> closed_;
};

}  // namespace

const RoutingStrategies& strategies() {
  static const RoutingStrategies linear{
      [](const Environment& environment) -> std::unique_ptr<Clearance> {
        return std::make_unique<LinearClearance>(environment);
      },
      [](const std::vector<LineString>& slices, const std::vector<bool>& done)
          -> std::unique_ptr<EntryFinder> { return std::make_unique<LinearEntries>(slices, done); },
      []() -> std::unique_ptr<SearchLists> { return std::make_unique<LinearLists>(); }};
  return linear;
}

std::vector<Point> findTransitRoute(const Point& position, const Point& goal,
                                    const Environment& environment,
                                    std::vector<LineString>& exploredEdges) {
  return Planner::findTransitRoute(position, goal, environment, exploredEdges, strategies());
}

PlanningResult planRoute(const Environment& environment, const std::vector<LineString>& slices,
                         const Point& start) {
  return PathPlanner::planRoute(environment, slices, start, Cancellation(), strategies());
}

}  // namespace Planner::Literal
