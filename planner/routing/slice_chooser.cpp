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

// A line is entered at either end, a ring at any of its points.
std::size_t entryCount(const std::vector<Point>& pts) {
  return pts.size() < 3 ? (pts.empty() ? 0 : 2) : pts.size();
}
const Point& entryPoint(const std::vector<Point>& pts, std::size_t k) {
  return pts.size() < 3 ? (k == 0 ? pts.front() : pts.back()) : pts[k];
}

}  // namespace

// Taken slices stay in the tree, marked, until they are the larger part of it: then
// the tree is packed anew from the rest. Removing entries one by one from an R-tree
// costs more than skipping them.
struct SliceChooser::Index {
  bgi::rtree<Value, bgi::rstar<16>> rtree;
  std::vector<std::uint64_t> firstOrder;  // scan order of each slice's first entry
  std::vector<uint32_t> sliceOf;          // slice of each scan order
  std::vector<uint8_t> taken;             // per slice: driven, skipped or done at the start
  std::size_t takenEntries = 0;           // entries of taken slices still in the tree

  void pack(const std::vector<LineString>& slices) {
    std::vector<Value> values;
    for (std::size_t i = 0; i < slices.size(); ++i) {
      if (taken[i]) continue;
      const std::vector<Point>& pts = slices[i].getPoints();
      for (std::size_t k = 0; k < entryCount(pts); ++k) {
        const Point& p = entryPoint(pts, k);
        values.emplace_back(IndexPoint(p.x, p.y), firstOrder[i] + k);
      }
    }
    rtree = bgi::rtree<Value, bgi::rstar<16>>(values.begin(), values.end());
    takenEntries = 0;
  }
};

SliceChooser::SliceChooser(const std::vector<LineString>& slices, const std::vector<bool>& done)
    : slices_(slices), index_(std::make_unique<Index>()) {
  for (std::size_t i = 0; i < slices.size(); ++i) {
    index_->firstOrder.push_back(index_->sliceOf.size());
    index_->sliceOf.insert(index_->sliceOf.end(), entryCount(slices[i].getPoints()),
                           static_cast<uint32_t>(i));
    index_->taken.push_back(done[i] ? 1 : 0);
  }
  index_->pack(slices);
}

SliceChooser::SliceChooser(SliceChooser&&) noexcept = default;
SliceChooser::~SliceChooser() = default;

void SliceChooser::remove(std::size_t slice) {
  if (index_->taken[slice]) return;
  index_->taken[slice] = 1;
  index_->takenEntries += entryCount(slices_[slice].getPoints());
  if (index_->takenEntries * 2 > index_->rtree.size()) index_->pack(slices_);
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
    const std::uint64_t order = it->second;
    if (index_->taken[index_->sliceOf[order]]) continue;
    const Point p{bg::get<0>(it->first), bg::get<1>(it->first)};
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
