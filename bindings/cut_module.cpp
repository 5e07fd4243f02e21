// The Python module _swathor_cut: the mowed, twice-mowed and unmowed areas of a plan,
// measured by swathor_plan.measure. Private to that package.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "planner/coverage/cut_area.h"

namespace py = pybind11;
using namespace Planner;

namespace {

using Ints = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;
using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Lane k runs from (lanes[k, 0], lanes[k, 1]) to (lanes[k, 2], lanes[k, 3]) in family
// laneFamily[k].
void addLanes(CutInput& input, const Doubles& lanes, const Ints& laneFamily) {
  if (lanes.ndim() != 2 || lanes.shape(1) != 4)
    throw std::invalid_argument("lanes must be an (n, 4) array");
  const auto ends = lanes.unchecked<2>();
  const auto family = laneFamily.unchecked<1>();
  if (family.shape(0) != ends.shape(0)) throw std::invalid_argument("one family per lane");
  for (py::ssize_t k = 0; k < ends.shape(0); ++k) {
    const std::int64_t f = family(k);
    if (f < 0 || static_cast<std::size_t>(f) >= input.families.size())
      throw std::invalid_argument("a lane's family must be an index in directions");
    input.families[f].lanes.push_back({ends(k, 0), ends(k, 1), ends(k, 2), ends(k, 3)});
  }
}

// Polygon k has rings polygonEnds[k-1] .. polygonEnds[k]-1 (its first ring bounds it), ring r
// has the points ringEnds[r-1] .. ringEnds[r]-1, and group[k] says what polygon k is: a
// swath of family group[k] (0, 1, ...), the mowable area (-1) or a skipped swath (-2).
// Family f's lanes run at directions[f] radians.
CutInput cutInput(const Ints& points, const Ints& ringEnds, const Ints& polygonEnds,
                  const Ints& group, const std::vector<double>& directions, double negligibleArea,
                  std::size_t pointsPerStrip) {
  if (points.ndim() != 2 || points.shape(1) != 2)
    throw std::invalid_argument("points must be an (n, 2) array");
  const auto xy = points.unchecked<2>();
  const auto rings = ringEnds.unchecked<1>();
  const auto polygons = polygonEnds.unchecked<1>();
  const auto kind = group.unchecked<1>();
  if (polygons.shape(0) != kind.shape(0)) throw std::invalid_argument("one group per polygon");
  CutInput input;
  input.negligibleArea = negligibleArea;
  input.pointsPerStrip = pointsPerStrip;
  for (double direction : directions) input.families.push_back({{}, {}, direction});
  std::int64_t ring = 0;
  std::int64_t point = 0;
  for (py::ssize_t k = 0; k < polygons.shape(0); ++k) {
    if (polygons(k) < ring || polygons(k) > rings.shape(0))
      throw std::invalid_argument("polygon ends out of order");
    Polygon64 polygon;
    for (; ring < polygons(k); ++ring) {
      if (rings(ring) < point || rings(ring) > xy.shape(0))
        throw std::invalid_argument("ring ends out of order");
      Clipper2Lib::Path64& path = polygon.emplace_back();
      path.reserve(static_cast<std::size_t>(rings(ring) - point));
      for (; point < rings(ring); ++point) path.emplace_back(xy(point, 0), xy(point, 1));
    }
    const std::int64_t g = kind(k);
    if (g == -1) {
      input.mowable.push_back(std::move(polygon));
    } else if (g == -2) {
      input.skipped.push_back(std::move(polygon));
    } else if (g >= 0 && static_cast<std::size_t>(g) < input.families.size()) {
      input.families[g].swaths.push_back(std::move(polygon));
    } else {
      throw std::invalid_argument("group must be -2, -1 or a family's index in directions");
    }
  }
  return input;
}

// The rings' points in one (n, 2) array, and the number of points of each ring.
py::tuple flatRings(const Clipper2Lib::Paths64& rings) {
  std::size_t total = 0;
  for (const auto& ring : rings) total += ring.size();
  py::array_t<std::int64_t> points({static_cast<py::ssize_t>(total), py::ssize_t{2}});
  py::array_t<std::int64_t> sizes(static_cast<py::ssize_t>(rings.size()));
  auto xy = points.mutable_unchecked<2>();
  auto n = sizes.mutable_unchecked<1>();
  py::ssize_t i = 0;
  for (std::size_t r = 0; r < rings.size(); ++r) {
    n(static_cast<py::ssize_t>(r)) = static_cast<std::int64_t>(rings[r].size());
    for (const auto& p : rings[r]) {
      xy(i, 0) = p.x;
      xy(i, 1) = p.y;
      ++i;
    }
  }
  return py::make_tuple(points, sizes);
}

}  // namespace

PYBIND11_MODULE(_swathor_cut, m) {
  m.doc() = "Areas a cutter mows, measured on integer polygons (private to swathor_plan).";
  m.def(
      "measure_cut",
      [](const Ints& points, const Ints& ringEnds, const Ints& polygonEnds, const Ints& group,
         const Doubles& lanes, const Ints& laneFamily, double laneRadius, int capSegments,
         const std::vector<double>& directions, double negligibleArea, std::size_t pointsPerStrip) {
        if (capSegments < 1 || !(laneRadius > 0.0))
          throw std::invalid_argument("lanes need a radius and a cap segment or more");
        CutInput input = cutInput(points, ringEnds, polygonEnds, group, directions, negligibleArea,
                                  pointsPerStrip);
        addLanes(input, lanes, laneFamily);
        input.laneRadius = laneRadius;
        input.capSegments = capSegments;
        CutAreas areas;
        {
          py::gil_scoped_release unlocked;
          areas = measureCut(std::move(input));
        }
        return py::make_tuple(areas.covered, areas.overlap, areas.coveredOrSkipped,
                              flatRings(areas.uncovered));
      },
      py::arg("points"), py::arg("ring_ends"), py::arg("polygon_ends"), py::arg("group"),
      py::arg("lanes"), py::arg("lane_family"), py::arg("lane_radius"), py::arg("cap_segments"),
      py::arg("directions"), py::arg("negligible_area"), py::arg("points_per_strip"),
      "(covered, overlap, covered_or_skipped, (points, points per ring)) in integer units:\n"
      "the rings of the uncovered part, outer rings counterclockwise, holes clockwise.");
}
