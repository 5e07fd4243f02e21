#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"

// Cuts one area into horizontal lanes at a fixed spacing.
namespace Planner {

// Lanes of the area: the pieces of the scan lines y = minY + spacing/2, + spacing,
// ... (below maxY of the outer ring) that lie inside the outer ring, outside every
// hole and, when mow areas are given, inside one of them. Each lane is two points
// (x1, y), (x2, y) with x1 < x2; lanes come by scan line upwards, then by x.
// A spacing that is not greater than zero gives no lanes.
std::vector<LineString> generateLineSlices(const Environment& area, double spacing,
                                           const Cancellation& cancel = Cancellation());

// How many scan lines generateLineSlices would process for this area: used to
// refuse a spacing that is absurdly small for the area's height.
double scanLineCount(const Environment& area, double spacing);

// Appends the x values where the scan line from (x0, y) to (x1, y) meets the ring.
void collectScanLineCrossings(const std::vector<Point>& ring, double y, double x0, double x1,
                              std::vector<double>& crossings);

// When P->Q and A->B lie on one line and overlap by more than 1e-7 (in the
// unnormalised projection on P->Q), the two ends of the overlap, ordered by x then y.
std::optional<std::pair<Point, Point>> collinearOverlap(const Point& p, const Point& q,
                                                        const Point& a, const Point& b);

}  // namespace Planner
