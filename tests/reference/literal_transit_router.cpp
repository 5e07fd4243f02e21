#include "tests/reference/literal_routing.h"

#include <algorithm>

#include "planner/geometry/tolerances.h"
#include "planner/routing/planner_log.h"

namespace Planner::Literal {
namespace {

bool consecutiveOnWire(const SearchNode& a, const WireNode& b) {
  return a.onWire && b.onWire && (a.wireIndex + 1 == b.wireIndex || b.wireIndex + 1 == a.wireIndex);
}

template <typename Nodes>
bool anyWithin(const Nodes& nodes, const Point& p) {
  return std::any_of(nodes.begin(), nodes.end(),
                     [&](const auto& n) { return distance(n.point, p) < kSamePoint; });
}

}  // namespace

std::vector<WireNode> buildTransitGraph(const Environment& environment, const Point& goal) {
  std::vector<WireNode> nodes;
  const std::vector<Point>& wire = environment.getVirtualWire().getPoints();
  for (std::size_t i = 0; i < wire.size(); ++i) nodes.push_back({wire[i], true, i});

  auto addCorner = [&](const Point& p) {
    if (!anyWithin(nodes, p)) nodes.push_back({p, false, 0});
  };
  for (const Polygon& obstacle : environment.getObstacles()) {
    for (const Point& p : obstacle.getPoints()) addCorner(p);
  }
  for (const Point& p : environment.getPerimeter().getPoints()) addCorner(p);
  nodes.push_back({goal, false, 0});
  return nodes;
}

std::size_t selectOpenNode(const std::vector<SearchNode>& open) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < open.size(); ++i) {
    if (open[i].g + open[i].h < open[best].g + open[best].h) best = i;
  }
  return best;
}

void relaxNeighbour(const SearchNode& current, const WireNode& neighbour, double multiplier,
                    const Point& goal, int32_t parentIndex, std::vector<SearchNode>& open,
                    const std::vector<SearchNode>& closed) {
  const double step = distance(current.point, neighbour.point) * multiplier;
  const double g = current.g + step;
  double h = distance(neighbour.point, goal);
  if (neighbour.onWire) {
    h *= kWireEstimateWeight;
    logWireUpdate(neighbour.wireIndex, g, step, h, h + g);
  }
  if (anyWithin(closed, neighbour.point)) return;
  for (SearchNode& entry : open) {
    if (distance(entry.point, neighbour.point) < kSamePoint) {
      if (entry.g > g) {
        entry.g = g;
        entry.h = h;
        entry.parent = parentIndex;
      }
      return;
    }
  }
  open.push_back({neighbour.point, g, h, parentIndex, neighbour.onWire, neighbour.wireIndex});
}

std::vector<Point> reconstructRoute(const SearchNode& last, const std::vector<SearchNode>& closed) {
  std::vector<Point> route{last.point};
  for (int32_t parent = last.parent; parent != -1; parent = closed[parent].parent) {
    route.push_back(closed[parent].point);
  }
  std::reverse(route.begin(), route.end());
  return route;
}

std::vector<Point> smoothRoute(const std::vector<Point>& route, const Environment& environment) {
  if (route.size() < 3) return route;
  std::vector<Point> output{route.front()};
  std::size_t i = 0;
  while (i < route.size() - 1) {
    std::size_t next = i + 1;
    for (std::size_t j = i + 2; j < route.size(); ++j) {
      if (!Literal::isSegmentClear(route[i], route[j], environment)) break;
      next = j;
    }
    output.push_back(route[next]);
    i = next;
  }
  return output;
}

std::vector<Point> findTransitRoute(const Point& position, const Point& goal,
                                    const Environment& environment,
                                    std::vector<LineString>& exploredEdges) {
  const std::vector<WireNode> nodes = Literal::buildTransitGraph(environment, goal);
  std::vector<SearchNode> open{{position, 0.0, distance(position, goal), -1, false, 0}};
  std::vector<SearchNode> closed;

  while (!open.empty()) {
    const std::size_t k = Literal::selectOpenNode(open);
    const SearchNode current = open[k];
    if (distance(current.point, goal) < kSamePoint) {
      return Literal::smoothRoute(Literal::reconstructRoute(current, closed), environment);
    }
    open.erase(open.begin() + static_cast<std::ptrdiff_t>(k));
    const auto ci = static_cast<int32_t>(closed.size());
    closed.push_back(current);

    for (const WireNode& n : nodes) {
      if (distance(n.point, current.point) < kSamePoint) continue;
      double multiplier = 1.0;
      bool passable;
      if (consecutiveOnWire(current, n)) {
        multiplier = kWireMultiplier;
        passable = true;
      } else {
        passable = Literal::isSegmentClear(current.point, n.point, environment);
      }
      if (n.onWire) logWireCheck(current.point, n.wireIndex, passable, multiplier);
      if (passable) {
        exploredEdges.emplace_back(std::vector<Point>{current.point, n.point});
        Literal::relaxNeighbour(current, n, multiplier, goal, ci, open, closed);
      }
    }
  }
  return {};
}

}  // namespace Planner::Literal
