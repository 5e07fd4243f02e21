#include <gtest/gtest.h>

#include <clipper2/clipper.core.h>
#include <clipper2/clipper.offset.h>

#include <cmath>
#include <random>

#include "planner/coverage/clipper_ops.h"
#include "planner/coverage/leftover_bound.h"
#include "planner/coverage/line_slicer.h"
#include "planner/coverage/offset_rings.h"
#include "planner/geometry/clipper_bridge.h"
#include "planner/geometry/predicates.h"
#include "test_support.h"

using namespace Planner;
using Planner::testing::expectPoints;
using Planner::testing::rect;

namespace {

using Lane = std::array<double, 3>;  // y, x1, x2

std::vector<Lane> lanes(const Environment& area, double spacing) {
  std::vector<Lane> out;
  for (const LineString& s : generateLineSlices(area, spacing)) {
    const auto& p = s.getPoints();
    EXPECT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].y, p[1].y);
    EXPECT_LT(p[0].x, p[1].x);
    out.push_back({p[0].y, p[0].x, p[1].x});
  }
  return out;
}

double distanceToRing(const Point& p, const std::vector<Point>& ring) {
  double best = 1e300;
  for (std::size_t i = 0; i < ring.size(); ++i) {
    best = std::min(best, distanceToSegment(p, ring[i], ring[(i + 1) % ring.size()]));
  }
  return best;
}

}  // namespace

TEST(LineSlicer, ReferenceShapes) {
  struct Case {
    const char* name;
    Environment area;
    double spacing;
    std::vector<Lane> expected;
  };
  Environment holed(rect(0, 0, 10, 10));
  holed.addObstacle(Polygon({{4, 4}, {4, 6}, {6, 6}, {6, 4}}));
  Environment touching(rect(0, 0, 10, 4));
  touching.addMowArea(rect(0, 0, 5, 4));
  touching.addMowArea(rect(5, 0, 10, 4));
  Environment twoPointMow(rect(0, 0, 10, 4));
  twoPointMow.addMowArea(Polygon({{0, 0}, {10, 4}}));
  Polygon closedRect = rect(0, 0, 10, 4);
  closedRect.getPoints().push_back({0, 0});

  const Case cases[] = {
      {"rect 1",
       Environment(rect(0, 0, 10, 4)),
       1,
       {{0.5, 0, 10}, {1.5, 0, 10}, {2.5, 0, 10}, {3.5, 0, 10}}},
      {"rect 2", Environment(rect(0, 0, 10, 4)), 2, {{1, 0, 10}, {3, 0, 10}}},
      {"rect 8", Environment(rect(0, 0, 10, 4)), 8, {}},
      {"closed rect", Environment(closedRect), 2, {{1, 0, 10}, {3, 0, 10}}},
      {"hole", holed, 2, {{1, 0, 10}, {3, 0, 10}, {5, 0, 4}, {5, 6, 10}, {7, 0, 10}, {9, 0, 10}}},
      {"diamond", Environment(Polygon({{0, -2}, {2, 0}, {0, 2}, {-2, 0}})), 4, {{0, -2, 2}}},
      {"L-shape",
       Environment(Polygon({{0, 0}, {10, 0}, {10, 0.5}, {5, 0.5}, {5, 4}, {0, 4}})),
       1,
       {{0.5, 0, 5}, {0.5, 5, 10}, {1.5, 0, 5}, {2.5, 0, 5}, {3.5, 0, 5}}},
      {"touching mow areas", touching, 2, {{1, 0, 5}, {1, 5, 10}, {3, 0, 5}, {3, 5, 10}}},
      {"two-point mow area", twoPointMow, 2, {}},
      {"too few points", Environment(Polygon({{0, 0}, {1, 1}})), 0.1, {}},
      {"zero spacing", Environment(rect(0, 0, 10, 4)), 0, {}},
      {"negative spacing", Environment(rect(0, 0, 10, 4)), -1, {}},
      // Beyond x = -1000 the lanes are still found, over the area's own extent.
      {"wide", Environment(rect(-1200, 0, 500, 2)), 2, {{1, -1200, 500}}},
      {"map coordinates",
       Environment(rect(500000, 0, 500010, 2)),
       1,
       {{0.5, 500000, 500010}, {1.5, 500000, 500010}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lanes(c.area, c.spacing), c.expected) << c.name;
  }
}

TEST(LineSlicer, CollinearOverlap) {
  const auto o = collinearOverlap({10, 0.5}, {5, 0.5}, {-1000, 0.5}, {1000, 0.5});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->first.x, 5);
  EXPECT_EQ(o->second.x, 10);
  EXPECT_FALSE(collinearOverlap({0, 0}, {0, 0}, {-1, 0}, {1, 0}));  // degenerate edge
  EXPECT_FALSE(collinearOverlap({0, 1}, {5, 1}, {-1, 0}, {1, 0}));  // parallel, apart
  EXPECT_FALSE(collinearOverlap({2, 0}, {5, 0}, {-1, 0}, {1, 0}));  // on one line, apart
}

// Every lane runs inside the area and outside every hole.
TEST(LineSlicer, LanesStayInsideArea) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> jitter(-1.5, 1.5);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<Point> outer;
    for (int k = 0; k < 24; ++k) {
      const double a = k * 2 * M_PI / 24;
      const double r = 20 + jitter(rng) * 3;
      outer.push_back({r * std::cos(a), r * std::sin(a)});
    }
    Environment area{Polygon(outer)};
    area.addObstacle(rect(-3 + jitter(rng), -3, 2, 4 + jitter(rng)));
    for (const LineString& lane : generateLineSlices(area, 0.7)) {
      const auto& p = lane.getPoints();
      for (double f : {0.01, 0.3, 0.5, 0.77, 0.99}) {
        const Point q{p[0].x + f * (p[1].x - p[0].x), p[0].y};
        EXPECT_TRUE(pointInRingInclusive(q, area.getPerimeter()));
        EXPECT_FALSE(pointInRingStrict(q, area.getObstacles()[0]));
      }
    }
  }
}

TEST(OffsetRings, SquareOfSideTen) {
  const Environment site(rect(0, 0, 10, 10));
  const std::vector<Polygon> rings = computeOffsetRings(site, 1, 0, 0.001);
  ASSERT_EQ(rings.size(), 6u);
  for (int k = 0; k < 5; ++k) {
    const auto& p = rings[k].getPoints();
    ASSERT_EQ(p.size(), 5u) << k;
    EXPECT_EQ(p.front().x, p.back().x);
    EXPECT_EQ(p.front().y, p.back().y);
    const double d = 0.001 + k;
    for (const Point& q : p)
      EXPECT_NEAR(distanceToRing(q, site.getPerimeter().getPoints()), d, 1e-9);
    EXPECT_GT(rings[k].signedArea(), 0);
  }
  const auto& last = rings[5].getPoints();
  ASSERT_EQ(last.size(), 4u);  // open outline
  double minX = 1e9, maxX = -1e9;
  for (const Point& q : last) minX = std::min(minX, q.x), maxX = std::max(maxX, q.x);
  EXPECT_NEAR(maxX - minX, 0.298, 1e-9);

  EXPECT_EQ(computeOffsetRings(site, 1, 1, 0.001).size(), 1u);  // lap 0 only, no leftover
}

TEST(OffsetRings, ObstaclesAndDropRule) {
  Environment site(rect(0, 0, 10, 10));
  site.addObstacle(rect(4, 4, 6, 6));
  const std::vector<Polygon> lap0 = computeOffsetRings(site, 1, 1, 0.001);
  ASSERT_EQ(lap0.size(), 2u);
  EXPECT_EQ(selectRingsByOrientation(lap0, false).size(), 1u);
  const auto holes = selectRingsByOrientation(lap0, true);
  ASSERT_EQ(holes.size(), 1u);
  EXPECT_LT(holes[0].signedArea(), 0);
  for (const Point& q : holes[0].getPoints()) {  // miter corners lie sqrt(2) x farther
    const double d = distanceToRing(q, site.getObstacles()[0].getPoints());
    EXPECT_GE(d, 0.001 - 1e-9);
    EXPECT_LE(d, 0.001 * std::sqrt(2.0) + 1e-9);
  }

  // A ring that starts inside a site obstacle is dropped, the others stay.
  Environment dropping(rect(0, 0, 10, 10));
  dropping.addObstacle(rect(-1, -1, 3, 3));  // covers the outer ring's first point region
  const auto kept = offsetAreaRings(dropping, Environment(rect(0, 0, 10, 10)), 1, 1, 0.001);
  for (const Polygon& ring : kept) {
    EXPECT_FALSE(pointInRingStrict(ring.getPoints().front(), dropping.getObstacles()[0]));
  }

  // Too narrow for the first lap: the outlines themselves, closed.
  const auto narrow = computeOffsetRings(Environment(rect(0, 0, 10, 0.001)), 1, 1, 0.001);
  ASSERT_EQ(narrow.size(), 1u);
  EXPECT_EQ(narrow[0].getPoints().size(), 5u);
}

TEST(OffsetRings, MowAreasSelectTheirObstacles) {
  Environment site(rect(0, 0, 20, 10));
  site.addMowArea(rect(0, 0, 10, 10));
  site.addMowArea(rect(10, 0, 20, 10));
  site.addObstacle(rect(8, 4, 12, 6));     // crosses both mow areas
  site.addObstacle(rect(2, 2, 3, 3));      // inside the first only
  site.addObstacle(rect(30, 30, 31, 31));  // outside both
  const auto rings = computeOffsetRings(site, 1, 1, 0.001);
  const auto holes = selectRingsByOrientation(rings, true);
  const auto outers = selectRingsByOrientation(rings, false);
  EXPECT_EQ(holes.size(), 1u);  // the crossing obstacle merges into each outline
  EXPECT_EQ(outers.size(), 2u);
  EXPECT_LT(outers[0].getPoints()[0].x, 10.01);  // first mow area first
}

TEST(OffsetRings, DegenerateInputsTakeNoPart) {
  EXPECT_TRUE(computeOffsetRings(Environment(Polygon({{1, 1}})), 0.5, 3, 0.001).empty());
  EXPECT_TRUE(computeOffsetRings(Environment(Polygon({{0, 0}, {4, 0}})), 0.5, 3, 0.001).empty());
  EXPECT_TRUE(computeOffsetRings(Environment(Polygon()), 0.5, 0, 0.001).empty());
  Environment withEmpty(rect(0, 0, 10, 10));
  withEmpty.addObstacle(Polygon());
  withEmpty.addObstacle(Polygon({{5, 5}, {6, 6}}));
  const auto plain = computeOffsetRings(Environment(rect(0, 0, 10, 10)), 1, 2, 0.001);
  const auto rings = computeOffsetRings(withEmpty, 1, 2, 0.001);
  ASSERT_EQ(rings.size(), plain.size());
  for (std::size_t i = 0; i < rings.size(); ++i) {
    expectPoints(rings[i].getPoints(), plain[i].getPoints());
  }
  Environment emptyMow(rect(0, 0, 10, 10));
  emptyMow.addMowArea(Polygon());
  EXPECT_TRUE(computeOffsetRings(emptyMow, 1, 2, 0.001).empty());
}

TEST(OffsetRings, UnlimitedLoopIsBounded) {
  const Environment site(rect(0, 0, 10, 10));
  const auto same = computeOffsetRings(site, 0, 0, 0.001);
  EXPECT_GT(same.size(), kMaxOffsetEntries);
  EXPECT_LE(same.size(), kMaxOffsetEntries + 2);
  const auto tiny = computeOffsetRings(site, 0.0001, 3, 0.001);
  ASSERT_GE(tiny.size(), 3u);
  EXPECT_EQ(tiny[1].getPoints().size(), tiny[0].getPoints().size());
  EXPECT_EQ(tiny[1].signedArea(), tiny[0].signedArea());
  // Every lap dropped and none shrinking: ends at once instead of after 2**31 laps.
  Environment covered(rect(0, 0, 10, 10));
  covered.addObstacle(rect(-1, -1, 11, 11));
  EXPECT_TRUE(offsetAreaRings(covered, Environment(rect(0, 0, 10, 10)), 0.0001,
                              std::numeric_limits<int32_t>::max(), 0.001)
                  .empty());
}

TEST(OffsetRings, SelectByOrientation) {
  Polygon cw = rect(0, 0, 1, 1);
  cw.setOrientation(false);
  const std::vector<Polygon> rings{rect(0, 0, 1, 1), cw, Polygon(), Polygon({{0, 0}, {1, 1}})};
  EXPECT_EQ(selectRingsByOrientation(rings, false).size(), 2u);  // ccw and degenerate
  EXPECT_EQ(selectRingsByOrientation(rings, true).size(), 1u);
}

// The lap loop skips shrinking leftovers that the narrow-box or small-area rule says keep
// nothing; Clipper2 must agree on random thin and wide shapes, wiggly and spiky ones (wide
// boxes of little area) included.
TEST(OffsetRings, NarrowLeftoversShrinkToNothing) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int skipped = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const double w = 100 + 4000 * unit(random), h = 100 + 4000 * unit(random);
    const int n = 3 + static_cast<int>(40 * unit(random));
    std::vector<Point> ring;
    Clipper2Lib::Path64 path;
    for (int k = 0; k < n; ++k) {
      const double t = 2 * M_PI * k / n;
      const double r = (trial % 2 ? 0.6 : 0.1) + (trial % 2 ? 0.4 : 0.9) * unit(random);
      const Point p{std::round(w * (1 + r * std::cos(t))), std::round(h * (1 + r * std::sin(t)))};
      ring.push_back(p);
      path.emplace_back(static_cast<int64_t>(p.x), static_cast<int64_t>(p.y));
    }
    const double shrink = 200 + 2000 * unit(random);
    if (detail::shrinkMayLeaveSomething({ring}, shrink)) continue;
    ++skipped;
    Clipper2Lib::ClipperOffset offset;
    offset.AddPaths({path}, Clipper2Lib::JoinType::Miter, Clipper2Lib::EndType::Polygon);
    Clipper2Lib::Paths64 out;
    offset.Execute(-shrink, out);
    EXPECT_TRUE(out.empty()) << "trial " << trial;
  }
  EXPECT_GT(skipped, 50);
}

// A leftover sliver ring with a hole, lower than a piece (greater y) that keeps something: once the
// sliver was set aside, its hole was the lowest ring left, Clipper2 read the set as turned the
// other way round, and the piece was lost from the laps.
TEST(OffsetRings, OrphanHoleBelowAPieceKeepsThePiece) {
  const std::vector<Point> piece{{0, 0}, {4000, 0}, {4000, 4000}, {0, 4000}};
  const std::vector<Point> sliver{{0, 4700}, {3000, 4700}, {3000, 4900}, {0, 4900}};
  const std::vector<Point> hole{{100, 4750}, {100, 4850}, {2900, 4850}, {2900, 4750}};
  EXPECT_TRUE(detail::shrinkMayLeaveSomething({piece, sliver, hole}, 1000));
}

// Whenever a proof says a lap's leftover keeps nothing, the loop's own grow, difference
// and shrink must give nothing. Wiggly outlines with holes: for the strip cover, cut in
// several strips, where strips that do not overlap split pieces of the leftover; for the
// hole-by-hole grow, long outlines with sharp holes, some near the border or each other,
// where a hole wrongly taken as standing apart grows as if nothing were near. Some
// leftovers keep pieces, so a proof that always agrees fails.
TEST(OffsetRings, LeftoverProofsNeverHideAPiece) {
  using Proof = bool (*)(const Clipper2Lib::Paths64&, const Clipper2Lib::Paths64&, double, double);
  struct Case {
    const char* name;
    Proof proves;
    double scale;
    int points, holes, trials, leastProved, leastKept;
  };
  const Case cases[] = {
      {"strip cover",
       [](const auto& region, const auto& lap, double grow, double shrink) {
         return leftoverKeepsNothing(region, lap, grow, shrink);
       },
       1, 30, 3, 200, 150, 8},
      {"holes apart", leftoverKeepsNothingApart, 10, 3000, 12, 60, 25, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int proved = 0, kept = 0;
    for (int trial = 0; trial < c.trials; ++trial) {
      const double radius = c.scale * (8000 + 30000 * unit(random));
      const int n = c.points + static_cast<int>(400 * unit(random));
      const double wiggle = 0.02 + 0.2 * unit(random);
      const int lobes = 3 + static_cast<int>(40 * unit(random));
      Clipper2Lib::Paths64 site(1);
      for (int k = 0; k < n; ++k) {
        const double t = 2 * M_PI * k / n;
        const double r =
            radius * (1 + wiggle * std::sin(lobes * t) + 0.05 / c.scale * unit(random));
        site[0].emplace_back(std::llround(r * std::cos(t)), std::llround(r * std::sin(t)));
      }
      const double grow = 300 + 3000 * unit(random), shrink = 0.85 * grow;
      // Clockwise squares, in pairs a little less than two grows apart; in some trials a
      // sharp triangle.
      int64_t x = 0, y = 0, a = 0;
      for (int h = 0; h < c.holes; ++h) {
        if (h % 2 == 0) {
          x = std::llround(radius * (1.4 * unit(random) - 0.7));
          y = std::llround(radius * (1.4 * unit(random) - 0.7));
        } else {
          x += a + std::llround(grow * (1.6 + 0.6 * unit(random)));
        }
        a = std::llround(500 + 3000 * unit(random));
        if (h > 0 || trial % 3 != 0) {
          site.push_back({{x, y}, {x, y + a}, {x + a, y + a}, {x + a, y}});
        } else {
          site.push_back({{x, y}, {x + a / 8, y + a}, {x + a, y}});
        }
      }
      const Clipper2Lib::Paths64 region = offsetPaths(site, -1);
      const Clipper2Lib::Paths64 lap = offsetPaths(region, -grow);
      const bool empty = offsetPaths(difference(region, offsetPaths(lap, grow)), -shrink).empty();
      kept += !empty;
      if (!c.proves(region, lap, grow, shrink)) continue;
      ++proved;
      EXPECT_TRUE(empty) << "trial " << trial;
    }
    EXPECT_GE(proved, c.leastProved);
    EXPECT_GE(kept, c.leastKept);
  }
}

// A border wiggling a metre in and out every 7.3 m, 24,000 points, and an obstacle with
// a slot no 2 m lap enters: the loop proves the leftover of its laps empty instead of
// growing them, and must give the rings of the plain loop.
TEST(OffsetRings, ProvenLeftoversKeepTheRings) {
  std::vector<Point> border;
  const int n = 24000;
  for (int i = 0; i < n; ++i) {
    const double s = 1080.0 * i / n, w = std::sin(2 * M_PI * s / 7.3);
    border.push_back(s < 300   ? Point{s, w}
                     : s < 540 ? Point{300 + w, s - 300}
                     : s < 840 ? Point{840 - s, 240 + w}
                               : Point{w, 1080 - s});
  }
  Environment site{Polygon(border)};
  site.addObstacle(Polygon({{100, 100},
                            {112, 100},
                            {112, 112},
                            {107.85, 112},
                            {107.85, 103},
                            {104.15, 103},
                            {104.15, 112},
                            {100, 112}}));
  const Clipper2Lib::Paths64 lap = offsetPaths(offsetPaths({toPath64(border)}, -1), -2000);
  ASSERT_TRUE(leftoverProofPays(lap, 2000));
  const OffsetLaps proven = computeOffsetLaps(site, 2.0, 3, 0.001);
  const OffsetLaps grown = computeOffsetLaps(site, 2.0, 3, 0.001, Cancellation(), false);
  EXPECT_EQ(proven.lap, grown.lap);
  ASSERT_EQ(proven.rings.size(), grown.rings.size());
  for (std::size_t i = 0; i < grown.rings.size(); ++i) {
    expectPoints(proven.rings[i].getPoints(), grown.rings[i].getPoints());
  }
}
