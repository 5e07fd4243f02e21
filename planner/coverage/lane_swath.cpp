#include "planner/coverage/lane_swath.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Planner {

std::optional<LanePiece> laneBetween(const Lane& lane, double left, double right) {
  const double dx = lane.x1 - lane.x0;
  if (dx == 0.0) {
    if (lane.x0 < left || lane.x0 > right) return std::nullopt;
    return LanePiece{lane, true, true};
  }
  double from = (left - lane.x0) / dx;
  double to = (right - lane.x0) / dx;
  if (from > to) std::swap(from, to);
  from = std::max(from, 0.0);
  to = std::min(to, 1.0);
  if (!(from < to)) return std::nullopt;
  const double dy = lane.y1 - lane.y0;
  const auto at = [&](double t) {
    return t == 0.0   ? std::pair{lane.x0, lane.y0}
           : t == 1.0 ? std::pair{lane.x1, lane.y1}
                      : std::pair{lane.x0 + t * dx, lane.y0 + t * dy};
  };
  const auto [x0, y0] = at(from);
  const auto [x1, y1] = at(to);
  return LanePiece{{x0, y0, x1, y1}, from == 0.0, to == 1.0};
}

Clipper2Lib::Path64 laneSwath(const LanePiece& piece, double radius, int capSegments,
                              double angle) {
  const double c = std::cos(-angle);
  const double s = std::sin(-angle);
  const Lane& l = piece.line;
  const double ax = l.x0 * c - l.y0 * s;
  const double ay = l.x0 * s + l.y0 * c;
  const double bx = l.x1 * c - l.y1 * s;
  const double by = l.x1 * s + l.y1 * c;
  const double a = std::atan2(by - ay, bx - ax);
  const double cosA = std::cos(a);
  const double sinA = std::sin(a);
  const double step = std::numbers::pi / (2.0 * capSegments);
  Clipper2Lib::Path64 ring;
  ring.reserve(4 * static_cast<std::size_t>(capSegments) + 2);
  // Around the end from the lane's left to its right, then around the start back.
  const auto cap = [&](double x, double y, double first, bool round) {
    for (int k = 0; k <= 2 * capSegments; k += round ? 1 : 2 * capSegments) {
      const double t = first - k * step;
      const double ct = radius * std::cos(t);
      const double st = radius * std::sin(t);
      ring.emplace_back(std::llround(x + cosA * ct - sinA * st),
                        std::llround(y + sinA * ct + cosA * st));
    }
  };
  cap(bx, by, std::numbers::pi / 2, piece.capEnd);
  cap(ax, ay, -std::numbers::pi / 2, piece.capStart);
  std::reverse(ring.begin(), ring.end());  // built clockwise
  return ring;
}

}  // namespace Planner
