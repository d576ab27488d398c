// The command Windows runs when the user signs in: a text value under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run. Other
// systems start nothing this way; there every call reports that.
#pragma once

#include <optional>
#include <string>

namespace qv {

class CStartupEntry {
 public:
  static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  static constexpr const char* kValueName = "Quadrivue";

  // key: below HKEY_CURRENT_USER (tests use a key of their own).
  explicit CStartupEntry(std::string valueName = kValueName, std::string key = kRunKey);

  static bool Supported();

  // The stored command: the text of a string value, empty for a value of
  // another type; nullopt when there is no value or it cannot be read (then
  // reason, when given, says why; it stays empty when there is no value).
  std::optional<std::string> Read(std::string* reason = nullptr) const;
  // Stores command as a string value, making the key when it is missing.
  bool Write(const std::string& command, std::string* reason = nullptr) const;
  // Deletes the value; a value that is not there is no failure.
  bool Remove(std::string* reason = nullptr) const;

  const std::string& ValueName() const { return m_strValueName; }
  const std::string& Key() const { return m_strKey; }

 private:
  std::string m_strValueName;
  std::string m_strKey;
};

// The command that starts program: its path in quotes (a path with spaces
// must not be split where a space falls).
std::string StartupCommand(const std::string& programPath);

// Whether command starts program and nothing else: its path with or without
// quotes, in any case, blanks around it ignored.
bool StartupCommandNames(const std::string& command, const std::string& programPath);

}  // namespace qv
