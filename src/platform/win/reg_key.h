// The owner of an open registry key.
#pragma once

#include <windows.h>

namespace qv::win {

class CRegKey {
 public:
  CRegKey() = default;
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;
  ~CRegKey() {
    if (m_hKey) ::RegCloseKey(m_hKey);
  }
  HKEY* Out() { return &m_hKey; }
  HKEY Get() const { return m_hKey; }

 private:
  HKEY m_hKey = nullptr;
};

}  // namespace qv::win
