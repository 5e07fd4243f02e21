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

// The path's box is narrower than `width` in x or in y.
bool narrowerThan(const Clipper2Lib::Path64& path, double width);

// `paths` without the outer rings (positive area) narrower than `width`: a group whose
// outer ring is that narrow keeps nothing when shrunk by half the width. Order is kept.
Clipper2Lib::Paths64 withoutNarrowOuters(const Clipper2Lib::Paths64& paths, double width);

// Some path has positive area.
bool anyOuter(const Clipper2Lib::Paths64& paths);

}  // namespace Planner
