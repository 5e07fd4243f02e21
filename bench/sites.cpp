#include "bench/sites.h"

#include <cmath>
#include <cstdint>
#include <random>

namespace Planner::Bench {
namespace {

Polygon square(double cx, double cy, double side) {
  const double h = side / 2;
  return Polygon({{cx - h, cy - h}, {cx + h, cy - h}, {cx + h, cy + h}, {cx - h, cy + h}});
}

// Obstacles of the given side on a cols x rows grid spread over the site.
void addObstacleGrid(Environment& env, double width, double height, int cols, int rows,
                     double side) {
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const double cx = width * (c + 0.5) / cols + (r % 2 ? side : -side) * 0.5;
      const double cy = height * (r + 0.5) / rows;
      env.addObstacle(square(cx, cy, side));
    }
  }
}

LineString middleWire(double width, double height, double step) {
  LineString wire;
  for (double x = 2; x <= width - 2; x += step) wire.addPoint({x, height * 0.5 + 1.7});
  return wire;
}

}  // namespace

Polygon wiggledRectangle(double width, double height, int vertices, double wiggle) {
  const double perimeter = 2 * (width + height);
  std::vector<Point> points;
  points.reserve(vertices);
  for (int i = 0; i < vertices; ++i) {
    const double s = perimeter * i / vertices;
    const double w = wiggle * std::sin(2 * M_PI * s / 7.3);
    if (s < width) {
      points.push_back({s, w});
    } else if (s < width + height) {
      points.push_back({width + w, s - width});
    } else if (s < 2 * width + height) {
      points.push_back({width - (s - width - height), height + w});
    } else {
      points.push_back({w, height - (s - 2 * width - height)});
    }
  }
  return Polygon(std::move(points));
}

Site garden() {
  Environment env(Polygon({{0, 0}, {20, 0}, {20, 8}, {11, 8}, {11, 15}, {0, 15}}));
  env.addObstacle(square(5, 5, 2));
  PathSettings s;
  s.offset = 0.2;
  return {"garden", std::move(env), s, {0.5, 0.5}};
}

Site park() {
  Environment env(wiggledRectangle(100, 80, 200, 1));
  addObstacleGrid(env, 100, 80, 5, 2, 3);
  env.setVirtualWire(middleWire(100, 80, 5));
  PathSettings s;
  s.offset = 0.25;
  return {"park", std::move(env), s, {3, 3}};
}

Site estate(double offset) {
  Environment env(wiggledRectangle(250, 200, 1000, 1));
  addObstacleGrid(env, 250, 200, 8, 5, 4);
  env.setVirtualWire(middleWire(250, 200, 5));
  PathSettings s;
  s.offset = offset;
  return {"estate", std::move(env), s, {3, 3}};
}

Site huge(int vertices) {
  const int obstacleVertices = 100 * 4;
  Environment env(wiggledRectangle(1000, 800, vertices - obstacleVertices, 1));
  addObstacleGrid(env, 1000, 800, 10, 10, 6);
  env.setVirtualWire(middleWire(1000, 800, 10));
  PathSettings s;
  s.offset = 2.0;
  return {"huge", std::move(env), s, {5, 5}};
}

namespace {

// A closed curve of n points around (cx, cy): an ellipse with radii rx, ry whose radius
// wobbles by `wobble` (relative) with `lobes` waves.
Polygon blob(double cx, double cy, double rx, double ry, int n, double wobble, int lobes,
             double phase) {
  std::vector<Point> points;
  for (int i = 0; i < n; ++i) {
    const double t = 2 * M_PI * i / n;
    const double r = 1 + wobble * std::sin(lobes * t + phase);
    points.push_back({cx + rx * r * std::cos(t), cy + ry * r * std::sin(t)});
  }
  return Polygon(std::move(points));
}

}  // namespace

Site golf(int outlineVertices, int bunkerVertices) {
  Environment env(blob(300, 200, 290, 190, outlineVertices, 0.06, 23, 0.0));
  for (int k = 0; k < 30; ++k) {
    const double cx = 80 + 440.0 * (k % 10) / 9 + 7 * std::sin(k * 1.7);
    const double cy = 90 + 110.0 * (k / 10) + 9 * std::cos(k * 2.3);
    env.addObstacle(blob(cx, cy, 6 + (k % 4), 4 + (k % 3), bunkerVertices, 0.2, 5, k * 0.7));
  }
  env.setVirtualWire(middleWire(600, 400, 10));
  PathSettings s;
  s.offset = 0.3;
  return {"golf", std::move(env), s, {20, 200}};
}

Site solar() {
  Environment env(Polygon({{0, 0}, {400, 0}, {400, 300}, {0, 300}}));
  for (int row = 0; row < 30; ++row) {
    for (int col = 0; col < 50; ++col) {
      const double x = 20 + 7.2 * col, y = 10 + 9.5 * row;
      env.addObstacle(Polygon({{x, y}, {x + 1.2, y}, {x + 1.2, y + 0.3}, {x, y + 0.3}}));
    }
  }
  LineString wire;
  for (double x = 5; x <= 395; x += 10) wire.addPoint({x, 152.4});
  env.setVirtualWire(wire);
  PathSettings s;
  s.offset = 0.5;
  return {"solar", std::move(env), s, {2, 2}};
}

Site dense(int k) {
  Environment env(Polygon({{0, 0}, {100, 0}, {100, 100}, {0, 100}}));
  for (int r = 0; r < k; ++r) {
    for (int c = 0; c < k; ++c) env.addObstacle(square(1.25 + 2.0 * c, 1.25 + 2.0 * r, 0.5));
  }
  return {"dense-" + std::to_string(k * k), std::move(env), PathSettings(), {0.1, 0.1}};
}

Site startInObstacle() {
  Environment env(Polygon({{0, 0}, {300, 0}, {300, 300}, {0, 300}}));
  env.addObstacle(square(150, 150, 2));
  PathSettings s;
  s.offset = 0.05;
  s.distanceToBorder = 0.0;
  return {"start-in-obstacle", std::move(env), s, {150, 150}};
}

Site longWire(int points) {
  Site site = park();
  LineString wire;
  for (int i = 0; i < points; ++i) {
    const double t = static_cast<double>(i) / points;
    wire.addPoint({5 + 90 * t, 40 + 30 * std::sin(t * 400)});
  }
  site.environment.setVirtualWire(wire);
  site.name = "wire-" + std::to_string(points);
  return site;
}

namespace {

// A border as a robot records it while driving: points every `step` along the ring,
// each off by a normal error of `noise` in x and y (Box-Muller over a fixed-seed
// Mersenne twister, so every machine draws the same points).
Polygon recordedRing(const std::vector<Point>& drawn, double step, double noise) {
  std::mt19937_64 rng(20261209);
  auto uniform = [&] { return (static_cast<double>(rng() >> 11) + 0.5) * 0x1p-53; };
  auto normal = [&] {
    return std::sqrt(-2 * std::log(uniform())) * std::cos(2 * M_PI * uniform()) * noise;
  };
  std::vector<Point> points;
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const Point& a = drawn[i];
    const Point& b = drawn[(i + 1) % drawn.size()];
    const int k = std::max(1, static_cast<int>(std::hypot(b.x - a.x, b.y - a.y) / step));
    for (int j = 0; j < k; ++j) {
      const double t = static_cast<double>(j) / k;
      const double nx = normal(), ny = normal();
      points.push_back({a.x + (b.x - a.x) * t + nx, a.y + (b.y - a.y) * t + ny});
    }
  }
  return Polygon(std::move(points));
}

}  // namespace

Site recorded(bool inset) {
  std::vector<Point> drawn;
  for (int i = 0; i < 34; ++i) {
    const double t = 2 * M_PI * i / 34;
    const double r =
        1 + 0.1 * std::sin(3 * t) + 0.07 * std::cos(5 * t + 1) + 0.12 * std::sin(9 * t);
    drawn.push_back({95 * r * std::cos(t) + 95, 65 * r * std::sin(t) + 70});
  }
  Environment env(recordedRing(drawn, 0.036, 0.005));
  const double a = 0.3, c = std::cos(a), s = std::sin(a);
  std::vector<Point> shed;
  for (auto [x, y] : {std::pair{-10.0, -7.0}, {10.0, -7.0}, {10.0, 7.0}, {-10.0, 7.0}}) {
    shed.push_back({75 + c * x - s * y, 70 + s * x + c * y});
  }
  env.addObstacle(Polygon(std::move(shed)));
  env.addObstacle(blob(125, 80, 8, 8, 14, 0, 1, 0));
  env.addObstacle(blob(55, 40, 2.5, 2.5, 12, 0, 1, 0));
  env.addObstacle(blob(140, 50, 2.5, 2.5, 12, 0, 1, 0));
  env.addObstacle(square(100, 110, 2));
  env.addObstacle(blob(45, 90, 5, 5, 10, 0, 1, 0));
  PathSettings settings;
  if (!inset) settings.distanceToBorder = 0.0;
  return {inset ? "recorded" : "recorded-edge", std::move(env), settings, drawn[0]};
}

}  // namespace Planner::Bench
