#include "library/monitor_pictures.h"

#include <ctime>

namespace qv {

namespace {

std::string NumberedName(const char* stem, int32_t index) {
  std::string name = stem;
  name += '-';
  name += std::to_string(int64_t{index} + 1);
  name += ".idx";
  return name;
}

}  // namespace

std::string MonitorSettingsName(int32_t index) { return NumberedName("settings", index); }
std::string MonitorIndexName(int32_t index) { return NumberedName("filelist", index); }

CMonitorPictures::CMonitorPictures(std::string settingsPath, std::string indexPath)
    : m_index(std::move(indexPath)),
      m_shuffle(
          NextShuffleSeed(static_cast<uint32_t>(std::time(nullptr)) ^ static_cast<uint32_t>(m_index.Path().size()))),
      m_strSettingsPath(std::move(settingsPath)) {}

ESettingsLoad CMonitorPictures::Load() {
  CShowSettings stored;
  const ESettingsLoad result = LoadSettingsFile(m_strSettingsPath, stored);
  if (result == ESettingsLoad::Missing) return result;
  m_arrFolders = std::move(stored.m_arrFolders);
  m_bOwn = true;
  return result;
}

bool CMonitorPictures::Save(const CShowSettings& settings, std::string* error) {
  CShowSettings record = settings.ScalarsOnly();
  record.m_arrFolders = m_arrFolders;
  if (!SaveSettingsFile(m_strSettingsPath, record, error)) return false;
  m_bOwn = true;
  return true;
}

}  // namespace qv
