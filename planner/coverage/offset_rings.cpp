#include "planner/coverage/offset_rings.h"

#include <algorithm>
#include <numbers>

#include "planner/coverage/clipper_ops.h"
#include "planner/coverage/leftover_bound.h"
#include "planner/geometry/clipper_bridge.h"
#include "planner/geometry/edge_index.h"
#include "planner/geometry/predicates.h"

namespace Planner {
namespace {

using Clipper2Lib::Path64;
using Clipper2Lib::Paths64;

constexpr double kLeftoverShrink = 0.85;
// Integer units of Clipper2's rounding that a shrunk ring may gain over the exact one.
constexpr double kShrinkRoundingUnits = 4.0;

// Every point a shrink by d keeps lies at least d inside its ring group, so a group
// whose outer ring is narrower than 2d in x or y keeps nothing, nor one whose outer ring
// has less area than a disc of radius d (both less Clipper2's rounding): no such disc fits
// in it. Alone, its offset has no area of positive winding, and beside others it can only
// lower theirs. So when the other outer rings, without any holes, shrink to nothing, so
// does the whole set.
bool mayKeepSomething(const Paths64& paths, double shrink) {
  const double width = 2.0 * shrink - kShrinkRoundingUnits;
  const double radius = std::max(0.0, shrink - kShrinkRoundingUnits);
  const double leastArea = std::numbers::pi * radius * radius;
  const Paths64 probe = wideOuters(paths, width, leastArea);
  const auto outers = std::count_if(paths.begin(), paths.end(),
                                    [](const Path64& p) { return Clipper2Lib::Area(p) > 0.0; });
  if (static_cast<std::size_t>(outers) == probe.size()) return true;
  return !probe.empty() && !offsetPaths(probe, -shrink).empty();
}

// Clipper2 grows instead of shrinks a group without any area, so such rings must
// stay out of the offset inputs.
bool offsettable(const Path64& path) { return path.size() >= 3 && Clipper2Lib::Area(path) != 0.0; }

// The drop test of the lap loop: strictly inside one of the site's obstacles, decided
// exactly as pointInRingStrict decides it, looking only at obstacles whose box holds p.
class DropTest {
 public:
  explicit DropTest(const Environment& site) : obstacles_(rings(site)) {}
  bool drops(const Point& p) const {
    obstacles_.locate(p, places_);
    return std::any_of(places_.begin(), places_.end(),
                       [](const EdgeIndex::Place& q) { return q.inside && !q.boundary; });
  }

 private:
  static std::vector<std::vector<Point>> rings(const Environment& site) {
    std::vector<std::vector<Point>> out;
    for (const Polygon& obstacle : site.getObstacles()) out.push_back(obstacle.getPoints());
    return out;
  }
  EdgeIndex obstacles_;
  mutable std::vector<EdgeIndex::Place> places_;
};

void offsetAreaLaps(const DropTest& drop, const Environment& area, double spacing, int32_t laps,
                    double firstDistance, OffsetLaps& out, const Cancellation& cancel,
                    bool proveLeftovers = true);

}  // namespace

std::vector<Polygon> computeOffsetRings(const Environment& site, double spacing, int32_t laps,
                                        double firstDistance, const Cancellation& cancel) {
  return computeOffsetLaps(site, spacing, laps, firstDistance, cancel).rings;
}

std::vector<Polygon> OffsetLaps::firstLaps(int32_t laps) const {
  std::vector<Polygon> selected;
  for (std::size_t i = 0; i < rings.size(); ++i) {
    if (laps <= 0 || lap[i] < laps) selected.push_back(rings[i]);
  }
  return selected;
}

OffsetLaps computeOffsetLaps(const Environment& site, double spacing, int32_t laps,
                             double firstDistance, const Cancellation& cancel,
                             bool proveLeftovers) {
  OffsetLaps result;
  const DropTest drop(site);
  if (site.getMowAreas().empty()) {
    offsetAreaLaps(drop, site, spacing, laps, firstDistance, result, cancel, proveLeftovers);
    return result;
  }
  for (const Polygon& mowArea : site.getMowAreas()) {
    Polygon outline = mowArea;
    outline.setOrientation(true);
    Environment area(outline);
    const Path64 outlinePath = toPath64(area.getPerimeter().getPoints());
    for (const Polygon& obstacle : site.getObstacles()) {
      const auto& ring = area.getPerimeter().getPoints();
      if (ringInsideRing(obstacle.getPoints(), ring)) {
        area.addObstacle(obstacle);
        continue;
      }
      // Any other obstacle that meets the area, across its outline or along it from
      // inside, counts with its part inside. The whole of one reaching below the outline
      // would be the lowest path of the offset group, and Clipper2 would take the group
      // as reversed; one only touching the outline from inside would be left out, and
      // the laps would run through it.
      const Path64 hole = toPath64(obstacle.getPoints());
      if (!offsettable(hole) ||
          !boxesMeet(Clipper2Lib::GetBounds(hole), Clipper2Lib::GetBounds(outlinePath)))
        continue;
      for (const Path64& part : intersection({hole}, {outlinePath})) {
        if (Clipper2Lib::Area(part) > 0.0) area.addObstacle(Polygon(fromPath64(part)));
      }
    }
    offsetAreaLaps(drop, area, spacing, laps, firstDistance, result, cancel, proveLeftovers);
  }
  return result;
}

std::vector<Polygon> offsetAreaRings(const Environment& site, const Environment& area,
                                     double spacing, int32_t laps, double firstDistance,
                                     const Cancellation& cancel) {
  OffsetLaps result;
  offsetAreaLaps(DropTest(site), area, spacing, laps, firstDistance, result, cancel);
  return std::move(result.rings);
}

namespace {

// The lap loop for one area, appending to `out` (entries counted per area).
void offsetAreaLaps(const DropTest& drop, const Environment& area, double spacing, int32_t laps,
                    double firstDistance, OffsetLaps& out, const Cancellation& cancel,
                    bool proveLeftovers) {
  std::vector<Polygon>& result = out.rings;
  const std::size_t areaStart = result.size();
  Paths64 paths;
  Path64 outer = toPath64(area.getPerimeter().getPoints());
  if (!offsettable(outer)) return;
  paths.push_back(std::move(outer));
  for (const Polygon& obstacle : area.getObstacles()) {
    Path64 hole = toPath64(obstacle.getPoints());
    if (offsettable(hole)) paths.push_back(std::move(hole));
  }

  for (int32_t lap = 0; !paths.empty(); ++lap) {
    if (laps > 0 && lap >= laps) break;
    cancel.poll();
    const std::size_t entriesBefore = result.size();
    const double distance = lap == 0 ? firstDistance : spacing;
    Paths64 solution = offsetPaths(paths, -distance * kClipperScale);
    if (lap == 0 && solution.empty()) solution = paths;

    for (const Path64& path : solution) {
      if (path.empty()) continue;
      std::vector<Point> ring = fromPath64(path);
      ring.push_back(ring.front());
      if (drop.drops(ring.front())) continue;
      result.emplace_back(std::move(ring));
      out.lap.push_back(lap);
    }

    if (lap > 0) {
      Paths64 leftover;
      const double grow = spacing * kClipperScale;
      const double shrink = spacing * kLeftoverShrink * kClipperScale;
      if (solution.empty()) {
        leftover = paths;
      } else if (!proveLeftovers ||
                 !((leftoverProofPays(solution, grow) &&
                    leftoverKeepsNothing(paths, solution, grow, shrink, cancel)) ||
                   leftoverKeepsNothingApart(paths, solution, grow, shrink))) {
        const Paths64 grown = grow == 0.0 ? solution : offsetPaths(solution, grow);
        leftover = difference(paths, grown);
      }
      if (!leftover.empty() && mayKeepSomething(leftover, shrink)) {
        const Paths64 pieces = offsetPaths(leftover, -shrink);
        for (const Path64& piece : pieces) {
          if (piece.empty()) continue;
          std::vector<Point> outline = fromPath64(piece);
          if (drop.drops(outline.front())) continue;
          result.emplace_back(std::move(outline));
          out.lap.push_back(lap);
        }
      }
    }

    if (solution.empty()) break;
    // An offset below half an integer unit changes nothing: every further lap would
    // repeat this one exactly. If this one added nothing, neither would they.
    if (lap > 0 && solution == paths && result.size() == entriesBefore) break;
    paths = std::move(solution);
    if (result.size() - areaStart > kMaxOffsetEntries) break;
  }
}

}  // namespace

namespace detail {
bool shrinkMayLeaveSomething(const std::vector<std::vector<Point>>& integerPaths, double shrink) {
  Paths64 paths;
  for (const auto& ring : integerPaths) {
    Path64 path;
    for (const Point& p : ring)
      path.emplace_back(static_cast<int64_t>(p.x), static_cast<int64_t>(p.y));
    paths.push_back(std::move(path));
  }
  return mayKeepSomething(paths, shrink);
}
}  // namespace detail

std::vector<Polygon> selectRingsByOrientation(const std::vector<Polygon>& rings, bool holes) {
  std::vector<Polygon> selected;
  for (const Polygon& ring : rings) {
    if (ring.getPoints().empty()) continue;
    const bool outer = Clipper2Lib::Area(toPath64(ring.getPoints())) >= 0.0;
    if (outer != holes) selected.push_back(ring);
  }
  return selected;
}

}  // namespace Planner
