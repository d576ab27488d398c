// A row receiver for the benchmarks that drops every row: a reader's
// row-by-row form then measures the decode alone.
#pragma once

#include <benchmark/benchmark.h>

#include "codec/codec.h"

namespace qv::bench {

class CDiscardRows : public ISRowReceiver {
 public:
  int32_t Begin(int32_t, int32_t) override { return IS_ERR_OK; }
  int32_t Row(int32_t, const uint8_t* pixels) override {
    benchmark::DoNotOptimize(pixels);
    return IS_ERR_OK;
  }
};

}  // namespace qv::bench
