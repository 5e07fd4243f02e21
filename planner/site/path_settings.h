#pragma once

#include <cstdint>
#include <string>

namespace Planner {

// The planning options of one request. Plain data; the pipeline reads every field.
struct PathSettings {
  // "lines", "squares" (exact, case-sensitive) or anything else for concentric rings.
  std::string pattern = "lines";
  double offset = 0.5;            // lane spacing, also between rings and laps
  double angle = 0.0;             // lane direction, radians counter-clockwise from x
  double distanceToBorder = 1.5;  // inset of the lane area; only > 0 insets
  bool mowArea = true;
  bool mowBorder = true;
  bool mowBorderCcw = false;
  std::uint64_t borderLaps = 3;    // 0: no border laps
  bool mowExclusionsBoder = true;  // (sic) part of the Python interface
  bool mowExclusionsBorderCcw = false;
  std::uint64_t exclusionsBorderLaps = 2;  // 0: no laps around obstacles
};

}  // namespace Planner
