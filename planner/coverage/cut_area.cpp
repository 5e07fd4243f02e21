#include "planner/coverage/cut_area.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include <clipper2/clipper.h>
#include <clipper2/clipper.rectclip.h>

namespace Planner {
namespace {

using Clipper2Lib::FillRule;
using Clipper2Lib::Paths64;

// The most strips there are.
constexpr std::size_t kMaxStrips = 64;

// The input as rings whose winding counts how many polygons cover a point: outer rings
// positive, holes negative.
struct Windings {
  std::vector<std::pair<Paths64, double>> families;  // rings and the way the lanes run
  Paths64 mowable;
  Paths64 skipped;
};

Paths64 windingRings(const std::vector<Polygon64>& polygons) {
  Paths64 out;
  for (const Polygon64& polygon : polygons) {
    for (std::size_t k = 0; k < polygon.size(); ++k) {
      if (polygon[k].size() < 3) continue;
      out.push_back(polygon[k]);
      if ((Clipper2Lib::Area(out.back()) > 0) != (k == 0))
        std::reverse(out.back().begin(), out.back().end());
    }
  }
  return out;
}

void append(Paths64& to, const Paths64& from) { to.insert(to.end(), from.begin(), from.end()); }

// A ring around every path, running the negative way: added to paths it lowers every
// winding count inside by one, so "positive" then means "covered twice or more".
Clipper2Lib::Path64 negativeFrame(const Paths64& paths) {
  Clipper2Lib::Rect64 box = Clipper2Lib::GetBounds(paths);
  return {{box.left - 1, box.top - 1},
          {box.left - 1, box.bottom + 1},
          {box.right + 1, box.bottom + 1},
          {box.right + 1, box.top - 1}};
}

// The paths turned by `angle` radians about the origin, rounded to the grid.
Paths64 turned(Paths64 paths, double angle) {
  if (angle == 0.0) return paths;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  for (auto& path : paths) {
    for (auto& p : path) {
      const double x = static_cast<double>(p.x);
      const double y = static_cast<double>(p.y);
      p = {std::llround(x * c - y * s), std::llround(x * s + y * c)};
    }
  }
  return paths;
}

// The rings' parts inside `strip`, each turned the way its ring runs (a ring around the whole
// strip comes back as the strip, turned its own way), so windings inside the strip stay.
Paths64 clipped(const Paths64& rings, const Clipper2Lib::Rect64& strip) {
  Paths64 out;
  for (const auto& ring : rings) {
    const bool positive = Clipper2Lib::Area(ring) > 0;
    for (auto& piece : Clipper2Lib::RectClip(strip, Paths64{ring})) {
      if ((Clipper2Lib::Area(piece) > 0) != positive) std::reverse(piece.begin(), piece.end());
      out.push_back(std::move(piece));
    }
  }
  return out;
}

CutAreas measureWindings(const Windings& input, double negligibleArea) {
  CutAreas result;
  // Every family's union and twice-covered part, each with winding one inside. A point is
  // mowed twice when two unions cover it or one twice-covered part does: when the sum of
  // both windings over all families is two or more.
  Paths64 unions;
  Paths64 twiceWindings;
  for (const auto& [swaths, direction] : input.families) {
    if (swaths.empty()) continue;
    Paths64 rings = turned(swaths, -direction);
    const Paths64 familyUnion = Clipper2Lib::Union(rings, FillRule::NonZero);
    // The swaths' areas add up to the union's plus at least the twice-covered part's: when
    // they add up to the union's, nothing measurable is covered twice.
    if (Clipper2Lib::Area(rings) - Clipper2Lib::Area(familyUnion) > negligibleArea) {
      rings.push_back(negativeFrame(rings));
      append(twiceWindings, turned(Clipper2Lib::Union(rings, FillRule::Positive), direction));
    }
    append(unions, turned(familyUnion, direction));
  }
  append(twiceWindings, unions);
  if (input.mowable.empty()) return result;
  if (!unions.empty()) {
    result.covered =
        Clipper2Lib::Area(Clipper2Lib::Intersect(unions, input.mowable, FillRule::NonZero));
    twiceWindings.push_back(negativeFrame(twiceWindings));
    result.overlap =
        Clipper2Lib::Area(Clipper2Lib::Intersect(twiceWindings, input.mowable, FillRule::Positive));
  }
  result.coveredOrSkipped = result.covered;
  if (!input.skipped.empty()) {
    Paths64 either = unions;
    append(either, input.skipped);
    result.coveredOrSkipped =
        Clipper2Lib::Area(Clipper2Lib::Intersect(either, input.mowable, FillRule::NonZero));
  }
  result.uncovered = Clipper2Lib::Difference(input.mowable, unions, FillRule::NonZero);
  return result;
}

}  // namespace

// Clipper2's sweep keeps the edges a horizontal line meets in a list; where swaths nest
// (rings, laps) a line meets thousands, and the sweep slows with the square of them. Cut in
// vertical strips, each sweep meets a strip's worth, and every figure adds up strip by strip.
CutAreas measureCut(const CutInput& input) {
  Windings whole{{}, windingRings(input.mowable), windingRings(input.skipped)};
  std::size_t points = 0;
  for (const SwathFamily& family : input.families) {
    whole.families.emplace_back(windingRings(family.swaths), family.direction);
    for (const auto& ring : whole.families.back().first) points += ring.size();
  }
  const std::size_t strips = std::clamp<std::size_t>(points / std::max<std::size_t>(input.pointsPerStrip, 1), 1, kMaxStrips);
  if (strips == 1 || whole.mowable.empty()) return measureWindings(whole, input.negligibleArea);
  const Clipper2Lib::Rect64 box = Clipper2Lib::GetBounds(whole.mowable);
  const auto edge = [&](std::size_t k) {
    if (k == strips) return box.right;
    return box.left +
           static_cast<std::int64_t>(static_cast<double>(box.right - box.left) *
                                     static_cast<double>(k) / static_cast<double>(strips));
  };
  CutAreas total;
  for (std::size_t k = 0; k < strips; ++k) {
    const Clipper2Lib::Rect64 strip{edge(k), box.top - 1, edge(k + 1), box.bottom + 1};
    Windings part{{}, clipped(whole.mowable, strip), clipped(whole.skipped, strip)};
    for (const auto& [rings, direction] : whole.families)
      part.families.emplace_back(clipped(rings, strip), direction);
    CutAreas areas = measureWindings(part, input.negligibleArea);
    total.covered += areas.covered;
    total.overlap += areas.overlap;
    total.coveredOrSkipped += areas.coveredOrSkipped;
    append(total.uncovered, areas.uncovered);
  }
  return total;
}

}  // namespace Planner
