#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "planner/geometry/point.h"
#include "planner/geometry/tolerances.h"

namespace Planner {

// Points bucketed in cells of twice kSamePoint, to find every stored point closer than
// kSamePoint to a query by looking at the (at most) 2 x 2 cells its neighbourhood meets.
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
    // A little wider than kSamePoint: listing a point too many is harmless.
    constexpr double reach = kSamePoint * 1.001;
    const int64_t x1 = cell(p.x + reach), y1 = cell(p.y + reach);
    for (int64_t x = cell(p.x - reach); x <= x1; ++x) {
      for (int64_t y = cell(p.y - reach); y <= y1; ++y) {
        auto it = cells_.find(key(x, y));
        if (it == cells_.end()) continue;
        for (uint32_t id : it->second) f(id);
      }
    }
  }

 private:
  static int64_t cell(double v) { return static_cast<int64_t>(std::floor(v / (2 * kSamePoint))); }
  static std::uint64_t key(int64_t x, int64_t y) {
    return static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(y);
  }
  std::unordered_map<std::uint64_t, std::vector<uint32_t>> cells_;
};

}  // namespace Planner
