// Helpers of the codec tests: temporary files, a little-endian byte writer,
// and owners for sources and image buffers.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "codec/codec.h"
#include "codec/source_handle.h"
#include "platform/global_memory.h"

namespace qv::test {

using Bytes = std::vector<uint8_t>;

inline uint32_t LoadLE32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Appends integers and blocks in little-endian order.
class CByteWriter {
 public:
  CByteWriter& U8(uint32_t v) {
    m_bytes.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  CByteWriter& U16(uint32_t v) { return U8(v).U8(v >> 8); }
  CByteWriter& U32(uint32_t v) { return U16(v).U16(v >> 16); }
  CByteWriter& Raw(const Bytes& b) {
    m_bytes.insert(m_bytes.end(), b.begin(), b.end());
    return *this;
  }
  CByteWriter& Text(const std::string& s) {
    m_bytes.insert(m_bytes.end(), s.begin(), s.end());
    return *this;
  }
  CByteWriter& Fill(size_t count, uint8_t v = 0) {
    m_bytes.insert(m_bytes.end(), count, v);
    return *this;
  }
  size_t Size() const { return m_bytes.size(); }
  Bytes& Get() { return m_bytes; }
  const Bytes& Get() const { return m_bytes; }

 private:
  Bytes m_bytes;
};

// A bottom-up 24-bit BMP of one colour.
inline Bytes UniformBmp(int32_t width, int32_t height, uint8_t r, uint8_t g, uint8_t b) {
  const uint32_t rowBytes = ((static_cast<uint32_t>(width) * 24 + 31) / 32) * 4;
  CByteWriter w;
  w.Text("BM").U32(54 + rowBytes * height).U32(0).U32(54);
  w.U32(40).U32(width).U32(height).U16(1).U16(24).U32(0).U32(rowBytes * height).U32(0).U32(0).U32(0).U32(0);
  std::vector<uint8_t> row(rowBytes, 0);
  for (int32_t x = 0; x < width; ++x) {
    row[static_cast<size_t>(x) * 3] = b;
    row[static_cast<size_t>(x) * 3 + 1] = g;
    row[static_cast<size_t>(x) * 3 + 2] = r;
  }
  for (int32_t y = 0; y < height; ++y) w.Raw(row);
  return w.Get();
}

// A fresh folder under the temporary folder, removed when the test ends.
class CTempFolder {
 public:
  CTempFolder() {
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    m_path =
        std::filesystem::temp_directory_path() / ("qv-codec-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(m_path);
  }
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;
  ~CTempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  std::string Path(const std::string& name) const { return (m_path / name).string(); }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = Path(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

 private:
  std::filesystem::path m_path;
};

// Closes a source when it goes out of scope.
using CSource = CISSourceHandle;

// Frees a codec buffer when it goes out of scope.
class CCodecBuffer {
 public:
  explicit CCodecBuffer(uint8_t* p = nullptr) : m_p(p) {}
  CCodecBuffer(const CCodecBuffer&) = delete;
  CCodecBuffer& operator=(const CCodecBuffer&) = delete;
  CCodecBuffer(CCodecBuffer&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  CCodecBuffer& operator=(CCodecBuffer&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.m_p, nullptr));
    return *this;
  }
  ~CCodecBuffer() { qv::GlobalMemFree(m_p); }
  void Reset(uint8_t* p) {
    qv::GlobalMemFree(m_p);
    m_p = p;
  }
  uint8_t* Get() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  Bytes Copy(size_t size) const { return m_p ? Bytes(m_p, m_p + size) : Bytes(); }

 private:
  uint8_t* m_p;
};

}  // namespace qv::test
