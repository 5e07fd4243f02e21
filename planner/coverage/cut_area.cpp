#include "planner/coverage/cut_area.h"

#include <algorithm>
#include <cmath>

#include <clipper2/clipper.h>

namespace Planner {
namespace {

using Clipper2Lib::Paths64;

// The polygons' rings, outer ones positive and holes negative, so that winding counts how
// many of the polygons cover a point.
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
  box.left -= 1;
  box.top -= 1;
  box.right += 1;
  box.bottom += 1;
  return {
      {box.left, box.top}, {box.left, box.bottom}, {box.right, box.bottom}, {box.right, box.top}};
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

}  // namespace

CutAreas measureCut(const CutInput& input) {
  using Clipper2Lib::FillRule;
  CutAreas result;
  const Paths64 mowable = windingRings(input.mowable);
  // Every family's union and twice-covered part, each with winding one inside. A point is
  // mowed twice when two unions cover it or one twice-covered part does: when the sum of
  // both windings over all families is two or more.
  Paths64 unions;
  Paths64 twiceWindings;
  for (const SwathFamily& family : input.families) {
    Paths64 rings = turned(windingRings(family.swaths), -family.direction);
    if (rings.empty()) continue;
    const Paths64 familyUnion =
        turned(Clipper2Lib::Union(rings, FillRule::NonZero), family.direction);
    append(twiceWindings, familyUnion);
    append(unions, familyUnion);
    // The swaths' areas add up to the union's plus at least the twice-covered part's: when
    // they add up to the union's, nothing measurable is covered twice.
    if (Clipper2Lib::Area(rings) - Clipper2Lib::Area(familyUnion) > input.negligibleArea) {
      rings.push_back(negativeFrame(rings));
      append(twiceWindings,
             turned(Clipper2Lib::Union(rings, FillRule::Positive), family.direction));
    }
  }
  if (mowable.empty()) return result;
  if (!unions.empty()) {
    result.covered = Clipper2Lib::Area(Clipper2Lib::Intersect(unions, mowable, FillRule::NonZero));
    twiceWindings.push_back(negativeFrame(twiceWindings));
    result.overlap =
        Clipper2Lib::Area(Clipper2Lib::Intersect(twiceWindings, mowable, FillRule::Positive));
  }
  result.coveredOrSkipped = result.covered;
  if (!input.skipped.empty()) {
    Paths64 either = unions;
    append(either, windingRings(input.skipped));
    result.coveredOrSkipped =
        Clipper2Lib::Area(Clipper2Lib::Intersect(either, mowable, FillRule::NonZero));
  }
  result.uncovered = Clipper2Lib::Difference(mowable, unions, FillRule::NonZero);
  return result;
}

}  // namespace Planner
