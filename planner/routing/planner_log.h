#pragma once

#include <cstdint>

#include "planner/geometry/point.h"

// Diagnostic lines of the route planner, written to standard output with the prefix
// "PathPlanner: " while plannerLogEnabled is set. Nothing in the module sets it; a
// developer's build can start with it on (CMake option SWATHOR_PLANNER_LOG).
namespace Planner {

// Process-wide switch, read by every log point. Off unless the build says otherwise.
extern bool plannerLogEnabled;

void logPosition(const Point& position);
void logDecision(int32_t sliceIndex, double distance, bool reverse);
void logSkip(int32_t sliceIndex);
void logWireCheck(const Point& from, std::uint64_t wireIndex, bool passable, double multiplier);
void logWireUpdate(std::uint64_t wireIndex, double g, double step, double h, double f);

}  // namespace Planner
