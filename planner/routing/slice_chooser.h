#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "planner/geometry/line_string.h"
#include "planner/routing/routing_strategies.h"

namespace Planner {

// The entry points of the slices still to drive, in a uniform grid (the rules are
// EntryFinder's). Entries are visited by increasing distance, so only candidates that
// could win are tested for clearance.
class SliceChooser : public EntryFinder {
 public:
  // `slices` must outlive the chooser. Slices marked in `done` are left out.
  SliceChooser(const std::vector<LineString>& slices, const std::vector<bool>& done);
  SliceChooser(SliceChooser&&) noexcept;
  ~SliceChooser() override;

  SliceChoice nearestClear(const Point& position, const Clearance& clearance) const override;
  SliceChoice nearest(const Point& position) const override;
  void remove(std::size_t slice) override;

 private:
  struct Index;
  template <typename Accept>
  SliceChoice scanNearest(const Point& position, double below, Accept&& accept) const;
  const std::vector<LineString>& slices_;
  std::unique_ptr<Index> index_;
};

}  // namespace Planner
