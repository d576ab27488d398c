#include <windows.h>

#include <vector>

#include "platform/paths.h"

namespace qv {

char PathSeparator() { return '\\'; }

std::string GetModulePath() {
  // Grow the buffer until the name fits: a fixed buffer would cut long
  // install paths into a wrong folder.
  std::vector<char> buffer(400);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 32768) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::string GetUserDataRoot() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetEnvironmentVariableA("APPDATA", buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(n);
  }
}

}  // namespace qv
