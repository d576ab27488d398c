// Source rows converted to doubles once and kept while the destination rows
// that need them are produced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/ops/ops_internal.h"

namespace qv::codec::ops {

// Writes count bytes as doubles.
void BytesToDoubles(const uint8_t* bytes, size_t count, double* out);

// A few slots of converted rows. Rows are asked for in non-decreasing order
// per destination row, so the slot with the lowest row is the one to reuse.
// Each row carries kPadding zero doubles after its elements, so that two-lane
// loads of the last pixel stay inside the slot.
class CRowCache {
 public:
  static constexpr size_t kPadding = 2;

  CRowCache(const CSourceView& source, size_t elementsPerRow, size_t slots)
      : m_source(source),
        m_nElements(elementsPerRow),
        m_arrRow(slots, -1),
        m_values(slots * (elementsPerRow + kPadding), 0.0) {}

  const double* Get(uint32_t row) {
    size_t slot = 0;
    for (size_t k = 0; k < m_arrRow.size(); ++k) {
      if (m_arrRow[k] == int64_t(row)) return Slot(k);
      if (m_arrRow[k] < m_arrRow[slot]) slot = k;
    }
    m_arrRow[slot] = row;
    BytesToDoubles(m_source.Row(row), m_nElements, Slot(slot));
    return Slot(slot);
  }

 private:
  double* Slot(size_t k) { return m_values.data() + k * (m_nElements + kPadding); }

  CSourceView m_source;
  size_t m_nElements;
  std::vector<int64_t> m_arrRow;
  std::vector<double> m_values;
};

}  // namespace qv::codec::ops
