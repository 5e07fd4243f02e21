// The Python module swathor: seven classes over the planner's value types.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <utility>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/geometry/point.h"
#include "planner/geometry/polygon.h"
#include "planner/pipeline/path_service.h"
#include "planner/pipeline/transit_route.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"
#include "planner/site/path_settings.h"

namespace py = pybind11;
using namespace Planner;

namespace {

// The Python face of a result. Each stored slice is held by a shared pointer, and
// every element read from `slices` keeps the slice it refers to alive. An element read
// before `slices` is assigned stays valid with its points, elements read after refer to
// the new slices, and a change through an element is seen by a fresh read while that
// slice is stored; replaced slices are freed once no element refers to them.
struct BoundResult : PathPlanner::PlanningResult {
  explicit BoundResult(PathPlanner::PlanningResult&& result)
      : PathPlanner::PlanningResult(std::move(result)) {
    store(std::move(slices));
    slices.clear();
  }

  void store(std::vector<LineString>&& given) {
    shared.clear();
    shared.reserve(given.size());
    for (LineString& slice : given)
      shared.push_back(std::make_shared<LineString>(std::move(slice)));
  }

  std::vector<std::shared_ptr<LineString>> shared;
};

py::list sliceElements(const BoundResult& result) {
  py::list out;
  std::size_t made = 0;
  for (const std::shared_ptr<LineString>& slice : result.shared) {
    // A million slices take about a second: Ctrl-C is answered on the way.
    if (++made % 4096 == 0 && PyErr_CheckSignals() != 0) throw py::error_already_set();
    py::capsule owner(new std::shared_ptr<LineString>(slice),
                      [](void* p) { delete static_cast<std::shared_ptr<LineString>*>(p); });
    out.append(py::cast(slice.get(), py::return_value_policy::reference_internal, owner));
  }
  return out;
}

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
          "slices", [](const BoundResult& result) { return sliceElements(result); },
          [](BoundResult& result, std::vector<LineString> slices) {
            result.store(std::move(slices));
          });

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
             // Python never sees the explored links: they are not kept.
             return BoundResult(service.computeFullTask(environment, settings, start, cancel,
                                                        ExploredEdges::skip));
           })
      .def("getVersion", &PathService::getVersion);

  // Beside the classes: the route planner's transit search on its own, for ways the route
  // does not hold (home to the dock, out to where a sortie resumes).
  m.def(
      "transitRoute",
      [](const Environment& environment, const Point& start, const Point& goal) {
        const Cancellation cancel([] {
          if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        });
        return transitRoute(environment, start, goal, cancel);
      },
      "The route planner's transit search from start to goal on the site, in its own frame: "
      "a LineString from start to goal around the obstacles (over the virtual wire where it "
      "pays), empty when the goal cannot be reached.");
}
