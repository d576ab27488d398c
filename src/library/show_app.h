// The application object: it owns the settings record and carries the
// persistence of the record and the picture file list.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "library/excluded_files.h"
#include "library/file_index.h"
#include "library/file_list_rebuilder.h"
#include "library/file_list_scan.h"
#include "library/monitor_pictures.h"
#include "library/settings_file.h"
#include "library/show_settings.h"
#include "library/shuffle_order.h"

namespace qv {

class CProfile;

class CShowApp : public CShowSettings {
 public:
  // Data files in the program's data folder (GetDataFolder).
  CShowApp();
  // Data files where the caller says (tests, the command-line tool).
  CShowApp(std::string settingsPath, std::string indexPath);

  // Profile location of the sequential position.
  static constexpr const char* kProfileCompany = "Quadrivue";
  static constexpr const char* kProfileSection = "Settings";
  static constexpr const char* kProfileEntry = "Counter";
  static constexpr const char* kProfileAutoRotate = "AutoRotate";
  static constexpr const char* kProfileMonitors = "Monitors";
  // Random order without repeats, and where its walk stands.
  static constexpr const char* kProfileNoRepeats = "NoRepeats";
  static constexpr const char* kProfileShuffleSeed = "ShuffleSeed";
  static constexpr const char* kProfileShufflePosition = "ShufflePosition";
  static constexpr const char* kProfileShuffleCount = "ShuffleCount";
  // The options of the settings dialog kept beside them.
  static constexpr const char* kProfileMatchShape = "MatchShape";
  static constexpr const char* kProfileSamePictures = "SamePictures";
  static constexpr const char* kProfilePauseOnBattery = "PauseOnBattery";
  static constexpr const char* kProfileFade = "Fade";

  // The settings file, and with it the excluded pictures (m_excluded).
  ESettingsLoad LoadSettings();
  bool SaveSettings(std::string* error = nullptr) const { return SaveSettingsFile(m_strSettingsPath, *this, error); }

  // m_nCounter from the profile (0 when absent), and back.
  void ReadCounter(const CProfile& profile);
  bool WriteCounter(const CProfile& profile, int32_t value) const;
  // The same in the running program's own profile (company kProfileCompany).
  void LoadCounter();
  bool SaveCounter() const;
  // m_bAutoRotate (1 when absent; never written) and m_nMonitorMask (0 when
  // absent) from the profile; the mask is written when the settings are.
  // m_bNoRepeats (when absent: 1 for a profile without "Counter", a first
  // start; else 0) and where the walk of its order stands. Also
  // m_bMatchShape (absent: 0), m_bSamePictures (absent: 1), and
  // m_bPauseOnBattery and m_bFade (absent: as m_bNoRepeats).
  void ReadProfileOptions(const CProfile& profile);
  // m_bNoRepeats and the order's walk, kept with the counter.
  bool WriteNoRepeats(const CProfile& profile) const;
  // The settings dialog's options kept in the profile: m_bMatchShape,
  // m_bSamePictures, m_bPauseOnBattery, m_bFade.
  bool WriteShowOptions(const CProfile& profile) const;
  void LoadProfileOptions();
  bool WriteMonitorMask(const CProfile& profile) const;
  bool SaveMonitorMask() const;

  // The pictures never to show: excluded.txt beside the settings file.
  const std::string& ExcludedPath() const { return m_strExcludedPath; }
  bool IsExcluded(const std::string& path) const { return m_excluded.Contains(path); }
  // Adds path to the excluded pictures and their file (the one they were
  // loaded from, else ExcludedPath()). False with the reason in error (if
  // given) when the file could not be written; it then stays as it was.
  bool ExcludePicture(const std::string& path, std::string* error = nullptr);

  // A rebuild of the file list on a worker, with copies of what it needs;
  // with m_bSamePictures 0 it makes the lists of the chosen monitors that
  // have pictures of their own too.
  CRebuildJob RebuildJob() { return RebuildJob(m_bSamePictures, m_nMonitor, m_nMonitorMask); }
  // The same for the choice the settings dialog holds.
  CRebuildJob RebuildJob(int32_t samePictures, int32_t first, int32_t mask);

  // What a show on monitor (0-based) draws from: the list of settings.idx,
  // or, with m_bSamePictures 0, the monitor's own when it has folders of its
  // own and is not m_nMonitor.
  struct CPictureSource {
    const CFileIndex* index;
    int32_t* counter;
    CShuffleOrder* shuffle;
  };
  CPictureSource PicturesFor(int32_t monitor);
  // The folders and list of monitor (0-based), read from its files the first
  // time it is asked for; kept however the monitors change.
  CMonitorPictures& MonitorPictures(int32_t monitor);
  // Every list was made again: each order starts anew.
  void RestartOrders();

  // Rescans every folder, replaces m_arrFiles and rewrites the index.
  // Returns false when the index could not be written (the old one stays),
  // with the system's reason in error (if given).
  bool RebuildFileList(CProgressControl* progress, std::string* error = nullptr);
  // One folder of the scan, without the excluded pictures; descends into
  // subfolders at once when m_bSubfolders is set, entering each folder once
  // however many links lead to it.
  void ScanFolder(std::string folder, CProgressControl* progress);
  bool WriteFileIndex() const { return m_fileIndex.Write(m_arrFiles); }

  int32_t GetFileCount() const { return m_fileIndex.GetFileCount(); }
  std::string GetFileAt(int32_t index) const { return m_fileIndex.GetFileAt(index); }

  // The extension filter of the scan: .jpg .psd .png .bmp .pcx .tif .tga in any case.
  static bool IsPictureFile(const std::string& path);

  const std::string& SettingsPath() const { return m_strSettingsPath; }
  const std::string& IndexPath() const { return m_fileIndex.Path(); }

  // Left out of every scan; loaded with the settings.
  CExcludedFiles m_excluded;
  // Random order walks a permutation shared by every show: no picture comes
  // twice before all have come.
  int32_t m_bNoRepeats = 0;
  CShuffleOrder m_shuffle;
  // Every chosen monitor shows the pictures of settings.idx; 0: a monitor
  // with folders of its own shows those.
  int32_t m_bSamePictures = 1;
  // The show rests while the machine runs on battery.
  int32_t m_bPauseOnBattery = 1;
  // A new picture fades in over the old one.
  int32_t m_bFade = 1;

 private:
  std::string m_strSettingsPath;
  std::string m_strExcludedPath;
  CFileIndex m_fileIndex;
  std::map<int32_t, std::unique_ptr<CMonitorPictures>> m_mapMonitorPictures;
};

}  // namespace qv
