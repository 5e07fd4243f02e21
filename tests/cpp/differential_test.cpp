// The module's indexed planner against the literal reference planner: identical
// results, point for point, on seeded random sites and on the benchmark sites.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "bench/sites.h"
#include "planner/coverage/line_slicer.h"
#include "planner/pipeline/path_service.h"
#include "planner/routing/planner_log.h"
#include "planner/routing/segment_clearance.h"
#include "planner/routing/transit_router.h"
#include "tests/reference/literal_line_slicer.h"
#include "tests/reference/literal_routing.h"

using namespace Planner;

namespace {

// The module's planner, without cancellation.
PlanningResult modulePlanner(const Environment& env, const std::vector<LineString>& slices,
                             const Point& start) {
  return PathPlanner::planRoute(env, slices, start);
}

// The same, not keeping the explored links, as the module runs it: its searches then ask
// only about hops that could change something.
PlanningResult modulePlannerAsRun(const Environment& env, const std::vector<LineString>& slices,
                                  const Point& start) {
  return PathPlanner::planRoute(env, slices, start, Cancellation(), indexedStrategies(),
                                ExploredEdges::skip);
}

struct RandomSite {
  Environment environment;
  PathSettings settings;
  Point start;
};

class SiteMaker {
 public:
  explicit SiteMaker(unsigned seed) : rng_(seed) {}

  double uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng_);
  }
  int integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool chance(double p) { return uniform(0, 1) < p; }

  // A star-shaped ring around (cx, cy); sometimes with repeated, collinear or
  // shuffled (self-intersecting) points.
  Polygon ring(double cx, double cy, double radius, int vertices) {
    std::vector<Point> pts;
    for (int k = 0; k < vertices; ++k) {
      const double a = 2 * M_PI * k / vertices;
      const double r = radius * uniform(0.55, 1.0);
      pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
      if (chance(0.05)) pts.push_back(pts.back());
      if (chance(0.05) && pts.size() >= 2) {
        const Point& p = pts[pts.size() - 2];
        pts.push_back({(p.x + pts.back().x) / 2, (p.y + pts.back().y) / 2});
      }
    }
    if (chance(0.05)) std::shuffle(pts.begin(), pts.end(), rng_);
    if (chance(0.2)) pts.push_back(pts.front());
    return Polygon(std::move(pts));
  }

  RandomSite make() {
    const double size = uniform(6, 30);
    const double cx = uniform(-20, 20), cy = uniform(-20, 20);
    Environment env(ring(cx, cy, size, integer(3, 30)));
    for (int k = integer(0, 4); k > 0; --k) {
      env.addObstacle(ring(cx + uniform(-size, size) * 0.7, cy + uniform(-size, size) * 0.7,
                           uniform(0.5, size / 4), integer(3, 8)));
    }
    if (chance(0.3)) {
      env.addMowArea(ring(cx + uniform(-1, 1) * size / 3, cy, size * 0.6, integer(3, 10)));
      if (chance(0.5)) env.addMowArea(ring(cx, cy + size / 3, size * 0.4, integer(3, 10)));
    }
    if (chance(0.7)) {
      LineString wire;
      for (int k = integer(2, 12); k > 0; --k) {
        wire.addPoint({cx + uniform(-size, size) * 0.8, cy + uniform(-size, size) * 0.8});
      }
      env.setVirtualWire(wire);
    }
    PathSettings s;
    const char* patterns[] = {"lines", "squares", "rings"};
    s.pattern = patterns[integer(0, 2)];
    s.offset = size * uniform(0.05, 0.2);
    s.angle = chance(0.3) ? 0.0 : uniform(-M_PI, M_PI);
    s.distanceToBorder = chance(0.3) ? 0.0 : uniform(-1, size / 5);
    s.mowArea = chance(0.9);
    s.mowBorder = chance(0.8);
    s.borderLaps = integer(0, 3);
    s.mowBorderCcw = chance(0.5);
    s.mowExclusionsBoder = chance(0.8);
    s.exclusionsBorderLaps = integer(0, 3);
    s.mowExclusionsBorderCcw = chance(0.5);
    const Point start = chance(0.8) ? Point{cx + uniform(-0.5, 0.5) * size, cy}
                                    : Point{cx + size * 1.5, cy + size * 1.5};
    return {std::move(env), s, start};
  }

 private:
  std::mt19937 rng_;
};

void expectSameLines(const std::vector<LineString>& fast, const std::vector<LineString>& literal,
                     const std::string& what) {
  ASSERT_EQ(fast.size(), literal.size()) << what;
  for (std::size_t i = 0; i < fast.size(); ++i) {
    const auto& a = fast[i].getPoints();
    const auto& b = literal[i].getPoints();
    ASSERT_EQ(a.size(), b.size()) << what << " " << i;
    for (std::size_t k = 0; k < a.size(); ++k) {
      ASSERT_TRUE(a[k].x == b[k].x && a[k].y == b[k].y)
          << what << " " << i << "/" << k << ": " << a[k].toString() << " vs " << b[k].toString();
    }
  }
}

// Returns how many transit searches the case ran, to check that the cases reach
// the search at all.
std::size_t expectSameResult(const Environment& env, const PathSettings& s, const Point& start,
                             const std::string& name) {
  const auto fast = computeFullTaskWith(env, s, start, RoutePlanner(modulePlanner));
  const auto literal = computeFullTaskWith(env, s, start, &Literal::planRoute);
  expectSameLines({fast.path}, {literal.path}, name + " path");
  expectSameLines(fast.transitLinks, literal.transitLinks, name + " transitLinks");
  expectSameLines(fast.exploredEdges, literal.exploredEdges, name + " exploredEdges");
  expectSameLines(fast.slices, literal.slices, name + " slices");
  const auto asRun = computeFullTaskWith(env, s, start, RoutePlanner(modulePlannerAsRun));
  expectSameLines({asRun.path}, {literal.path}, name + " path, links not kept");
  expectSameLines(asRun.transitLinks, literal.transitLinks, name + " transitLinks, links not kept");
  return literal.transitLinks.size();
}

}  // namespace

TEST(Differential, RandomSites) {
  SiteMaker maker(20261208);
  std::size_t searches = 0;
  for (int trial = 0; trial < 150; ++trial) {
    const RandomSite site = maker.make();
    searches += expectSameResult(site.environment, site.settings, site.start,
                                 "trial " + std::to_string(trial));
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(searches, 100u);
}

TEST(Differential, BenchmarkSites) {
  for (const Bench::Site& site : {Bench::garden(), Bench::park()}) {
    expectSameResult(site.environment, site.settings, site.start, site.name);
  }
}

// Result and log lines of one site, point for point and line for line.
void expectSameRunAndLog(const Bench::Site& site) {
  plannerLogEnabled = true;
  ::testing::internal::CaptureStdout();
  const auto fast =
      computeFullTaskWith(site.environment, site.settings, site.start, RoutePlanner(modulePlanner));
  const std::string fastLog = ::testing::internal::GetCapturedStdout();
  ::testing::internal::CaptureStdout();
  const auto asRun = computeFullTaskWith(site.environment, site.settings, site.start,
                                         RoutePlanner(modulePlannerAsRun));
  const std::string asRunLog = ::testing::internal::GetCapturedStdout();
  ::testing::internal::CaptureStdout();
  const auto literal =
      computeFullTaskWith(site.environment, site.settings, site.start, &Literal::planRoute);
  const std::string literalLog = ::testing::internal::GetCapturedStdout();
  plannerLogEnabled = false;
  expectSameLines({asRun.path}, {literal.path}, site.name + " path, links not kept");
  EXPECT_TRUE(asRunLog == literalLog) << site.name << ": the log lines differ, links not kept";
  expectSameLines({fast.path}, {literal.path}, site.name + " path");
  expectSameLines(fast.transitLinks, literal.transitLinks, site.name + " transitLinks");
  expectSameLines(fast.exploredEdges, literal.exploredEdges, site.name + " exploredEdges");
  EXPECT_TRUE(fastLog == literalLog) << site.name << ": the log lines differ";
}

// Large sites, where the transit search sorts the edges around each expanded point and
// the chooser skips taken slices. The coarse golf course runs transit searches over
// more than a thousand corners; the full one (minutes with the literal planner) only
// when SWATHOR_SLOW_TESTS is set.
TEST(Differential, LargeSites) {
  const Bench::Site coarseGolf = Bench::golf(800, 40);
  expectSameRunAndLog(coarseGolf);
  EXPECT_GT(computeFullTaskWith(coarseGolf.environment, coarseGolf.settings, coarseGolf.start,
                                RoutePlanner(modulePlanner))
                .transitLinks.size(),
            0u);
  expectSameRunAndLog(Bench::solar());
  if (std::getenv("SWATHOR_SLOW_TESTS") != nullptr) expectSameRunAndLog(Bench::golf());
}

// Wire points within 0.001 of each other, and starts on a corner or a wire point: the
// nodes the transit search must find by position, not by their place in the graph.
TEST(Differential, CrowdedTransitNodes) {
  SiteMaker maker(4711);
  std::size_t searches = 0;
  for (int trial = 0; trial < 60; ++trial) {
    RandomSite site = maker.make();
    LineString wire;
    for (const Point& p : site.environment.getVirtualWire().getPoints()) {
      wire.addPoint(p);
      wire.addPoint({p.x + 0.0004, p.y - 0.0003});
    }
    site.environment.setVirtualWire(wire);
    const std::vector<Point>& corners = site.environment.getPerimeter().getPoints();
    const Point start = trial % 3 == 0 && !wire.getPoints().empty() ? wire.getPoints().front()
                        : trial % 3 == 1 ? corners[trial % corners.size()]
                                         : site.start;
    searches +=
        expectSameResult(site.environment, site.settings, start, "trial " + std::to_string(trial));
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(searches, 20u);
}

TEST(Differential, LogLinesMatch) {
  SiteMaker maker(99);
  for (int trial = 0; trial < 20; ++trial) {
    const RandomSite site = maker.make();
    plannerLogEnabled = true;
    ::testing::internal::CaptureStdout();
    computeFullTaskWith(site.environment, site.settings, site.start, RoutePlanner(modulePlanner));
    const std::string fast = ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    computeFullTaskWith(site.environment, site.settings, site.start, &Literal::planRoute);
    const std::string literal = ::testing::internal::GetCapturedStdout();
    plannerLogEnabled = false;
    ASSERT_EQ(fast, literal) << "trial " << trial;
  }
}

TEST(Differential, SegmentClearance) {
  SiteMaker maker(7);
  for (int trial = 0; trial < 60; ++trial) {
    const RandomSite site = maker.make();
    const SegmentClearance clearance(site.environment);
    std::vector<Point> probes = site.environment.getPerimeter().getPoints();
    for (const Polygon& o : site.environment.getObstacles()) {
      probes.insert(probes.end(), o.getPoints().begin(), o.getPoints().end());
    }
    // Corners, points on edges and just off corners, and points anywhere: the batch
    // settles most hops from one point without the full test, and must agree with it.
    const std::size_t corners = probes.size();
    for (std::size_t k = 0; k + 1 < corners; ++k) {
      const Point p = probes[k];
      const Point q = probes[k + 1];
      probes.push_back({(p.x + q.x) / 2, (p.y + q.y) / 2});
      probes.push_back({p.x + maker.uniform(-0.02, 0.02), p.y + maker.uniform(-0.02, 0.02)});
    }
    for (int k = 0; k < 40; ++k) probes.push_back({maker.uniform(-50, 50), maker.uniform(-50, 50)});
    std::vector<uint8_t> batch;
    for (std::size_t i = 0; i < probes.size(); ++i) {
      clearance.isClearFromEach(probes[i], probes, batch);
      for (std::size_t j = 0; j < probes.size(); ++j) {
        const bool literal = Literal::isSegmentClear(probes[i], probes[j], site.environment);
        ASSERT_EQ(batch[j] != 0, literal)
            << trial << ": " << probes[i].toString() << " -> " << probes[j].toString();
        if (j % 3 == 0) {
          ASSERT_EQ(clearance.isClear(probes[i], probes[j]), literal);
        }
      }
    }
  }
}

TEST(Differential, LineSlicer) {
  SiteMaker maker(31);
  for (int trial = 0; trial < 200; ++trial) {
    const RandomSite site = maker.make();
    Environment area = site.environment;
    area.rotate(maker.uniform(-3, 3));
    const double spacing = site.settings.offset * maker.uniform(0.2, 1.0);
    expectSameLines(generateLineSlices(area, spacing), Literal::generateLineSlices(area, spacing),
                    "trial " + std::to_string(trial));
    if (HasFatalFailure()) return;
  }
  // Horizontal edges on scan lines, vertices on scan lines, and far from the origin.
  for (const double shift : {0.0, 1500.0, -250000.0}) {
    Environment area(Polygon({{shift, 0},
                              {shift + 10, 0},
                              {shift + 10, 0.5},
                              {shift + 5, 0.5},
                              {shift + 5, 4},
                              {shift, 4}}));
    area.addObstacle(Polygon({{shift + 1, 1.5}, {shift + 2, 2.5}, {shift + 1, 3.5}}));
    expectSameLines(generateLineSlices(area, 1), Literal::generateLineSlices(area, 1), "L-shape");
  }
  for (const Bench::Site& site : {Bench::park(), Bench::estate()}) {
    expectSameLines(generateLineSlices(site.environment, 0.25),
                    Literal::generateLineSlices(site.environment, 0.25), site.name);
  }
}

// Starts far outside the perimeter, where every hop is blocked, take the shortcut
// of the chooser; they must still give the literal result.
TEST(Differential, StartsOutsideThePerimeter) {
  SiteMaker maker(5);
  for (int trial = 0; trial < 40; ++trial) {
    RandomSite site = maker.make();
    const auto& pts = site.environment.getPerimeter().getPoints();
    if (pts.empty()) continue;
    const Point corner = pts[maker.integer(0, static_cast<int>(pts.size()) - 1)];
    for (const Point start : {Point{corner.x + 0.004, corner.y}, Point{corner.x + 300, corner.y},
                              Point{corner.x, corner.y - 0.02}}) {
      expectSameResult(site.environment, site.settings, start, "trial " + std::to_string(trial));
      if (HasFatalFailure()) return;
    }
  }
}

// Starts inside an obstacle, deep or near its edges, take the same shortcut.
TEST(Differential, StartsInsideAnObstacle) {
  SiteMaker maker(17);
  for (int trial = 0; trial < 40; ++trial) {
    RandomSite site = maker.make();
    const auto& obstacles = site.environment.getObstacles();
    if (obstacles.empty()) continue;
    const auto& ring =
        obstacles[maker.integer(0, static_cast<int>(obstacles.size()) - 1)].getPoints();
    if (ring.size() < 3) continue;
    Point centre{0, 0};
    for (const Point& p : ring)
      centre = {centre.x + p.x / ring.size(), centre.y + p.y / ring.size()};
    const Point& corner = ring[0];
    for (const Point start :
         {centre, Point{(centre.x + 999 * corner.x) / 1000, (centre.y + 999 * corner.y) / 1000}}) {
      expectSameResult(site.environment, site.settings, start, "trial " + std::to_string(trial));
      if (HasFatalFailure()) return;
    }
  }
}

// The chooser's grid against the literal scan: entries scattered, on one line, all in
// one place, or spread far apart; positions inside, on entries and far outside; some
// hops refused; slices taken out as they are driven.
TEST(Differential, EntryChoices) {
  // Refuses about a third of the hops, by the entry's position.
  class SomeClear : public Clearance {
   public:
    bool isClear(const Point& a, const Point& b) const override {
      return std::fmod(std::fabs(b.x * 7.3 + b.y * 3.1 + a.x), 3.0) >= 1.0;
    }
  };
  const SomeClear someClear;
  SiteMaker maker(23);
  for (int trial = 0; trial < 120; ++trial) {
    const int layout = trial % 4;
    const double spread = layout == 3 ? 1e5 : 20;
    std::vector<LineString> slices;
    for (int k = maker.integer(0, 60); k > 0; --k) {
      const auto point = [&] {
        if (layout == 1) return Point{maker.uniform(-spread, spread), 2.5};
        if (layout == 2) return Point{1, 1};
        // Coarse coordinates make equal distances, where scan order decides.
        return Point{std::round(maker.uniform(-spread, spread) * 4) / 4,
                     std::round(maker.uniform(-spread, spread) * 4) / 4};
      };
      std::vector<Point> pts;
      for (int n = maker.chance(0.3) ? maker.integer(3, 6) : 2; n > 0; --n) pts.push_back(point());
      slices.emplace_back(std::move(pts));
    }
    std::vector<bool> done(slices.size());
    for (std::size_t i = 0; i < done.size(); ++i) done[i] = maker.chance(0.2);
    const auto fast = indexedStrategies().entries(slices, done);
    const auto literal = Literal::strategies().entries(slices, done);
    for (int step = 0; step < 30; ++step) {
      const Point position = maker.chance(0.2) ? Point{maker.uniform(-3, 3) * spread * 10, 7}
                                               : Point{maker.uniform(-spread, spread), 0.25};
      const SliceChoice a =
          step % 2 ? fast->nearest(position) : fast->nearestClear(position, someClear);
      const SliceChoice b =
          step % 2 ? literal->nearest(position) : literal->nearestClear(position, someClear);
      ASSERT_TRUE(a.sliceIndex == b.sliceIndex && a.reverse == b.reverse &&
                  a.distance == b.distance && a.startIndex == b.startIndex && a.isRing == b.isRing)
          << "trial " << trial << " step " << step << ": " << a.sliceIndex << " vs "
          << b.sliceIndex;
      if (!slices.empty()) {
        const auto gone = static_cast<std::size_t>(maker.integer(0, int(slices.size()) - 1));
        fast->remove(gone);
        literal->remove(gone);
      }
    }
  }
}

// Lists that log every node a search closes, in order; the log holds the last search's.
class LoggedLists : public SearchLists {
 public:
  explicit LoggedLists(std::vector<SearchNode>& log)
      : inner_(indexedStrategies().lists()), log_(log) {
    log_.clear();
  }
  void open(const Opened& entry) override { inner_->open(entry); }
  bool anyOpen() const override { return inner_->anyOpen(); }
  Opened takeBest() override { return inner_->takeBest(); }
  bool canPeek() const override { return inner_->canPeek(); }
  const Opened* peekBest() const override { return inner_->peekBest(); }
  bool improveNear(const Point& p, double g, double h, int32_t parent, int64_t sole) override {
    return inner_->improveNear(p, g, h, parent, sole);
  }
  int32_t close(const SearchNode& node, int64_t graphIndex) override {
    log_.push_back(node);
    return inner_->close(node, graphIndex);
  }
  bool closedNear(const Point& p, int64_t sole) const override {
    return inner_->closedNear(p, sole);
  }
  double settledCost(int64_t sole) const override { return inner_->settledCost(sole); }
  const std::vector<SearchNode>& closed() const override { return inner_->closed(); }

 private:
  std::unique_ptr<SearchLists> inner_;
  std::vector<SearchNode>& log_;
};

// Searches that keep no links skip hops to corners that are closed, or open at no more
// than the hop would give, and ask about the others only when they could decide the next
// expansion: they must close the same nodes in the same order, at the same cost, from
// the same parents. Between random points of a course of curvy bunkers, many corners are
// reached first the long way round and improved later; between points of a half-metre
// lattice among squares in rows (with and without a wire), many entries cost exactly the
// same, and the order they were opened in decides.
TEST(Differential, SearchesWithoutLinksFindTheSameRoutes) {
  struct Case {
    Bench::Site site;
    double x0, y0, x1, y1;
    double lattice;  // 0: any point
    int trials;
  };
  Bench::Site wired = Bench::dense(8);
  LineString wire;
  for (double x = 0.5; x < 20; x += 0.5) wire.addPoint({x, 10});
  wired.environment.setVirtualWire(wire);
  const std::vector<Case> cases = {{Bench::golf(400, 30), 20, 20, 580, 380, 0, 300},
                                   {Bench::dense(8), 0, 0, 20, 20, 0.5, 200},
                                   {wired, 0, 0, 20, 20, 0.5, 200}};
  for (const Case& c : cases) {
    const std::unique_ptr<Clearance> clearance = indexedStrategies().clearance(c.site.environment);
    std::vector<SearchNode> keptLog, skippedLog;
    TransitRouter keeping(c.site.environment, *clearance,
                          [&] { return std::make_unique<LoggedLists>(keptLog); });
    TransitRouter skipping(c.site.environment, *clearance,
                           [&] { return std::make_unique<LoggedLists>(skippedLog); });
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> x(c.x0, c.x1), y(c.y0, c.y1);
    const auto draw = [&] {
      const Point p{x(rng), y(rng)};
      if (c.lattice == 0) return p;
      return Point{std::round(p.x / c.lattice) * c.lattice,
                   std::round(p.y / c.lattice) * c.lattice};
    };
    std::vector<LineString> links;
    for (int trial = 0; trial < c.trials; ++trial) {
      const Point from = draw(), to = draw();
      const std::vector<Point> kept = keeping.findRoute(from, to, &links);
      const std::vector<Point> skipped = skipping.findRoute(from, to, nullptr);
      const auto same = [](const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; };
      ASSERT_EQ(keptLog.size(), skippedLog.size()) << c.site.name << " trial " << trial;
      for (std::size_t k = 0; k < keptLog.size(); ++k) {
        ASSERT_TRUE(same(keptLog[k].point, skippedLog[k].point) &&
                    keptLog[k].g == skippedLog[k].g && keptLog[k].parent == skippedLog[k].parent)
            << c.site.name << " trial " << trial << " closed " << k;
      }
      ASSERT_EQ(kept.size(), skipped.size()) << c.site.name << " trial " << trial;
      for (std::size_t k = 0; k < kept.size(); ++k) {
        ASSERT_TRUE(same(kept[k], skipped[k])) << c.site.name << " trial " << trial;
      }
      links.clear();
      keptLog.clear();
      skippedLog.clear();
    }
  }
}
