#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "planner/geometry/point.h"
#include "planner/geometry/polygon.h"

namespace Planner::testing {

inline Polygon rect(double x0, double y0, double x1, double y1) {
  return Polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

inline std::vector<Point> pts(std::initializer_list<Point> list) { return list; }

inline void expectPoints(const std::vector<Point>& actual, const std::vector<Point>& expected,
                         double tol = 0.0) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i].x, expected[i].x, tol) << "point " << i;
    EXPECT_NEAR(actual[i].y, expected[i].y, tol) << "point " << i;
  }
}

}  // namespace Planner::testing
