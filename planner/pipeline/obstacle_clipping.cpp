#include "planner/pipeline/obstacle_clipping.h"

#include <clipper2/clipper.engine.h>

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "planner/geometry/clipper_bridge.h"
#include "planner/geometry/edge_index.h"

namespace Planner {
namespace {

using Clipper2Lib::Path64;
using Clipper2Lib::Paths64;

bool hasArea(const Path64& path) { return path.size() >= 3 && Clipper2Lib::Area(path) != 0.0; }

double totalArea(const Paths64& paths) {
  double sum = 0.0;
  for (const Path64& p : paths) sum += Clipper2Lib::Area(p);
  return sum;
}

// True when no perimeter edge comes near the obstacle's box and one of its points is
// inside: then all of it is inside, and no Clipper2 run is needed.
bool clearlyInside(const Polygon& obstacle, const EdgeIndex& perimeterEdges,
                   std::vector<RingEdge>& near, std::vector<EdgeIndex::Place>& places) {
  const auto& pts = obstacle.getPoints();
  double x0 = pts[0].x, y0 = pts[0].y, x1 = x0, y1 = y0;
  for (const Point& p : pts) {
    x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  }
  near.clear();
  perimeterEdges.edgesNear(x0, y0, x1, y1, near);
  if (!near.empty()) return false;
  perimeterEdges.locate(pts[0], places);
  return !places.empty() && !places[0].boundary && places[0].inside;
}

}  // namespace

bool clipObstaclesToPerimeter(Environment& site, const Cancellation& cancel) {
  const Path64 perimeter = toPath64(site.getPerimeter().getPoints());
  if (!hasArea(perimeter)) return false;
  const double perimeterArea = std::fabs(Clipper2Lib::Area(perimeter));
  const EdgeIndex perimeterEdges({site.getPerimeter().getPoints()});
  std::vector<RingEdge> near;
  std::vector<EdgeIndex::Place> places;

  // Per obstacle: nothing when it stays as given, else its replacement rings.
  std::vector<std::optional<std::vector<Polygon>>> replaced(site.getObstacles().size());
  bool changed = false;
  bool covered = false;
  for (std::size_t i = 0; i < site.getObstacles().size(); ++i) {
    cancel.poll();
    const Polygon& obstacle = site.getObstacles()[i];
    const Path64 path = toPath64(obstacle.getPoints());
    if (!hasArea(path) || clearlyInside(obstacle, perimeterEdges, near, places)) {
      continue;
    }
    Clipper2Lib::Clipper64 clipper;
    clipper.AddSubject({path});
    clipper.AddClip({perimeter});
    Paths64 parts;
    clipper.Execute(Clipper2Lib::ClipType::Intersection, Clipper2Lib::FillRule::NonZero, parts);
    if (std::fabs(totalArea(parts)) == std::fabs(Clipper2Lib::Area(path))) continue;
    std::vector<Polygon> rings;
    for (const Path64& part : parts) {
      if (Clipper2Lib::Area(part) <= 0.0) continue;  // a hole of the intersection
      covered = covered || Clipper2Lib::Area(part) >= perimeterArea;
      Polygon ring(fromPath64(part));
      ring.setOrientation(false);
      rings.push_back(std::move(ring));
    }
    replaced[i] = std::move(rings);
    changed = true;
  }
  if (!changed) return false;

  std::vector<Polygon> clipped;
  for (std::size_t i = 0; i < replaced.size(); ++i) {
    if (!replaced[i]) {
      clipped.push_back(site.getObstacles()[i]);
      continue;
    }
    for (const Polygon& ring : *replaced[i]) clipped.push_back(ring);
  }
  replaceObstacles(site, clipped);
  return covered;
}

void replaceObstacles(Environment& site, const std::vector<Polygon>& obstacles) {
  Environment replaced(site.getPerimeter());
  for (const Polygon& obstacle : obstacles) replaced.addObstacle(obstacle);
  for (const Polygon& area : site.getMowAreas()) replaced.addMowArea(area);
  replaced.setVirtualWire(site.getVirtualWire());
  replaced.setDockingWire(site.getDockingWire());
  site = std::move(replaced);
}

}  // namespace Planner
