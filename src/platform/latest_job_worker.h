// One background thread that works for one consumer and always on the
// newest request: a job posted while an older one waits replaces it, and a
// running job is told it is no longer wanted (its result is dropped). The
// consumer (the window thread) takes finished results; the thread never
// touches the consumer's objects.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/background_thread.h"

namespace qv {

// Whether the job in hand is still the one wanted; cheap, for polling inside
// long work.
class CJobToken {
 public:
  CJobToken(const std::atomic<uint64_t>& latest, uint64_t ticket) : m_latest(latest), m_nTicket(ticket) {}
  bool Wanted() const { return m_latest.load(std::memory_order_relaxed) == m_nTicket; }
  uint64_t Ticket() const { return m_nTicket; }

 private:
  const std::atomic<uint64_t>& m_latest;
  uint64_t m_nTicket;
};

template <class Job, class Result>
class CLatestJobWorker {
 public:
  // Runs on the worker thread for each job it takes.
  using RunFn = std::function<Result(Job& job, const CJobToken& token)>;
  // Runs on the worker thread once a wanted result is ready to be taken
  // (typically: post a message to the consumer's window).
  using ReadyFn = std::function<void(uint64_t ticket)>;

  CLatestJobWorker(RunFn run, ReadyFn ready) : m_run(std::move(run)), m_ready(std::move(ready)) {}
  CLatestJobWorker(const CLatestJobWorker&) = delete;
  CLatestJobWorker& operator=(const CLatestJobWorker&) = delete;
  ~CLatestJobWorker() { Stop(); }

  // Queues job in place of any waiting one; a running job stops being
  // wanted. Returns the job's ticket. The thread starts with the first job.
  uint64_t Post(Job job) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const uint64_t ticket = m_latest.load() + 1;
    m_latest.store(ticket);
    m_pending.emplace(std::move(job));
    m_result.reset();
    if (!m_thread.joinable()) m_thread = std::thread([this] { Loop(); });
    lock.unlock();
    m_wake.notify_one();
    return ticket;
  }

  // Drops the waiting job, the running one and a result not yet taken.
  void Cancel() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_latest.store(m_latest.load() + 1);
    m_pending.reset();
    m_result.reset();
  }

  // A job waits or runs.
  bool Working() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending.has_value() || m_bRunning;
  }

  // A job waits or runs, or its result waits to be taken.
  bool Busy() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending.has_value() || m_bRunning || m_result.has_value();
  }

  // The result of the newest job once it has finished; nothing while it
  // runs, after a newer job was posted, or when it was taken already.
  std::optional<Result> Take(uint64_t* ticket = nullptr) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_result || m_result->first != m_latest.load()) return std::nullopt;
    if (ticket) *ticket = m_result->first;
    std::optional<Result> result(std::move(m_result->second));
    m_result.reset();
    return result;
  }

  uint64_t LatestTicket() const { return m_latest.load(); }

  // Ends the thread: the running job stops being wanted, and this waits for
  // it to return.
  void Stop() {
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_bStopping = true;
      m_latest.store(m_latest.load() + 1);
      m_pending.reset();
    }
    m_wake.notify_one();
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  void Loop() {
    EnterBackgroundMode();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      m_wake.wait(lock, [this] { return m_bStopping || m_pending.has_value(); });
      if (m_bStopping) return;
      Job job = std::move(*m_pending);
      m_pending.reset();
      const uint64_t ticket = m_latest.load();
      m_bRunning = true;
      lock.unlock();
      const CJobToken token(m_latest, ticket);
      std::optional<Result> result;
      try {
        result.emplace(m_run(job, token));
      } catch (...) {
        // A job that throws gives no result; the thread goes on.
      }
      lock.lock();
      m_bRunning = false;
      const bool wanted = result.has_value() && m_latest.load() == ticket && !m_bStopping;
      if (wanted) m_result.emplace(ticket, std::move(*result));
      if (wanted && m_ready) {
        lock.unlock();
        m_ready(ticket);
        lock.lock();
      }
    }
  }

  RunFn m_run;
  ReadyFn m_ready;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::atomic<uint64_t> m_latest{0};
  std::optional<Job> m_pending;
  std::optional<std::pair<uint64_t, Result>> m_result;
  bool m_bRunning = false;
  bool m_bStopping = false;
  std::thread m_thread;
};

}  // namespace qv
