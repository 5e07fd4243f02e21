// Benchmark of one computeFullTask per site: the module's planner against the
// literal reference planner, on the same slices.
//
//   swathor_bench [--runs N] [--no-literal] [--scaling] [--huge] [--adversarial] [SITE...]
//
// Sites: garden, park, estate, golf (600 m x 400 m, 5000-vertex curvy outline, 30 curvy
// hazards of 200 vertices, a wire, 0.3 m) and solar (400 m x 300 m, 1500 piles of
// 1.2 m x 0.3 m in rows, a wire, 0.5 m); golf and solar run the literal planner only
// when named.
//
// After the table, a second one splits the runs of each site by stage (the median of
// each stage; the first, cold run is left out) and counts the hops whose clearance the
// route asked about.
//
// --adversarial: sites that must stay bounded (dense obstacle fields, a start inside an
// obstacle on 6000 lanes, a 100,000-point wire, 100,000 perimeter vertices).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/sites.h"
#include "bench/stages.h"
#include "planner/pipeline/path_service.h"
#include "tests/reference/literal_routing.h"

using namespace Planner;

namespace {

constexpr const char* kHelp =
    "\nPlans each site with the module's planner (median of N runs, peak memory) and with\n"
    "the literal reference planner, then splits N more runs per site by stage (medians).\n\n"
    "sites (all deterministic):\n"
    "  garden   20 m x 15 m L-shape, one obstacle, offset 0.2\n"
    "  park     100 m x 80 m, 200 wiggled vertices, ten obstacles, a wire, offset 0.25\n"
    "  estate   250 m x 200 m, 1000 wiggled vertices, forty obstacles, a wire, offset 0.3\n"
    "  golf     600 m x 400 m, 5000-vertex curvy outline, 30 curvy bunkers of 200 vertices,\n"
    "           a wire, offset 0.3 (literal planner only when named: minutes)\n"
    "  solar    400 m x 300 m, 1500 piles of 1.2 m x 0.3 m in 30 rows, a wire, offset 0.5\n"
    "           (literal planner only when named)\n"
    "  recorded, recorded-edge   a 1.9 ha park's border recorded by driving: 17,000 noisy\n"
    "           vertices; recorded-edge plans without an inset (only when named)\n"
    "  dense-1600, huge-100k, start-in-obstacle   only when named\n\n"
    "--scaling      the estate at offsets 0.6, 0.3, 0.15, 0.075 and 0.0375\n"
    "--huge         100,000 vertices (99,600 perimeter, 100 obstacles)\n"
    "--adversarial  dense obstacle fields, a start inside an obstacle, a 100,000-point\n"
    "               wire, 100,000 perimeter vertices\n";

// The module's planner as the module runs it: without cancellation, and without keeping
// the links its searches explore.
PlanningResult modulePlanner(const Environment& env, const std::vector<LineString>& slices,
                             const Point& start) {
  return PathPlanner::planRoute(env, slices, start, Cancellation(), indexedStrategies(),
                                ExploredEdges::skip);
}

struct Measure {
  double medianMs = 0;
  std::size_t slices = 0;
  std::size_t points = 0;
  double peakMb = 0;
  std::uint64_t hash = 0;
};

// FNV-1a over the bits of every route point and slice point: equal routes, equal hashes.
std::uint64_t routeHash(const PlanningResult& r) {
  std::uint64_t h = 14695981039346656037ull;
  auto add = [&](const std::vector<Point>& points) {
    for (const Point& p : points) {
      for (double v : {p.x, p.y}) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i) h = (h ^ ((bits >> (8 * i)) & 0xff)) * 1099511628211ull;
      }
    }
    h = (h ^ 0x2a) * 1099511628211ull;  // ends a line, so [a][b c] and [a b][c] differ
  };
  add(r.path.getPoints());
  for (const LineString& slice : r.slices) add(slice.getPoints());
  return h;
}

// Runs the planner `runs` times in a child process, so the peak memory is this
// site's alone. The child writes its figures back through a pipe.
Measure measure(const Bench::Site& site, RoutePlanner planner, int runs) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::vector<double> times;
    Measure m;
    for (int i = 0; i < runs; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      const auto r = computeFullTaskWith(site.environment, site.settings, site.start, planner);
      const auto t1 = std::chrono::steady_clock::now();
      times.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
      m.slices = r.slices.size();
      m.points = r.path.getPoints().size();
      m.hash = routeHash(r);
    }
    std::sort(times.begin(), times.end());
    m.medianMs = times[times.size() / 2];
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    m.peakMb = usage.ru_maxrss / 1024.0;
    if (write(fds[1], &m, sizeof m) != sizeof m) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Measure m;
  if (read(fds[0], &m, sizeof m) != sizeof m) m = {};
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return m;
}

void report(const Bench::Site& site, int runs, bool literal) {
  const Measure fast = measure(site, RoutePlanner(modulePlanner), runs);
  std::printf("%-16s %7zu %9zu %11.2f %9.1f  %016llx", site.name.c_str(), fast.slices, fast.points,
              fast.medianMs, fast.peakMb, static_cast<unsigned long long>(fast.hash));
  if (literal) {
    const Measure slow = measure(site, &Literal::planRoute, std::max(1, runs / 3));
    std::printf(" %12.2f %9.1f %8.1fx", slow.medianMs, slow.peakMb,
                slow.medianMs / std::max(fast.medianMs, 1e-9));
  }
  std::printf("\n");
  std::fflush(stdout);
}

// Each stage's median over `runs` warm runs: one cold run first fills the allocator and
// the caches, which alone cost golf's route a third more.
Bench::StageTimes medianStages(const Bench::Site& site, int runs) {
  Bench::measureStages(site);
  std::vector<Bench::StageTimes> all;
  for (int i = 0; i < runs; ++i) all.push_back(Bench::measureStages(site));
  Bench::StageTimes t = all.front();
  for (double Bench::StageTimes::* stage :
       {&Bench::StageTimes::inset, &Bench::StageTimes::slicing, &Bench::StageTimes::laps,
        &Bench::StageTimes::chooser, &Bench::StageTimes::transit}) {
    std::vector<double> v;
    for (const Bench::StageTimes& one : all) v.push_back(one.*stage);
    std::sort(v.begin(), v.end());
    t.*stage = v[v.size() / 2];
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  bool literal = true;
  bool scaling = false;
  bool huge = false;
  bool adversarial = false;
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--no-literal")) {
      literal = false;
    } else if (!std::strcmp(argv[i], "--scaling")) {
      scaling = true;
    } else if (!std::strcmp(argv[i], "--huge")) {
      huge = true;
    } else if (!std::strcmp(argv[i], "--adversarial")) {
      adversarial = true;
    } else if (argv[i][0] == '-') {
      const bool help = !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h");
      std::fprintf(help ? stdout : stderr,
                   "usage: %s [--runs N] [--no-literal] [--scaling] [--huge] [--adversarial] "
                   "[SITE...]\n%s",
                   argv[0], help ? kHelp : "");
      return help ? 0 : 2;
    } else {
      names.push_back(argv[i]);
    }
  }
  std::vector<Bench::Site> sites;
  auto wanted = [&](const char* name) {
    return names.empty() || std::find(names.begin(), names.end(), name) != names.end();
  };
  if (wanted("garden")) sites.push_back(Bench::garden());
  if (wanted("park")) sites.push_back(Bench::park());
  if (wanted("estate")) sites.push_back(Bench::estate());
  if (wanted("golf")) sites.push_back(Bench::golf());
  if (wanted("solar")) sites.push_back(Bench::solar());
  if (scaling) {
    for (double offset : {0.6, 0.3, 0.15, 0.075, 0.0375}) {
      Bench::Site s = Bench::estate(offset);
      s.name = "estate@" + std::to_string(offset).substr(0, 6);
      sites.push_back(std::move(s));
    }
  }
  if (huge) {
    Bench::Site s = Bench::huge(100000);
    s.name = "huge-100k";
    sites.push_back(std::move(s));
  }

  auto named = [&](const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  if (named("recorded")) sites.push_back(Bench::recorded(true));
  if (named("recorded-edge")) sites.push_back(Bench::recorded(false));
  if (named("dense-1600")) sites.push_back(Bench::dense(40));
  if (named("start-in-obstacle")) sites.push_back(Bench::startInObstacle());
  if (named("huge-100k")) {
    Bench::Site s = Bench::huge(100000);
    s.name = "huge-100k";
    sites.push_back(std::move(s));
  }
  if (adversarial) {
    for (int k : {30, 40, 50}) sites.push_back(Bench::dense(k));
    sites.push_back(Bench::startInObstacle());
    sites.push_back(Bench::longWire(100000));
    Bench::Site s = Bench::huge(100000);
    s.name = "huge-100k";
    sites.push_back(std::move(s));
  }

  std::printf("%-16s %7s %9s %11s %9s  %-16s", "site", "slices", "points", "fast ms", "fast MB",
              "route hash");
  if (literal) std::printf(" %12s %9s %9s", "literal ms", "lit. MB", "ratio");
  std::printf("\n");
  // The literal planner needs minutes on golf and solar: only when asked by name.
  for (const Bench::Site& site : sites) {
    const bool slow = site.name == "golf" || site.name == "solar";
    report(site, runs, literal && (!slow || !names.empty()));
  }

  // After every measured child, so that the timed sites' peaks stay their own.
  std::printf("\nstages, medians of %d runs, ms; hops whose clearance was asked\n", runs);
  std::printf("%-16s %8s %8s %8s %8s %8s %10s %10s\n", "site", "inset", "slicing", "laps",
              "chooser", "transit", "single", "batched");
  for (const Bench::Site& site : sites) {
    const Bench::StageTimes t = medianStages(site, runs);
    std::printf("%-16s %8.2f %8.2f %8.2f %8.2f %8.2f %10llu %10llu\n", site.name.c_str(), t.inset,
                t.slicing, t.laps, t.chooser, t.transit,
                static_cast<unsigned long long>(t.singleTests),
                static_cast<unsigned long long>(t.batchedHops));
    std::fflush(stdout);
  }
  return 0;
}
