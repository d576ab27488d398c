// Support for the codec fuzz targets: the input as a file source, and the
// checks every reader run shares.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codec/codec.h"
#include "platform/global_memory.h"

namespace qv::fuzz {

// Writes the input to a file of this process (with the given extension);
// removes it at the end. The name holds the process id, so targets running
// side by side never share a file.
class CFuzzFile {
 public:
  CFuzzFile(const uint8_t* data, size_t size, const char* extension)
      : m_strPath("/tmp/qv-fuzz-" + std::to_string(getpid()) + extension) {
    FILE* file = std::fopen(m_strPath.c_str(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();
  }
  CFuzzFile(const CFuzzFile&) = delete;
  CFuzzFile& operator=(const CFuzzFile&) = delete;
  ~CFuzzFile() { std::remove(m_strPath.c_str()); }
  const std::string& Path() const { return m_strPath; }

 private:
  std::string m_strPath;
};

// The input as a file source; closed (and its file removed) at the end.
class CFuzzSource {
 public:
  CFuzzSource(const uint8_t* data, size_t size, const char* extension) : m_file(data, size, extension) {
    m_h = ISOpenFileSource(m_file.Path().c_str());
    if (!m_h) std::abort();
  }
  CFuzzSource(const CFuzzSource&) = delete;
  CFuzzSource& operator=(const CFuzzSource&) = delete;
  ~CFuzzSource() { ISCloseSource(m_h); }
  HISSRC Get() const { return m_h; }
  void Rewind() const {
    if (!ISSeekSource(m_h, 0, 0)) std::abort();
  }

 private:
  CFuzzFile m_file;
  HISSRC m_h = nullptr;
};

// A returned buffer is touched end to end (so a short allocation shows), then freed.
inline void CheckAndFree(uint8_t* pixels, int32_t width, int32_t height, int32_t bits) {
  if (!pixels) return;
  const int64_t stride = bits == 1 ? (int64_t{width} + 7) / 8 : int64_t{width} * (bits / 8);
  const int64_t bytes = stride * height;
  if (width <= 0 || height <= 0 || bytes <= 0) std::abort();
  volatile uint8_t sink = 0;
  sink = sink + pixels[0] + pixels[bytes - 1];
  qv::GlobalMemFree(pixels);
}

}  // namespace qv::fuzz
