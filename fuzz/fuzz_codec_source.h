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

// Writes the input to a file of this process (with the given extension) and
// opens it as a source; closes and removes it at the end.
class CFuzzSource {
 public:
  CFuzzSource(const uint8_t* data, size_t size, const char* extension) {
    m_strPath = "/tmp/qv-fuzz-" + std::to_string(getpid()) + extension;
    FILE* file = std::fopen(m_strPath.c_str(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    m_h = ISOpenFileSource(m_strPath.c_str());
    if (!m_h) std::abort();
  }
  CFuzzSource(const CFuzzSource&) = delete;
  CFuzzSource& operator=(const CFuzzSource&) = delete;
  ~CFuzzSource() {
    ISCloseSource(m_h);
    std::remove(m_strPath.c_str());
  }
  HISSRC Get() const { return m_h; }
  void Rewind() const {
    if (!ISSeekSource(m_h, 0, 0)) std::abort();
  }

 private:
  std::string m_strPath;
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
