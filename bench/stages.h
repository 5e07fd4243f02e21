#pragma once

#include <cstdint>

#include "bench/sites.h"

// Where one planning run of a site spends its time, in milliseconds. The coverage
// stages are timed by running the pipeline's own steps one by one on the turned site;
// the route by the module's planner with strategies that time the chooser and count
// the hops whose clearance is asked.
namespace Planner::Bench {

struct StageTimes {
  double inset = 0;               // clipping obstacles to the perimeter, and the inset
  double slicing = 0;             // the lanes
  double laps = 0;                // border and obstacle laps
  double chooser = 0;             // finding the next slice
  double transit = 0;             // the rest of the route: transit searches and smoothing
  std::uint64_t singleTests = 0;  // hops tested one at a time
  std::uint64_t batchedHops = 0;  // hops tested in batches from one point
};

StageTimes measureStages(const Site& site);

}  // namespace Planner::Bench
