// Owns an opened source handle and closes it when the scope ends.
#pragma once

#include <string>

#include "codec/codec.h"

namespace qv {

class CISSourceHandle {
 public:
  explicit CISSourceHandle(HISSRC source) : m_hSource(source) {}
  explicit CISSourceHandle(const std::string& path) : m_hSource(ISOpenFileSource(path.c_str())) {}
  CISSourceHandle(const CISSourceHandle&) = delete;
  CISSourceHandle& operator=(const CISSourceHandle&) = delete;
  ~CISSourceHandle() {
    if (m_hSource) ISCloseSource(m_hSource);
  }
  HISSRC Get() const { return m_hSource; }
  void Rewind() const { ISSeekSource(m_hSource, 0, 0); }

 private:
  HISSRC m_hSource;
};

}  // namespace qv
