#pragma once

#include <functional>
#include <utility>

namespace Planner {

// Lets the caller of a long computation stop it. The planner calls poll() between
// tour iterations, transit expansions, scan lines and lap steps; a check that wants
// the work abandoned throws, and the exception unwinds the planner (which owns
// everything by value, so nothing leaks or stays half-changed).
class Cancellation {
 public:
  // Never cancels.
  Cancellation() = default;
  explicit Cancellation(std::function<void()> check) : check_(std::move(check)) {}

  void poll() const {
    if (check_) check_();
  }

 private:
  std::function<void()> check_;
};

}  // namespace Planner
