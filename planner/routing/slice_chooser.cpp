#include "planner/routing/slice_chooser.h"
#include "planner/geometry/predicates.h"
#include "planner/geometry/tolerances.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Planner {
namespace {

constexpr double kNeverTaken = 1e10;
// Entry points per grid cell, on average.
constexpr double kPerCell = 4.0;
constexpr uint32_t kGone = UINT32_MAX;

// A line is entered at either end, a ring at any of its points.
std::size_t entryCount(const std::vector<Point>& pts) {
  return pts.size() < 3 ? (pts.empty() ? 0 : 2) : pts.size();
}
const Point& entryPoint(const std::vector<Point>& pts, std::size_t k) {
  return pts.size() < 3 ? (k == 0 ? pts.front() : pts.back()) : pts[k];
}

struct Candidate {
  double d;
  std::uint64_t order;
  Point point;
  // The heap's top is the least (distance, scan order).
  bool operator<(const Candidate& o) const { return d > o.d || (d == o.d && order > o.order); }
};

// A block of cells at some level of the grid's pyramid (level 0: one cell, level l:
// 2^l x 2^l cells), with a bound on the distance of anything in it.
struct Block {
  double bound;
  int level;
  int64_t column, row;
  bool operator<(const Block& o) const { return bound > o.bound; }
};

}  // namespace

// The entry points in a uniform grid. Each cell's entries lie together in `entries`,
// the live ones first, so a removal swaps an entry behind its cell's live part. Above
// the cells, a pyramid counts the live entries of blocks of 2 x 2, 4 x 4, ... cells, so
// that a search skips emptied regions whole: a robot that stays put while the slices
// around it are taken out one by one (a start it cannot leave) still finds the next
// entry in a few steps.
struct SliceChooser::Index {
  explicit Index(const std::vector<LineString>& all) : slices(all) {}

  const std::vector<LineString>& slices;
  double x0 = 0, y0 = 0, size = 1;  // corner and side of the cells
  int64_t nx = 0, ny = 0;
  double magnitude = 0;  // of every coordinate the grid was built from
  std::vector<uint32_t> cellStart, cellLive;
  // Per level above the cells: its width, and the live entries of each block.
  std::vector<int64_t> levelWidth;
  std::vector<std::vector<uint32_t>> blockLive;
  std::vector<uint32_t> entries;  // scan orders; the points stay in the slices
  std::vector<uint32_t> slot;     // per scan order: position in entries, or kGone
  std::size_t live = 0;
  std::vector<std::uint64_t> firstOrder;  // scan order of each slice's first entry
  std::vector<uint32_t> sliceOf;          // slice of each scan order
  mutable std::vector<Candidate> heap;    // scratch space of the queries
  mutable std::vector<Block> blocks;

  int64_t column(double x) const {
    return std::clamp<int64_t>(static_cast<int64_t>(std::floor((x - x0) / size)), 0, nx - 1);
  }
  int64_t row(double y) const {
    return std::clamp<int64_t>(static_cast<int64_t>(std::floor((y - y0) / size)), 0, ny - 1);
  }

  const Point& pointOf(std::uint64_t order) const {
    const uint32_t slice = sliceOf[order];
    return entryPoint(slices[slice].getPoints(), order - firstOrder[slice]);
  }

  uint32_t cellOf(const Point& p) const {
    return static_cast<uint32_t>(row(p.y) * nx + column(p.x));
  }

  // `each(f)` calls f(point, scan order) for every entry to index, alike every time:
  // the entries are counted, then placed, without a copy of them all.
  template <typename Each>
  void build(Each&& each) {
    std::size_t n = 0;
    double x1 = 0, y1 = 0;
    each([&](const Point& p, std::uint64_t) {
      x0 = n == 0 ? p.x : std::min(x0, p.x), y0 = n == 0 ? p.y : std::min(y0, p.y);
      x1 = n == 0 ? p.x : std::max(x1, p.x), y1 = n == 0 ? p.y : std::max(y1, p.y);
      ++n;
    });
    if (n == 0) return;
    magnitude = std::max({std::fabs(x0), std::fabs(y0), std::fabs(x1), std::fabs(y1)});
    const double w = x1 - x0, h = y1 - y0;
    const double cells = std::max(1.0, static_cast<double>(n) / kPerCell);
    size = std::sqrt(w * h / cells);
    // A thin box gets a single row or column of cells.
    if (!(size >= std::max(w, h) / cells)) size = std::max(w, h) / cells;
    if (!(size > 0) || !std::isfinite(size)) size = 1;
    const auto count = [&](double extent) { return static_cast<int64_t>(extent / size) + 1; };
    while (static_cast<double>(count(w)) * static_cast<double>(count(h)) > 4 * cells + 16) {
      size *= 2;
    }
    nx = count(w), ny = count(h);

    cellStart.assign(static_cast<std::size_t>(nx * ny) + 1, 0);
    each([&](const Point& p, std::uint64_t) { ++cellStart[cellOf(p) + 1]; });
    for (std::size_t c = 0; c + 1 < cellStart.size(); ++c) cellStart[c + 1] += cellStart[c];
    cellLive.assign(cellStart.begin() + 1, cellStart.end());
    for (std::size_t c = cellLive.size(); c-- > 0;) cellLive[c] -= cellStart[c];
    entries.assign(n, 0);
    std::vector<uint32_t> fill(cellStart.begin(), cellStart.end() - 1);
    each([&](const Point& p, std::uint64_t order) {
      const uint32_t at = fill[cellOf(p)]++;
      entries[at] = static_cast<uint32_t>(order);
      slot[order] = at;
    });
    live = n;

    // Level l's blocks are level l-1's in pairs each way, up to a single block.
    int64_t bw = nx, bh = ny;
    for (int level = 1; bw > 1 || bh > 1; ++level) {
      const int64_t pw = bw, ph = bh;
      bw = (bw + 1) / 2, bh = (bh + 1) / 2;
      levelWidth.push_back(bw);
      blockLive.emplace_back(static_cast<std::size_t>(bw * bh), 0);
      for (int64_t r = 0; r < ph; ++r) {
        for (int64_t c = 0; c < pw; ++c) {
          blockLive.back()[static_cast<std::size_t>((r / 2) * bw + c / 2)] +=
              liveIn(level - 1, c, r);
        }
      }
    }
  }

  uint32_t liveIn(int level, int64_t c, int64_t r) const {
    if (level == 0) return cellLive[static_cast<std::size_t>(r * nx + c)];
    return blockLive[level - 1][static_cast<std::size_t>(r * levelWidth[level - 1] + c)];
  }

  void erase(std::uint64_t order) {
    const uint32_t at = slot[order];
    if (at == kGone) return;
    const uint32_t cell = cellOf(pointOf(order));
    const uint32_t last = cellStart[cell] + --cellLive[cell];
    std::swap(entries[at], entries[last]);
    slot[entries[at]] = at;
    slot[order] = kGone;
    --live;
    const int64_t c = cell % nx, r = cell / nx;
    for (std::size_t l = 0; l < blockLive.size(); ++l) {
      --blockLive[l][static_cast<std::size_t>((r >> (l + 1)) * levelWidth[l] + (c >> (l + 1)))];
    }
  }

  // No entry in the block lies nearer to p than this.
  Block block(const Point& p, int level, int64_t c, int64_t r) const {
    const double bx0 = x0 + static_cast<double>(c << level) * size;
    const double by0 = y0 + static_cast<double>(r << level) * size;
    const double bx1 = x0 + static_cast<double>((c + 1) << level) * size;
    const double by1 = y0 + static_cast<double>((r + 1) << level) * size;
    const double nearest = std::sqrt(squaredDistanceToBox(p, bx0, by0, bx1, by1));
    // Rounding of the cell of an entry and of these borders, with room to spare.
    const double slack =
        1e-9 + 1e-12 * (magnitude + std::max(std::fabs(p.x), std::fabs(p.y)) + nearest);
    return {nearest - slack, level, c, r};
  }

  // Lists the live entries of a cell, or the non-empty blocks under a block.
  void open(const Point& p, const Block& b) const {
    if (b.level > 0) {
      const int64_t w = b.level == 1 ? nx : levelWidth[b.level - 2];
      const int64_t h = b.level == 1 ? ny : static_cast<int64_t>(blockLive[b.level - 2].size()) / w;
      for (int64_t r = 2 * b.row; r < std::min(2 * b.row + 2, h); ++r) {
        for (int64_t c = 2 * b.column; c < std::min(2 * b.column + 2, w); ++c) {
          if (liveIn(b.level - 1, c, r) == 0) continue;
          blocks.push_back(block(p, b.level - 1, c, r));
          std::push_heap(blocks.begin(), blocks.end());
        }
      }
      return;
    }
    const auto cell = static_cast<std::size_t>(b.row * nx + b.column);
    const uint32_t begin = cellStart[cell];
    for (uint32_t i = begin; i < begin + cellLive[cell]; ++i) {
      const Point& q = pointOf(entries[i]);
      heap.push_back({distance(p, q), entries[i], q});
      std::push_heap(heap.begin(), heap.end());
    }
  }
};

SliceChooser::SliceChooser(const std::vector<LineString>& slices, const std::vector<bool>& done)
    : slices_(slices), index_(std::make_unique<Index>(slices)) {
  for (std::size_t i = 0; i < slices.size(); ++i) {
    index_->firstOrder.push_back(index_->sliceOf.size());
    index_->sliceOf.insert(index_->sliceOf.end(), entryCount(slices[i].getPoints()),
                           static_cast<uint32_t>(i));
  }
  index_->slot.assign(index_->sliceOf.size(), kGone);
  index_->build([&](auto&& f) {
    for (std::size_t i = 0; i < slices.size(); ++i) {
      if (done[i]) continue;
      const std::vector<Point>& pts = slices[i].getPoints();
      for (std::size_t k = 0; k < entryCount(pts); ++k) {
        f(entryPoint(pts, k), index_->firstOrder[i] + k);
      }
    }
  });
}

SliceChooser::SliceChooser(SliceChooser&&) noexcept = default;
SliceChooser::~SliceChooser() = default;

void SliceChooser::remove(std::size_t slice) {
  const std::uint64_t first = index_->firstOrder[slice];
  for (std::size_t k = 0; k < entryCount(slices_[slice].getPoints()); ++k) {
    index_->erase(first + k);
  }
}

// The accepted entry with the least (distance, scan order) among those nearer than
// `below`. Blocks of the pyramid are opened nearest first, down to cells whose entries
// become candidates; a candidate is taken once no unopened block can hold a nearer one.
template <typename Accept>
SliceChoice SliceChooser::scanNearest(const Point& position, double below, Accept&& accept) const {
  SliceChoice best;
  const Index& index = *index_;
  if (index.live == 0) return best;
  std::vector<Candidate>& heap = index.heap;
  std::vector<Block>& blocks = index.blocks;
  heap.clear();
  blocks.assign(1, index.block(position, static_cast<int>(index.blockLive.size()), 0, 0));
  for (;;) {
    // Whatever is not listed yet lies at least `bound` away.
    const double bound =
        blocks.empty() ? std::numeric_limits<double>::infinity() : blocks.front().bound;
    while (!heap.empty() && (blocks.empty() || heap.front().d < bound)) {
      std::pop_heap(heap.begin(), heap.end());
      const Candidate candidate = heap.back();
      heap.pop_back();
      if (!(candidate.d < below)) return best;
      if (!accept(candidate.point)) continue;
      const std::uint32_t slice = index.sliceOf[candidate.order];
      const std::uint64_t k = candidate.order - index.firstOrder[slice];
      const bool ring = slices_[slice].getPoints().size() >= 3;
      return {static_cast<int32_t>(slice), !ring && k == 1, candidate.d, ring ? k : 0, ring};
    }
    if (blocks.empty() || bound >= below) return best;
    std::pop_heap(blocks.begin(), blocks.end());
    const Block next = blocks.back();
    blocks.pop_back();
    index.open(position, next);
  }
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
