#pragma once

#include <cstdint>
#include <vector>

#include <clipper2/clipper.core.h>

// Rings cut to a vertical strip, left <= x <= right, keeping every winding count inside it.
namespace Planner {

// Cut one ring at a time, each ring's pieces inside the strip are chains that end on its sides.
// They are joined into rings along the sides nearest first, whichever ring they came from: an
// annulus across the strip comes back as two bands rather than a column with a column-shaped
// hole, so a horizontal line meets only the rings that really cross it there. (A cut ring
// closed along the sides on its own would span the strip's height, and nested rings would then
// all meet every horizontal line.) Where a ring crosses a side, the point lies exactly on it,
// its y rounded the same way from both strips that share the side.
class StripCut {
 public:
  StripCut(std::int64_t left, std::int64_t right) : left_(left), right_(right) {}

  void add(const Clipper2Lib::Path64& ring);

  // The pieces, with the winding counts the added rings give inside the strip.
  Clipper2Lib::Paths64 rings() &&;

 private:
  struct Chain {
    std::size_t ring;   // in cut_
    std::size_t first;  // its first point in that ring
    std::size_t count;  // its points, going on round the ring
  };
  struct End {
    std::int64_t y;
    bool last;  // the chain's last point (it leaves the strip here), or its first
    std::size_t chain;
  };

  std::int64_t left_;
  std::int64_t right_;
  Clipper2Lib::Paths64 cut_;  // each ring as clipped, its sides closed along the strip's
  Clipper2Lib::Paths64 whole_;
  std::vector<Chain> chains_;
  std::vector<End> ends_[2];  // on the left side, on the right
};

}  // namespace Planner
