// The settings record of the show: what the user configured.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct CShowSettings {
  CShowSettings();

  std::vector<std::string> m_arrFolders;  // picture folders, in the order added
  int32_t m_nCounter = 0;                 // last index shown in sequential order
  std::vector<std::string> m_arrFiles;    // working result of the last scan

  // The ten stored scalars, in file order; defaults in kSettingsFields.
  int32_t m_bSubfolders;
  int32_t m_bSmartCrop;
  int32_t m_bIgnoreSmall;
  int32_t m_nMinWidth;
  int32_t m_bRandom;
  int32_t m_bUpdateOnStart;
  int32_t m_nInterval;
  int32_t m_bMinutes;  // exactly 1: m_nInterval counts minutes; otherwise seconds
  int32_t m_nFitMode;  // 0 fit inside, 1 zoom to fill
  int32_t m_nMonitor;  // -1: choose automatically

  // Not in settings.idx: the profile value "Settings"/"AutoRotate" (0 turns
  // it off). Non-zero: JPEG pictures are turned upright by their camera
  // orientation.
  int32_t m_bAutoRotate = 1;
  // Not in settings.idx either: the profile value "Settings"/"Monitors", the
  // monitors that run a show, bit i for monitor i. 0 (or absent): only
  // m_nMonitor, which is always the first of them.
  int32_t m_nMonitorMask = 0;
  // The profile value "Settings"/"MatchShape" (absent: 0). Non-zero: a
  // landscape monitor passes over portrait pictures and a portrait one over
  // landscape pictures.
  int32_t m_bMatchShape = 0;

  // Gives every stored scalar its default; folders, counter and files stay.
  void ResetStoredScalars();
  // Every scalar of the record (stored ones, counter, profile options)
  // without the folder and file lists: what a slide is prepared with.
  CShowSettings ScalarsOnly() const;
};

struct CSettingsField {
  const char* name;
  int32_t CShowSettings::*member;
  int32_t defaultValue;
};

// The stored scalars in the order settings.idx holds them, with their defaults.
inline constexpr std::array<CSettingsField, 10> kSettingsFields{{
    {"m_bSubfolders", &CShowSettings::m_bSubfolders, 1},
    {"m_bSmartCrop", &CShowSettings::m_bSmartCrop, 1},
    {"m_bIgnoreSmall", &CShowSettings::m_bIgnoreSmall, 1},
    {"m_nMinWidth", &CShowSettings::m_nMinWidth, 300},
    {"m_bRandom", &CShowSettings::m_bRandom, 1},
    {"m_bUpdateOnStart", &CShowSettings::m_bUpdateOnStart, 0},
    {"m_nInterval", &CShowSettings::m_nInterval, 20},
    {"m_bMinutes", &CShowSettings::m_bMinutes, 0},
    {"m_nFitMode", &CShowSettings::m_nFitMode, 1},
    {"m_nMonitor", &CShowSettings::m_nMonitor, -1},
}};

// The field called name, or null.
const CSettingsField* FindSettingsField(const std::string& name);

}  // namespace qv
