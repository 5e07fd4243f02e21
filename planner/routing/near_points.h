#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "planner/geometry/point.h"
#include "planner/geometry/tolerances.h"

namespace Planner {

// Points bucketed in cells of eight times kSamePoint, to find every stored point closer than
// kSamePoint to a query by looking at the (at most 2 x 2, mostly one) cells its
// neighbourhood meets. Ids are small integers (positions in the caller's lists); each id
// is stored once. A cell keeps its first id in a flat hash map and links the rest through
// next_, so a lookup touches one or two cache lines: a search asks about thousands of
// neighbours per expansion.
class NearPoints {
 public:
  void insert(const Point& p, uint32_t id) {
    if (id >= next_.size()) next_.resize(id + 1, kNone);
    uint32_t& head = heads_.try_emplace(key(cell(p.x), cell(p.y)), kNone).first->second;
    next_[id] = head;
    head = id;
  }

  void erase(const Point& p, uint32_t id) {
    auto it = heads_.find(key(cell(p.x), cell(p.y)));
    if (it == heads_.end()) return;
    for (uint32_t* link = &it->second; *link != kNone; link = &next_[*link]) {
      if (*link == id) {
        *link = next_[id];
        return;
      }
    }
  }

  template <typename F>
  void forEachNear(const Point& p, F&& f) const {
    if (heads_.empty()) return;
    // A little wider than kSamePoint: listing a point too many is harmless.
    constexpr double reach = kSamePoint * 1.001;
    const int64_t x1 = cell(p.x + reach), y1 = cell(p.y + reach);
    for (int64_t x = cell(p.x - reach); x <= x1; ++x) {
      for (int64_t y = cell(p.y - reach); y <= y1; ++y) {
        auto it = heads_.find(key(x, y));
        if (it == heads_.end()) continue;
        for (uint32_t id = it->second; id != kNone; id = next_[id]) f(id);
      }
    }
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;

  static int64_t cell(double v) { return static_cast<int64_t>(std::floor(v / (8 * kSamePoint))); }
  static std::uint64_t key(int64_t x, int64_t y) {
    return static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(y);
  }

  boost::unordered_flat_map<std::uint64_t, uint32_t> heads_;  // first id of each cell
  std::vector<uint32_t> next_;                                // per id: the next id of its cell
};

}  // namespace Planner
