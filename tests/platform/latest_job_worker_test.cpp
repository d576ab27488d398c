#include "platform/latest_job_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/wait_until.h"

namespace qv {
namespace {

constexpr auto kDeadline = std::chrono::seconds(20);

// A one-way signal between threads; waits end at the deadline at the latest.
class CSignal {
 public:
  void Set() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_bSet = true;
    m_cv.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, kDeadline, [this] { return m_bSet; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_bSet = false;
};

template <class Pred>
bool WaitUntil(Pred done) {
  return test::WaitUntil(done, kDeadline);
}

// Jobs are numbers; the result is ten times the job.
constexpr int kGated = 100;     // tells it started, then waits for the release
constexpr int kThrows = -1;     // throws
constexpr int kUntilDrop = -2;  // tells it started, then polls Wanted() until it turns false

class LatestJobWorkerTest : public testing::Test {
 protected:
  int Run(int job, const CJobToken& token) {
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_ran.push_back(job);
      m_wantedAtStart.push_back(token.Wanted());
    }
    if (job == kThrows) throw std::runtime_error("job failed");
    if (job == kGated || job == kUntilDrop) m_started.Set();
    if (job == kGated) m_release.Wait();
    if (job == kUntilDrop) WaitUntil([&] { return !token.Wanted(); });
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_wantedAtEnd.push_back(token.Wanted());
    return job * 10;
  }
  std::vector<int> Ran() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_ran;
  }
  std::vector<uint64_t> ReadyTickets() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_readyTickets;
  }

  std::mutex m_mutex;
  std::vector<int> m_ran;
  std::vector<bool> m_wantedAtStart, m_wantedAtEnd;
  std::vector<uint64_t> m_readyTickets;
  CSignal m_started, m_release, m_ready;
  // Last: it stops (and joins) before the state above goes away.
  CLatestJobWorker<int, int> m_worker{[this](int& job, const CJobToken& token) { return Run(job, token); },
                                      [this](uint64_t ticket) {
                                        {
                                          const std::lock_guard<std::mutex> lock(m_mutex);
                                          m_readyTickets.push_back(ticket);
                                        }
                                        m_ready.Set();
                                      }};
};

TEST_F(LatestJobWorkerTest, NewerPostsSupersedeTheRunningAndTheWaitingJob) {
  const uint64_t first = m_worker.Post(kGated);
  ASSERT_TRUE(m_started.Wait());
  const uint64_t second = m_worker.Post(2);
  const uint64_t third = m_worker.Post(3);
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
  EXPECT_FALSE(m_worker.Take()) << "nothing has finished yet";
  m_release.Set();
  ASSERT_TRUE(m_ready.Wait());

  uint64_t ticket = 0;
  const auto result = m_worker.Take(&ticket);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, 30);
  EXPECT_EQ(ticket, third);
  EXPECT_FALSE(m_worker.Take()) << "a result is handed over once";
  EXPECT_FALSE(m_worker.Busy());
  // Job 2 never ran; the gated one saw it was no longer wanted.
  EXPECT_EQ(Ran(), (std::vector<int>{kGated, 3}));
  EXPECT_EQ(m_wantedAtStart, (std::vector<bool>{true, true}));
  EXPECT_EQ(m_wantedAtEnd, (std::vector<bool>{false, true}));
  EXPECT_EQ(ReadyTickets(), std::vector<uint64_t>{third});
}

TEST_F(LatestJobWorkerTest, BusyAndWorkingThroughAJob) {
  EXPECT_FALSE(m_worker.Working());
  EXPECT_FALSE(m_worker.Busy());
  m_worker.Post(kGated);
  ASSERT_TRUE(m_started.Wait());
  EXPECT_TRUE(m_worker.Working());
  EXPECT_TRUE(m_worker.Busy());
  m_release.Set();
  ASSERT_TRUE(m_ready.Wait());
  // Finished, the result waits to be taken.
  EXPECT_FALSE(m_worker.Working());
  EXPECT_TRUE(m_worker.Busy());
  EXPECT_EQ(m_worker.Take(), kGated * 10);
  EXPECT_FALSE(m_worker.Busy());
}

TEST_F(LatestJobWorkerTest, CancelDropsTheRunningAndWaitingJobsAndAnUntakenResult) {
  m_worker.Post(kGated);
  ASSERT_TRUE(m_started.Wait());
  m_worker.Post(2);
  m_worker.Cancel();
  EXPECT_TRUE(m_worker.Working()) << "the running job has not returned yet";
  m_release.Set();
  ASSERT_TRUE(WaitUntil([&] { return !m_worker.Working(); }));
  EXPECT_FALSE(m_worker.Busy());
  EXPECT_FALSE(m_worker.Take());
  EXPECT_EQ(Ran(), std::vector<int>{kGated});
  EXPECT_EQ(m_wantedAtEnd, std::vector<bool>{false});
  EXPECT_TRUE(ReadyTickets().empty());

  // A finished result not yet taken goes too.
  m_worker.Post(4);
  ASSERT_TRUE(m_ready.Wait());
  m_worker.Cancel();
  EXPECT_FALSE(m_worker.Busy());
  EXPECT_FALSE(m_worker.Take());
}

TEST_F(LatestJobWorkerTest, StopEndsTheRunningJobAndJoins) {
  m_worker.Post(kUntilDrop);
  ASSERT_TRUE(m_started.Wait());
  m_worker.Stop();
  // The job has returned (it notes Wanted() on its way out) and no result came.
  EXPECT_EQ(m_wantedAtEnd, std::vector<bool>{false});
  EXPECT_FALSE(m_worker.Working());
  EXPECT_FALSE(m_worker.Take());
  EXPECT_TRUE(ReadyTickets().empty());
}

TEST_F(LatestJobWorkerTest, AThrowingJobGivesNoResultAndTheThreadGoesOn) {
  m_worker.Post(kThrows);
  ASSERT_TRUE(WaitUntil([&] { return !m_worker.Working(); }));
  EXPECT_FALSE(m_worker.Busy());
  EXPECT_FALSE(m_worker.Take());
  EXPECT_TRUE(ReadyTickets().empty());

  const uint64_t next = m_worker.Post(5);
  ASSERT_TRUE(m_ready.Wait());
  EXPECT_EQ(m_worker.Take(), 50);
  EXPECT_EQ(ReadyTickets(), std::vector<uint64_t>{next});
}

}  // namespace
}  // namespace qv
