#include "planner/pipeline/obstacle_merging.h"

#include <clipper2/clipper.engine.h>

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

#include "planner/coverage/clipper_ops.h"
#include "planner/geometry/clipper_bridge.h"
#include "planner/pipeline/obstacle_clipping.h"

namespace Planner {
namespace {

using Clipper2Lib::Path64;
using Clipper2Lib::Paths64;

// Obstacles whose gap is below twice this (integer units) meet: a corner drawn on
// another obstacle's edge lands up to half a unit off it on the grid.
constexpr double kTouchGrow = 1.0;

Paths64 unite(const Paths64& paths) {
  Clipper2Lib::Clipper64 clipper;
  clipper.AddSubject(paths);
  Paths64 solution;
  clipper.Execute(Clipper2Lib::ClipType::Union, Clipper2Lib::FillRule::NonZero, solution);
  return solution;
}

std::size_t outerCount(const Paths64& paths) {
  return static_cast<std::size_t>(std::count_if(
      paths.begin(), paths.end(), [](const Path64& p) { return Clipper2Lib::Area(p) > 0.0; }));
}

// Union-find over the obstacles' indices.
struct Groups {
  explicit Groups(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
  std::size_t find(std::size_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  }
  void join(std::size_t a, std::size_t b) {
    a = find(a), b = find(b);
    if (a != b) parent[std::max(a, b)] = std::min(a, b);
  }
  std::vector<std::size_t> parent;
};

}  // namespace

std::size_t mergeTouchingObstacles(Environment& site, const Cancellation& cancel) {
  const std::vector<Polygon>& obstacles = site.getObstacles();
  const std::size_t n = obstacles.size();
  if (n < 2) return 0;
  // Each obstacle as one path, the same for either orientation under non-zero fill.
  std::vector<Path64> paths(n);
  std::vector<Clipper2Lib::Rect64> boxes(n);
  for (std::size_t i = 0; i < n; ++i) {
    paths[i] = toPath64(obstacles[i].getPoints());
    if (Clipper2Lib::Area(paths[i]) < 0.0) std::reverse(paths[i].begin(), paths[i].end());
    boxes[i] = Clipper2Lib::GetBounds(paths[i]);
  }
  std::vector<std::size_t> byLeft(n);
  std::iota(byLeft.begin(), byLeft.end(), 0);
  std::sort(byLeft.begin(), byLeft.end(),
            [&](std::size_t a, std::size_t b) { return boxes[a].left < boxes[b].left; });

  // Pairs whose boxes meet (closed), swept by left edge; a pair meets when the union of
  // the two has fewer outer rings than the two alone.
  Groups groups(n);
  bool any = false;
  for (std::size_t k = 0; k < n; ++k) {
    cancel.poll();
    const std::size_t a = byLeft[k];
    if (paths[a].size() < 3 || Clipper2Lib::Area(paths[a]) == 0.0) continue;
    for (std::size_t m = k + 1; m < n && boxes[byLeft[m]].left <= boxes[a].right; ++m) {
      const std::size_t b = byLeft[m];
      if (boxes[b].top > boxes[a].bottom || boxes[a].top > boxes[b].bottom) continue;
      if (paths[b].size() < 3 || Clipper2Lib::Area(paths[b]) == 0.0) continue;
      if (groups.find(a) == groups.find(b)) continue;
      if (outerCount(unite(offsetPaths({paths[a], paths[b]}, kTouchGrow))) < 2) {
        groups.join(a, b);
        any = true;
      }
    }
  }
  if (!any) return 0;

  std::vector<Paths64> members(n);
  for (std::size_t i = 0; i < n; ++i) members[groups.find(i)].push_back(paths[i]);
  std::vector<Polygon> merged;
  std::size_t mergedAway = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (groups.find(i) != i) continue;
    if (members[i].size() == 1) {
      merged.push_back(obstacles[i]);
      continue;
    }
    mergedAway += members[i].size();
    // Grown, united and shrunk back: the gaps below the grow close, the rest stays.
    for (const Path64& ring :
         offsetPaths(unite(offsetPaths(members[i], kTouchGrow)), -kTouchGrow)) {
      if (Clipper2Lib::Area(ring) <= 0.0) continue;  // enclosed lawn stays with the group
      merged.emplace_back(fromPath64(ring));         // made clockwise as the site takes it
      --mergedAway;
    }
  }
  replaceObstacles(site, merged);
  return mergedAway;
}

}  // namespace Planner
