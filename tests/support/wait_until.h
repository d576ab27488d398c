// Waiting for another thread without guessing how long it takes.
#pragma once

#include <chrono>
#include <thread>

namespace qv::test {

// Polls done() every millisecond until it holds; false when limit passed first.
template <class Pred>
bool WaitUntil(Pred done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace qv::test
