// Helpers of the reader tests: a big-endian writer, the outcome of a read
// (the codec's buffer, or a copy of its pixels), a progress callback that
// stops the read, and files read whole.
#pragma once

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "codec/codec_test_support.h"

namespace qv::test {

// Appends integers in big-endian order (PSD).
class CBigEndianWriter {
 public:
  CBigEndianWriter& U8(uint32_t v) {
    m_bytes.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  CBigEndianWriter& U16(uint32_t v) { return U8(v >> 8).U8(v); }
  CBigEndianWriter& U32(uint32_t v) { return U16(v >> 16).U16(v); }
  CBigEndianWriter& Raw(const Bytes& b) {
    m_bytes.insert(m_bytes.end(), b.begin(), b.end());
    return *this;
  }
  CBigEndianWriter& Text(const std::string& s) {
    m_bytes.insert(m_bytes.end(), s.begin(), s.end());
    return *this;
  }
  // A section: its 32-bit length, then its bytes.
  CBigEndianWriter& Section(const Bytes& b) { return U32(static_cast<uint32_t>(b.size())).Raw(b); }
  const Bytes& Get() const { return m_bytes; }

 private:
  Bytes m_bytes;
};

// The outcome of one read: the buffer (maybe partial), its size, the palette
// and the error.
struct CRead {
  CCodecBuffer buffer;
  int32_t width = 0;
  int32_t height = 0;
  int32_t error = -1;
  ISPalEntry palette[IS_PALETTE_SIZE] = {};

  Bytes Copy(size_t size) const { return buffer.Copy(size); }
};

// What a read left when only its pixels matter: width x height x bytesPerPixel
// bytes copied out, the size, the last error and whether a buffer came back.
struct CDecoded {
  Bytes pixels;
  int32_t width = 0;
  int32_t height = 0;
  int32_t error = -1;
  bool hasBuffer = false;
};

using ReadFn = std::function<uint8_t*(HISSRC source, int32_t* width, int32_t* height)>;

inline CDecoded DecodeSource(HISSRC source, const ReadFn& read, size_t bytesPerPixel) {
  CDecoded d;
  CCodecBuffer buffer(read(source, &d.width, &d.height));
  d.error = ISGetLastError();
  d.hasBuffer = static_cast<bool>(buffer);
  if (buffer) d.pixels = buffer.Copy(size_t(d.width) * size_t(d.height) * bytesPerPixel);
  return d;
}

inline CDecoded DecodeBytes(const Bytes& file, const ReadFn& read, size_t bytesPerPixel,
                            const std::string& name = "picture.bin") {
  CTempFolder dir;
  CSource source(dir.Write(name, file));
  return DecodeSource(source.Get(), read, bytesPerPixel);
}

// Sets a progress callback that stops every read, for the scope of a test.
class CProgressStop {
 public:
  CProgressStop() {
    ISSetProgressCallback([](int32_t, int32_t, uintptr_t) -> int32_t { return 0; }, 0);
  }
  ~CProgressStop() { ISSetProgressCallback(nullptr, 0); }
};

inline Bytes Rgb(const ISPalEntry& e) { return {e.red, e.green, e.blue}; }

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The rows of a row-by-row read.
class CKeptRows : public ISRowReceiver {
 public:
  int32_t Begin(int32_t width, int32_t) override {
    m_nWidth = width;
    return IS_ERR_OK;
  }
  int32_t Row(int32_t, const uint8_t* pixels) override {
    m_pixels.insert(m_pixels.end(), pixels, pixels + size_t(m_nWidth) * 3);
    return IS_ERR_OK;
  }
  int32_t m_nWidth = 0;
  Bytes m_pixels;
};

}  // namespace qv::test
