#include "platform/log.h"

#include <cstdio>
#include <memory>

#include "platform/file_io.h"
#include "platform/text.h"

namespace qv {

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

std::mutex g_programLogMutex;
std::unique_ptr<CLogFile> g_pProgramLog;

}  // namespace

CLogFile::CLogFile(std::string path, uint64_t rotateBytes) : m_strPath(std::move(path)), m_nRotateBytes(rotateBytes) {}

std::string CLogFile::OldPath(const std::string& path) {
  const auto dot = path.find_last_of('.');
  const auto separator = path.find_last_of("/\\");
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return path + ".old";
  return path.substr(0, dot) + ".old" + path.substr(dot);
}

std::string FormatLogTime(std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

void CLogFile::Write(std::string_view text) { WriteAt(std::time(nullptr), text); }

void CLogFile::WriteAt(std::time_t when, std::string_view text) {
  try {
    std::string line = FormatLogTime(when);
    line += ' ';
    const size_t start = line.size();
    line += text;
    // One line per entry: line ends inside the text (some system messages
    // have them) would leave lines without a time.
    for (size_t i = start; i < line.size(); ++i)
      if (line[i] == '\r' || line[i] == '\n') line[i] = ' ';
    line += '\n';
    const std::lock_guard<std::mutex> lock(m_mutex);
    uint64_t size = 0;
    if (QueryFileSize(m_strPath, size) && size > 0 && size + line.size() > m_nRotateBytes)
      ReplaceFileWith(m_strPath, OldPath(m_strPath));
    std::unique_ptr<FILE, FileCloser> file(std::fopen(m_strPath.c_str(), "ab"));
    if (file) std::fwrite(line.data(), 1, line.size(), file.get());
  } catch (...) {
    // Out of memory while logging: the line is lost, nothing else.
  }
}

void OpenProgramLog(const std::string& path) {
  const std::lock_guard<std::mutex> lock(g_programLogMutex);
  g_pProgramLog = std::make_unique<CLogFile>(path);
}

void CloseProgramLog() {
  const std::lock_guard<std::mutex> lock(g_programLogMutex);
  g_pProgramLog.reset();
}

void Log(std::string_view text) {
  const std::lock_guard<std::mutex> lock(g_programLogMutex);
  if (!g_pProgramLog) return;
  try {
    g_pProgramLog->Write(AnsiToUtf8(std::string(text)));
  } catch (...) {
  }
}

}  // namespace qv
