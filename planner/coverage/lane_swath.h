#pragma once

#include <optional>
#include <vector>

#include <clipper2/clipper.core.h>

// The swath a cutter mows along a straight lane, built where the lane's family runs along x.
namespace Planner {

// A lane's centre line in integer units, not yet rounded.
struct Lane {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
};

// The part of a lane between two vertical lines, and whether each end is the lane's own
// (round cap) or where the lines cut it (flat: the swath there runs on past the line).
struct LanePiece {
  Lane line;
  bool capStart = true;
  bool capEnd = true;
};

// The part of `lane` with left <= x <= right; nothing when it has none of any length.
std::optional<LanePiece> laneBetween(const Lane& lane, double left, double right);

// Every point within `radius` of the piece's centre line, as a counterclockwise ring with
// round caps of `capSegments` arcs a quarter (and a flat end where it was cut), turned by
// -`angle` radians and only then rounded to integers: lanes that run at `angle` and touch
// still touch, where rounding before turning would leave slivers between them.
Clipper2Lib::Path64 laneSwath(const LanePiece& piece, double radius, int capSegments, double angle);

// laneSwath for many lanes of one radius, cap and angle: the caps' points and the turn are
// worked out once (a big site has a million lane pieces).
class LaneSwaths {
 public:
  LaneSwaths(double radius, int capSegments, double angle);
  Clipper2Lib::Path64 operator()(const LanePiece& piece) const;

 private:
  struct Offset {
    double x, y;
  };
  std::vector<Offset> endCap_;    // around the end, from the lane's left to its right
  std::vector<Offset> startCap_;  // around the start, from its right to its left
  double cos_ = 1.0;
  double sin_ = 0.0;
};

}  // namespace Planner
