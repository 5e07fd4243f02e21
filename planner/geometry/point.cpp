#include "planner/geometry/point.h"

#include <cstdio>

namespace Planner {

std::string Point::toString() const {
  // "%f" of a double needs at most 309 digits before the point, six after it,
  // a sign and the separators.
  char buffer[2 * 320 + 8];
  const int n = std::snprintf(buffer, sizeof buffer, "(%f, %f)", x, y);
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

}  // namespace Planner
