#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <tuple>

#include "planner/geometry/tolerances.h"
#include "planner/routing/hop_candidates.h"
#include "planner/routing/path_planner.h"
#include "planner/routing/planner_log.h"
#include "planner/routing/segment_clearance.h"
#include "planner/routing/transit_router.h"
#include "test_support.h"
#include "tests/reference/literal_routing.h"

using namespace Planner;
using Planner::testing::expectPoints;
using Planner::testing::rect;

namespace {

// Turns the planner log on for one scope and captures what it writes.
class LogCapture {
 public:
  LogCapture() {
    plannerLogEnabled = true;
    ::testing::internal::CaptureStdout();
  }
  ~LogCapture() {
    if (!taken_) ::testing::internal::GetCapturedStdout();
    plannerLogEnabled = false;
  }
  std::string take() {
    taken_ = true;
    return ::testing::internal::GetCapturedStdout();
  }

 private:
  bool taken_ = false;
};

LineString line(Point a, Point b) { return LineString({a, b}); }

Environment squareWithObstacle() {
  Environment env(rect(0, 0, 20, 20));
  env.addObstacle(rect(8, 2, 12, 18));
  return env;
}

}  // namespace

TEST(PlannerLog, LinesAndNumberFormat) {
  LogCapture log;
  logPosition({0, 0});
  logPosition({1234567.8, 1e-5});
  logDecision(3, 2.5, false);
  logDecision(0, 1, true);
  logSkip(7);
  logWireCheck({-3.25, 2}, 4, true, 0.1);
  logWireCheck({0, 0}, 18446744073709551615ull, false, 1);
  logWireUpdate(2, 1.5, 0.25, 3, 4.5);
  EXPECT_EQ(log.take(),
            "PathPlanner: --- Bin bei Pos (0|0) ---\n"
            "PathPlanner: --- Bin bei Pos (1.23457e+06|1e-05) ---\n"
            "PathPlanner: Entscheidung: Gehe zu Slice #3 (Dist: 2.5, Reverse: Nein)\n"
            "PathPlanner: Entscheidung: Gehe zu Slice #0 (Dist: 1, Reverse: Ja)\n"
            "PathPlanner: WARN: No path found to slice 7. Skipping.\n"
            "PathPlanner: [Debug] Draht-Check: Von (-3.25,2) nach Draht-Index 4 | Erlaubt: JA | "
            "Multiplier: 0.1\n"
            "PathPlanner: [Debug] Draht-Check: Von (0,0) nach Draht-Index 18446744073709551615 | "
            "Erlaubt: NEIN | Multiplier: 1\n"
            "PathPlanner:    [A* Update] Draht-Punkt 2 | g:1.5 (+0.25) | h:3 | f_TOTAL:4.5\n");
}

TEST(PlannerLog, SilentWhenOff) {
  ::testing::internal::CaptureStdout();
  logPosition({0, 0});
  logSkip(1);
  const Environment env = squareWithObstacle();
  PathPlanner::planRoute(env, {line({1, 1}, {1, 5}), line({15, 1}, {15, 5})}, {0.5, 0.5});
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST(SegmentClear, Table) {
  Environment diamond(rect(0, 0, 10, 10));
  diamond.addObstacle(Polygon({{5, 4}, {4, 5}, {5, 6}, {6, 5}}));
  Environment square(rect(0, 0, 10, 10));
  square.addObstacle(rect(4, 4, 6, 6));
  Environment notch(
      Polygon({{0, 0}, {10, 0}, {10, 10}, {6, 10}, {6, 4}, {4, 4}, {4, 10}, {0, 10}}));
  struct Case {
    const char* name;
    const Environment* env;
    Point a, b;
    bool clear;
  };
  const Case cases[] = {
      {"open ground", &square, {1, 1}, {9, 1}, true},
      {"shorter than 0.01", &square, {5, 5}, {5.005, 5}, true},
      {"through the middle", &square, {1, 5}, {9, 5}, false},
      {"diagonal corner to corner", &square, {4, 4}, {6, 6}, false},
      {"along an obstacle edge", &square, {4, 4}, {6, 4}, true},
      {"corner to corner along the edge", &square, {4, 4}, {4, 6}, true},
      {"touching a vertex from outside", &square, {2, 4}, {6, 8}, true},  // via (4, 6)
      {"diagonal through a corner", &square, {2, 8}, {6, 4}, false},
      {"leaves the perimeter", &square, {5, 1}, {5, 11}, false},
      {"along the perimeter", &square, {0, 1}, {0, 9}, true},
      // Through an obstacle from vertex to vertex with the midpoint outside.
      {"diamond vertex to beyond", &diamond, {5, 4}, {5, 9.5}, false},
      {"into the square through its corner", &square, {1, 1}, {5, 5}, false},
      {"across the notch through two vertices", &notch, {2, 4}, {8, 4}, true},
      {"across the notch above its floor", &notch, {3, 6}, {7, 6}, false},
      {"across the notch mouth", &notch, {4, 10}, {6, 10}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isSegmentClear(c.a, c.b, *c.env), c.clear) << c.name;
  }
  EXPECT_FALSE(isSegmentClear({0, 0}, {1, 0}, Environment(Polygon({{0, 0}, {5, 5}}))));
}

TEST(TransitGraph, OrderAndDeduplication) {
  Environment env(rect(0, 0, 10, 10));
  env.addObstacle(rect(2, 2, 4, 4));
  env.addObstacle(rect(4, 4, 6, 6));  // shares the corner (4, 4)
  env.setVirtualWire(LineString({{0, 0.0005}, {5, 8}, {5, 8.0001}}));
  const auto nodes = buildTransitGraph(env, {9, 9});
  // 3 wire points, 4 + 3 obstacle corners, 3 perimeter corners ((0,0) is near the wire).
  ASSERT_EQ(nodes.size(), 3u + 7u + 3u + 1u);
  EXPECT_TRUE(nodes[2].onWire);
  EXPECT_EQ(nodes[2].wireIndex, 2u);
  EXPECT_FALSE(nodes[3].onWire);
  EXPECT_EQ(nodes.back().point.x, 9);
}

TEST(TransitSearch, SmallCases) {
  const Environment env = squareWithObstacle();
  std::vector<LineString> explored;
  expectPoints(findTransitRoute({1, 1}, {1.0005, 1}, env, explored), {{1, 1}});
  expectPoints(findTransitRoute({1, 1}, {5, 5}, env, explored), {{1, 1}, {5, 5}});

  explored.clear();
  const auto around = findTransitRoute({6, 10}, {14, 10}, env, explored);
  ASSERT_GE(around.size(), 3u);
  EXPECT_FALSE(explored.empty());
  for (std::size_t i = 0; i + 1 < around.size(); ++i) {
    EXPECT_TRUE(isSegmentClear(around[i], around[i + 1], env));
  }
  EXPECT_TRUE(around[1].y == 2 || around[1].y == 18);  // via the obstacle's corners

  // A goal inside the obstacle cannot be reached.
  explored.clear();
  EXPECT_TRUE(findTransitRoute({1, 1}, {10, 10}, env, explored).empty());
  EXPECT_FALSE(explored.empty());
}

TEST(TransitSearch, WireThroughObstacleIsLinked) {
  Environment env(rect(0, 0, 20, 20));
  env.addObstacle(rect(8, 0.5, 12, 19.5));
  env.setVirtualWire(LineString({{6, 10}, {14, 10}}));
  std::vector<LineString> explored;
  LogCapture log;
  const auto route = findTransitRoute({6, 9}, {15, 9}, env, explored);
  const std::string text = log.take();
  expectPoints(route, {{6, 9}, {6, 10}, {14, 10}, {15, 9}});
  EXPECT_NE(text.find("Draht-Index 1 | Erlaubt: JA | Multiplier: 0.1"), std::string::npos);
  EXPECT_NE(text.find("[A* Update] Draht-Punkt 1 | g:1.8"), std::string::npos);
}

// Both kinds of search lists: least cost first (earliest on ties), an equal cost keeps
// the parent, closed places are never reopened.
TEST(SearchLists, BothKindsOrderAndImproveAlike) {
  for (const RoutingStrategies* kind : {&indexedStrategies(), &Literal::strategies()}) {
    const auto lists = kind->lists();
    lists->open({{{5, 0}, 5.0, 1.0, 0, false, 0}, 3});
    lists->open({{{9, 0}, 4.0, 2.0, 0, false, 0}, 4});  // same cost, opened later
    EXPECT_TRUE(lists->improveNear({5.0004, 0}, 4.4, 1.0, 1));
    EXPECT_FALSE(lists->improveNear({5, 1}, 0.0, 0.0, 2));
    EXPECT_TRUE(lists->improveNear({5, 0}, 4.4, 1.0, 2));  // equal: parent 1 stays
    const SearchLists::Opened first = lists->takeBest();
    EXPECT_EQ(first.graphIndex, 3);
    EXPECT_EQ(first.node.parent, 1);
    EXPECT_EQ(lists->close(first.node), 0);
    EXPECT_TRUE(lists->closedNear({5.0009, 0}));
    EXPECT_FALSE(lists->closedNear({5.0011, 0}));
    EXPECT_EQ(lists->takeBest().graphIndex, 4);
    EXPECT_FALSE(lists->anyOpen());
  }
}

TEST(TransitSearch, SmoothingStopsAtFirstBlockedPoint) {
  Environment env(rect(0, 0, 20, 20));
  env.addObstacle(rect(4, 4, 6, 6));
  // p0 -> p2 clear, p0 -> p3 blocked by the obstacle, p2 -> p3 clear.
  const SegmentClearance clearance(env);
  expectPoints(smoothRoute({{1, 1}, {2, 1}, {3, 1}, {9, 6}}, clearance), {{1, 1}, {3, 1}, {9, 6}});
  // p0 -> p2 blocked, p0 -> p3 clear: p1 is kept.
  expectPoints(smoothRoute({{5, 2}, {5, 3}, {5, 8}, {8, 3}}, clearance), {{5, 2}, {5, 3}, {8, 3}});
}

TEST(PlanRoute, EntryChoicesTable) {
  const Environment open(rect(-50, -50, 50, 50));
  const std::vector<Point> ring{{2, 2}, {4, 2}, {4, 4}, {2, 4}};
  struct Case {
    const char* name;
    std::vector<LineString> slices;
    Point start;
    std::vector<Point> path;
  };
  const Case cases[] = {
      {"reverse entry", {line({1, 0}, {10, 0})}, {11, 0}, {{11, 0}, {10, 0}, {1, 0}}},
      {"equal ends enter at the first point",
       {line({-1, 0}, {1, 0})},
       {0, 1},
       {{0, 1}, {-1, 0}, {1, 0}}},
      {"tie keeps the lower index",
       {line({0, 1}, {5, 1}), line({0, -1}, {-5, -1})},
       {0, 0},
       {{0, 0}, {0, 1}, {5, 1}, {0, -1}, {-5, -1}}},
      {"ring entered away from the position",
       {LineString(ring)},
       {5, 5},
       {{5, 5}, {4, 4}, {2, 4}, {2, 2}, {4, 2}, {4, 4}}},
      {"ring entered where the path stands",
       {LineString(ring)},
       {4.0005, 4},
       {{4.0005, 4}, {2, 4}, {2, 2}, {4, 2}, {4, 4}}},
      {"empty slice is never chosen",
       {LineString(), line({1, 1}, {2, 1})},
       {0, 1},
       {{0, 1}, {1, 1}, {2, 1}}},
      {"one-point line", {LineString({{3, 3}})}, {0, 3}, {{0, 3}, {3, 3}}},
  };
  for (const Case& c : cases) {
    const auto result = PathPlanner::planRoute(open, c.slices, c.start);
    expectPoints(result.path.getPoints(), c.path);
    EXPECT_TRUE(result.transitLinks.empty()) << c.name;
  }
  const auto none = PathPlanner::planRoute(open, {}, {0, 0});
  EXPECT_TRUE(none.path.getPoints().empty());
}

TEST(PlanRoute, DecisionLogAndTransitOverWire) {
  Environment env(rect(0, 0, 20, 20));
  env.addObstacle(rect(8, 0.5, 12, 19.5));
  env.setVirtualWire(LineString({{6, 10}, {14, 10}}));
  LogCapture log;
  const auto result =
      PathPlanner::planRoute(env, {line({2, 9}, {6, 9}), line({15, 9}, {18, 9})}, {1, 9});
  const std::string text = log.take();
  // The hidden lane is reached over the wire; its entry point stands twice.
  expectPoints(result.path.getPoints(),
               {{1, 9}, {2, 9}, {6, 9}, {6, 10}, {14, 10}, {15, 9}, {15, 9}, {18, 9}});
  ASSERT_EQ(result.transitLinks.size(), 1u);
  expectPoints(result.transitLinks[0].getPoints(), {{6, 9}, {15, 9}});
  EXPECT_EQ(text.rfind("PathPlanner: --- Bin bei Pos (1|9) ---\n"
                       "PathPlanner: Entscheidung: Gehe zu Slice #0 (Dist: 1, Reverse: Nein)\n"
                       "PathPlanner: --- Bin bei Pos (6|9) ---\n"
                       "PathPlanner: [Debug] Draht-Check: Von (6,9) nach Draht-Index 0",
                       0),
            0u);
}

TEST(PlanRoute, UnreachableSlicesAreSkipped) {
  Environment env = squareWithObstacle();
  {
    LogCapture log;
    const auto result = PathPlanner::planRoute(env, {line({10, 9}, {11, 9})}, {1, 1});
    EXPECT_NE(log.take().find("PathPlanner: WARN: No path found to slice 0. Skipping.\n"),
              std::string::npos);
    expectPoints(result.path.getPoints(), {{1, 1}});
    EXPECT_EQ(result.transitLinks.size(), 1u);
  }
  // From far outside the perimeter nothing links: every slice is skipped in turn.
  const auto outside = PathPlanner::planRoute(
      env, {line({1, 1}, {1, 5}), line({15, 1}, {15, 5}), LineString()}, {-30, -30});
  expectPoints(outside.path.getPoints(), {{-30, -30}});
  EXPECT_EQ(outside.transitLinks.size(), 2u);
  EXPECT_TRUE(outside.exploredEdges.empty());
}

TEST(PlanRoute, RingReachedByTransitIsClosedAtItsFirstPoint) {
  const Environment env = squareWithObstacle();
  const std::vector<Point> ring{{14, 8}, {16, 8}, {16, 12}, {14, 12}, {14, 8}};
  const auto result = PathPlanner::planRoute(env, {LineString(ring)}, {6, 10});
  const auto& path = result.path.getPoints();
  ASSERT_EQ(result.transitLinks.size(), 1u);
  EXPECT_EQ(path.back().x, 14);
  EXPECT_EQ(path.back().y, 8);
  // The route ends on point 0, so the ring adds its other points and closes there.
  expectPoints({path.end() - 5, path.end()}, {{16, 8}, {16, 12}, {14, 12}, {14, 8}, {14, 8}});
}

// Named after the faults they pin: each passed every other test when planted.

// A crossing of a zero-width spike 0.0015 from the shortened hop's end blocks the hop:
// only the end clearance (0.001) stands between it and a clear verdict.
TEST(Regression, HopEndingNearASpikeCrossingIsBlocked) {
  Environment env(rect(0, -10, 40, 10));
  env.addObstacle(Polygon({{20, 0}, {22, 0}, {22, 2}, {20, 2}, {20, 1}, {10, 1}, {20, 1}}));
  EXPECT_FALSE(isSegmentClear({15, -5}, {15, 1.0115}, env));
  EXPECT_TRUE(isSegmentClear({15, -5}, {15, 0.995}, env));
}

// Around a square that is symmetric about the line from start to goal, both ways cost
// exactly the same: the first way found keeps the goal (an equal cost never replaces a
// parent).
TEST(Regression, EqualCostKeepsTheFirstParent) {
  Environment env(rect(-10, -10, 20, 20));
  env.addObstacle(rect(4, 4, 6, 6));
  std::vector<LineString> explored;
  const auto route = findTransitRoute({0, 5}, {10, 5}, env, explored);
  ASSERT_EQ(route.size(), 4u);
  EXPECT_EQ(route[1].y, route[2].y);
  std::vector<LineString> literalExplored;
  const auto literal = Literal::findTransitRoute({0, 5}, {10, 5}, env, literalExplored);
  expectPoints(route, literal);
  EXPECT_EQ(route[1].y, 6.0);
}

// A search asks about hops in the order HopCandidates hands them out; every hop that could
// still change its target must come, cheapest first by (f, g, from, to), whatever the
// slices and cells it was sorted in. Targets cluster on rings like bunkers, some lie on a
// wire (a hop between neighbours there costs a tenth), some bounds rule hops out.
TEST(HopCandidates, HandsOutEveryUsefulHopCheapestFirst) {
  for (const std::size_t firstSlice : {1, 3, 64, 512}) {
    std::mt19937 rng(static_cast<unsigned>(firstSlice));
    std::uniform_real_distribution<double> unit(0, 1);
    const Point goal{90, 10};
    std::vector<WireNode> nodes;
    std::vector<uint32_t> targets;
    std::vector<double> estimate, bound;
    for (uint32_t k = 0; k < 400; ++k) {
      const bool onWire = k < 40;
      const double t = unit(rng) * 6.3, ring = 3 + static_cast<double>(k % 7) * 12;
      const Point p = onWire ? Point{5.0 + k * 2.0, 50.0}
                             : Point{ring + 4 * std::cos(t), 20 + ring * 0.5 + 4 * std::sin(t)};
      nodes.push_back({p, onWire, onWire ? k : 0});
      if (k % 9 != 4) targets.push_back(k);
      estimate.push_back(distance(p, goal) * (onWire ? kWireEstimateWeight : 1.0));
      const double draw = unit(rng);
      bound.push_back(draw < 0.6   ? std::numeric_limits<double>::infinity()
                      : draw < 0.7 ? -std::numeric_limits<double>::infinity()
                                   : 40 + 80 * unit(rng));
    }
    HopCandidates candidates(targets, nodes, estimate, bound, firstSlice);
    candidates.restart();
    std::vector<HopCandidates::Hop> expected;
    for (int32_t from = 0; from < 25; ++from) {
      const bool onWire = from % 3 == 0;
      const SearchNode node{onWire ? nodes[static_cast<std::size_t>(from)].point
                                   : Point{100 * unit(rng), 100 * unit(rng)},
                            30 * unit(rng),
                            0,
                            -1,
                            onWire,
                            onWire ? static_cast<uint64_t>(from) : 0};
      candidates.addExpansion(from, node);
      for (const uint32_t k : targets) {
        const double multiplier =
            consecutiveWire(node.onWire, node.wireIndex, nodes[k]) ? kWireMultiplier : 1.0;
        const double g = node.g + distance(node.point, nodes[k].point) * multiplier;
        if (g < bound[k]) expected.push_back({g + estimate[k], g, from, k});
      }
    }
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
      return std::tie(a.f, a.g, a.from, a.to) < std::tie(b.f, b.g, b.from, b.to);
    });
    std::size_t at = 0;
    for (; !candidates.empty(); candidates.pop(), ++at) {
      const HopCandidates::Hop& hop = candidates.top();
      ASSERT_LT(at, expected.size()) << "slice " << firstSlice;
      ASSERT_TRUE(hop.f == expected[at].f && hop.g == expected[at].g &&
                  hop.from == expected[at].from && hop.to == expected[at].to)
          << "slice " << firstSlice << " hop " << at;
    }
    EXPECT_EQ(at, expected.size()) << "slice " << firstSlice;
  }
}
