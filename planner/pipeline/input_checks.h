#pragma once

#include "planner/geometry/point.h"
#include "planner/site/environment.h"
#include "planner/site/path_settings.h"

namespace Planner {

// Largest accepted magnitude of any length: far beyond any site, and small enough
// that the 1/1000 integer grid of the offsetting cannot overflow.
inline constexpr double kMaxLength = 1e9;

// Throws std::invalid_argument naming the field and its value when the request
// cannot be planned: offset not a positive finite number, angle or
// distanceToBorder not finite, or any length not finite or beyond kMaxLength.
void checkRequest(const Environment& environment, const PathSettings& settings, const Point& start);

}  // namespace Planner
