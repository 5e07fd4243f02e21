#include "planner/geometry/edge_index.h"

#include "planner/geometry/predicates.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "planner/geometry/rtree.h"

namespace Planner {
namespace {

namespace bg = rtree::bg;
namespace bgi = rtree::bgi;

using BoxPoint = rtree::PlanePoint;
using Box = bg::model::box<BoxPoint>;
using Value = std::pair<Box, uint32_t>;  // box and position in the edge list

using Segment = bg::model::segment<BoxPoint>;

// Edge boxes are widened by this much beyond their own margin, so that a query by
// the exact segment finds every edge within the segment's margin, as long as that
// margin is not wider than this.
constexpr double kEdgeExtra = 1e-5;

}  // namespace

struct EdgeIndex::Tree {
  std::vector<RingEdge> edges;
  bgi::rtree<Value, bgi::rstar<16>> rtree;
  std::vector<Box> ringBoxes;                  // union of each ring's edge boxes
  bgi::rtree<Value, bgi::rstar<16>> ringTree;  // ring boxes and ring numbers
};

double queryMargin(double magnitude, double length) {
  // Covers the 1e-9 tolerances of the tests (absolute, and relative to a segment's
  // length) plus rounding of coordinates up to this magnitude.
  return 1e-6 + 4e-9 * length + 1e-12 * magnitude;
}

EdgeIndex::EdgeIndex() : tree_(std::make_unique<Tree>()) {}
EdgeIndex::EdgeIndex(EdgeIndex&&) noexcept = default;
EdgeIndex& EdgeIndex::operator=(EdgeIndex&&) noexcept = default;
EdgeIndex::~EdgeIndex() = default;

EdgeIndex::EdgeIndex(const std::vector<std::vector<Point>>& rings)
    : ringHasEdges_(rings.size(), 0), ringCount_(rings.size()), tree_(std::make_unique<Tree>()) {
  std::vector<Value> values;
  for (std::size_t r = 0; r < rings.size(); ++r) {
    const std::vector<Point>& ring = rings[r];
    const std::size_t n = ring.size();
    if (n < 3) continue;
    ringHasEdges_[r] = 1;
    for (std::size_t k = 0; k < n; ++k) {
      const Point& p = ring[k];
      const Point& q = ring[(k + 1) % n];
      const double len = distance(p, q);
      const double mag = std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(q.x), std::fabs(q.y)});
      const double m = queryMargin(mag, len) + kEdgeExtra;
      const Box box(BoxPoint(std::min(p.x, q.x) - m, std::min(p.y, q.y) - m),
                    BoxPoint(std::max(p.x, q.x) + m, std::max(p.y, q.y) + m));
      values.emplace_back(box, static_cast<uint32_t>(tree_->edges.size()));
      tree_->edges.push_back({p, q, static_cast<uint32_t>(r)});
    }
  }
  tree_->rtree = bgi::rtree<Value, bgi::rstar<16>>(values.begin(), values.end());
  tree_->ringBoxes.assign(rings.size(), Box());
  std::vector<Value> ringValues;
  for (std::size_t r = 0; r < rings.size(); ++r) bg::assign_inverse(tree_->ringBoxes[r]);
  for (const Value& v : values) bg::expand(tree_->ringBoxes[tree_->edges[v.second].ring], v.first);
  for (std::size_t r = 0; r < rings.size(); ++r) {
    if (ringHasEdges_[r]) ringValues.emplace_back(tree_->ringBoxes[r], static_cast<uint32_t>(r));
  }
  tree_->ringTree = bgi::rtree<Value, bgi::rstar<16>>(ringValues.begin(), ringValues.end());
}

const std::vector<RingEdge>& EdgeIndex::edges() const { return tree_->edges; }

void EdgeIndex::edgesNear(double x0, double y0, double x1, double y1,
                          std::vector<RingEdge>& out) const {
  out.clear();
  if (tree_->edges.empty()) return;
  const Box query(BoxPoint(x0, y0), BoxPoint(x1, y1));
  tree_->rtree.query(bgi::intersects(query),
                     boost::make_function_output_iterator(
                         [&](const Value& v) { out.push_back(tree_->edges[v.second]); }));
}

bool EdgeIndex::anyEdgeNear(double x0, double y0, double x1, double y1) const {
  if (tree_->edges.empty()) return false;
  const Box query(BoxPoint(x0, y0), BoxPoint(x1, y1));
  return tree_->rtree.qbegin(bgi::intersects(query)) != tree_->rtree.qend();
}

void EdgeIndex::edgesAlong(const Point& a, const Point& b, std::vector<RingEdge>& out) const {
  const double m = queryMargin(
      std::max({std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y)}), distance(a, b));
  if (m > kEdgeExtra) {
    edgesNear(std::min(a.x, b.x) - m, std::min(a.y, b.y) - m, std::max(a.x, b.x) + m,
              std::max(a.y, b.y) + m, out);
    return;
  }
  out.clear();
  if (tree_->edges.empty()) return;
  const Segment segment(BoxPoint(a.x, a.y), BoxPoint(b.x, b.y));
  tree_->rtree.query(bgi::intersects(segment),
                     boost::make_function_output_iterator(
                         [&](const Value& v) { out.push_back(tree_->edges[v.second]); }));
}

void EdgeIndex::locate(const Point& q, std::vector<Place>& out) const {
  out.clear();
  if (tree_->edges.empty()) return;
  // Only rings whose box holds q can have q inside or on them: the ray from q passes
  // through any other ring an even number of times, far from its edges.
  const BoxPoint at(q.x, q.y);
  double rayEnd = -std::numeric_limits<double>::max();
  tree_->ringTree.query(bgi::intersects(at),
                        boost::make_function_output_iterator([&](const Value& v) {
                          out.push_back({v.second, false, false});
                          rayEnd = std::max(rayEnd, bg::get<bg::max_corner, 0>(v.first));
                        }));
  if (out.empty()) return;
  const double m = queryMargin(std::max(std::fabs(q.x), std::fabs(q.y)), 0.0);
  const Box ray(BoxPoint(q.x - m, q.y - m), BoxPoint(std::max(rayEnd, q.x) + m, q.y + m));
  tree_->rtree.query(
      bgi::intersects(ray), boost::make_function_output_iterator([&](const Value& v) {
        const RingEdge& e = tree_->edges[v.second];
        auto it =
            std::find_if(out.begin(), out.end(), [&](const Place& p) { return p.ring == e.ring; });
        if (it == out.end()) return;
        // The plain scan looks at the edge from W (point k) to V (point k + 1).
        const EdgePlace place = placeAgainstEdge(q, e.p, e.q);
        it->boundary = it->boundary || place.onBoundary;
        it->inside = it->inside != place.flipsParity;
      }));
}

bool EdgeIndex::anyEdgeAlong(const Point& a, const Point& b,
                             const std::function<bool(const RingEdge&)>& hit) const {
  if (tree_->edges.empty()) return false;
  const double m = queryMargin(
      std::max({std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y)}), distance(a, b));
  const auto first = [&](auto predicate) {
    for (auto it = tree_->rtree.qbegin(predicate); it != tree_->rtree.qend(); ++it) {
      if (hit(tree_->edges[it->second])) return true;
    }
    return false;
  };
  if (m > kEdgeExtra) {
    return first(bgi::intersects(Box(BoxPoint(std::min(a.x, b.x) - m, std::min(a.y, b.y) - m),
                                     BoxPoint(std::max(a.x, b.x) + m, std::max(a.y, b.y) + m))));
  }
  return first(bgi::intersects(Segment(BoxPoint(a.x, a.y), BoxPoint(b.x, b.y))));
}

}  // namespace Planner
