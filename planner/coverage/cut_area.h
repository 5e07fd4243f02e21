#pragma once

#include <vector>

#include <clipper2/clipper.core.h>

#include "planner/coverage/lane_swath.h"

// Areas a cutter mows, measured exactly on the polygons it sweeps (up to the integer grid).
namespace Planner {

// A polygon on the integer grid: its first ring bounds it, the others are holes. The rings
// may run either way round.
using Polygon64 = Clipper2Lib::Paths64;

// Swaths that cross one another little: parallel lanes meet only their neighbours, so a
// family's union and its twice-mowed part are cheap, and families then meet each other as
// wholes instead of swath by swath.
struct SwathFamily {
  std::vector<Polygon64> swaths;
  std::vector<Lane> lanes;  // straight lanes, whose swaths are built as they are measured
  // The way its lanes run (radians). The family is merged turned so that they run along x:
  // Clipper2 sweeps in y, and a sweep across long lanes would meet all of them at once. (Short
  // swaths lined up along their own way, hops along a border, are merged running along y.)
  double direction = 0.0;
};

struct CutInput {
  std::vector<SwathFamily> families;
  std::vector<Polygon64> mowable;  // what is measured
  std::vector<Polygon64> skipped;  // the swaths skipped slices would have had
  // A family whose swaths cover less than this area more than once (square integer units)
  // is taken to cover nothing twice.
  double negligibleArea = 0.0;
  // Half the width a lane's swath has (integer units), and its cap's arcs a quarter circle.
  double laneRadius = 0.0;
  int capSegments = 4;
  // Swath points a vertical strip may hold: more are measured strip by strip.
  std::size_t pointsPerStrip = 2000;
};

struct CutAreas {
  double covered = 0.0;           // mowable area inside a swath (square integer units)
  double overlap = 0.0;           // mowable area inside two swaths or more
  double coveredOrSkipped = 0.0;  // mowable area inside a swath or a skipped one
  // The mowable area inside no swath: outer rings positive, holes negative. (Clipper2 takes
  // longer to nest them than to find them where many pieces touch.)
  Clipper2Lib::Paths64 uncovered;
};

// Takes the input's rings over rather than copying them: big sites have millions of points.
CutAreas measureCut(CutInput input);

}  // namespace Planner
