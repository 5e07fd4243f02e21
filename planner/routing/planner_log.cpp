#include "planner/routing/planner_log.h"

#include <iostream>
#include <sstream>
#include <string>

#ifndef SWATHOR_PLANNER_LOG_DEFAULT
#define SWATHOR_PLANNER_LOG_DEFAULT false
#endif

namespace Planner {

bool plannerLogEnabled = SWATHOR_PLANNER_LOG_DEFAULT;

namespace {

// Formats the pieces with a fresh stream (6 significant digits, general notation)
// and writes prefix, text and newline as one piece, then flushes.
template <typename... Pieces>
void writeLine(const Pieces&... pieces) {
  if (!plannerLogEnabled) return;
  std::ostringstream line;
  line << "PathPlanner: ";
  (line << ... << pieces);
  line << '\n';
  std::cout << line.str() << std::flush;
}

}  // namespace

void logPosition(const Point& position) {
  writeLine("--- Bin bei Pos (", position.x, "|", position.y, ") ---");
}

void logDecision(int32_t sliceIndex, double distance, bool reverse) {
  writeLine("Entscheidung: Gehe zu Slice #", sliceIndex, " (Dist: ", distance,
            ", Reverse: ", reverse ? "Ja" : "Nein", ")");
}

void logSkip(int32_t sliceIndex) {
  writeLine("WARN: No path found to slice ", sliceIndex, ". Skipping.");
}

void logWireCheck(const Point& from, std::uint64_t wireIndex, bool passable, double multiplier) {
  writeLine("[Debug] Draht-Check: Von (", from.x, ",", from.y, ") nach Draht-Index ", wireIndex,
            " | Erlaubt: ", passable ? "JA" : "NEIN", " | Multiplier: ", multiplier);
}

void logWireUpdate(std::uint64_t wireIndex, double g, double step, double h, double f) {
  writeLine("   [A* Update] Draht-Punkt ", wireIndex, " | g:", g, " (+", step, ")", " | h:", h,
            " | f_TOTAL:", f);
}

}  // namespace Planner
