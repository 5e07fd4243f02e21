#pragma once

#include <cstdint>
#include <vector>

#include "planner/geometry/polygon.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"

// Laps parallel to the borders of a site, made by repeated inward offsetting on
// Clipper2's integer grid (1/1000 unit).
namespace Planner {

// The result never exceeds this many entries by more than one lap.
inline constexpr std::size_t kMaxOffsetEntries = 5000;

// Offset rings of a site: per mow area when there are any (with the obstacles that
// lie inside or cross that mow area), else of the site itself. `laps` <= 0 means no
// limit. Lap k lies at firstDistance + k * spacing from the borders. Lap rings are
// closed (first point repeated); leftover outlines between laps are open.
// Rings with fewer than three points or zero area take no part in the offset.
std::vector<Polygon> computeOffsetRings(const Environment& site, double spacing, int32_t laps,
                                        double firstDistance,
                                        const Cancellation& cancel = Cancellation());

// computeOffsetRings with the lap number of every entry. Because each lap offsets
// the previous one, the entries of laps below L are exactly the result for L laps,
// so one run serves several lap counts.
struct OffsetLaps {
  std::vector<Polygon> rings;
  std::vector<int32_t> lap;  // lap number of each entry

  // The entries of the laps below `laps` (all when laps <= 0), in order.
  std::vector<Polygon> firstLaps(int32_t laps) const;
};
// proveLeftovers = false always grows each lap to find its leftover, never proving
// it empty more cheaply (the rings are the same; tests compare the two).
OffsetLaps computeOffsetLaps(const Environment& site, double spacing, int32_t laps,
                             double firstDistance, const Cancellation& cancel = Cancellation(),
                             bool proveLeftovers = true);

// The lap loop for one area. `site` supplies the obstacles of the drop test: an
// entry whose first point lies strictly inside one of them is dropped.
std::vector<Polygon> offsetAreaRings(const Environment& site, const Environment& area,
                                     double spacing, int32_t laps, double firstDistance,
                                     const Cancellation& cancel = Cancellation());

namespace detail {
// False when shrinking `paths` (integer rings: outers positive, holes negative and
// inside their outer) by `shrink` integer units must give nothing: every outer ring's
// box is narrower than twice the shrink, with a margin for Clipper2's rounding.
bool shrinkMayLeaveSomething(const std::vector<std::vector<Point>>& integerPaths, double shrink);
}  // namespace detail

// holes = false: rings of integer area >= 0; holes = true: rings of negative area.
// Empty rings are never selected. Input order is kept.
std::vector<Polygon> selectRingsByOrientation(const std::vector<Polygon>& rings, bool holes);

}  // namespace Planner
