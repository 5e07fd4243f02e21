#include "planner/coverage/strip_cut.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace Planner {
namespace {

using Clipper2Lib::Path64;
using Clipper2Lib::Point64;

// Where the segment a-b crosses the vertical line at x, worked from its left end so that both
// strips sharing the line get the same point.
Point64 crossing(Point64 a, Point64 b, std::int64_t x) {
  if (b.x < a.x) std::swap(a, b);
  const long double share = static_cast<long double>(x - a.x) / static_cast<long double>(b.x - a.x);
  return {x, a.y + static_cast<std::int64_t>(
                       std::llround(share * static_cast<long double>(b.y - a.y)))};
}

// The ring's part on one side of the line at x (keep: x' >= x, or x' <= x), with what lies
// beyond replaced by stretches along the line: the windings on the kept side do not change.
Path64 halfClip(const Path64& ring, std::int64_t x, bool above) {
  const auto kept = [&](const Point64& p) { return above ? p.x >= x : p.x <= x; };
  Path64 out;
  out.reserve(ring.size() + 4);
  for (std::size_t k = 0; k < ring.size(); ++k) {
    const Point64& p = ring[k == 0 ? ring.size() - 1 : k - 1];
    const Point64& q = ring[k];
    if (kept(q)) {
      if (!kept(p)) out.push_back(crossing(p, q, x));
      out.push_back(q);
    } else if (kept(p)) {
      out.push_back(crossing(p, q, x));
    }
  }
  return out;
}

}  // namespace

void StripCut::add(const Path64& ring) {
  Path64 cut = halfClip(halfClip(ring, left_, true), right_, false);
  if (cut.size() < 3) return;  // no area inside
  const std::size_t n = cut.size();
  // 0 for the left side, 1 for the right, -1 when the edge from k to k + 1 is on neither.
  const auto side = [&](std::size_t k) {
    const Point64& p = cut[k];
    const Point64& q = cut[(k + 1) % n];
    if (p.x == q.x && p.x == left_) return 0;
    if (p.x == q.x && p.x == right_) return 1;
    return -1;
  };
  std::size_t start = n;
  for (std::size_t k = 0; k < n && start == n; ++k)
    if (side(k) >= 0) start = (k + 1) % n;
  if (start == n) {
    whole_.push_back(std::move(cut));
    return;
  }
  // Chains run between edges along the sides, which are left out: the ends of the chains
  // alone decide what the sides must carry.
  const std::size_t index = cut_.size();
  for (std::size_t done = 0; done < n;) {
    const std::size_t first = (start + done) % n;
    std::size_t count = 1;
    while (side((first + count - 1) % n) < 0) ++count;
    done += count;
    const std::size_t last = (first + count - 1) % n;
    const int from = side((first + n - 1) % n);
    const int to = side(last);
    // A lone point where the ring turns back along a side starts and ends nothing.
    if (count == 1 && from == to) continue;
    chains_.push_back({index, first, count});
    ends_[from].push_back({cut[first].y, false, chains_.size() - 1});
    ends_[to].push_back({cut[last].y, true, chains_.size() - 1});
  }
  cut_.push_back(std::move(cut));
}

Clipper2Lib::Paths64 StripCut::rings() && {
  // Along each side, every chain that leaves the strip is joined to a chain that enters it.
  // Going down the side, a chain end is paired with the nearest unpaired one of the other
  // kind above it: the unpaired ones are then all of one kind, so no two joins run along the
  // same stretch of side the opposite ways, and each stretch is crossed by no more joins than
  // the windings beside it ask for.
  std::vector<std::size_t> next(chains_.size(), chains_.size());
  bool paired = true;
  for (auto& ends : ends_) {
    std::sort(ends.begin(), ends.end(), [](const End& a, const End& b) {
      return a.y != b.y ? a.y > b.y : a.chain < b.chain;
    });
    std::vector<const End*> open;
    const auto join = [&](const End& end) {
      if (!open.empty() && open.back()->last != end.last) {
        const End& other = *open.back();
        open.pop_back();
        if (end.last)
          next[end.chain] = other.chain;
        else
          next[other.chain] = end.chain;
      } else {
        open.push_back(&end);
      }
    };
    for (std::size_t k = 0; k < ends.size();) {
      std::size_t stop = k;
      while (stop < ends.size() && ends[stop].y == ends[k].y) ++stop;
      // At one height, the ends that pair with the open ones go first.
      const bool lastFirst = !open.empty() && !open.back()->last;
      for (const bool last : {lastFirst, !lastFirst})
        for (std::size_t j = k; j < stop; ++j)
          if (ends[j].last == last) join(ends[j]);
      k = stop;
    }
    paired = paired && open.empty();
  }
  Clipper2Lib::Paths64 out = std::move(whole_);
  if (!paired) {
    // Each ring's ends pair up along each side, so this does not happen; the rings closed
    // on their own would still be right.
    for (auto& cut : cut_) out.push_back(std::move(cut));
    return out;
  }
  std::vector<bool> used(chains_.size(), false);
  for (std::size_t c = 0; c < chains_.size(); ++c) {
    if (used[c]) continue;
    Path64 ring;
    for (std::size_t k = c; !used[k]; k = next[k]) {
      used[k] = true;
      const Chain& chain = chains_[k];
      const Path64& from = cut_[chain.ring];
      for (std::size_t j = 0; j < chain.count; ++j)
        ring.push_back(from[(chain.first + j) % from.size()]);
    }
    if (ring.size() >= 3) out.push_back(std::move(ring));
  }
  return out;
}

}  // namespace Planner
