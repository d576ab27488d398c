// Small helpers shared by the JPEG, PNG and TIFF reader tests.
#pragma once

#include <memory>

#include "codec/codec_test_support.h"
#include "platform/global_memory.h"

namespace qv::test {

struct CFreeCodec {
  void operator()(uint8_t* p) const { qv::GlobalMemFree(p); }
};

// The outcome of one read: the buffer (maybe partial), its size and the error.
struct CRead {
  std::unique_ptr<uint8_t, CFreeCodec> buffer;
  int32_t width = 0;
  int32_t height = 0;
  int32_t error = -1;
  ISPalEntry palette[IS_PALETTE_SIZE] = {};

  Bytes Copy(size_t size) const { return buffer ? Bytes(buffer.get(), buffer.get() + size) : Bytes(); }
};

// Sets a progress callback for the scope of a test.
class CProgressStop {
 public:
  CProgressStop() { ISSetProgressCallback([](int32_t, int32_t, uintptr_t) -> int32_t { return 0; }, 0); }
  ~CProgressStop() { ISSetProgressCallback(nullptr, 0); }
};

inline Bytes Rgb(const ISPalEntry& e) { return {e.red, e.green, e.blue}; }

}  // namespace qv::test
