// The per-user application profile: integers under a section and an entry.
// On Windows it is the registry key
//   HKEY_CURRENT_USER\Software\<company>\<application>\<section>, value <entry> (REG_DWORD);
// elsewhere a small text file <base>/<company>/<application>.ini with
// "[section]" headers and "entry=value" lines.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

class CProfile {
 public:
  // company: the registry key under Software; application: by default the
  // executable's name without extension.
  explicit CProfile(std::string company, std::string application = std::string());

  // POSIX only: the folder that holds the company folder (default
  // $XDG_CONFIG_HOME, else $HOME/.config). Ignored on Windows.
  void SetBaseFolder(std::string folder) { m_strBaseFolder = std::move(folder); }

  int32_t ReadInt(const std::string& section, const std::string& entry, int32_t defaultValue) const;
  // Creates the keys (or the file) when missing. Returns false when the value
  // could not be stored.
  bool WriteInt(const std::string& section, const std::string& entry, int32_t value) const;

  const std::string& Company() const { return m_strCompany; }
  const std::string& Application() const { return m_strApplication; }

 private:
  std::string m_strCompany;
  std::string m_strApplication;
  std::string m_strBaseFolder;
};

}  // namespace qv
