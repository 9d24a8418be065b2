#pragma once

#include <chrono>
#include <thread>

namespace test_support {

// Polls condition until it holds or timeout_ms has passed; true when it held.
// Tests wait for states this way, never by sleeping for a guessed time.
template <typename Condition>
bool wait_until(Condition condition, int timeout_ms = 10000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace test_support
