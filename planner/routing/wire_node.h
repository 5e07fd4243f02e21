#pragma once

#include <cstdint>

#include "planner/geometry/point.h"

namespace Planner {

// A node of the transit graph: a point of the virtual wire, a corner or the goal.
struct WireNode {
  Point point;
  bool onWire;
  std::uint64_t wireIndex;  // index in the virtual wire; 0 for corners and the goal
};

// Whether a hop from a node (on the wire at index a, or not) to b runs between neighbours
// on the wire: always passable, at kWireMultiplier of its length.
inline bool consecutiveWire(bool aOnWire, std::uint64_t a, const WireNode& b) {
  return aOnWire && b.onWire && (a + 1 == b.wireIndex || b.wireIndex + 1 == a);
}

}  // namespace Planner
