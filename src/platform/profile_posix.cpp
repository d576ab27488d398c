#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/file_io.h"
#include "platform/profile.h"

namespace qv {

namespace {

std::string DefaultBaseFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config";
  return ".";
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Index of the line "entry=..." inside [section], or of the line after which it
// belongs (sectionEnd); -1 for either when missing.
struct Location {
  long sectionHeader = -1;
  long sectionEnd = -1;
  long entryLine = -1;
};

Location Find(const std::vector<std::string>& lines, const std::string& section, const std::string& entry) {
  Location loc;
  const std::string header = "[" + section + "]";
  const std::string key = entry + "=";
  bool inside = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!line.empty() && line.front() == '[') {
      inside = line == header;
      if (inside) loc.sectionHeader = static_cast<long>(i);
      continue;
    }
    if (!inside) continue;
    loc.sectionEnd = static_cast<long>(i);
    if (line.compare(0, key.size(), key) == 0) loc.entryLine = static_cast<long>(i);
  }
  if (loc.sectionEnd < loc.sectionHeader) loc.sectionEnd = loc.sectionHeader;
  return loc;
}

bool MakeFolders(const std::string& path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string ProfileFolder(const std::string& base, const std::string& company) {
  return (base.empty() ? DefaultBaseFolder() : base) + "/" + company;
}

}  // namespace

int32_t CProfile::ReadInt(const std::string& section, const std::string& entry, int32_t defaultValue) const {
  const std::string path = ProfileFolder(m_strBaseFolder, m_strCompany) + "/" + m_strApplication + ".ini";
  const auto lines = ReadLines(path);
  const Location loc = Find(lines, section, entry);
  if (loc.entryLine < 0) return defaultValue;
  const std::string value = lines[static_cast<size_t>(loc.entryLine)].substr(entry.size() + 1);
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(value.c_str(), &end, 10);
  if (end == value.c_str() || errno != 0 || parsed < INT32_MIN || parsed > UINT32_MAX) return defaultValue;
  return static_cast<int32_t>(static_cast<uint32_t>(parsed));
}

bool CProfile::WriteInt(const std::string& section, const std::string& entry, int32_t value) const {
  const std::string folder = ProfileFolder(m_strBaseFolder, m_strCompany);
  if (!MakeFolders(folder)) return false;
  const std::string path = folder + "/" + m_strApplication + ".ini";
  auto lines = ReadLines(path);
  const Location loc = Find(lines, section, entry);
  const std::string line = entry + "=" + std::to_string(value);
  if (loc.entryLine >= 0) {
    lines[static_cast<size_t>(loc.entryLine)] = line;
  } else if (loc.sectionHeader >= 0) {
    lines.insert(lines.begin() + loc.sectionEnd + 1, line);
  } else {
    lines.push_back("[" + section + "]");
    lines.push_back(line);
  }
  std::string text;
  for (const auto& l : lines) text += l + "\n";
  CAtomicFileWriter writer(path);
  return writer.Write(text.data(), text.size()) && writer.Commit();
}

}  // namespace qv
