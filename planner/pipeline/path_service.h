#pragma once

#include <functional>
#include <string>
#include <vector>

#include "planner/geometry/point.h"
#include "planner/routing/path_planner.h"
#include "planner/site/cancellation.h"
#include "planner/site/environment.h"
#include "planner/site/path_settings.h"

namespace Planner {

// Entry point of the planner. Holds nothing but its version text.
class PathService {
 public:
  // The version is the project's (CMake's project version, "1.3").
  PathService();

  std::string getVersion() const { return version_; }

  // One complete mowing task: the site is turned by -angle so lanes run along x,
  // areas are prepared (inset by distanceToBorder when it is > 0), sliced by the
  // pattern, border and obstacle laps are added, the route is planned, and every
  // result is turned back by +angle. The arguments are only read.
  // Throws std::invalid_argument before any work when a value is unusable: offset
  // not positive, a non-finite number, or a length beyond 1e9 in magnitude.
  PathPlanner::PlanningResult computeFullTask(const Environment& environment,
                                              const PathSettings& settings,
                                              const Point& start) const;
  // The same, polling `cancel` throughout; whatever it throws ends the call.
  PathPlanner::PlanningResult computeFullTask(const Environment& environment,
                                              const PathSettings& settings, const Point& start,
                                              const Cancellation& cancel,
                                              ExploredEdges explored = ExploredEdges::record) const;

 private:
  std::string version_;
};

// The same pipeline with another route planner in place of PathPlanner::planRoute;
// tests and the benchmark use it to run a reference planner on identical slices.
using RoutePlanner = std::function<PathPlanner::PlanningResult(
    const Environment&, const std::vector<LineString>&, const Point&)>;
PathPlanner::PlanningResult computeFullTaskWith(const Environment& environment,
                                                const PathSettings& settings, const Point& start,
                                                const RoutePlanner& planRoute,
                                                const Cancellation& cancel = Cancellation());

}  // namespace Planner
