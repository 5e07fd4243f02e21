#pragma once

#include <clipper2/clipper.core.h>

#include "planner/site/cancellation.h"

// A cheap proof that the leftover of a lap keeps nothing.
//
// After each lap the loop grows the lap's rings by `grow`, takes them from the region
// the lap was cut from, and shrinks what is left by `shrink` (Clipper2, miter joins),
// to catch corners the laps cannot reach. On long wiggly borders that grow costs more
// than the rest of the loop: every reflex corner of the lap adds a spike, and the sweep
// carries all spikes of a border side across the whole grow.
//
// The proof replaces the grow by a cover that lies surely inside the grown set: the
// lap cut into narrow vertical strips, each grown a little less, with round joins.
// Narrow strips keep each sweep short, and the work is done strip by strip. What the
// cover leaves of the region, shrunk a little first, holds the true leftover shrunk as
// much. When that shrinks to nothing (round joins, a little less than the rest of
// `shrink`), so does the true leftover.
namespace Planner {

// Whether the proof most likely costs less than the grow: a large lap with many reflex
// corners close together for the grow's length, like a long border wiggling in and
// out. The answer changes only the time taken, never the result.
bool leftoverProofPays(const Clipper2Lib::Paths64& lap, double grow);

// True: the loop's leftover of `region` after `lap` shrinks to nothing.
// False decides nothing. Distances are in integer units; `lap` and `region` are
// Clipper2 results (outer rings positive, holes negative).
// `cancel` is polled between strips.
bool leftoverKeepsNothing(const Clipper2Lib::Paths64& region, const Clipper2Lib::Paths64& lap,
                          double grow, double shrink, const Cancellation& cancel = Cancellation());

// True: the loop's leftover of `region` after `lap` shrinks to nothing, found with a grow
// of the lap made hole by hole. A hole that no other ring comes near grows by itself (its
// grow cannot meet any other ring's), and Clipper2's sweep then never carries the long
// outer ring across all holes at once. That grow gives the loop's set up to Clipper2's
// rounding, not its paths, so the proof shrinks what it leaves a little less than the
// loop does. False decides nothing; so does a lap with no hole standing apart, or one too
// small for the split to pay.
bool leftoverKeepsNothingApart(const Clipper2Lib::Paths64& region, const Clipper2Lib::Paths64& lap,
                               double grow, double shrink);

}  // namespace Planner
