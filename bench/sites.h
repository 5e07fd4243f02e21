#pragma once

#include <string>
#include <vector>

#include "planner/geometry/point.h"
#include "planner/site/environment.h"
#include "planner/site/path_settings.h"

// Deterministic benchmark sites.
namespace Planner::Bench {

struct Site {
  std::string name;
  Environment environment;
  PathSettings settings;
  Point start;
};

// A width x height rectangle with `vertices` boundary points whose edges are pushed
// in and out by a sine of amplitude `wiggle`, starting at the origin.
Polygon wiggledRectangle(double width, double height, int vertices, double wiggle);

// garden: 20 m x 15 m L-shape, one 2 m obstacle, offset 0.2.
Site garden();
// park: 100 m x 80 m, 200 wiggled vertices, ten 3 m obstacles, a wire, offset 0.25.
Site park();
// estate: 250 m x 200 m, 1000 wiggled vertices, forty 4 m obstacles, a wire.
Site estate(double offset = 0.3);
// A site of about `vertices` vertices in total (perimeter and 100 obstacles).
Site huge(int vertices);

// golf: a 600 m x 400 m fairway with a 5000-vertex curvy outline, 30 curvy bunkers and
// ponds of 200 vertices each, a virtual wire along its length, offset 0.3. Fewer
// vertices draw the same course more coarsely (for tests that run the literal planner).
Site golf(int outlineVertices = 5000, int bunkerVertices = 200);
// solar: a 400 m x 300 m field with 1500 piles of 1.2 m x 0.3 m in rows (30 rows of 50),
// a virtual wire between two rows, offset 0.5.
Site solar();

// recorded: a 1.9 ha park of 34 drawn vertices as a robot records its border, a point
// every 3.6 cm with a normal error of 5 mm (about 17,000 vertices), six obstacles,
// default settings; without `inset` ("recorded-edge") the lanes reach the noisy border.
Site recorded(bool inset = true);

// Adversarial sites: each must finish in bounded time or be refused up front.
// dense: a 100 m square with k x k obstacles 0.5 m wide, 2 m apart; default settings.
Site dense(int k);
// startInObstacle: 6000 lanes (a 300 m x 300 m square at 0.05 m) and a start inside a
// 2 m obstacle.
Site startInObstacle();
// longWire: the park with a virtual wire of `points` points zig-zagging across it.
Site longWire(int points);

}  // namespace Planner::Bench
