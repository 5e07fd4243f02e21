#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "planner/geometry/point.h"
#include "planner/geometry/tolerances.h"

namespace Planner {

// Points bucketed in cells of eight times kSamePoint, to find every stored point closer than
// kSamePoint to a query by looking at the (at most 2 x 2, mostly one) cells its
// neighbourhood meets.
// Ids are small integers (positions in the caller's lists); each id is stored once.
// The cells live in one open-addressed table, so a lookup touches one or two cache
// lines: a search asks about thousands of neighbours per expansion.
class NearPoints {
 public:
  void insert(const Point& p, uint32_t id) {
    if (id >= next_.size()) next_.resize(id + 1, kNone);
    Slot& slot = slotFor(key(cell(p.x), cell(p.y)), true);
    next_[id] = slot.head;
    slot.head = id;
  }

  void erase(const Point& p, uint32_t id) {
    Slot& slot = slotFor(key(cell(p.x), cell(p.y)), false);
    for (uint32_t* link = &slot.head; *link != kNone; link = &next_[*link]) {
      if (*link == id) {
        *link = next_[id];
        return;
      }
    }
  }

  template <typename F>
  void forEachNear(const Point& p, F&& f) const {
    if (used_ == 0) return;
    // A little wider than kSamePoint: listing a point too many is harmless.
    constexpr double reach = kSamePoint * 1.001;
    const int64_t x1 = cell(p.x + reach), y1 = cell(p.y + reach);
    for (int64_t x = cell(p.x - reach); x <= x1; ++x) {
      for (int64_t y = cell(p.y - reach); y <= y1; ++y) {
        for (uint32_t id = find(key(x, y)); id != kNone; id = next_[id]) f(id);
      }
    }
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Slot {
    std::uint64_t key = 0;
    uint32_t head = kNone;
    bool used = false;
  };

  static int64_t cell(double v) { return static_cast<int64_t>(std::floor(v / (8 * kSamePoint))); }
  static std::uint64_t key(int64_t x, int64_t y) {
    return static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(y);
  }
  static std::size_t hash(std::uint64_t k) { return (k ^ (k >> 29)) * 0xBF58476D1CE4E5B9ull >> 20; }

  // First id of the cell, or kNone.
  uint32_t find(std::uint64_t k) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash(k) & mask;; i = (i + 1) & mask) {
      if (!slots_[i].used) return kNone;
      if (slots_[i].key == k) return slots_[i].head;
    }
  }

  Slot& slotFor(std::uint64_t k, bool create) {
    if (create && (used_ + 1) * 2 > slots_.size()) grow();
    if (slots_.empty()) return empty_;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash(k) & mask;; i = (i + 1) & mask) {
      Slot& s = slots_[i];
      if (s.used && s.key == k) return s;
      if (!s.used) {
        if (!create) return empty_;
        s.used = true;
        s.key = k;
        ++used_;
        return s;
      }
    }
  }

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot());
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
      if (!s.used) continue;
      std::size_t i = hash(s.key) & mask;
      while (slots_[i].used) i = (i + 1) & mask;
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  std::vector<uint32_t> next_;  // per id: the next id of its cell
  Slot empty_;                  // erase() from a cell never made
};

}  // namespace Planner
