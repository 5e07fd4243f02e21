#include "tests/reference/literal_line_slicer.h"

#include "planner/geometry/predicates.h"

namespace Planner::Literal {
namespace {

void collectRing(const std::vector<Point>& ring, double y, double x0, double x1,
                 std::vector<double>& crossings) {
  const std::size_t n = ring.size();
  for (std::size_t i = 0; i < n; ++i) {
    edgeScanCrossings(ring[i], ring[(i + 1) % n], Point{x0, y}, Point{x1, y}, crossings);
  }
}

class PlainScanRings : public ScanRings {
 public:
  explicit PlainScanRings(const Environment& area) : area_(area) {}
  void advance(double) override {}
  void collect(double y, double x0, double x1, std::vector<double>& crossings) const override {
    collectRing(area_.getPerimeter().getPoints(), y, x0, x1, crossings);
    for (const Polygon& hole : area_.getObstacles())
      collectRing(hole.getPoints(), y, x0, x1, crossings);
    for (const Polygon& mow : area_.getMowAreas())
      collectRing(mow.getPoints(), y, x0, x1, crossings);
  }
  bool accepts(const Point& m) const override {
    if (!pointInRingInclusive(m, area_.getPerimeter())) return false;
    for (const Polygon& hole : area_.getObstacles()) {
      if (pointInRingInclusive(m, hole)) return false;
    }
    const std::vector<Polygon>& mowAreas = area_.getMowAreas();
    if (mowAreas.empty()) return true;
    for (const Polygon& mow : mowAreas) {
      if (pointInRingInclusive(m, mow)) return true;
    }
    return false;
  }

 private:
  const Environment& area_;
};

}  // namespace

std::unique_ptr<ScanRings> plainScanRings(const Environment& area) {
  return std::make_unique<PlainScanRings>(area);
}

std::vector<LineString> generateLineSlices(const Environment& area, double spacing) {
  return Planner::generateLineSlices(area, spacing, Cancellation(), plainScanRings);
}

}  // namespace Planner::Literal
