// The folders and picture list of one monitor that has pictures of its own:
// files of the same formats as settings.idx and filelist.idx beside them,
// named by the monitor's number as the settings dialog shows it
// ("settings-2.idx" and "filelist-2.idx" for MONITOR 2).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/file_index.h"
#include "library/settings_file.h"
#include "library/show_settings.h"
#include "library/shuffle_order.h"

namespace qv {

// The file names of monitor index (0-based; named by index + 1).
std::string MonitorSettingsName(int32_t index);
std::string MonitorIndexName(int32_t index);

class CMonitorPictures {
 public:
  CMonitorPictures(std::string settingsPath, std::string indexPath);

  // The folders of the settings file; the monitor has pictures of its own
  // when the file is there (m_bOwn).
  ESettingsLoad Load();
  // The folders written with the scalars of settings (the file keeps the
  // format of settings.idx); false with the system's reason in error.
  bool Save(const CShowSettings& settings, std::string* error = nullptr);

  const std::string& SettingsPath() const { return m_strSettingsPath; }
  const std::string& IndexPath() const { return m_index.Path(); }

  std::vector<std::string> m_arrFolders;
  CFileIndex m_index;
  // Where its sequential and no-repeats orders stand (not kept across runs).
  int32_t m_nCounter = 0;
  CShuffleOrder m_shuffle;
  // Folders of its own: a file was found, or the folders were edited.
  bool m_bOwn = false;

 private:
  std::string m_strSettingsPath;
};

}  // namespace qv
