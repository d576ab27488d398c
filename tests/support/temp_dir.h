// A fresh folder under the system's temporary folder, removed with everything
// in it when the test ends. Paths use the platform's separator.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/paths.h"

namespace qv::test {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    m_path = std::filesystem::temp_directory_path() /
             ("qv-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(m_path);
    m_str = m_path.string();
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }

  // The folder, without a trailing separator.
  const std::string& Str() const { return m_str; }
  // A path inside it; relative names may use '/' between parts.
  std::string Path(const std::string& relative) const {
    std::string out = m_str;
    out += PathSeparator();
    for (char c : relative) out += c == '/' ? PathSeparator() : c;
    return out;
  }
  // Creates a file (and its folders) with the given bytes; returns its path.
  std::string Write(const std::string& relative, const std::string& bytes = std::string()) const {
    const std::string path = Path(relative);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path m_path;
  std::string m_str;
};

}  // namespace qv::test
