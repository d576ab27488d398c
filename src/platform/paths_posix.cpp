#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/paths.h"

namespace qv {

char PathSeparator() { return '/'; }

std::string GetModulePath() {
  std::vector<char> buffer(400);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    if (buffer.size() >= 65536) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

std::string GetUserDataRoot() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) return config;
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.config" : std::string();
}

}  // namespace qv
