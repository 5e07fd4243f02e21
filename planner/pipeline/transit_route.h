#pragma once

#include "planner/geometry/line_string.h"
#include "planner/geometry/point.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"

namespace Planner {

// The way the route planner's transit search drives from `start` to `goal` on the site,
// in the site's own frame: over the virtual wire and the corners of the perimeter and
// the obstacles (clipped to the perimeter and merged where they meet, as for planning),
// smoothed. It starts at `start` and ends within 0.001 of `goal`; it is empty when the
// goal cannot be reached. For ways the route does not hold, such as the way home to a
// dock at the end of a mission or to the next sortie's start.
LineString transitRoute(const Environment& site, const Point& start, const Point& goal,
                        const Cancellation& cancel = Cancellation());

}  // namespace Planner
