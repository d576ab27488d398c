// When to try again after a failed attempt: every interval until the span is
// used up (the notification area at sign-in: every 2 s for a minute).
#pragma once

#include <cstdint>

namespace qv {

class CRetrySchedule {
 public:
  static constexpr uint32_t kIntervalMs = 2000;
  static constexpr uint32_t kSpanMs = 60000;

  explicit CRetrySchedule(uint32_t intervalMs = kIntervalMs, uint32_t spanMs = kSpanMs)
      : m_nIntervalMs(intervalMs == 0 ? 1 : intervalMs), m_nSpanMs(spanMs) {}

  // A new series begins (the first attempt has just failed).
  void Restart() { m_nRetries = 0; }
  // After a failed attempt: true while another attempt is due, one interval
  // later; false once the span is used up.
  bool NextAfterFailure() {
    if (static_cast<uint64_t>(m_nRetries + 1) * m_nIntervalMs > m_nSpanMs) return false;
    ++m_nRetries;
    return true;
  }
  uint32_t IntervalMs() const { return m_nIntervalMs; }
  // Retries granted so far in this series.
  uint32_t Retries() const { return m_nRetries; }

 private:
  uint32_t m_nIntervalMs;
  uint32_t m_nSpanMs;
  uint32_t m_nRetries = 0;
};

}  // namespace qv
