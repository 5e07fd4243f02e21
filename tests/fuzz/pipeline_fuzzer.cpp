// libFuzzer target: bytes -> site, settings and start -> the whole pipeline.
// Every input must end in a result or std::invalid_argument, without sanitizer
// reports. Values stay in ranges that keep one run short (spacing at least 1/500 of
// the site), so the fuzzer explores shapes rather than sheer size.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "planner/pipeline/path_service.h"

using namespace Planner;

namespace {

double coordinate(FuzzedDataProvider& in, double scale) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:  // exact small grid values: shared vertices, collinear points, ties
      return in.ConsumeIntegralInRange<int>(-8, 8) * scale / 8;
    case 1:
      return in.ConsumeFloatingPoint<double>();  // anything, NaN and infinities included
    default:
      return in.ConsumeFloatingPointInRange<double>(-scale, scale);
  }
}

std::vector<Point> points(FuzzedDataProvider& in, double scale, int maxCount) {
  std::vector<Point> pts;
  const int n = in.ConsumeIntegralInRange<int>(0, maxCount);
  for (int i = 0; i < n && in.remaining_bytes() > 0; ++i) {
    if (!pts.empty() && in.ConsumeIntegralInRange<int>(0, 9) == 0) {
      pts.push_back(pts[in.ConsumeIntegralInRange<std::size_t>(0, pts.size() - 1)]);  // repeat
      continue;
    }
    const double x = coordinate(in, scale);
    pts.push_back({x, coordinate(in, scale)});
  }
  return pts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const double scale = in.ConsumeFloatingPointInRange<double>(1.0, 200.0);
  Environment site{Polygon(points(in, scale, 24))};
  for (int k = in.ConsumeIntegralInRange<int>(0, 4); k > 0; --k)
    site.addObstacle(Polygon(points(in, scale, 10)));
  for (int k = in.ConsumeIntegralInRange<int>(0, 2); k > 0; --k)
    site.addMowArea(Polygon(points(in, scale, 10)));
  site.setVirtualWire(LineString(points(in, scale, 10)));
  site.setDockingWire(LineString(points(in, scale, 3)));

  PathSettings s;
  const char* patterns[] = {"lines", "squares", "rings"};
  s.pattern = patterns[in.ConsumeIntegralInRange<int>(0, 2)];
  s.offset = in.ConsumeBool() ? in.ConsumeFloatingPoint<double>()
                              : in.ConsumeFloatingPointInRange<double>(scale / 500, scale / 2);
  if (std::isfinite(s.offset) && std::fabs(s.offset) < scale / 500) s.offset = -1;  // rejected
  s.angle = in.ConsumeFloatingPointInRange<double>(-10, 10);
  s.distanceToBorder = in.ConsumeFloatingPointInRange<double>(-scale, scale / 2);
  s.mowArea = in.ConsumeBool();
  s.mowBorder = in.ConsumeBool();
  s.mowBorderCcw = in.ConsumeBool();
  s.mowExclusionsBoder = in.ConsumeBool();
  s.mowExclusionsBorderCcw = in.ConsumeBool();
  s.borderLaps =
      in.ConsumeBool() ? in.ConsumeIntegral<uint64_t>() : in.ConsumeIntegralInRange<uint64_t>(0, 4);
  s.exclusionsBorderLaps =
      in.ConsumeBool() ? in.ConsumeIntegral<uint64_t>() : in.ConsumeIntegralInRange<uint64_t>(0, 4);
  const double sx = coordinate(in, scale);
  const Point start{sx, coordinate(in, scale)};

  try {
    const auto result = PathService().computeFullTask(site, s, start);
    for (const Point& p : result.path.getPoints()) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) __builtin_trap();
    }
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
