#pragma once

// The planner's fixed, absolute tolerances, each named once. One line each says what it
// decides; every test and every reference strategy uses these names.
namespace Planner {

// Two positions closer than this are the same place: ring entry, graph nodes, the goal.
inline constexpr double kSamePoint = 0.001;
// Hops shorter than this are clear without a test; longer ones are tested shortened by
// this much at each end.
inline constexpr double kShortestHop = 0.01;
// A proper crossing of an obstacle edge closer than this to a shortened hop's end does
// not block it.
inline constexpr double kEndClearance = 0.001;
// Pieces of a cut hop this short or shorter are not tested.
inline constexpr double kShortestPiece = 1e-7;
// A point this close to an edge's line (cross product) is on the edge.
inline constexpr double kOnEdge = 1e-9;
// Edge parameters must lie strictly inside (kParamSlack, kParamHigh) for a proper
// crossing, and within [-kParamSlack, 1 + kParamSlack] for a cut or a scan crossing.
inline constexpr double kParamSlack = 1e-9;
inline constexpr double kParamHigh = 0.999999999;
// Two directions are parallel in the crossing test below this cross product.
inline constexpr double kParallel = 1e-10;
// Two directions are parallel in the cutting of hops below this cross product, relative
// to both lengths.
inline constexpr double kCutParallel = 1e-12;
// Scan-line pieces and collinear overlaps shorter than this are dropped or merged.
inline constexpr double kMerge = 1e-7;
// A vertex this close to a scan line (cross product) lies on it.
inline constexpr double kCollinear = 1e-9;
// The first lap runs this far inside the border it follows.
inline constexpr double kFirstLapDistance = 0.001;
// A transit step along the virtual wire costs this share of its length ...
inline constexpr double kWireMultiplier = 0.1;
// ... and the estimate from a wire point to the goal is weighted by this.
inline constexpr double kWireEstimateWeight = 0.65;

}  // namespace Planner
