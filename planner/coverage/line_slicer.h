#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"

// Cuts one area into horizontal lanes at a fixed spacing.
namespace Planner {

// How the scan lines meet an area's rings: which edges are looked at. The lanes are
// decided once, in generateLineSlices; a way of finding the edges only makes it faster.
class ScanRings {
 public:
  virtual ~ScanRings() = default;
  // Moves to the scan line at height y; y never decreases.
  virtual void advance(double y) = 0;
  // Appends the crossings of the scan line (x0, y) -> (x1, y) with the outer ring, then
  // every hole, then every mow area, each ring's edges in ring order (edgeScanCrossings).
  virtual void collect(double y, double x0, double x1, std::vector<double>& crossings) const = 0;
  // Whether m, on the current scan line, lies inside or on the outer ring, inside or on
  // no hole, and inside or on a mow area when there are any (pointInRingInclusive).
  virtual bool accepts(const Point& m) const = 0;
};
using ScanRingsMaker = std::function<std::unique_ptr<ScanRings>(const Environment& area)>;

// The module's way: each ring's edges swept upwards, only those that can meet the line.
std::unique_ptr<ScanRings> sweptScanRings(const Environment& area);

// Lanes of the area: the pieces of the scan lines y = minY + spacing/2, + spacing,
// ... (below maxY of the outer ring) that lie inside the outer ring, outside every
// hole and, when mow areas are given, inside one of them. Each lane is two points
// (x1, y), (x2, y) with x1 < x2; lanes come by scan line upwards, then by x.
// A spacing that is not greater than zero gives no lanes.
std::vector<LineString> generateLineSlices(const Environment& area, double spacing,
                                           const Cancellation& cancel = Cancellation(),
                                           const ScanRingsMaker& rings = sweptScanRings);

// How many scan lines generateLineSlices would process for this area: used to
// refuse a spacing that is absurdly small for the area's height.
double scanLineCount(const Environment& area, double spacing);

// The crossings of the scan line a->b with the edge p->q: the point where they meet
// (closed parameter ranges, widened by kParamSlack), then the ends of a collinear overlap.
void edgeScanCrossings(const Point& p, const Point& q, const Point& a, const Point& b,
                       std::vector<double>& crossings);

// When P->Q and A->B lie on one line and overlap by more than 1e-7 (in the
// unnormalised projection on P->Q), the two ends of the overlap, ordered by x then y.
std::optional<std::pair<Point, Point>> collinearOverlap(const Point& p, const Point& q,
                                                        const Point& a, const Point& b);

}  // namespace Planner
