#include "planner/coverage/clipper_ops.h"

#include <clipper2/clipper.engine.h>
#include <clipper2/clipper.offset.h>

#include <algorithm>

namespace Planner {

using Clipper2Lib::Paths64;

Paths64 offsetPaths(const Paths64& paths, double delta, Clipper2Lib::JoinType join) {
  Clipper2Lib::ClipperOffset offset;
  offset.AddPaths(paths, join, Clipper2Lib::EndType::Polygon);
  Paths64 solution;
  offset.Execute(delta, solution);
  return solution;
}

namespace {
Paths64 boolean(Clipper2Lib::ClipType type, const Paths64& subject, const Paths64& clip,
                Clipper2Lib::FillRule fill) {
  Clipper2Lib::Clipper64 clipper;
  clipper.AddSubject(subject);
  clipper.AddClip(clip);
  Paths64 solution;
  clipper.Execute(type, fill, solution);
  return solution;
}
}  // namespace

Paths64 difference(const Paths64& subject, const Paths64& clip, Clipper2Lib::FillRule fill) {
  return boolean(Clipper2Lib::ClipType::Difference, subject, clip, fill);
}

Paths64 intersection(const Paths64& subject, const Paths64& clip, Clipper2Lib::FillRule fill) {
  return boolean(Clipper2Lib::ClipType::Intersection, subject, clip, fill);
}

bool boxesMeet(const Clipper2Lib::Rect64& a, const Clipper2Lib::Rect64& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

bool narrowerThan(const Clipper2Lib::Path64& path, double width) {
  const Clipper2Lib::Rect64 box = Clipper2Lib::GetBounds(path);
  return static_cast<double>(box.right - box.left) < width ||
         static_cast<double>(box.bottom - box.top) < width;
}

Paths64 wideOuters(const Paths64& paths, double width, double leastArea) {
  Paths64 kept;
  for (const Clipper2Lib::Path64& path : paths) {
    const double area = Clipper2Lib::Area(path);
    if (area > 0.0 && area >= leastArea && !narrowerThan(path, width)) kept.push_back(path);
  }
  return kept;
}

}  // namespace Planner
