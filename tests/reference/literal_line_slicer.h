#pragma once

// The lane slicer scanning every edge of every ring for every scan line: the oracle of
// the module's swept way of finding the edges.

#include <vector>

#include "planner/coverage/line_slicer.h"
#include "planner/geometry/line_string.h"
#include "planner/site/environment.h"

namespace Planner::Literal {

std::unique_ptr<ScanRings> plainScanRings(const Environment& area);
std::vector<LineString> generateLineSlices(const Environment& area, double spacing);

}  // namespace Planner::Literal
