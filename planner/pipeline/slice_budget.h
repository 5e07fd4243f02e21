#pragma once

#include <vector>

#include "planner/site/environment.h"
#include "planner/site/path_settings.h"

namespace Planner {

// The most lanes, rings or laps one request may make.
inline constexpr double kMaxSlices = 1e6;

// Refuses, before any slice is made, a request that would not end in reasonable time
// and memory: more than kMaxSlices lanes (summed over the areas and both passes of
// "squares"), offset steps of the rings pattern (summed over the areas) or lap steps,
// or an offset too small to move a scan line at the areas' coordinates (y + offset ==
// y). Lanes are counted from the edges (each scan line meets an edge spanning it once,
// and two meetings bound a lane); steps from half the smaller side of the outline's box.
// `site` is the turned, clipped site the laps follow; `areas` those to be sliced.
// Throws std::invalid_argument naming the setting.
void checkSliceBudget(const Environment& site, const std::vector<Environment>& areas,
                      const PathSettings& settings);

}  // namespace Planner
