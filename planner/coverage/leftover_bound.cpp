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
// Strips at least this many grows wide, no more of them than kMaxStrips, and on
// average at least kStripPoints of the region's and the lap's points to each: every
// strip reads all rings to cut them.
constexpr int64_t kStripGrows = 4;
constexpr int64_t kMaxStrips = 256;
constexpr int64_t kStripPoints = 1000;

// The proof is tried on laps of at least this many points whose reflex corners, one
// grow apart, would stand this many deep along the rings on average: the grow's spikes
// then pile up in its sweep. Smooth laps grow fast, faster than the proof runs.
constexpr std::size_t kProofPoints = 10000;
constexpr double kProofSpikeDepth = 2.0;

// Strips overlap their neighbours by this much, so that what is left of the region
// in two neighbouring strips joins up where a piece of the leftover crosses between.
constexpr int64_t kStripOverlap = 4;

// What a cover of `lap` grown by `grow` leaves of `region` shrunk by kRegionShrink, or
// more, strip by strip. The region is cut at a box reaching beyond the strip by more
// than its shrink, so within the strip the cut shrinks as the whole region does. The
// lap's outer rings are cut at a box reaching `reach` beyond the strip on both sides,
// so every point the grow of the whole lap reaches from inside the strip is reached
// from the box. Its holes are cut at a box one reach wider still: a hole's cut lets the
// grown outer rings into the hole only within a reach of the cut, beyond the strip.
// Every box spans all rings from top to bottom, so none lies wholly inside a ring.
Paths64 leftoverOfCover(const Paths64& region, const Paths64& lap, double grow,
                        const Cancellation& cancel) {
  Paths64 outers, holes;
  for (const Path64& path : lap) (Clipper2Lib::Area(path) > 0.0 ? outers : holes).push_back(path);
  const Clipper2Lib::Rect64 bounds = Clipper2Lib::GetBounds(region);
  const auto reach = static_cast<int64_t>(std::ceil(grow)) + 1;
  const auto regionReach = static_cast<int64_t>(kRegionShrink + kCoverMargin) + kStripOverlap;
  const int64_t width = bounds.right - bounds.left;
  std::size_t points = 0;
  for (const Paths64* paths : {&region, &lap}) {
    for (const Path64& path : *paths) points += path.size();
  }
  const auto strips =
      std::clamp<int64_t>(static_cast<int64_t>(points) / kStripPoints, 1, kMaxStrips);
  const int64_t step = std::max(kStripGrows * reach, width / strips + 1);
  const int64_t top = bounds.top - 1, bottom = bounds.bottom + 1;
  const auto cut = [&](const Paths64& paths, int64_t left, int64_t right) {
    return Clipper2Lib::RectClip({left, top, right, bottom}, paths);
  };
  Paths64 remains;
  for (int64_t x = bounds.left; x <= bounds.right; x += step) {
    cancel.poll();
    const Paths64 near = cut(region, x - regionReach, x + step + regionReach);
    if (near.empty()) continue;
    Paths64 part = cut(offsetPaths(near, -kRegionShrink, Clipper2Lib::JoinType::Round),
                       x - kStripOverlap, x + step + kStripOverlap);
    Paths64 piece = cut(outers, x - reach, x + step + reach);
    if (!piece.empty() && !part.empty()) {
      const Paths64 pieceHoles = cut(holes, x - 2 * reach, x + step + 2 * reach);
      piece.insert(piece.end(), pieceHoles.begin(), pieceHoles.end());
      part = difference(part, offsetPaths(piece, grow, Clipper2Lib::JoinType::Round),
                        Clipper2Lib::FillRule::NonZero);
    }
    std::move(part.begin(), part.end(), std::back_inserter(remains));
  }
  return Clipper2Lib::Union(remains, Clipper2Lib::FillRule::NonZero);
}

}  // namespace

bool leftoverProofPays(const Paths64& lap, double grow) {
  std::size_t points = 0, reflex = 0;
  double length = 0;
  for (const Path64& path : lap) {
    const std::size_t n = path.size();
    points += n;
    if (n < 3) continue;
    const bool positive = Clipper2Lib::Area(path) > 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      const Clipper2Lib::Point64& a = path[(i + n - 1) % n];
      const Clipper2Lib::Point64& b = path[i];
      const Clipper2Lib::Point64& c = path[(i + 1) % n];
      const double turn = Clipper2Lib::CrossProduct(a, b, c);
      reflex += positive ? turn < 0 : turn > 0;
      const auto dx = static_cast<double>(c.x - b.x), dy = static_cast<double>(c.y - b.y);
      length += std::sqrt(dx * dx + dy * dy);
    }
  }
  return points >= kProofPoints && length > 0 &&
         static_cast<double>(reflex) * grow / length >= kProofSpikeDepth;
}

bool leftoverKeepsNothing(const Paths64& region, const Paths64& lap, double grow, double shrink,
                          const Cancellation& cancel) {
  const double r = shrink - kRegionShrink - kShrinkMargin;
  if (lap.empty() || grow <= 2.0 * kCoverMargin || r <= kShrinkMargin) return false;
  const Paths64 leftover = leftoverOfCover(region, lap, grow - kCoverMargin, cancel);
  // A piece whose box is narrower than twice the rest of the shrink keeps nothing;
  // the others, with every hole, must shrink to nothing.
  const Paths64 probe = withoutNarrowOuters(leftover, 2.0 * r);
  return !anyOuter(probe) || offsetPaths(probe, -r, Clipper2Lib::JoinType::Round).empty();
}

}  // namespace Planner
