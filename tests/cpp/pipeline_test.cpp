#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "planner/coverage/offset_rings.h"
#include "planner/geometry/predicates.h"
#include "planner/pipeline/obstacle_merging.h"
#include "planner/pipeline/path_service.h"
#include "test_support.h"

using namespace Planner;
using Planner::testing::expectPoints;
using Planner::testing::rect;

namespace {

PathPlanner::PlanningResult plan(const Environment& env, const PathSettings& s,
                                 Point start = {0, 0}) {
  return PathService().computeFullTask(env, s, start);
}

double minX(const LineString& s) {
  double m = 1e300;
  for (const Point& q : s.getPoints()) m = std::min(m, q.x);
  return m;
}

std::size_t countLanes(const std::vector<LineString>& slices) {
  std::size_t n = 0;
  for (const LineString& s : slices) n += s.getPoints().size() == 2;
  return n;
}

}  // namespace

TEST(Pipeline, DefaultsOnASquare) {
  const auto r = plan(Environment(rect(0, 0, 10, 10)), PathSettings());
  ASSERT_EQ(r.slices.size(), 14u + 3u);
  for (int k = 0; k < 14; ++k) {
    const auto& p = r.slices[k].getPoints();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_DOUBLE_EQ(p[0].y, 1.75 + 0.5 * k);
    EXPECT_DOUBLE_EQ(p[0].x, 1.5);
    EXPECT_DOUBLE_EQ(p[1].x, 8.5);
  }
  for (int k = 0; k < 3; ++k) {
    EXPECT_LT(Polygon(r.slices[14 + k].getPoints()).signedArea(), 0) << "clockwise";
    EXPECT_NEAR(minX(r.slices[14 + k]), 0.001 + 0.5 * k, 1e-12);
  }
  EXPECT_EQ(r.path.getPoints().front().x, 0);
  EXPECT_EQ(r.path.getPoints().front().y, 0);
  EXPECT_EQ(PathService().getVersion(), "1.3");
}

TEST(Pipeline, LapOrientationFollowsSettings) {
  Environment site(rect(0, 0, 20, 20));
  site.addObstacle(rect(8, 8, 12, 12));
  for (const bool borderCcw : {false, true}) {
    for (const bool obstacleCcw : {false, true}) {
      PathSettings s;
      s.mowArea = false;
      s.mowBorderCcw = borderCcw;
      s.mowExclusionsBorderCcw = obstacleCcw;
      const auto r = plan(site, s, {1, 1});
      ASSERT_EQ(r.slices.size(), 3u + 2u);
      for (std::size_t i = 0; i < r.slices.size(); ++i) {
        const bool ccw = Polygon(r.slices[i].getPoints()).signedArea() > 0;
        EXPECT_EQ(ccw, i < 3 ? borderCcw : obstacleCcw) << i;
      }
    }
  }
}

TEST(Pipeline, PatternsTable) {
  struct Case {
    std::string pattern;
    std::size_t lanes;
    bool rings;
  };
  const Case cases[] = {{"lines", 7, false}, {"squares", 14, false}, {"Lines", 0, true},
                        {"lines ", 0, true}, {"", 0, true},          {"rings", 0, true}};
  for (const Case& c : cases) {
    PathSettings s;
    s.pattern = c.pattern;
    s.offset = 1;
    s.distanceToBorder = 0;
    s.mowBorder = false;
    const auto r = plan(Environment(rect(0, 0, 7, 7)), s, {0.5, 0.5});
    EXPECT_EQ(countLanes(r.slices), c.lanes) << c.pattern;
    if (c.rings) {
      ASSERT_FALSE(r.slices.empty());
      EXPECT_NEAR(minX(r.slices[0]), 0.001, 1e-12) << c.pattern;
    }
  }
  // The second half of "squares" runs at right angles to the first and follows it.
  PathSettings s;
  s.pattern = "squares";
  s.mowBorder = false;
  const auto r = plan(Environment(rect(0, 0, 10, 10)), s);
  const std::size_t half = r.slices.size() / 2;
  for (std::size_t i = 0; i < r.slices.size(); ++i) {
    const auto& p = r.slices[i].getPoints();
    if (i < half) {
      EXPECT_EQ(p[0].y, p[1].y);
    } else {
      EXPECT_NEAR(p[0].x, p[1].x, 1e-12);
    }
  }
}

TEST(Pipeline, InsetThatFallsApartGivesTwoAreas) {
  // Two squares joined by a corridor 1 wide: an inset of 1 splits them.
  Environment site(Polygon({{0, 0},
                            {10, 0},
                            {10, 4.5},
                            {14, 4.5},
                            {14, 0},
                            {24, 0},
                            {24, 10},
                            {14, 10},
                            {14, 5.5},
                            {10, 5.5},
                            {10, 10},
                            {0, 10}}));
  site.addObstacle(rect(4, 4, 6, 6));
  PathSettings s;
  s.distanceToBorder = 1;
  s.mowBorder = false;
  s.mowExclusionsBoder = false;
  const auto r = plan(site, s, {1, 1});
  bool left = false, right = false;
  for (const LineString& lane : r.slices) {
    const auto& p = lane.getPoints();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_TRUE(p[1].x <= 9.0 + 1e-9 || p[0].x >= 15.0 - 1e-9);
    left |= p[1].x <= 9.0 + 1e-9;
    right |= p[0].x >= 15.0 - 1e-9;
    EXPECT_FALSE(p[0].y > 3 && p[0].y < 7 && p[0].x < 5 && p[1].x > 5) << "hole respected";
  }
  EXPECT_TRUE(left && right);
}

TEST(Pipeline, AngleTurnsBackAndLeavesInputsAlone) {
  Environment site(rect(0, 0, 10, 10));
  site.addObstacle(rect(4, 4, 6, 6));
  site.setVirtualWire(LineString({{1, 1}, {9, 9}}));
  const Environment before = site;
  PathSettings s;
  s.angle = 0.6;
  const Point start{0.5, 0.5};
  const auto r = plan(site, s, start);
  EXPECT_NEAR(r.path.getPoints().front().x, 0.5, 1e-12);
  EXPECT_NEAR(r.path.getPoints().front().y, 0.5, 1e-12);
  expectPoints(site.getPerimeter().getPoints(), before.getPerimeter().getPoints());
  expectPoints(site.getObstacles()[0].getPoints(), before.getObstacles()[0].getPoints());
  expectPoints(site.getVirtualWire().getPoints(), before.getVirtualWire().getPoints());
  // Lanes run along the angle, in the caller's frame.
  const auto& lane = r.slices[0].getPoints();
  EXPECT_NEAR(std::atan2(lane[1].y - lane[0].y, lane[1].x - lane[0].x), 0.6, 1e-9);
  for (const Point& q : r.path.getPoints()) {
    EXPECT_TRUE(pointInRingInclusive(q, site.getPerimeter()));
  }
}

TEST(Pipeline, NothingToDoGivesAnEmptyResult) {
  PathSettings s;
  s.mowArea = s.mowBorder = s.mowExclusionsBoder = false;
  const auto off = plan(Environment(rect(0, 0, 10, 10)), s);
  EXPECT_TRUE(off.path.getPoints().empty() && off.slices.empty());
  for (const Polygon& degenerate : {Polygon(), Polygon({{1, 1}}), Polygon({{0, 0}, {3, 0}})}) {
    const auto r = plan(Environment(degenerate), PathSettings());
    EXPECT_TRUE(r.slices.empty() && r.path.getPoints().empty());
  }
  PathSettings noLaps;
  noLaps.borderLaps = 0;
  noLaps.exclusionsBorderLaps = 0;
  noLaps.mowArea = false;
  EXPECT_TRUE(plan(Environment(rect(0, 0, 10, 10)), noLaps).slices.empty());
}

TEST(Pipeline, HugeLapCountsMeanAsManyAsFit) {
  PathSettings s;
  s.mowArea = false;
  s.borderLaps = 1000;
  const std::size_t all = plan(Environment(rect(0, 0, 10, 10)), s).slices.size();
  EXPECT_GT(all, 5u);
  for (const std::uint64_t laps : {std::uint64_t{1} << 32, (std::uint64_t{1} << 32) + 1,
                                   std::numeric_limits<std::uint64_t>::max()}) {
    s.borderLaps = laps;
    EXPECT_EQ(plan(Environment(rect(0, 0, 10, 10)), s).slices.size(), all) << laps;
  }
}

TEST(Pipeline, RejectsUnusableValues) {
  struct Case {
    const char* name;
    PathSettings settings;
    Environment env;
    Point start;
    const char* message;
  };
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  auto with = [](auto change) {
    PathSettings s;
    change(s);
    return s;
  };
  Environment badObstacle(rect(0, 0, 10, 10));
  badObstacle.addObstacle(Polygon({{1, 1}, {2, nan}, {2, 2}}));
  Environment badWire(rect(0, 0, 10, 10));
  badWire.setVirtualWire(LineString({{1, 1}, {2e9, 1}}));
  const Environment ok(rect(0, 0, 10, 10));
  const Case cases[] = {
      {"zero offset", with([](PathSettings& s) { s.offset = 0; }), ok, {0, 0}, "offset is 0;"},
      {"negative offset",
       with([](PathSettings& s) { s.offset = -1; }),
       ok,
       {0, 0},
       "offset is -1;"},
      {"nan offset", with([](PathSettings& s) { s.offset = nan; }), ok, {0, 0}, "offset is nan;"},
      {"huge offset",
       with([](PathSettings& s) { s.offset = 2e9; }),
       ok,
       {0, 0},
       "offset is 2000000000;"},
      {"inf angle", with([](PathSettings& s) { s.angle = inf; }), ok, {0, 0}, "angle is inf;"},
      {"nan inset",
       with([](PathSettings& s) { s.distanceToBorder = nan; }),
       ok,
       {0, 0},
       "distanceToBorder is nan;"},
      {"obstacle", PathSettings(), badObstacle, {0, 0}, "obstacle 0 point 1 y is nan;"},
      {"wire", PathSettings(), badWire, {0, 0}, "virtual wire point 1 x is 2000000000;"},
      {"start", PathSettings(), ok, {0, -1e10}, "start y is -10000000000;"},
      {"tiny offset",
       with([](PathSettings& s) { s.offset = 1e-7; }),
       ok,
       {0, 0},
       "lanes (at most 1000000)"},
  };
  for (const Case& c : cases) {
    try {
      plan(c.env, c.settings, c.start);
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
          << c.name << ": " << e.what();
    }
  }
  PathSettings negativeInset;
  negativeInset.distanceToBorder = -3;  // valid: no inset
  EXPECT_FALSE(plan(ok, negativeInset).slices.empty());
}

// Border and obstacle laps share one offset run; each must equal its own run.
TEST(Pipeline, SharedLapRunMatchesSeparateRuns) {
  Environment site(rect(0, 0, 30, 20));
  site.addObstacle(rect(5, 5, 8, 8));
  site.addObstacle(rect(20, 4, 26, 15));
  site.addMowArea(rect(0, 0, 18, 20));
  site.addMowArea(rect(15, 0, 30, 20));
  for (const auto& [borderLaps, obstacleLaps] :
       {std::pair{3, 1}, {1, 3}, {2, 2}, {0, 4}, {6, 0}, {1000, 2}}) {
    PathSettings s;
    s.mowArea = false;
    s.offset = 0.7;
    s.borderLaps = borderLaps;
    s.exclusionsBorderLaps = obstacleLaps;
    std::vector<Polygon> expected;
    if (borderLaps) {
      for (Polygon lap :
           selectRingsByOrientation(computeOffsetRings(site, 0.7, borderLaps, 0.001), false)) {
        lap.setOrientation(false);
        expected.push_back(lap);
      }
    }
    if (obstacleLaps) {
      for (const Polygon& lap :
           selectRingsByOrientation(computeOffsetRings(site, 0.7, obstacleLaps, 0.001), true)) {
        expected.push_back(lap);
      }
    }
    const auto r = plan(site, s, {1, 1});
    ASSERT_EQ(r.slices.size(), expected.size()) << borderLaps << "/" << obstacleLaps;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      expectPoints(r.slices[i].getPoints(), expected[i].getPoints());
    }
  }
}

TEST(Pipeline, CancellationEndsTheCall) {
  struct Stop {};
  Environment site(rect(0, 0, 50, 50));
  site.addObstacle(rect(20, 20, 30, 30));
  for (const char* pattern : {"lines", "rings"}) {
    PathSettings full;
    full.pattern = pattern;
    int total = 0;
    PathService().computeFullTask(site, full, {1, 1}, Cancellation([&] { ++total; }));
    ASSERT_GT(total, 50);
    for (int allowed : {0, 3, 40, total - 1}) {
      int polls = 0;
      const Cancellation cancel([&] {
        if (++polls > allowed) throw Stop{};
      });
      PathSettings s;
      s.pattern = pattern;
      EXPECT_THROW(PathService().computeFullTask(site, s, {1, 1}, cancel), Stop) << allowed;
    }
  }
  const Cancellation never;
  EXPECT_FALSE(PathService().computeFullTask(site, PathSettings(), {1, 1}, never).slices.empty());
}

// The cross lanes of "squares" are turned back onto the site: on a site away from the
// origin, lanes turned the wrong way would land beside it.
TEST(Regression, SquaresCrossLanesLieOnTheSite) {
  PathSettings s;
  s.pattern = "squares";
  const auto r = PathService().computeFullTask(Environment(rect(10, 0, 30, 5)), s, {10, 0});
  std::size_t vertical = 0;
  for (const LineString& slice : r.slices) {
    const auto& p = slice.getPoints();
    for (const Point& q : p) EXPECT_TRUE(pointInRingInclusive(q, rect(10, 0, 30, 5).getPoints()));
    vertical += p.size() == 2 && std::fabs(p[0].x - p[1].x) < 1e-9;
  }
  EXPECT_GT(vertical, 10u);
}

// A wall drawn in pieces was passed between: a hop along the shared edge lies inside
// neither piece. Pieces that meet become one obstacle; the others stay as given.
TEST(Regression, TouchingObstaclesAreMergedAndOthersKept) {
  const Polygon far = rect(60, 60, 61, 61);
  struct Case {
    const char* what;
    std::vector<Polygon> obstacles;
    std::size_t after;  // obstacles left
    Point inside;       // strictly inside the merged obstacle: where the pieces met
  } cases[] = {
      {"apart", {rect(10, 10, 12, 12), rect(13, 10, 15, 12)}, 2, {0, 0}},
      {"sharing an edge", {rect(10, 10, 20, 14), rect(20, 10, 30, 14)}, 1, {20, 12}},
      {"overlapping", {rect(10, 10, 21, 14), rect(19, 12, 30, 16)}, 1, {20, 13}},
      {"a corner on the other's edge", {rect(10, 10, 12, 20), rect(12, 15.3, 14, 17)}, 1, {12, 16}},
      // The pocket cannot be reached without crossing the walls: it goes with them.
      {"walls around a pocket",
       {rect(18, 18, 42, 20), rect(40, 20, 42, 42), rect(18, 40, 40, 42), rect(18, 20, 20, 40)},
       1,
       {30, 30}},
  };
  for (const Case& c : cases) {
    Environment site(rect(0, 0, 70, 70));
    site.addObstacle(far);
    for (const Polygon& o : c.obstacles) site.addObstacle(o);
    const Environment before = site;
    mergeTouchingObstacles(site, Cancellation());
    ASSERT_EQ(site.getObstacles().size(), c.after + 1) << c.what;
    expectPoints(site.getObstacles()[0].getPoints(), before.getObstacles()[0].getPoints());
    if (c.after == c.obstacles.size()) {
      for (std::size_t i = 0; i < c.after; ++i)
        expectPoints(site.getObstacles()[i + 1].getPoints(),
                     before.getObstacles()[i + 1].getPoints());
    } else {
      EXPECT_TRUE(pointInRingStrict(c.inside, site.getObstacles()[1])) << c.what;
    }
  }
}
