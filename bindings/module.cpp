// The Python module swathor: seven classes over the planner's value types.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <utility>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/geometry/point.h"
#include "planner/geometry/polygon.h"
#include "planner/pipeline/path_service.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"
#include "planner/site/path_settings.h"

namespace py = pybind11;
using namespace Planner;

namespace {

// The Python face of a result. Elements read from `slices` point into the stored
// slice vector; assigning `slices` retires the old vector here instead of freeing
// it, so elements read before the assignment stay valid for the result's lifetime.
// (A moved vector keeps its buffer, so those element addresses do not change.)
struct BoundResult : PathPlanner::PlanningResult {
  explicit BoundResult(PathPlanner::PlanningResult&& result)
      : PathPlanner::PlanningResult(std::move(result)) {}
  std::vector<std::vector<LineString>> retiredSlices;
};

}  // namespace

PYBIND11_MODULE(swathor, m) {
  m.doc() =
      "Plans mowing routes that cover an area completely, with an emphasis on visually clean "
      "results and geometric precision.";

  py::class_<Point>(m, "Point")
      .def(py::init<double, double>())
      .def_readwrite("x", &Point::x)
      .def_readwrite("y", &Point::y)
      .def("__repr__", &Point::toString);

  py::class_<LineString>(m, "LineString")
      .def(py::init<>())
      .def(py::init<std::vector<Point>>())
      .def("getPoints", py::overload_cast<>(&LineString::getPoints, py::const_),
           py::return_value_policy::copy)
      .def("addPoint", &LineString::addPoint);

  py::class_<Polygon>(m, "Polygon")
      .def(py::init<>())
      .def(py::init<std::vector<Point>>())
      .def("getPoints", py::overload_cast<>(&Polygon::getPoints, py::const_),
           py::return_value_policy::copy);

  py::class_<Environment>(m, "Environment")
      .def(py::init<Polygon>())
      .def("addObstacle", &Environment::addObstacle)
      .def("getPerimeter", &Environment::getPerimeter, py::return_value_policy::copy)
      .def("getObstacles", &Environment::getObstacles, py::return_value_policy::copy)
      .def("setVirtualWire", &Environment::setVirtualWire)
      .def("setDockingWire", &Environment::setDockingWire)
      .def("addMowArea", &Environment::addMowArea);

  py::class_<PathSettings>(m, "PathSettings")
      .def(py::init<>())
      .def_readwrite("offset", &PathSettings::offset)
      .def_readwrite("angle", &PathSettings::angle)
      .def_readwrite("distanceToBorder", &PathSettings::distanceToBorder)
      .def_readwrite("mowArea", &PathSettings::mowArea)
      .def_readwrite("mowBorder", &PathSettings::mowBorder)
      .def_readwrite("borderLaps", &PathSettings::borderLaps)
      .def_readwrite("mowBorderCcw", &PathSettings::mowBorderCcw)
      .def_readwrite("mowExclusionsBoder", &PathSettings::mowExclusionsBoder)
      .def_readwrite("exclusionsBorderLaps", &PathSettings::exclusionsBorderLaps)
      .def_readwrite("mowExclusionsBorderCcw", &PathSettings::mowExclusionsBorderCcw)
      .def_readwrite("pattern", &PathSettings::pattern);

  py::class_<BoundResult>(m, "PlanningResult")
      .def_readwrite("path", &BoundResult::path)
      .def_property(
          "slices",
          [](BoundResult& result) -> const std::vector<LineString>& { return result.slices; },
          [](BoundResult& result, const std::vector<LineString>& slices) {
            result.retiredSlices.push_back(std::move(result.slices));
            result.slices = slices;
          },
          py::return_value_policy::reference_internal);

  py::class_<PathService>(m, "PathService")
      .def(py::init<>())
      .def("computeFullTask",
           [](const PathService& service, const Environment& environment,
              const PathSettings& settings, const Point& start) {
             // Ctrl-C: a pending signal raises its Python exception (KeyboardInterrupt)
             // inside the planner, which unwinds and hands it back to the caller.
             const Cancellation cancel([] {
               if (PyErr_CheckSignals() != 0) throw py::error_already_set();
             });
             return BoundResult(service.computeFullTask(environment, settings, start, cancel));
           })
      .def("getVersion", &PathService::getVersion);
}
