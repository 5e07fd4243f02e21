#include "planner/coverage/leftover_bound.h"

#include <clipper2/clipper.h>

#include <algorithm>
#include <cmath>
#include <numbers>

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

// A hole stands apart when no edge of another ring comes within this many grows of its
// box: a ring's grow (its miter joins included, at most two grows out) then stays out of
// the other's.
constexpr double kApartGrows = 4.0;
// The hole-by-hole grow and the leftover taken with it lie within a unit or two of the exact
// sets, as the loop's do: a disc the loop's leftover holds, this much smaller, lies in the
// proof's. Round joins only cut arcs by chords, which keeps more, never less.
constexpr double kApartShrinkMargin = 16.0;
// The split pays where one ring is this long: the sweep of the whole lap carries it across
// every hole. Short rings grow as fast together as apart.
constexpr std::size_t kApartRingPoints = 2000;
// Edges are tested in runs of this many, each run's box first.
constexpr std::size_t kRunEdges = 32;

// The boxes of a ring's runs of edges, so that a far box passes a long ring in few tests.
std::vector<Clipper2Lib::Rect64> runBoxes(const Path64& path) {
  std::vector<Clipper2Lib::Rect64> boxes;
  const std::size_t n = path.size();
  for (std::size_t start = 0; start < n; start += kRunEdges) {
    Clipper2Lib::Rect64 box(path[start].x, path[start].y, path[start].x, path[start].y);
    for (std::size_t k = start + 1; k <= std::min(start + kRunEdges, n); ++k) {
      const Clipper2Lib::Point64& p = path[k % n];
      box.left = std::min(box.left, p.x);
      box.right = std::max(box.right, p.x);
      box.top = std::min(box.top, p.y);
      box.bottom = std::max(box.bottom, p.y);
    }
    boxes.push_back(box);
  }
  return boxes;
}

// Whether some edge of `path` has a box meeting `box`.
bool edgeNear(const Path64& path, const std::vector<Clipper2Lib::Rect64>& runs,
              const Clipper2Lib::Rect64& box) {
  const std::size_t n = path.size();
  for (std::size_t run = 0; run < runs.size(); ++run) {
    if (!boxesMeet(runs[run], box)) continue;
    const std::size_t start = run * kRunEdges;
    for (std::size_t k = start; k < std::min(start + kRunEdges, n); ++k) {
      const Clipper2Lib::Point64 &a = path[k], &b = path[(k + 1) % n];
      const Clipper2Lib::Rect64 edge(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                                     std::max(a.y, b.y));
      if (boxesMeet(edge, box)) return true;
    }
  }
  return false;
}

// The lap grown by `grow` as the loop grows it, up to Clipper2's rounding: every hole that
// stands apart is grown alone, framed by a square far outside its reach so that it grows
// as it does inside the outer ring (the frame's own grow is left out); the other rings
// are grown together. Empty when no hole stands apart.
Paths64 grownApart(const Paths64& lap, double grow) {
  const auto reach = static_cast<int64_t>(std::ceil(kApartGrows * grow)) + 1;
  std::vector<Clipper2Lib::Rect64> boxes;
  std::vector<std::vector<Clipper2Lib::Rect64>> runs;
  for (const Path64& path : lap) {
    boxes.push_back(Clipper2Lib::GetBounds(path));
    runs.push_back(runBoxes(path));
  }
  Paths64 together, grown;
  for (std::size_t h = 0; h < lap.size(); ++h) {
    const Clipper2Lib::Rect64& b = boxes[h];
    const Clipper2Lib::Rect64 near(b.left - reach, b.top - reach, b.right + reach,
                                   b.bottom + reach);
    bool apart = Clipper2Lib::Area(lap[h]) < 0.0;
    for (std::size_t r = 0; apart && r < lap.size(); ++r) {
      apart = r == h || !boxesMeet(boxes[r], near) || !edgeNear(lap[r], runs[r], near);
    }
    if (!apart) {
      together.push_back(lap[h]);
      continue;
    }
    Path64 frame{{near.left, near.top},
                 {near.left, near.bottom},
                 {near.right, near.bottom},
                 {near.right, near.top}};
    if (Clipper2Lib::Area(frame) < 0.0) std::reverse(frame.begin(), frame.end());
    for (Path64& path : offsetPaths({frame, lap[h]}, grow)) {
      if (Clipper2Lib::GetBounds(path).left >= near.left) grown.push_back(std::move(path));
    }
  }
  if (together.size() == lap.size()) return {};
  for (Path64& path : offsetPaths(together, grow)) grown.push_back(std::move(path));
  return grown;
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
  const Paths64 probe = wideOuters(leftover, 2.0 * r);
  return probe.empty() || offsetPaths(probe, -r, Clipper2Lib::JoinType::Round).empty();
}

bool leftoverKeepsNothingApart(const Paths64& region, const Paths64& lap, double grow,
                               double shrink) {
  const double r = shrink - kApartShrinkMargin;
  if (grow <= 0.0 || r <= kApartShrinkMargin) return false;
  if (std::none_of(lap.begin(), lap.end(),
                   [](const Path64& path) { return path.size() >= kApartRingPoints; })) {
    return false;
  }
  const Paths64 grown = grownApart(lap, grow);
  if (grown.empty()) return false;
  // Read even-odd, as the loop reads it: the holes' grows lie inside the outer rings' and
  // cut them out again. An outer ring with less area than a disc of radius r holds none.
  const Paths64 probe = wideOuters(difference(region, grown), 2.0 * r, std::numbers::pi * r * r);
  return probe.empty() || offsetPaths(probe, -r, Clipper2Lib::JoinType::Round).empty();
}

}  // namespace Planner
