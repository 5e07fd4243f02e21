#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "planner/geometry/clipper_bridge.h"
#include "planner/geometry/line_string.h"
#include "planner/geometry/predicates.h"
#include "planner/geometry/transforms.h"
#include "test_support.h"

using namespace Planner;
using Planner::testing::expectPoints;
using Planner::testing::rect;

TEST(Point, TextFormKeepsSixDecimalsAndSign) {
  EXPECT_EQ(Point(1.5, -2).toString(), "(1.500000, -2.000000)");
  EXPECT_EQ(Point(0, 0).toString(), "(0.000000, 0.000000)");
  EXPECT_EQ(Point(-0.0000004, 1234567.125).toString(), "(-0.000000, 1234567.125000)");
  EXPECT_EQ(Point(1e300, 1).toString().size(), 320u);  // no truncation of huge values
}

TEST(Polygon, OrientationRules) {
  struct Case {
    std::vector<Point> in;
    bool ccw;
    std::vector<Point> out;
  };
  const std::vector<Point> square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  const std::vector<Point> closed{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
  const Case cases[] = {
      {square, true, square},
      {square, false, {{0, 1}, {1, 1}, {1, 0}, {0, 0}}},
      {closed, false, {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}}},
      {{{0, 0}, {1, 1}}, true, {{1, 1}, {0, 0}}},  // degenerate counts as clockwise
      {{{0, 0}, {1, 1}}, false, {{0, 0}, {1, 1}}},
      {{{0, 0}, {1, 1}, {2, 2}}, true, {{2, 2}, {1, 1}, {0, 0}}},  // zero area
      {{}, true, {}},
  };
  for (const Case& c : cases) {
    Polygon p(c.in);
    p.setOrientation(c.ccw);
    expectPoints(p.getPoints(), c.out);
  }
  EXPECT_EQ(Polygon(closed).signedArea(), 1.0);
  EXPECT_EQ(Polygon(square).signedArea(), 1.0);
}

TEST(Polygon, CopyIsDeep) {
  Polygon source(rect(0, 0, 2, 1));
  Polygon copy = source;
  copy.setOrientation(false);
  expectPoints(source.getPoints(), rect(0, 0, 2, 1).getPoints());
  LineString line;
  line.addPoint({1, 2});
  line.addPoint({1, 2});
  expectPoints(line.getPoints(), {{1, 2}, {1, 2}});
}

TEST(Rotation, AboutTheOrigin) {
  std::vector<Point> p{{1, 0}};
  rotatePoints(p, 1.5707963267948966);
  EXPECT_EQ(p[0].x, 6.123233995736766e-17);
  EXPECT_EQ(p[0].y, 1.0);
  std::vector<Point> q{{3.25, -7.5}, {0, 0}};
  rotatePoints(q, 0.0);
  expectPoints(q, {{3.25, -7.5}, {0, 0}});
  rotatePoints(q, 0.7);
  rotatePoints(q, -0.7);
  expectPoints(q, {{3.25, -7.5}, {0, 0}}, 1e-12);
  const Point r = rotatePoint({2, 1}, 0.3);
  std::vector<Point> s{{2, 1}};
  rotatePoints(s, 0.3);
  EXPECT_EQ(r.x, s[0].x);
  EXPECT_EQ(r.y, s[0].y);
}

TEST(PointInRing, BoundaryTable) {
  const auto square = rect(0, 0, 10, 10).getPoints();
  auto closed = square;
  closed.push_back(square.front());
  struct Case {
    Point q;
    bool inclusive;
    bool strict;
  };
  const Case cases[] = {
      {{5, 5}, true, true},       {{5, 0}, true, false},      {{0, 0}, true, false},
      {{10, 10}, true, false},    {{5, -5e-11}, true, false}, {{10 + 5e-11, 5}, true, false},
      {{5, -1e-6}, false, false}, {{11, 5}, false, false},    {{-1, -1}, false, false},
  };
  for (const Case& c : cases) {
    for (const std::vector<Point>* ring :
         {&square, static_cast<const std::vector<Point>*>(&closed)}) {
      EXPECT_EQ(pointInRingInclusive(c.q, *ring), c.inclusive) << c.q.toString();
      EXPECT_EQ(pointInRingStrict(c.q, *ring), c.strict) << c.q.toString();
    }
  }
  EXPECT_FALSE(pointInRingInclusive({0, 0}, std::vector<Point>{{0, 0}, {1, 1}}));
}

TEST(SegmentTests, CrossingsAndInsideTable) {
  const auto square = rect(0, 0, 10, 10).getPoints();
  struct Case {
    Point a, b;
    bool crosses, inside;
  };
  const Case cases[] = {
      {{5, 5}, {15, 5}, true, false},        // leaves through an edge
      {{5, 5}, {8, 5}, false, true},         // wholly inside
      {{0, 5}, {5, 5}, false, true},         // from the boundary inwards
      {{0, 2}, {0, 8}, false, true},         // along an edge
      {{5, 5}, {10, 5}, false, true},        // ends exactly on the edge
      {{-5, 5}, {5, 15}, false, false},      // through the vertex (0, 10)
      {{5, 5}, {10.0005, 5}, false, false},  // crossing 0.0005 from its end
      {{2, 2}, {2, 12}, true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(segmentCrossesRing(c.a, c.b, square), c.crosses) << c.a.toString() << c.b.toString();
    EXPECT_EQ(segmentInsideRing(c.a, c.b, square), c.inside) << c.a.toString() << c.b.toString();
  }
  // Out and back in: both ends inside, still not inside.
  const std::vector<Point> notch{{0, 0}, {10, 0}, {10, 10}, {6, 10},
                                 {6, 4}, {4, 4},  {4, 10},  {0, 10}};
  EXPECT_FALSE(segmentInsideRing({1, 8}, {7, 8}, notch));
}

TEST(RingTests, InsideAndCrossing) {
  const auto outer = rect(0, 0, 10, 10).getPoints();
  EXPECT_TRUE(ringInsideRing(rect(2, 2, 4, 4).getPoints(), outer));
  EXPECT_FALSE(ringCrossesRing(rect(2, 2, 4, 4).getPoints(), outer));
  EXPECT_TRUE(ringCrossesRing(rect(8, 8, 12, 12).getPoints(), outer));
  EXPECT_FALSE(ringInsideRing(rect(8, 8, 12, 12).getPoints(), outer));
  EXPECT_FALSE(ringInsideRing(rect(20, 20, 30, 30).getPoints(), outer));
  EXPECT_FALSE(ringInsideRing(outer, std::vector<Point>{{0, 0}, {1, 1}}));
}

TEST(ClipperBridge, RoundsHalvesAwayFromZero) {
  const auto path = toPath64({{0.0005, -0.0005}, {0.0025, 1.2344}, {-0.0025, -2.5}});
  ASSERT_EQ(path.size(), 3u);
  EXPECT_EQ(path[0].x, 1);
  EXPECT_EQ(path[0].y, -1);
  EXPECT_EQ(path[1].x, 3);
  EXPECT_EQ(path[1].y, 1234);
  EXPECT_EQ(path[2].x, -3);
  EXPECT_EQ(path[2].y, -2500);
  expectPoints(fromPath64(path), {{0.001, -0.001}, {0.003, 1.234}, {-0.003, -2.5}});
  EXPECT_TRUE(toPath64({}).empty());
}

// The even-odd scan agrees with an independent winding-number count on random
// points away from the boundary.
TEST(PointInRing, AgreesWithWindingNumber) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coord(-10, 10);
  const std::vector<Point> star{{0, 8},  {2, 2},   {8, 0},  {2, -2},
                                {0, -8}, {-2, -2}, {-8, 0}, {-2, 2}};
  for (int k = 0; k < 2000; ++k) {
    const Point q{coord(rng), coord(rng)};
    double winding = 0;
    for (std::size_t i = 0; i < star.size(); ++i) {
      const Point& a = star[i];
      const Point& b = star[(i + 1) % star.size()];
      winding += std::atan2((a.x - q.x) * (b.y - q.y) - (a.y - q.y) * (b.x - q.x),
                            (a.x - q.x) * (b.x - q.x) + (a.y - q.y) * (b.y - q.y));
    }
    const bool inside = std::fabs(winding) > 3.0;
    EXPECT_EQ(pointInRingStrict(q, star), inside) << q.toString();
  }
}
