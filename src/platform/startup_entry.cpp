#include "platform/startup_entry.h"

#include "platform/text.h"

namespace qv {

CStartupEntry::CStartupEntry(std::string valueName, std::string key)
    : m_strValueName(std::move(valueName)), m_strKey(std::move(key)) {}

std::string StartupCommand(const std::string& programPath) { return "\"" + programPath + "\""; }

bool StartupCommandNames(const std::string& command, const std::string& programPath) {
  const size_t first = command.find_first_not_of(" \t");
  if (first == std::string::npos || programPath.empty()) return false;
  std::string path = command.substr(first, command.find_last_not_of(" \t") + 1 - first);
  if (path.front() == '"') {
    if (path.size() < 2 || path.back() != '"') return false;
    path = path.substr(1, path.size() - 2);
  }
  return LowerCaseAnsi(path) == LowerCaseAnsi(programPath);
}

}  // namespace qv
