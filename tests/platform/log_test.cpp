#include "platform/log.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using test::TempDir;

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(TempDir::Read(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "YYYY-MM-DD HH:MM:SS " in front of the text.
bool HasTimeStamp(const std::string& line) {
  if (line.size() < 20) return false;
  for (size_t i = 0; i < 20; ++i) {
    const char expected = i == 4 || i == 7 ? '-' : i == 13 || i == 16 ? ':' : i == 10 || i == 19 ? ' ' : '0';
    const char c = line[i];
    if (expected == '0' ? (c < '0' || c > '9') : c != expected) return false;
  }
  return true;
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second, t.tm_isdst = -1;
  return std::mktime(&t);
}

TEST(Log, LinesCarryTheLocalTime) {
  EXPECT_EQ(FormatLogTime(LocalTime(2026, 12, 10, 1, 50, 3)), "2026-12-10 01:50:03");
  EXPECT_EQ(FormatLogTime(LocalTime(2031, 1, 2, 23, 59, 59)), "2031-01-02 23:59:59");

  TempDir dir;
  CLogFile log(dir.Path("Quadrivue.log"));
  const std::time_t when = LocalTime(2026, 3, 4, 5, 6, 7);
  log.WriteAt(when, "first");
  log.WriteAt(when, "caf\xC3\xA9 \\ 100%");
  log.WriteAt(when, "two\r\nlines");  // one entry stays one line
  log.WriteAt(when, "");
  const std::string stamp = FormatLogTime(when);
  EXPECT_EQ(TempDir::Read(log.Path()),
            stamp + " first\n" + stamp + " caf\xC3\xA9 \\ 100%\n" + stamp + " two  lines\n" + stamp + " \n");
}

TEST(Log, RotatesAtTheLimitKeepingOneOlderFile) {
  TempDir dir;
  const std::string path = dir.Path("Quadrivue.log");
  const std::string old = dir.Path("Quadrivue.old.log");
  dir.Write("Quadrivue.old.log", "from an earlier run\n");
  CLogFile log(path, 100);
  // Lines of 28 bytes: three fit, the fourth starts a new file.
  std::vector<std::string> written;
  for (int i = 0; i < 10; ++i) {
    written.push_back("entry " + std::to_string(i));
    log.WriteAt(LocalTime(2026, 1, 1, 0, 0, i), written.back());
    uint64_t size = 0;
    ASSERT_TRUE(QueryFileSize(path, size));
    EXPECT_LE(size, 100u) << i;
    // The old and the current file together: the latest entries, in order,
    // at least the last four (the earlier run's file is gone once replaced).
    std::vector<std::string> kept = i < 3 ? std::vector<std::string>() : Lines(old);
    for (const std::string& line : Lines(path)) kept.push_back(line);
    ASSERT_FALSE(kept.empty());
    ASSERT_LE(kept.size(), written.size());
    const size_t first = written.size() - kept.size();
    for (size_t k = 0; k < kept.size(); ++k) {
      ASSERT_TRUE(HasTimeStamp(kept[k])) << kept[k];
      EXPECT_EQ(kept[k].substr(20), written[first + k]) << "after entry " << i;
    }
    EXPECT_GE(kept.size(), std::min<size_t>(written.size(), 4)) << "after entry " << i;
  }
  EXPECT_EQ(Lines(old).size(), 3u);
  EXPECT_EQ(Lines(path).size(), 1u);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Str())) files += entry.is_regular_file();
  EXPECT_EQ(files, 2u);

  // A line longer than the limit is still written whole, and the next one moves it aside.
  TempDir other;
  CLogFile small(other.Path("a.log"), 10);
  small.WriteAt(0, "longer than the limit");
  EXPECT_EQ(Lines(small.Path()).size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(other.Path("a.old.log")));
  small.WriteAt(0, "next");
  EXPECT_EQ(Lines(other.Path("a.old.log")).at(0).substr(20), "longer than the limit");
  EXPECT_EQ(Lines(small.Path()).at(0).substr(20), "next");
}

TEST(Log, OldPathKeepsTheExtensionLast) {
  const struct {
    const char* path;
    const char* old;
  } kCases[] = {
      {"Quadrivue.log", "Quadrivue.old.log"},
      {"C:\\Users\\ann.lee\\AppData\\Quadrivue.log", "C:\\Users\\ann.lee\\AppData\\Quadrivue.old.log"},
      {"C:\\Users\\ann.lee\\Quadrivue", "C:\\Users\\ann.lee\\Quadrivue.old"},
      {"/home/ann.lee/Quadrivue", "/home/ann.lee/Quadrivue.old"},
      {"Quadrivue", "Quadrivue.old"},
      {"a.b.log", "a.b.old.log"},
  };
  for (const auto& c : kCases) EXPECT_EQ(CLogFile::OldPath(c.path), c.old) << c.path;
}

TEST(Log, ProgramLogWritesOnlyWhileOpen) {
  TempDir dir;
  const std::string path = dir.Path("Quadrivue.log");
  Log("before");
  OpenProgramLog(path);
  Log("while open caf\xE9");  // ANSI text, written as UTF-8
  CloseProgramLog();
  Log("after");
  const std::vector<std::string> lines = Lines(path);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(HasTimeStamp(lines[0]));
#ifdef _WIN32
  if (::GetACP() == 1252) {
    EXPECT_EQ(lines[0].substr(20), "while open caf\xC3\xA9");
  }
#else
  EXPECT_EQ(lines[0].substr(20), "while open caf\xE9");  // the code page is UTF-8 here
#endif
}

TEST(Log, LinesFromSeveralThreadsArriveWhole) {
  TempDir dir;
  CLogFile log(dir.Path("Quadrivue.log"));
  constexpr int kThreads = 4, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&log, t] {
      for (int n = 0; n < kLines; ++n) log.Write("thread " + std::to_string(t) + " line " + std::to_string(n));
    });
  for (std::thread& thread : threads) thread.join();

  const std::vector<std::string> lines = Lines(log.Path());
  ASSERT_EQ(lines.size(), size_t{kThreads * kLines});
  std::set<std::string> seen;
  std::vector<int> next(kThreads, 0);  // each thread's lines in its own order
  for (const std::string& line : lines) {
    ASSERT_TRUE(HasTimeStamp(line)) << line;
    int t = -1, n = -1;
    char rest = 0;
    ASSERT_EQ(std::sscanf(line.c_str() + 20, "thread %d line %d%c", &t, &n, &rest), 2) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(n, next[t]++) << line;
    seen.insert(line.substr(20));
  }
  EXPECT_EQ(seen.size(), size_t{kThreads * kLines});
}

}  // namespace
}  // namespace qv
