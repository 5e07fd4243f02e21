#include "planner/routing/slice_chooser.h"
#include "planner/geometry/tolerances.h"

#include <cmath>

#include "planner/geometry/rtree.h"

namespace Planner {
namespace {

namespace bg = rtree::bg;
namespace bgi = rtree::bgi;

using IndexPoint = rtree::PlanePoint;
using Value = std::pair<IndexPoint, std::uint64_t>;  // entry point and scan order

constexpr double kNeverTaken = 1e10;

// The index hands out entries by a squared distance of its own; allow for its
// rounding before deciding that no later entry can be nearer.
double tieSlack(double d) { return 1e-9 + d * 1e-12; }

}  // namespace

// Nodes may shrink to a single entry before the tree rebalances: the thousands of
// removals of driven slices then seldom reinsert entries, at little cost to the queries.
using Tree = bgi::rtree<Value, bgi::rstar<16, 1>>;

struct SliceChooser::Index {
  Tree rtree;
  std::vector<std::uint64_t> firstOrder;  // scan order of each slice's first entry
  std::vector<uint32_t> sliceOf;          // slice of each scan order
};

SliceChooser::SliceChooser(const std::vector<LineString>& slices, const std::vector<bool>& done)
    : slices_(slices), index_(std::make_unique<Index>()) {
  std::vector<Value> values;
  for (std::size_t i = 0; i < slices.size(); ++i) {
    const std::vector<Point>& pts = slices[i].getPoints();
    index_->firstOrder.push_back(index_->sliceOf.size());
    const std::size_t entries = pts.size() < 3 ? (pts.empty() ? 0 : 2) : pts.size();
    for (std::size_t k = 0; k < entries; ++k) {
      const Point& p = pts.size() < 3 ? (k == 0 ? pts.front() : pts.back()) : pts[k];
      if (!done[i]) values.emplace_back(IndexPoint(p.x, p.y), index_->sliceOf.size());
      index_->sliceOf.push_back(static_cast<uint32_t>(i));
    }
  }
  index_->rtree = Tree(values.begin(), values.end());
}

SliceChooser::SliceChooser(SliceChooser&&) noexcept = default;
SliceChooser::~SliceChooser() = default;

void SliceChooser::remove(std::size_t slice) {
  const std::vector<Point>& pts = slices_[slice].getPoints();
  const std::uint64_t first = index_->firstOrder[slice];
  const std::size_t entries = pts.size() < 3 ? (pts.empty() ? 0 : 2) : pts.size();
  for (std::size_t k = 0; k < entries; ++k) {
    const Point& p = pts.size() < 3 ? (k == 0 ? pts.front() : pts.back()) : pts[k];
    index_->rtree.remove(Value(IndexPoint(p.x, p.y), first + k));
  }
}

// Visits entries by increasing distance and keeps the nearest accepted one; on equal
// distance the lower scan order. Stops once no later entry can be nearer.
template <typename Accept>
SliceChoice SliceChooser::scanNearest(const Point& position, double below, Accept&& accept) const {
  SliceChoice best;
  std::uint64_t bestOrder = 0;
  bool found = false;
  const IndexPoint origin(position.x, position.y);
  for (auto it = index_->rtree.qbegin(bgi::nearest(origin, index_->rtree.size()));
       it != index_->rtree.qend(); ++it) {
    const Point p{bg::get<0>(it->first), bg::get<1>(it->first)};
    const std::uint64_t order = it->second;
    const double d = distance(position, p);
    if (found && d > best.distance + tieSlack(best.distance)) break;
    if (d > below + tieSlack(below)) break;
    if (!(d < below)) continue;
    if (found && (d > best.distance || (d == best.distance && order > bestOrder))) continue;
    if (!accept(p)) continue;
    const std::uint32_t slice = index_->sliceOf[order];
    const std::uint64_t k = order - index_->firstOrder[slice];
    const bool ring = slices_[slice].getPoints().size() >= 3;
    best = {static_cast<int32_t>(slice), !ring && k == 1, d, ring ? k : 0, ring};
    bestOrder = order;
    found = true;
  }
  return best;
}

SliceChoice SliceChooser::nearestClear(const Point& position, const Clearance& clearance) const {
  // From far outside the perimeter only hops shorter than 0.01 are clear: they need
  // no test, and no farther entry needs one either.
  if (clearance.blocksEveryHopFrom(position)) {
    return scanNearest(position, kShortestHop, [](const Point&) { return true; });
  }
  return scanNearest(position, kNeverTaken,
                     [&](const Point& p) { return clearance.isClear(position, p); });
}

SliceChoice SliceChooser::nearest(const Point& position) const {
  return scanNearest(position, kNeverTaken, [](const Point&) { return true; });
}

}  // namespace Planner
