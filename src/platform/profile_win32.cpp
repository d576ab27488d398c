#include <windows.h>

#include "platform/profile.h"
#include "platform/win/reg_key.h"

namespace qv {

namespace {

using win::CRegKey;

std::string SectionKey(const std::string& company, const std::string& app, const std::string& section) {
  return "Software\\" + company + "\\" + app + "\\" + section;
}

}  // namespace

int32_t CProfile::ReadInt(const std::string& section, const std::string& entry, int32_t defaultValue) const {
  CRegKey key;
  const std::string path = SectionKey(m_strCompany, m_strApplication, section);
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return defaultValue;
  DWORD type = 0, value = 0, size = sizeof(value);
  if (RegQueryValueExA(key.Get(), entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value))
    return defaultValue;
  return static_cast<int32_t>(value);
}

bool CProfile::WriteInt(const std::string& section, const std::string& entry, int32_t value) const {
  CRegKey key;
  const std::string path = SectionKey(m_strCompany, m_strApplication, section);
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                      key.Out(), nullptr) != ERROR_SUCCESS)
    return false;
  const DWORD stored = static_cast<DWORD>(value);
  return RegSetValueExA(key.Get(), entry.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                        sizeof(stored)) == ERROR_SUCCESS;
}

}  // namespace qv
