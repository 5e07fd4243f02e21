#pragma once

#include <clipper2/clipper.core.h>
#include <clipper2/clipper.offset.h>

// The Clipper2 operations the lap loop is built from, on integer paths.
namespace Planner {

// Paths offset by `delta` integer units (negative shrinks) as closed polygons.
Clipper2Lib::Paths64 offsetPaths(const Clipper2Lib::Paths64& paths, double delta,
                                 Clipper2Lib::JoinType join = Clipper2Lib::JoinType::Miter);

// `subject` minus `clip`, both read with `fill`.
Clipper2Lib::Paths64 difference(const Clipper2Lib::Paths64& subject,
                                const Clipper2Lib::Paths64& clip,
                                Clipper2Lib::FillRule fill = Clipper2Lib::FillRule::EvenOdd);

// The parts of `subject` inside `clip`, both read with `fill`.
Clipper2Lib::Paths64 intersection(const Clipper2Lib::Paths64& subject,
                                  const Clipper2Lib::Paths64& clip,
                                  Clipper2Lib::FillRule fill = Clipper2Lib::FillRule::NonZero);

// The boxes share a point (edges included).
bool boxesMeet(const Clipper2Lib::Rect64& a, const Clipper2Lib::Rect64& b);

// The path's box is narrower than `width` in x or in y.
bool narrowerThan(const Clipper2Lib::Path64& path, double width);

// The outer rings (positive area) of `paths` at least `width` wide and of at least
// `leastArea`, in order: a group whose outer ring is narrower, or smaller than a disc of
// radius r, keeps nothing when shrunk by r. Holes are left out, which only adds area: a
// hole whose outer ring is gone can be the lowest ring, and Clipper2 then reads the whole
// set as turned the other way round.
Clipper2Lib::Paths64 wideOuters(const Clipper2Lib::Paths64& paths, double width,
                                double leastArea = 0.0);

}  // namespace Planner
