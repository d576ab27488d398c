// Quadrivue.log: failures the user need not act on, one UTF-8 line each,
// stamped with the local time. At 256 KB the file is renamed to
// "<name>.old.log" (replacing an older one) and a new file starts, so the log
// never holds more than twice that.
#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

namespace qv {

class CLogFile {
 public:
  static constexpr uint64_t kRotateBytes = 256 * 1024;

  explicit CLogFile(std::string path, uint64_t rotateBytes = kRotateBytes);

  // Appends "YYYY-MM-DD HH:MM:SS text" and a line end (line ends inside text
  // become spaces). Safe from any thread; a log that cannot be written is
  // given up silently.
  void Write(std::string_view text);
  // The same with a given time (tests).
  void WriteAt(std::time_t when, std::string_view text);

  const std::string& Path() const { return m_strPath; }
  // "Quadrivue.log" -> "Quadrivue.old.log".
  static std::string OldPath(const std::string& path);

 private:
  std::mutex m_mutex;
  std::string m_strPath;
  uint64_t m_nRotateBytes;
};

// "2026-12-10 01:50:03" in local time.
std::string FormatLogTime(std::time_t when);

// The program's own log; until it is opened, lines are dropped (the
// command-line tool and the tests keep none).
void OpenProgramLog(const std::string& path);
void CloseProgramLog();
// One line in the program's log. text is in the ANSI code page and is
// written as UTF-8.
void Log(std::string_view text);

}  // namespace qv
