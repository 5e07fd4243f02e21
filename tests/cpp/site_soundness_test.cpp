// Sites as people draw them: obstacles across the border, degenerate rings, runaway spacings.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "planner/geometry/predicates.h"
#include "planner/pipeline/path_service.h"
#include "test_support.h"

using namespace Planner;
using Planner::testing::rect;

namespace {

PathPlanner::PlanningResult plan(const Environment& env, const std::string& pattern,
                                 double angle = 0.0) {
  PathSettings s;
  s.pattern = pattern;
  s.angle = angle;
  return PathService().computeFullTask(env, s, {1, 1});
}

Environment lawnWith(const Polygon& obstacle) {
  Environment env(rect(0, 0, 20, 12));
  env.addObstacle(obstacle);
  return env;
}

bool sameSlices(const PathPlanner::PlanningResult& a, const PathPlanner::PlanningResult& b) {
  if (a.slices.size() != b.slices.size()) return false;
  for (std::size_t i = 0; i < a.slices.size(); ++i) {
    const auto& p = a.slices[i].getPoints();
    const auto& q = b.slices[i].getPoints();
    if (p.size() != q.size()) return false;
    for (std::size_t k = 0; k < p.size(); ++k) {
      if (p[k].x != q[k].x || p[k].y != q[k].y) return false;
    }
  }
  return true;
}

double distanceToRing(const Point& q, const std::vector<Point>& ring) {
  double best = 1e300;
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const Point& a = ring[i];
    const Point& b = ring[(i + 1) % ring.size()];
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t =
        std::clamp(((q.x - a.x) * dx + (q.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    best = std::min(best, std::hypot(q.x - a.x - t * dx, q.y - a.y - t * dy));
  }
  return best;
}

}  // namespace

struct StrayObstacle {
  const char* name;
  Polygon obstacle;
};

class ObstacleAcrossBorder : public ::testing::TestWithParam<std::tuple<StrayObstacle, double>> {};

// The fault this pins: a clockwise ring outside the lawn was taken for the site's own
// orientation, and the plan lost its inset and its border laps.
TEST_P(ObstacleAcrossBorder, KeepsInsetBorderLapsAndAvoidsTheObstacle) {
  const auto& [stray, angle] = GetParam();
  const Environment env = lawnWith(stray.obstacle);
  const auto perimeter = rect(0, 0, 20, 12).getPoints();
  for (const char* pattern : {"lines", "rings"}) {
    const auto r = plan(env, pattern, angle);
    std::size_t laps = 0, lanes = 0;
    for (const LineString& s : r.slices) {
      const auto& p = s.getPoints();
      laps += p.size() >= 3 && signedArea(p) < 0 && distanceToRing(p[0], perimeter) < 1.1;
      for (const Point& q : p) {
        ASSERT_TRUE(pointInRingInclusive(q, perimeter)) << stray.name << " " << pattern;
        ASSERT_FALSE(pointInRingStrict(q, stray.obstacle.getPoints()) &&
                     distanceToRing(q, stray.obstacle.getPoints()) > 2e-3)
            << stray.name << " " << pattern << " " << q.x << "," << q.y << " slice " << p.size();
      }
      if (p.size() == 2) {
        ++lanes;
        for (const Point& q : p) EXPECT_GE(distanceToRing(q, perimeter), 1.5 - 2e-3) << stray.name;
      }
    }
    EXPECT_GE(laps, 3u) << stray.name << " " << pattern;
    EXPECT_EQ(lanes > 0, std::string(pattern) == "lines") << stray.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sites, ObstacleAcrossBorder,
    ::testing::Combine(::testing::Values(StrayObstacle{"above", rect(8, 13, 12, 16)},
                                         StrayObstacle{"left", rect(-6, 4, -2, 8)},
                                         StrayObstacle{"across top", rect(8, 10, 12, 14)},
                                         StrayObstacle{"across bottom", rect(8, -2, 12, 2)},
                                         StrayObstacle{"across left", rect(-2, 4, 2, 8)},
                                         StrayObstacle{"across right", rect(18, 4, 22, 8)},
                                         StrayObstacle{"across corner", rect(17, 9, 23, 15)}),
                       ::testing::Values(0.0, 0.7)));

TEST(ObstacleAcrossBorder, MirroredEdgesGiveMirroredPlans) {
  for (const char* pattern : {"lines", "rings"}) {
    EXPECT_EQ(plan(lawnWith(rect(8, 10, 12, 14)), pattern).slices.size(),
              plan(lawnWith(rect(8, -2, 12, 2)), pattern).slices.size());
    EXPECT_EQ(plan(lawnWith(rect(-2, 4, 2, 8)), pattern).slices.size(),
              plan(lawnWith(rect(18, 4, 22, 8)), pattern).slices.size());
  }
}

TEST(ObstacleAcrossBorder, WhollyOutsideChangesNothing) {
  for (double angle : {0.0, 0.7}) {
    for (const char* pattern : {"lines", "rings", "squares"}) {
      EXPECT_TRUE(sameSlices(plan(lawnWith(rect(8, 13, 12, 16)), pattern, angle),
                             plan(Environment(rect(0, 0, 20, 12)), pattern, angle)))
          << pattern << " " << angle;
    }
  }
}

TEST(ObstacleAcrossBorder, CoveringTheSiteLeavesNothingToPlan) {
  const auto r = plan(lawnWith(rect(-5, -5, 25, 17)), "lines", 0.7);
  EXPECT_TRUE(r.slices.empty() && r.path.getPoints().empty());
}

TEST(DegenerateRings, BowTieAndRepeatedPointsPlanSoundly) {
  // A bow-tie obstacle counts as its two lobes; a repeated perimeter point changes nothing.
  const auto bowTie = lawnWith(Polygon({{6, 4}, {10, 8}, {10, 4}, {6, 8}}));
  const auto r = plan(bowTie, "lines");
  ASSERT_FALSE(r.slices.empty());
  for (const LineString& s : r.slices) {
    for (const Point& q : s.getPoints()) {
      EXPECT_FALSE(pointInRingStrict(q, Polygon({{6, 4}, {8, 6}, {6, 8}}).getPoints()));
    }
  }
  Environment repeated(Polygon({{0, 0}, {20, 0}, {20, 0}, {20, 12}, {0, 12}, {0, 12}}));
  EXPECT_EQ(plan(repeated, "lines").slices.size(),
            plan(Environment(rect(0, 0, 20, 12)), "lines").slices.size());
}

struct Refusal {
  const char* name;
  Environment site;
  double offset;
  const char* message;
  const char* pattern = "squares";
  bool mowArea = true;
};

class RunawayRequest : public ::testing::TestWithParam<Refusal> {};

TEST_P(RunawayRequest, IsRefusedUpFront) {
  const Refusal& c = GetParam();
  PathSettings s;
  s.offset = c.offset;
  s.pattern = c.pattern;
  s.mowArea = c.mowArea;
  s.borderLaps = 1ull << 40;
  try {
    PathService().computeFullTask(c.site, s, {0, 0});
    FAIL() << c.name << ": no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
  }
}

Environment twoAreas() {
  Environment env(rect(0, 0, 100, 100));
  env.addMowArea(rect(0, 0, 100, 50));
  env.addMowArea(rect(0, 50, 100, 100));
  return env;
}

INSTANTIATE_TEST_SUITE_P(
    Sites, RunawayRequest,
    ::testing::Values(
        // y + offset == y near 1e9: the scan loop would never advance.
        Refusal{"far", Environment(rect(0, 999999999.0, 0.1, 999999999.3)), 2e-6,
                "too small to move a scan line"},
        Refusal{"tiny", Environment(rect(0, 0, 18, 12)), 1e-300,
                "offset 1e-300 would make more than 1,000,000 lanes"},
        // Two areas and two passes of squares: about 250,000 + 500,000 lanes each.
        Refusal{"summed", twoAreas(), 2e-4, "lanes (at most 1000000)"},
        Refusal{"rings", Environment(rect(0, 0, 18, 12)), 1e-6, "rings (at most 1000000)", "rings"},
        // 2^40 laps asked for; 60 million fit.
        Refusal{"laps", Environment(rect(0, 0, 18, 12)), 1e-7,
                "borderLaps 1099511627776 with offset 1e-07 would make 60000001 laps", "lines",
                false}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(RunawayRequest, CoordinateMessagesNameTheCallersIndex) {
  Environment env(rect(0, 0, 10, 10));
  // Given counter-clockwise, stored clockwise: the bad point is the caller's point 2.
  env.addObstacle(Polygon({{2, 2}, {4, 2}, {4, 2e9}, {2, 4}}));
  try {
    PathService().computeFullTask(env, PathSettings(), {0, 0});
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("obstacle 0 point 2 y is 2000000000"), std::string::npos)
        << e.what();
  }
}
