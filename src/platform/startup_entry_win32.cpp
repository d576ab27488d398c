#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/startup_entry.h"
#include "platform/system_error.h"
#include "platform/win/reg_key.h"

namespace qv {

namespace {

bool Failed(LSTATUS status, std::string* reason) {
  if (reason) *reason = SystemErrorText(static_cast<uint32_t>(status));
  return false;
}

}  // namespace

bool CStartupEntry::Supported() { return true; }

std::optional<std::string> CStartupEntry::Read(std::string* reason) const {
  if (reason) reason->clear();
  win::CRegKey key;
  LSTATUS status = ::RegOpenKeyExA(HKEY_CURRENT_USER, m_strKey.c_str(), 0, KEY_QUERY_VALUE, key.Out());
  // The value may change between the size query and the read: ask again.
  for (int attempt = 0; status == ERROR_SUCCESS && attempt < 4; ++attempt) {
    DWORD type = 0, size = 0;
    status = ::RegQueryValueExA(key.Get(), m_strValueName.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
    std::vector<char> data(static_cast<size_t>(size) + 1, '\0');
    status = ::RegQueryValueExA(key.Get(), m_strValueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    // The stored text need not end in a null.
    std::string text(data.data(), std::min<size_t>(size, data.size() - 1));
    return text.substr(0, text.find('\0'));
  }
  if (status != ERROR_FILE_NOT_FOUND && status != ERROR_SUCCESS) Failed(status, reason);
  return std::nullopt;
}

bool CStartupEntry::Write(const std::string& command, std::string* reason) const {
  win::CRegKey key;
  LSTATUS status = ::RegCreateKeyExA(HKEY_CURRENT_USER, m_strKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, key.Out(), nullptr);
  if (status != ERROR_SUCCESS) return Failed(status, reason);
  if (command.size() >= MAXDWORD) return Failed(ERROR_INVALID_PARAMETER, reason);
  status = ::RegSetValueExA(key.Get(), m_strValueName.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(command.c_str()), static_cast<DWORD>(command.size() + 1));
  return status == ERROR_SUCCESS || Failed(status, reason);
}

bool CStartupEntry::Remove(std::string* reason) const {
  win::CRegKey key;
  LSTATUS status = ::RegOpenKeyExA(HKEY_CURRENT_USER, m_strKey.c_str(), 0, KEY_SET_VALUE, key.Out());
  if (status == ERROR_SUCCESS) status = ::RegDeleteValueA(key.Get(), m_strValueName.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || Failed(status, reason);
}

}  // namespace qv
