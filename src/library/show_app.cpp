#include "library/show_app.h"

#include <array>
#include <climits>
#include <ctime>
#include <string_view>

#include "library/file_list_scan.h"
#include "platform/data_folder.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace qv {

namespace {

// The file name in the folder of file ("name" alone when file has no folder).
std::string BesideFile(const std::string& file, const char* name) {
  const auto cut = file.find_last_of(std::string(1, PathSeparator()) + '/');
  return cut == std::string::npos ? std::string(name) : file.substr(0, cut + 1) + name;
}

}  // namespace

CShowApp::CShowApp() : CShowApp(JoinPath(GetDataFolder(), "settings.idx"), JoinPath(GetDataFolder(), "filelist.idx")) {}

CShowApp::CShowApp(std::string settingsPath, std::string indexPath)
    : m_strSettingsPath(std::move(settingsPath)),
      m_strExcludedPath(BesideFile(m_strSettingsPath, CExcludedFiles::kFileName)),
      m_fileIndex(std::move(indexPath)) {}

ESettingsLoad CShowApp::LoadSettings() {
  m_excluded.Load(m_strExcludedPath);
  return LoadSettingsFile(m_strSettingsPath, *this);
}

bool CShowApp::ExcludePicture(const std::string& path, std::string* error) {
  if (m_excluded.Path().empty()) m_excluded.Load(m_strExcludedPath);
  return m_excluded.Add(path, error);
}

CRebuildJob CShowApp::RebuildJob(int32_t samePictures, int32_t first, int32_t mask) {
  CRebuildJob job{m_arrFolders, m_bSubfolders != 0, IndexPath(), m_excluded};
  if (samePictures) return job;
  for (int32_t monitor = 0; monitor < 32; ++monitor) {
    if (monitor == first || !((static_cast<uint32_t>(mask) >> monitor) & 1u)) continue;
    const CMonitorPictures& own = MonitorPictures(monitor);
    if (own.m_bOwn) job.moreLists.push_back({own.m_arrFolders, own.IndexPath()});
  }
  return job;
}

CShowApp::CPictureSource CShowApp::PicturesFor(int32_t monitor) {
  if (!m_bSamePictures && monitor >= 0 && monitor != m_nMonitor) {
    CMonitorPictures& own = MonitorPictures(monitor);
    if (own.m_bOwn) return {&own.m_index, &own.m_nCounter, &own.m_shuffle};
  }
  return {&m_fileIndex, &m_nCounter, &m_shuffle};
}

CMonitorPictures& CShowApp::MonitorPictures(int32_t monitor) {
  std::unique_ptr<CMonitorPictures>& entry = m_mapMonitorPictures[monitor];
  if (!entry) {
    entry = std::make_unique<CMonitorPictures>(BesideFile(m_strSettingsPath, MonitorSettingsName(monitor).c_str()),
                                               BesideFile(m_strSettingsPath, MonitorIndexName(monitor).c_str()));
    entry->Load();
  }
  return *entry;
}

void CShowApp::RestartOrders() {
  m_shuffle.Restart();
  for (auto& [monitor, own] : m_mapMonitorPictures) own->m_shuffle.Restart();
}

void CShowApp::ReadCounter(const CProfile& profile) { m_nCounter = profile.ReadInt(kProfileSection, kProfileEntry, 0); }

bool CShowApp::WriteCounter(const CProfile& profile, int32_t value) const {
  return profile.WriteInt(kProfileSection, kProfileEntry, value);
}

void CShowApp::LoadCounter() { ReadCounter(CProfile(kProfileCompany)); }

bool CShowApp::SaveCounter() const {
  const CProfile profile(kProfileCompany);
  const bool noRepeats = WriteNoRepeats(profile);
  return WriteCounter(profile, m_nCounter) && noRepeats;
}

void CShowApp::ReadProfileOptions(const CProfile& profile) {
  m_bAutoRotate = profile.ReadInt(kProfileSection, kProfileAutoRotate, 1);
  m_nMonitorMask = profile.ReadInt(kProfileSection, kProfileMonitors, 0);
  constexpr int32_t kAbsent = INT32_MIN;
  const bool firstStart = profile.ReadInt(kProfileSection, kProfileEntry, kAbsent) == kAbsent;
  m_bNoRepeats = profile.ReadInt(kProfileSection, kProfileNoRepeats, firstStart ? 1 : 0) != 0 ? 1 : 0;
  m_bMatchShape = profile.ReadInt(kProfileSection, kProfileMatchShape, 0) != 0 ? 1 : 0;
  m_bSamePictures = profile.ReadInt(kProfileSection, kProfileSamePictures, 1) != 0 ? 1 : 0;
  m_bPauseOnBattery = profile.ReadInt(kProfileSection, kProfilePauseOnBattery, firstStart ? 1 : 0) != 0 ? 1 : 0;
  m_bFade = profile.ReadInt(kProfileSection, kProfileFade, firstStart ? 1 : 0) != 0 ? 1 : 0;
  const int32_t seed = profile.ReadInt(kProfileSection, kProfileShuffleSeed, kAbsent);
  // Without a stored walk, the clock chooses the first permutation.
  m_shuffle = seed == kAbsent
                  ? CShuffleOrder(NextShuffleSeed(static_cast<uint32_t>(std::time(nullptr))))
                  : CShuffleOrder(static_cast<uint32_t>(seed),
                                  static_cast<uint32_t>(profile.ReadInt(kProfileSection, kProfileShufflePosition, 0)),
                                  static_cast<uint32_t>(profile.ReadInt(kProfileSection, kProfileShuffleCount, 0)));
}

bool CShowApp::WriteNoRepeats(const CProfile& profile) const {
  const auto write = [&](const char* entry, uint32_t value) {
    return profile.WriteInt(kProfileSection, entry, static_cast<int32_t>(value));
  };
  return write(kProfileNoRepeats, m_bNoRepeats != 0 ? 1 : 0) && write(kProfileShuffleSeed, m_shuffle.Seed()) &&
         write(kProfileShufflePosition, m_shuffle.Position()) && write(kProfileShuffleCount, m_shuffle.Count());
}

bool CShowApp::WriteShowOptions(const CProfile& profile) const {
  const auto write = [&](const char* entry, int32_t value) {
    return profile.WriteInt(kProfileSection, entry, value != 0 ? 1 : 0);
  };
  const bool shape = write(kProfileMatchShape, m_bMatchShape);
  const bool same = write(kProfileSamePictures, m_bSamePictures);
  const bool battery = write(kProfilePauseOnBattery, m_bPauseOnBattery);
  return write(kProfileFade, m_bFade) && shape && same && battery;
}

void CShowApp::LoadProfileOptions() { ReadProfileOptions(CProfile(kProfileCompany)); }

bool CShowApp::WriteMonitorMask(const CProfile& profile) const {
  return profile.WriteInt(kProfileSection, kProfileMonitors, m_nMonitorMask);
}

bool CShowApp::SaveMonitorMask() const { return WriteMonitorMask(CProfile(kProfileCompany)); }

bool CShowApp::RebuildFileList(CProgressControl* progress, std::string* error) {
  m_arrFiles.clear();
  for (const auto& folder : m_arrFolders) ScanFolder(folder, progress);
  if (progress) progress->SetText("Writing Index");
  if (!m_fileIndex.Write(m_arrFiles, error)) return false;
  m_shuffle.Restart();
  return true;
}

// Each call is a walk of its own: a folder given twice is listed twice, but
// within one walk every folder is entered once.
void CShowApp::ScanFolder(std::string folder, CProgressControl* progress) {
  CFolderScan(m_arrFiles, m_bSubfolders != 0, progress, nullptr, nullptr, &m_excluded).Scan(std::move(folder));
}

bool CShowApp::IsPictureFile(const std::string& path) {
  static constexpr std::array<std::string_view, 7> kExtensions{".jpg", ".psd", ".png", ".bmp", ".pcx", ".tif", ".tga"};
  const std::string lower = LowerCaseAnsi(path);
  const std::string_view tail =
      lower.size() < 4 ? std::string_view(lower) : std::string_view(lower).substr(lower.size() - 4);
  for (const auto ext : kExtensions) {
    if (tail == ext) return true;
  }
  return false;
}

}  // namespace qv
