#pragma once

#include <vector>

#include <clipper2/clipper.core.h>

#include "planner/geometry/point.h"

// Conversion between plane points and Clipper2's integer points at 1/1000 unit.
namespace Planner {

inline constexpr double kClipperScale = 1000.0;

// Each coordinate times 1000, rounded to the nearest integer, halves away from zero.
Clipper2Lib::Path64 toPath64(const std::vector<Point>& points);

// Each integer coordinate divided by 1000. Same length and order.
std::vector<Point> fromPath64(const Clipper2Lib::Path64& path);

}  // namespace Planner
