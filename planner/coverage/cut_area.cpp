#include "planner/coverage/cut_area.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <future>
#include <limits>
#include <numbers>
#include <numeric>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>

#include <clipper2/clipper.h>

#include "planner/coverage/strip_cut.h"

namespace Planner {
namespace {

using Clipper2Lib::FillRule;
using Clipper2Lib::Paths64;

// The most strips there are.
constexpr std::size_t kMaxStrips = 64;
// How far past a strip's sides its lanes are cut (integer units): more than rounding moves a
// point, however often a lane is turned.
constexpr double kCutMargin = 64.0;

// The input as rings whose winding counts how many polygons cover a point: outer rings
// positive, holes negative.
struct FamilyRings {
  Paths64 rings;   // as they lie
  Paths64 turned;  // already turned by -direction
  double direction = 0.0;
};

struct Windings {
  std::vector<FamilyRings> families;
  Paths64 mowable;
  Paths64 skipped;
  // The strip measured, when the families reach past it.
  std::optional<Clipper2Lib::Rect64> strip;
};

Paths64 windingRings(std::vector<Polygon64>&& polygons) {
  Paths64 out;
  for (Polygon64& polygon : polygons) {
    for (std::size_t k = 0; k < polygon.size(); ++k) {
      if (polygon[k].size() < 3) continue;
      out.push_back(std::move(polygon[k]));
      if ((Clipper2Lib::Area(out.back()) > 0) != (k == 0))
        std::reverse(out.back().begin(), out.back().end());
    }
  }
  return out;
}

// Big sites hand millions of points from step to step: rings that are done with are moved.
void append(Paths64& to, Paths64&& from) {
  to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

// A ring around every path, running the negative way: added to paths it lowers every
// winding count inside by one, so "positive" then means "covered twice or more".
Clipper2Lib::Path64 negativeFrame(const Paths64& paths) {
  Clipper2Lib::Rect64 box = Clipper2Lib::GetBounds(paths);
  return {{box.left - 1, box.top - 1},
          {box.left - 1, box.bottom + 1},
          {box.right + 1, box.bottom + 1},
          {box.right + 1, box.top - 1}};
}

// The paths turned by `angle` radians about the origin, rounded to the grid. Quarter turns
// are exact: lanes that touch still touch, and their union is one piece, not thousands.
Paths64 turned(Paths64 paths, double angle) {
  const double quarters = std::round(angle / (std::numbers::pi / 2));
  if (std::abs(angle - quarters * (std::numbers::pi / 2)) < 1e-12) {
    const int q = static_cast<int>(std::fmod(quarters, 4.0) + 4.0) % 4;
    for (auto& path : paths)
      for (auto& p : path) {
        if (q == 1) p = {-p.y, p.x};
        if (q == 2) p = {-p.x, -p.y};
        if (q == 3) p = {p.y, -p.x};
      }
    return paths;
  }
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  for (auto& path : paths) {
    for (auto& p : path) {
      const double x = static_cast<double>(p.x);
      const double y = static_cast<double>(p.y);
      p = {std::llround(x * c - y * s), std::llround(x * s + y * c)};
    }
  }
  return paths;
}

// What Clipper2's sweep pays to insert the rings' edges, in y: each ring's edges are put in
// the list of edges a horizontal line meets by walking it, so each ring costs the rings whose
// height spans its lowest point (`across` counts in x, as after a quarter turn).
std::size_t insertionWalk(const Paths64& rings, bool across) {
  std::vector<std::int64_t> lows;
  std::vector<std::int64_t> highs;
  lows.reserve(rings.size());
  highs.reserve(rings.size());
  for (const auto& ring : rings) {
    const Clipper2Lib::Rect64 box = Clipper2Lib::GetBounds(ring);
    lows.push_back(across ? box.left : box.top);
    highs.push_back(across ? box.right : box.bottom);
  }
  std::sort(lows.begin(), lows.end());
  std::sort(highs.begin(), highs.end());
  std::size_t walk = 0;
  std::size_t ended = 0;
  for (std::size_t k = 0; k < lows.size(); ++k) {
    while (ended < highs.size() && highs[ended] <= lows[k]) ++ended;
    walk += k - std::min(k, ended);
  }
  return walk;
}

// Rows that span a strip whole, as one rectangle each run of them that touch end to end: the
// swaths of a family's lanes cut at both of the strip's sides are rectangles of one width, and
// Clipper2 would join them one row at a time. Only rectangles that run positive, share their
// left and right sides and meet exactly are joined, so no winding changes anywhere; all else
// is kept as it is.
Paths64 joinedRows(Paths64 rings) {
  struct Row {
    std::int64_t left, right, low, high;
  };
  std::vector<Row> rows;
  Paths64 out;
  for (auto& ring : rings) {
    const Clipper2Lib::Rect64 box = Clipper2Lib::GetBounds(ring);
    const bool rectangle =
        ring.size() == 4 && Clipper2Lib::Area(ring) > 0 &&
        std::all_of(ring.begin(), ring.end(), [&](const auto& p) {
          return (p.x == box.left || p.x == box.right) && (p.y == box.top || p.y == box.bottom);
        });
    if (rectangle && box.left < box.right && box.top < box.bottom)
      rows.push_back({box.left, box.right, box.top, box.bottom});
    else
      out.push_back(std::move(ring));
  }
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    return std::tie(a.left, a.right, a.low, a.high) < std::tie(b.left, b.right, b.low, b.high);
  });
  const auto emit = [&](const Row& r) {
    Clipper2Lib::Path64 ring{
        {r.left, r.low}, {r.right, r.low}, {r.right, r.high}, {r.left, r.high}};
    if (Clipper2Lib::Area(ring) < 0) std::reverse(ring.begin(), ring.end());
    out.push_back(std::move(ring));
  };
  for (std::size_t k = 0; k < rows.size();) {
    Row joined = rows[k++];
    while (k < rows.size() && rows[k].left == joined.left && rows[k].right == joined.right &&
           rows[k].low == joined.high)
      joined.high = rows[k++].high;
    emit(joined);
  }
  return out;
}

// Rings merged a few hundred at a time, in the order of their lowest points, then together:
// where rows of swaths touch along x, Clipper2 joins each row to the rows merged before it by
// walking them, and slows with the square of the rows. Only rings that all run positive (no
// holes) may be split up so.
Paths64 merged(const Paths64& rings) {
  constexpr std::size_t kGroup = 400;
  const bool holes = std::any_of(rings.begin(), rings.end(),
                                 [](const auto& ring) { return Clipper2Lib::Area(ring) < 0; });
  if (rings.size() <= 2 * kGroup || holes) return Clipper2Lib::Union(rings, FillRule::NonZero);
  std::vector<std::pair<std::int64_t, std::size_t>> order;
  order.reserve(rings.size());
  for (std::size_t k = 0; k < rings.size(); ++k)
    order.emplace_back(Clipper2Lib::GetBounds(rings[k]).top, k);
  std::sort(order.begin(), order.end());
  Paths64 groups;
  for (std::size_t start = 0; start < order.size(); start += kGroup) {
    Paths64 group;
    for (std::size_t k = start; k < std::min(order.size(), start + kGroup); ++k)
      group.push_back(rings[order[k].second]);
    append(groups, Clipper2Lib::Union(group, FillRule::NonZero));
  }
  return Clipper2Lib::Union(groups, FillRule::NonZero);
}

// Rings with their boxes, so that a strip takes most of them whole or leaves them.
struct BoxedRings {
  explicit BoxedRings(Paths64 given) : rings(std::move(given)) {
    boxes.reserve(rings.size());
    for (const auto& ring : rings) boxes.push_back(Clipper2Lib::GetBounds(ring));
  }
  Paths64 rings;
  std::vector<Clipper2Lib::Rect64> boxes;
};

// The rings' parts inside `strip` (all of its height), with the windings they give there.
Paths64 clipped(const BoxedRings& boxed, const Clipper2Lib::Rect64& strip) {
  Paths64 out;
  StripCut cut(strip.left, strip.right);
  for (std::size_t k = 0; k < boxed.rings.size(); ++k) {
    const Clipper2Lib::Rect64& box = boxed.boxes[k];
    if (box.right <= strip.left || box.left >= strip.right) continue;
    if (box.left >= strip.left && box.right <= strip.right)
      out.push_back(boxed.rings[k]);
    else
      cut.add(boxed.rings[k]);
  }
  append(out, std::move(cut).rings());
  return out;
}

CutAreas measureWindings(Windings input, double negligibleArea) {
  CutAreas result;
  // Every family turned the way its lanes run. Lanes turned to run along x meet few others
  // on a horizontal line, but short swaths lined up one after another along their own way
  // (hops along a border) meet them all: those run along y instead. Quarter turns are exact
  // either way.
  struct Turned {
    Paths64 rings;
    double angle;  // the rings are turned by -angle
    double area;   // the swaths' areas added up
  };
  std::vector<Turned> families;
  std::size_t most = 0;  // points of the family with the most
  double sweepAngle = 0.0;
  for (auto& [swaths, turnedLanes, direction] : input.families) {
    if (swaths.empty() && turnedLanes.empty()) continue;
    Paths64 rings = turned(std::move(swaths), -direction);
    append(rings, std::move(turnedLanes));
    std::size_t points = 0;
    for (const auto& ring : rings) points += ring.size();
    const double area = Clipper2Lib::Area(rings);
    // Rows joined first: a strip cuts each lane of the family it is cut across into one, and
    // the choice of the way to sweep need not look at every one of them.
    rings = joinedRows(std::move(rings));
    const double quarter =
        insertionWalk(rings, true) < insertionWalk(rings, false) ? std::numbers::pi / 2 : 0.0;
    if (quarter != 0.0) rings = joinedRows(turned(std::move(rings), -quarter));
    // The rest is swept the way the biggest family lies: in any other way its lanes' caps
    // along a border, rounded apart, would each start a sweep line that meets all the others.
    if (points > most) {
      most = points;
      sweepAngle = direction + quarter;
    }
    families.push_back({std::move(rings), direction + quarter, area});
  }
  // Every family's union and twice-covered part, each with winding one inside and turned the
  // sweep's way. A point is mowed twice when two unions cover it or one twice-covered part
  // does: when the sum of both windings over all families is two or more.
  Paths64 unions;
  Paths64 twice;      // the families' twice-covered parts
  int coverings = 0;  // families that cover something
  for (auto& [rings, angle, swathArea] : families) {
    // Turned the sweep's way; in the strip's own, cut where the strip ends: the lanes' cut
    // ends past it have a point for every lane, which the sweeps to come need not meet.
    const auto toSweep = [&](Paths64 paths) {
      paths = turned(std::move(paths), angle - sweepAngle);
      if (!input.strip || sweepAngle != 0.0) return paths;
      const Clipper2Lib::Rect64 cut{input.strip->left - 1, input.strip->top, input.strip->right + 1,
                                    input.strip->bottom};
      return clipped(BoxedRings(std::move(paths)), cut);
    };
    Paths64 familyUnion = merged(rings);
    // The swaths' areas add up to the union's plus at least the twice-covered part's: when
    // they add up to the union's, nothing measurable is covered twice.
    if (swathArea - Clipper2Lib::Area(familyUnion) > negligibleArea) {
      rings.push_back(negativeFrame(rings));
      append(twice, toSweep(Clipper2Lib::Union(rings, FillRule::Positive)));
    }
    if (!familyUnion.empty()) ++coverings;
    append(unions, toSweep(std::move(familyUnion)));
  }
  if (input.mowable.empty()) return result;
  const Paths64 mowableArea = turned(std::move(input.mowable), -sweepAngle);
  // What is mowed is what is mowable less what is not: one sweep gives both.
  const double mowable = Clipper2Lib::Area(mowableArea);
  result.uncovered = Clipper2Lib::Difference(mowableArea, unions, FillRule::NonZero);
  result.covered = mowable - Clipper2Lib::Area(result.uncovered);
  result.uncovered = turned(std::move(result.uncovered), sweepAngle);
  result.coveredOrSkipped = result.covered;
  if (!input.skipped.empty()) {
    Paths64 either = unions;
    append(either, turned(std::move(input.skipped), -sweepAngle));
    result.coveredOrSkipped = mowable - Clipper2Lib::Area(Clipper2Lib::Difference(
                                            mowableArea, either, FillRule::NonZero));
  }
  if (coverings > 1) {
    Paths64 windings = std::move(twice);
    append(windings, std::move(unions));
    windings.push_back(negativeFrame(windings));
    result.overlap =
        Clipper2Lib::Area(Clipper2Lib::Intersect(windings, mowableArea, FillRule::Positive));
  } else if (!twice.empty()) {
    // One family alone mows twice only where its own swaths overlap.
    result.overlap =
        Clipper2Lib::Area(Clipper2Lib::Intersect(twice, mowableArea, FillRule::NonZero));
  }
  return result;
}

}  // namespace

// Clipper2's sweep keeps the edges a horizontal line meets in a list; where swaths nest
// (rings, laps) a line meets thousands, and the sweep slows with the square of them. Cut in
// vertical strips, each sweep meets a strip's worth, and every figure adds up strip by strip.
CutAreas measureCut(CutInput input) {
  // Everything is measured turned the way the family with the longest lanes in all runs: the
  // strips then cut its lanes square across, all at one x, and their cut ends line up. (Not
  // the family with the most lanes: hops along a slanted border can outnumber the lanes, and
  // turned their way every lane would lie askew.)
  double frame = 0.0;
  double longest = 0.0;
  for (const SwathFamily& family : input.families) {
    double length = 0.0;
    for (const Lane& lane : family.lanes)
      length += std::hypot(lane.x1 - lane.x0, lane.y1 - lane.y0);
    if (length > longest) {
      longest = length;
      frame = family.direction;
    }
  }
  const double c = std::cos(-frame);
  const double s = std::sin(-frame);
  for (SwathFamily& family : input.families) {
    for (Lane& lane : family.lanes)
      lane = {lane.x0 * c - lane.y0 * s, lane.x0 * s + lane.y0 * c, lane.x1 * c - lane.y1 * s,
              lane.x1 * s + lane.y1 * c};
    // Without lanes, a family's way is only the way it is swept.
    family.direction = family.lanes.empty() ? 0.0 : family.direction - frame;
  }
  Windings whole{{},
                 turned(windingRings(std::move(input.mowable)), -frame),
                 turned(windingRings(std::move(input.skipped)), -frame),
                 {}};
  std::size_t points = 0;
  for (SwathFamily& family : input.families) {
    whole.families.push_back(
        {turned(windingRings(std::move(family.swaths)), -frame), {}, family.direction});
    for (const auto& ring : whole.families.back().rings) points += ring.size();
    points += family.lanes.size() * (4 * static_cast<std::size_t>(input.capSegments) + 2);
  }
  // The swaths of the family's lanes `which` with left <= x <= right, turned the family's way.
  const auto laneRings = [&](const SwathFamily& family, const std::vector<std::size_t>& which,
                             double left, double right) {
    Paths64 out;
    const LaneSwaths swath(input.laneRadius, input.capSegments, family.direction);
    for (const std::size_t k : which)
      if (const auto piece = laneBetween(family.lanes[k], left, right))
        out.push_back(swath(*piece));
    return out;
  };
  const std::size_t strips = std::clamp<std::size_t>(
      points / std::max<std::size_t>(input.pointsPerStrip, 1), 1, kMaxStrips);
  if (strips == 1 || whole.mowable.empty()) {
    constexpr double kAll = std::numeric_limits<double>::infinity();
    for (std::size_t f = 0; f < whole.families.size(); ++f) {
      std::vector<std::size_t> all(input.families[f].lanes.size());
      std::iota(all.begin(), all.end(), 0);
      whole.families[f].turned = laneRings(input.families[f], all, -kAll, kAll);
    }
    CutAreas result = measureWindings(std::move(whole), input.negligibleArea);
    result.uncovered = turned(std::move(result.uncovered), frame);
    return result;
  }
  const Clipper2Lib::Rect64 box = Clipper2Lib::GetBounds(whole.mowable);
  const auto edge = [&](std::size_t k) {
    if (k == strips) return box.right;
    return box.left +
           static_cast<std::int64_t>(static_cast<double>(box.right - box.left) *
                                     static_cast<double>(k) / static_cast<double>(strips));
  };
  const BoxedRings mowable(std::move(whole.mowable));
  const BoxedRings skipped(std::move(whole.skipped));
  std::vector<BoxedRings> families;
  for (auto& family : whole.families) families.emplace_back(std::move(family.rings));
  // Lanes are cut a little beyond the strip, with flat ends there: their swaths are whole
  // inside it, and their cut ends, wherever rounding leaves them, lie outside what it measures.
  const double reach = input.laneRadius + kCutMargin;
  std::vector<double> lefts(strips);
  std::vector<double> rights(strips);
  for (std::size_t k = 0; k < strips; ++k) {
    lefts[k] = static_cast<double>(edge(k)) - reach;
    rights[k] = static_cast<double>(edge(k + 1)) + reach;
  }
  // Per family and strip, the lanes that reach into what the strip cuts, in their order: a
  // strip then looks only at its own.
  std::vector<std::vector<std::vector<std::size_t>>> reaching(
      families.size(), std::vector<std::vector<std::size_t>>(strips));
  for (std::size_t f = 0; f < families.size(); ++f) {
    const std::vector<Lane>& lanes = input.families[f].lanes;
    for (std::size_t n = 0; n < lanes.size(); ++n) {
      const double low = std::min(lanes[n].x0, lanes[n].x1);
      const double high = std::max(lanes[n].x0, lanes[n].x1);
      for (auto k = static_cast<std::size_t>(std::lower_bound(rights.begin(), rights.end(), low) -
                                             rights.begin());
           k < strips && lefts[k] <= high; ++k)
        reaching[f][k].push_back(n);
    }
  }
  // Strips are measured on every processor, each worker taking the next one left (strips
  // cost unequal times); the figures are added in strip order, so they do not depend on the
  // number of workers.
  std::vector<CutAreas> parts(strips);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t k = next++; k < strips; k = next++) {
      const Clipper2Lib::Rect64 strip{edge(k), box.top - 1, edge(k + 1), box.bottom + 1};
      Windings part{{}, clipped(mowable, strip), clipped(skipped, strip), strip};
      for (std::size_t f = 0; f < families.size(); ++f)
        part.families.push_back({clipped(families[f], strip),
                                 laneRings(input.families[f], reaching[f][k], lefts[k], rights[k]),
                                 whole.families[f].direction});
      // What a family may leave uncounted is shared among the strips.
      parts[k] =
          measureWindings(std::move(part), input.negligibleArea / static_cast<double>(strips));
    }
  };
  const std::size_t workers =
      std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, strips);
  std::vector<std::future<void>> running;
  for (std::size_t w = 1; w < workers; ++w) running.push_back(std::async(std::launch::async, work));
  work();
  for (auto& worker : running) worker.get();
  CutAreas total;
  for (CutAreas& areas : parts) {
    total.covered += areas.covered;
    total.overlap += areas.overlap;
    total.coveredOrSkipped += areas.coveredOrSkipped;
    append(total.uncovered, std::move(areas.uncovered));
  }
  total.uncovered = turned(std::move(total.uncovered), frame);
  return total;
}

}  // namespace Planner
