#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/routing/segment_clearance.h"

namespace Planner {

struct SliceChoice {
  int32_t sliceIndex = -1;       // -1: no candidate
  bool reverse = false;          // a line entered at its last point
  double distance = 1e10;        // straight distance to the entry point
  std::uint64_t startIndex = 0;  // entry point of a ring
  bool isRing = false;
};

// The entry points of the slices still to drive, in a spatial index. The nearest
// entry wins; on equal distance the one that comes first in scan order (slice
// index, then a line's first point before its last, then a ring's point index).
// Entries are visited by increasing distance, so only candidates that could win
// are tested for clearance.
class SliceChooser {
 public:
  // `slices` must outlive the chooser. Slices marked in `done` are left out.
  SliceChooser(const std::vector<LineString>& slices, const std::vector<bool>& done);
  SliceChooser(SliceChooser&&) noexcept;
  ~SliceChooser();

  // The nearest entry whose straight hop from `position` is clear; no log line.
  SliceChoice nearestClear(const Point& position, const SegmentClearance& clearance) const;
  // The nearest entry regardless of clearance.
  SliceChoice nearest(const Point& position) const;
  // Takes a driven or skipped slice out of the index.
  void remove(std::size_t slice);

 private:
  struct Index;
  template <typename Accept>
  SliceChoice scanNearest(const Point& position, double below, Accept&& accept) const;
  const std::vector<LineString>& slices_;
  std::unique_ptr<Index> index_;
};

}  // namespace Planner
