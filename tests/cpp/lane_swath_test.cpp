#include <gtest/gtest.h>

#include <clipper2/clipper.core.h>

#include <cmath>
#include <numbers>
#include <optional>

#include "planner/coverage/lane_swath.h"

using namespace Planner;

namespace {

struct BetweenCase {
  Lane lane;
  double left, right;
  std::optional<LanePiece> expected;
};

TEST(LaneSwath, PartBetweenTwoLines) {
  const BetweenCase cases[] = {
      {{5, 0, 5, 9}, 0, 10, LanePiece{{5, 0, 5, 9}, true, true}},    // upright, inside
      {{11, 0, 11, 9}, 0, 10, std::nullopt},                         // upright, outside
      {{0, 0, 10, 0}, 2, 4, LanePiece{{2, 0, 4, 0}, false, false}},  // cut at both ends
      {{0, 0, 10, 0}, -5, 4, LanePiece{{0, 0, 4, 0}, true, false}},
      {{10, 0, 0, 0}, 2, 20, LanePiece{{10, 0, 2, 0}, true, false}},  // runs the other way
      {{0, 0, 10, 0}, 10, 12, std::nullopt},                          // touches only
  };
  for (const auto& c : cases) {
    const auto piece = laneBetween(c.lane, c.left, c.right);
    ASSERT_EQ(piece.has_value(), c.expected.has_value()) << c.left << " " << c.right;
    if (!piece) continue;
    EXPECT_DOUBLE_EQ(piece->line.x0, c.expected->line.x0);
    EXPECT_DOUBLE_EQ(piece->line.x1, c.expected->line.x1);
    EXPECT_EQ(piece->capStart, c.expected->capStart);
    EXPECT_EQ(piece->capEnd, c.expected->capEnd);
  }
}

TEST(LaneSwath, RoundCapsOfQuarterArcsOrFlatWhereCut) {
  constexpr double r = 1e6;
  const auto ring = laneSwath({{0, 0, 1e8, 0}, true, true}, r, 4, 0.0);
  ASSERT_EQ(ring.size(), 18u);
  // A rectangle and a 16-gon in the circle of the cap.
  EXPECT_NEAR(Clipper2Lib::Area(ring), 1e8 * 2 * r + 8 * r * r * std::sin(std::numbers::pi / 8),
              1e-6 * Clipper2Lib::Area(ring));
  EXPECT_EQ(laneSwath({{0, 0, 1e8, 0}, true, false}, r, 4, 0.0).size(), 11u);
  EXPECT_EQ(laneSwath({{0, 0, 1e8, 0}, false, false}, r, 4, 0.0).size(), 4u);
}

TEST(LaneSwath, SidesRunAlongXOnceTurnedTheLanesWay) {
  // Neighbouring lanes at 37 degrees, a swath apart: turned, their sides lie on one line.
  const double a = 37.0 * std::numbers::pi / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  constexpr double r = 12345.678;
  for (int k = 0; k < 50; ++k) {
    const double n = 2 * r * k;  // across the lanes
    const Lane lower{-s * n + 3.3e7, c * n + 1.1e7, -s * n + c * 9e9 + 3.3e7,
                     c * n + s * 9e9 + 1.1e7};
    const Lane upper{lower.x0 - s * 2 * r, lower.y0 + c * 2 * r, lower.x1 - s * 2 * r,
                     lower.y1 + c * 2 * r};
    const auto below = laneSwath({lower, false, false}, r, 4, a);
    const auto above = laneSwath({upper, false, false}, r, 4, a);
    const auto box = Clipper2Lib::GetBounds(below);
    for (const auto& p : below) EXPECT_TRUE(p.y == box.top || p.y == box.bottom);
    EXPECT_EQ(Clipper2Lib::GetBounds(above).top, box.bottom) << k;
  }
}

}  // namespace
