#pragma once

#include <vector>

#include "planner/site/cancellation.h"
#include "planner/site/environment.h"

namespace Planner {

// Obstacles as the site holds them: only their part inside the perimeter counts.
//
// Works on Clipper2's 1/1000 grid, like every offset. An obstacle with fewer than three
// points or no area on the grid, and one that lies wholly inside the perimeter (its
// intersection with it is all of it), stays exactly as given. Any other obstacle is
// replaced by the outer rings of its intersection with the perimeter (non-zero fill, so a
// self-crossing ring counts as the union of its lobes; holes of the intersection are left
// out), each clockwise and on the grid; an obstacle wholly outside is dropped. The
// perimeter, mow areas and wires stay as given; when nothing needs clipping the site is
// not touched at all. Returns true when one obstacle covers the whole perimeter: then
// nothing is left to plan.
bool clipObstaclesToPerimeter(Environment& site, const Cancellation& cancel);

// Makes `site` hold `obstacles` in place of its own; perimeter, mow areas and wires stay.
void replaceObstacles(Environment& site, const std::vector<Polygon>& obstacles);

}  // namespace Planner
