#include <gtest/gtest.h>

#include "planner/site/environment.h"
#include "planner/site/path_settings.h"
#include "planner/site/planning_result.h"
#include "test_support.h"

using namespace Planner;
using Planner::testing::expectPoints;
using Planner::testing::rect;

TEST(Environment, StoresFixedOrientations) {
  Polygon cw = rect(0, 0, 4, 4);
  cw.setOrientation(false);
  Environment fromCw(cw);
  EXPECT_GT(fromCw.getPerimeter().signedArea(), 0);
  Environment fromCcw(rect(0, 0, 4, 4));
  expectPoints(fromCcw.getPerimeter().getPoints(), rect(0, 0, 4, 4).getPoints());

  Environment degenerate(Polygon({{0, 0}, {1, 0}}));
  expectPoints(degenerate.getPerimeter().getPoints(), {{1, 0}, {0, 0}});

  Environment site(rect(0, 0, 10, 10));
  EXPECT_TRUE(site.getObstacles().empty());
  site.addObstacle(rect(1, 1, 2, 2));           // counter-clockwise: reversed
  site.addObstacle(cw);                         // clockwise: kept
  site.addObstacle(Polygon({{0, 0}, {1, 0}}));  // degenerate: kept
  ASSERT_EQ(site.getObstacles().size(), 3u);
  EXPECT_LT(site.getObstacles()[0].signedArea(), 0);
  expectPoints(site.getObstacles()[1].getPoints(), cw.getPoints());
  expectPoints(site.getObstacles()[2].getPoints(), {{0, 0}, {1, 0}});
  site.addMowArea(cw);
  EXPECT_GT(site.getMowAreas()[0].signedArea(), 0);
}

TEST(Environment, CopiesItsInputs) {
  Polygon obstacle = rect(1, 1, 2, 2);
  Environment site(rect(0, 0, 10, 10));
  site.addObstacle(obstacle);
  obstacle.getPoints()[0] = {9, 9};
  EXPECT_EQ(site.getObstacles()[0].getPoints().back().x, 1);

  site.setVirtualWire(LineString({{0, 0}, {1, 1}}));
  site.setVirtualWire(LineString({{5, 5}}));
  expectPoints(site.getVirtualWire().getPoints(), {{5, 5}});

  Environment copy = site;
  copy.rotate(1.0);
  EXPECT_EQ(site.getVirtualWire().getPoints()[0].x, 5);
}

TEST(Environment, RotateTurnsAllFiveMembers) {
  Environment site(rect(0, 0, 2, 1));
  site.addObstacle(rect(0.5, 0.2, 1, 0.8));
  site.addMowArea(rect(0, 0, 1, 1));
  site.setVirtualWire(LineString({{1, 0}}));
  site.setDockingWire(LineString({{2, 0}}));
  site.rotate(1.5707963267948966);
  EXPECT_NEAR(site.getVirtualWire().getPoints()[0].y, 1, 1e-15);
  EXPECT_NEAR(site.getDockingWire().getPoints()[0].y, 2, 1e-15);
  EXPECT_NEAR(site.getPerimeter().getPoints()[1].y, 2, 1e-15);
  EXPECT_NEAR(site.getObstacles()[0].getPoints()[0].x, -0.8, 1e-15);
  EXPECT_NEAR(site.getMowAreas()[0].getPoints()[1].y, 1, 1e-15);
  EXPECT_GT(site.getPerimeter().signedArea(), 0);
  EXPECT_LT(site.getObstacles()[0].signedArea(), 0);
}

TEST(PathSettings, Defaults) {
  const PathSettings s;
  EXPECT_EQ(s.pattern, "lines");
  EXPECT_EQ(s.offset, 0.5);
  EXPECT_EQ(s.angle, 0.0);
  EXPECT_EQ(s.distanceToBorder, 1.5);
  EXPECT_TRUE(s.mowArea);
  EXPECT_TRUE(s.mowBorder);
  EXPECT_FALSE(s.mowBorderCcw);
  EXPECT_EQ(s.borderLaps, 3u);
  EXPECT_TRUE(s.mowExclusionsBoder);
  EXPECT_FALSE(s.mowExclusionsBorderCcw);
  EXPECT_EQ(s.exclusionsBorderLaps, 2u);
  const PlanningResult r;
  EXPECT_TRUE(r.path.getPoints().empty() && r.slices.empty() && r.transitLinks.empty() &&
              r.exploredEdges.empty());
}
