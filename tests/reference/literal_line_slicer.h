#pragma once

// The lane slicer as a plain scan of every edge for every scan line: the oracle of
// the module's swept slicer.

#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/site/environment.h"

namespace Planner::Literal {

std::vector<LineString> generateLineSlices(const Environment& area, double spacing);
void collectScanLineCrossings(const std::vector<Point>& ring, double y, double x0, double x1,
                              std::vector<double>& crossings);

}  // namespace Planner::Literal
