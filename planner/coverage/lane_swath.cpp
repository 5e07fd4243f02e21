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
  return LaneSwaths(radius, capSegments, angle)(piece);
}

LaneSwaths::LaneSwaths(double radius, int capSegments, double angle)
    : cos_(std::cos(-angle)), sin_(std::sin(-angle)) {
  const double step = std::numbers::pi / (2.0 * capSegments);
  for (int k = 0; k <= 2 * capSegments; ++k) {
    const auto at = [&](double first) {
      const double t = first - k * step;
      return Offset{radius * std::cos(t), radius * std::sin(t)};
    };
    endCap_.push_back(at(std::numbers::pi / 2));
    startCap_.push_back(at(-std::numbers::pi / 2));
  }
}

Clipper2Lib::Path64 LaneSwaths::operator()(const LanePiece& piece) const {
  const Lane& l = piece.line;
  const double ax = l.x0 * cos_ - l.y0 * sin_;
  const double ay = l.x0 * sin_ + l.y0 * cos_;
  const double bx = l.x1 * cos_ - l.y1 * sin_;
  const double by = l.x1 * sin_ + l.y1 * cos_;
  const double a = std::atan2(by - ay, bx - ax);
  const double cosA = std::cos(a);
  const double sinA = std::sin(a);
  Clipper2Lib::Path64 ring;
  ring.reserve(2 * endCap_.size());
  // Around the end from the lane's left to its right, then around the start back; a flat end
  // keeps only its cap's first and last points.
  const auto cap = [&](double x, double y, const std::vector<Offset>& offsets, bool round) {
    const std::size_t last = offsets.size() - 1;
    for (std::size_t k = 0; k <= last; k += round ? 1 : last)
      ring.emplace_back(std::llround(x + cosA * offsets[k].x - sinA * offsets[k].y),
                        std::llround(y + sinA * offsets[k].x + cosA * offsets[k].y));
  };
  cap(bx, by, endCap_, piece.capEnd);
  cap(ax, ay, startCap_, piece.capStart);
  std::reverse(ring.begin(), ring.end());  // built clockwise
  return ring;
}

}  // namespace Planner
