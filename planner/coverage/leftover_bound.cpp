#include "planner/coverage/leftover_bound.h"

#include <clipper2/clipper.h>

#include <algorithm>
#include <cmath>

#include "planner/coverage/clipper_ops.h"

namespace Planner {
namespace {

using Clipper2Lib::Path64;
using Clipper2Lib::Paths64;

// The cover grows this many integer units less than the lap: more than the rounding
// of both offsets' points, so no cover point can lie outside the grown set. Round
// joins cut their arcs by chords, which only shrinks the cover further.
constexpr double kCoverMargin = 16.0;
// The region shrinks this much first (round joins). It parts the thin seam the cover
// leaves along the region's border, so the leftover's pieces can be judged one by one.
// Shrinking by a then b shrinks by a + b, so the region's shrink counts towards the
// leftover's.
constexpr double kRegionShrink = 64.0;
// The shrinks here stay this much below the loop's in total: the loop's shrink rounds
// its points and its miter joins cut deeper than round ones, never the other way.
constexpr double kShrinkMargin = 8.0;
// Strips at least this many grows wide, and no more of them than kMaxStrips.
constexpr int64_t kStripGrows = 4;
constexpr int64_t kMaxStrips = 256;

// The cover: `lap` cut into vertical strips, each grown by `grow` with round joins.
// Outer rings are cut at a box reaching `reach` beyond the strip on both sides, so every
// point the grow of the whole lap reaches from inside the strip is reached from the box.
// Holes are cut at a box two reaches wider still: within the first box's reach they
// shrink exactly as whole holes do, which keeps the cover out of them.
Paths64 stripCover(const Paths64& lap, double grow, const Cancellation& cancel) {
  Paths64 outers, holes;
  for (const Path64& path : lap) (Clipper2Lib::Area(path) > 0.0 ? outers : holes).push_back(path);
  const Clipper2Lib::Rect64 bounds = Clipper2Lib::GetBounds(lap);
  const auto reach = static_cast<int64_t>(std::ceil(grow)) + 1;
  const int64_t width = bounds.right - bounds.left;
  const int64_t step = std::max(kStripGrows * reach, width / kMaxStrips + 1);
  Paths64 cover;
  for (int64_t left = bounds.left; left <= bounds.right; left += step) {
    cancel.poll();
    const int64_t top = bounds.top - 1, bottom = bounds.bottom + 1;
    Paths64 piece = Clipper2Lib::RectClip({left - reach, top, left + step + reach, bottom}, outers);
    if (piece.empty()) continue;
    const Paths64 cut =
        Clipper2Lib::RectClip({left - 3 * reach, top, left + step + 3 * reach, bottom}, holes);
    piece.insert(piece.end(), cut.begin(), cut.end());
    Paths64 grown = offsetPaths(piece, grow, Clipper2Lib::JoinType::Round);
    std::move(grown.begin(), grown.end(), std::back_inserter(cover));
  }
  return cover;
}

}  // namespace

bool leftoverKeepsNothing(const Paths64& region, const Paths64& lap, double grow, double shrink,
                          const Cancellation& cancel) {
  const double r = shrink - kRegionShrink - kShrinkMargin;
  if (lap.empty() || grow <= 2.0 * kCoverMargin || r <= kShrinkMargin) return false;
  // Strip covers overlap, so they are read with non-zero winding; the region, a
  // Clipper2 result, reads the same either way.
  const Paths64 leftover =
      difference(offsetPaths(region, -kRegionShrink, Clipper2Lib::JoinType::Round),
                 stripCover(lap, grow - kCoverMargin, cancel), Clipper2Lib::FillRule::NonZero);
  // A piece whose box is narrower than twice the rest of the shrink keeps nothing;
  // the others, with every hole, must shrink to nothing.
  Paths64 probe;
  bool anyOuter = false;
  for (const Path64& path : leftover) {
    const bool outer = Clipper2Lib::Area(path) > 0.0;
    if (outer && narrowerThan(path, 2.0 * r)) continue;
    anyOuter = anyOuter || outer;
    probe.push_back(path);
  }
  return !anyOuter || offsetPaths(probe, -r, Clipper2Lib::JoinType::Round).empty();
}

}  // namespace Planner
