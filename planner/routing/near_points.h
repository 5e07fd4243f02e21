#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "planner/geometry/point.h"
#include "planner/geometry/tolerances.h"

namespace Planner {

// Points bucketed in cells of kSamePoint, to find every stored point closer than
// kSamePoint to a query by looking at the 3 x 3 cells around it.
class NearPoints {
 public:
  void insert(const Point& p, uint32_t id) { cells_[key(cell(p.x), cell(p.y))].push_back(id); }

  void erase(const Point& p, uint32_t id) {
    auto it = cells_.find(key(cell(p.x), cell(p.y)));
    if (it == cells_.end()) return;
    auto& ids = it->second;
    ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
  }

  template <typename F>
  void forEachNear(const Point& p, F&& f) const {
    const int64_t cx = cell(p.x), cy = cell(p.y);
    for (int64_t dx = -1; dx <= 1; ++dx) {
      for (int64_t dy = -1; dy <= 1; ++dy) {
        auto it = cells_.find(key(cx + dx, cy + dy));
        if (it == cells_.end()) continue;
        for (uint32_t id : it->second) f(id);
      }
    }
  }

 private:
  static int64_t cell(double v) { return static_cast<int64_t>(std::floor(v / kSamePoint)); }
  static std::uint64_t key(int64_t x, int64_t y) {
    return static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(y);
  }
  std::unordered_map<std::uint64_t, std::vector<uint32_t>> cells_;
};

}  // namespace Planner
