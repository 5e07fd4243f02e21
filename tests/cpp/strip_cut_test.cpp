#include <gtest/gtest.h>

#include <clipper2/clipper.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <utility>

#include "planner/coverage/strip_cut.h"

using namespace Planner;
using Clipper2Lib::Path64;
using Clipper2Lib::Paths64;

namespace {

Paths64 cutToStrip(const Paths64& rings, std::int64_t left, std::int64_t right) {
  StripCut cut(left, right);
  for (const auto& ring : rings) cut.add(ring);
  return std::move(cut).rings();
}

// A ring around (cx, cy) with a random radius at each of n angles, run either way round.
Path64 starRing(std::mt19937& random, double cx, double cy, double radius, int n, bool hole) {
  std::uniform_real_distribution<double> share(0.3, 1.0);
  Path64 ring;
  for (int k = 0; k < n; ++k) {
    const double a = 2 * std::numbers::pi * k / n;
    const double r = radius * share(random);
    ring.push_back({std::llround(cx + r * std::cos(a)), std::llround(cy + r * std::sin(a))});
  }
  if (hole) std::reverse(ring.begin(), ring.end());
  return ring;
}

// Windings inside the strip stay those of the rings cut one by one with Clipper2, under both
// fill rules the figures use: overlapping rings, holes, sides through vertices and along edges.
TEST(StripCut, KeepsEveryWindingInsideTheStrip) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::int64_t> place(-4'000'000, 4'000'000);
  for (int site = 0; site < 200; ++site) {
    Paths64 rings;
    const int count = 1 + site % 7;
    for (int k = 0; k < count; ++k)
      rings.push_back(starRing(random, place(random), place(random), 3'000'000 + place(random) / 2,
                               3 + site % 40, k % 3 == 2));
    // Rectangles whose sides lie on the strip's sides, or cross them at a vertex.
    rings.push_back({{-1'000'000, -500'000},
                     {1'000'000, -500'000},
                     {1'000'000, 500'000},
                     {-1'000'000, 500'000}});
    rings.push_back({{-1'000'000, 0}, {0, -700'000}, {1'000'000, 0}, {0, 700'000}});
    const bool onSides = site % 5 == 0;  // along the rectangle's sides, at the diamond's tips
    const std::int64_t left = onSides ? -1'000'000 : place(random);
    const std::int64_t right = onSides ? 1'000'000 : left + 3'000'001 + place(random) % 3'000'000;

    const Paths64 cut = cutToStrip(rings, left, right);
    // Clipper2 clips a copy a thousand times finer; each crossing the cut rounds by half a
    // unit moves the area by at most half the strip's width.
    constexpr std::int64_t kFiner = 1000;
    Paths64 finer = rings;
    for (auto& ring : finer)
      for (auto& p : ring) p = {p.x * kFiner, p.y * kFiner};
    const Clipper2Lib::Rect64 strip{left * kFiner, -1'000'000'000'000, right * kFiner,
                                    1'000'000'000'000};
    std::size_t points = 0;
    for (const auto& ring : rings) points += ring.size();
    const double tolerance = 0.5 * static_cast<double>(right - left) * static_cast<double>(points);
    for (const auto rule : {Clipper2Lib::FillRule::NonZero, Clipper2Lib::FillRule::Positive}) {
      const double expected =
          Clipper2Lib::Area(Clipper2Lib::Intersect(finer, Paths64{strip.AsPath()}, rule)) /
          static_cast<double>(kFiner * kFiner);
      EXPECT_NEAR(Clipper2Lib::Area(Clipper2Lib::Union(cut, rule)), expected, tolerance)
          << "site " << site;
    }
  }
}

// Nested annuli across the strip come back as bands no taller than an annulus: a column per
// ring would make every horizontal line meet all of them.
TEST(StripCut, NestedAnnuliComeBackAsBands) {
  Paths64 rings;
  for (int k = 0; k < 40; ++k) {
    const std::int64_t a = 100 * k;
    const std::int64_t b = 10000 - 100 * k;
    Path64 square{{a, a}, {b, a}, {b, b}, {a, b}};
    if (k % 2 == 1) std::reverse(square.begin(), square.end());
    rings.push_back(square);
  }
  const Paths64 cut = cutToStrip(rings, 4800, 5300);
  ASSERT_EQ(cut.size(), 40u);
  for (const auto& ring : cut) {
    const Clipper2Lib::Rect64 box = Clipper2Lib::GetBounds(ring);
    EXPECT_EQ(box.bottom - box.top, 100);
    EXPECT_GT(Clipper2Lib::Area(ring), 0);
  }
}

}  // namespace
