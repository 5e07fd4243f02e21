#pragma once

// Boost.Geometry's R-tree, included once for the planner's spatial indexes, with the
// plane point type they share. Private to the planner's .cpp files.

// GCC reports false maybe-uninitialized warnings inside Boost.Geometry's R-tree.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <boost/iterator/function_output_iterator.hpp>
#pragma GCC diagnostic pop

namespace Planner::rtree {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

using PlanePoint = bg::model::point<double, 2, bg::cs::cartesian>;

}  // namespace Planner::rtree
