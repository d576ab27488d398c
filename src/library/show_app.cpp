#include "library/show_app.h"

#include <array>
#include <cstdio>
#include <set>
#include <string_view>

#include "platform/directory.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace qv {

CShowApp::CShowApp()
    : CShowApp(JoinPath(GetProgramFolder(), "settings.idx"), JoinPath(GetProgramFolder(), "filelist.idx")) {}

CShowApp::CShowApp(std::string settingsPath, std::string indexPath)
    : m_strSettingsPath(std::move(settingsPath)), m_fileIndex(std::move(indexPath)) {}

void CShowApp::ReadCounter(const CProfile& profile) { m_nCounter = profile.ReadInt(kProfileSection, kProfileEntry, 0); }

bool CShowApp::WriteCounter(const CProfile& profile, int32_t value) const {
  return profile.WriteInt(kProfileSection, kProfileEntry, value);
}

void CShowApp::LoadCounter() { ReadCounter(CProfile(kProfileCompany)); }

bool CShowApp::SaveCounter() const { return WriteCounter(CProfile(kProfileCompany), m_nCounter); }

void CShowApp::ReadProfileOptions(const CProfile& profile) {
  m_bAutoRotate = profile.ReadInt(kProfileSection, kProfileAutoRotate, 1);
  m_nMonitorMask = profile.ReadInt(kProfileSection, kProfileMonitors, 0);
}

void CShowApp::LoadProfileOptions() { ReadProfileOptions(CProfile(kProfileCompany)); }

bool CShowApp::WriteMonitorMask(const CProfile& profile) const {
  return profile.WriteInt(kProfileSection, kProfileMonitors, m_nMonitorMask);
}

bool CShowApp::SaveMonitorMask() const { return WriteMonitorMask(CProfile(kProfileCompany)); }

bool CShowApp::RebuildFileList(CProgressControl* progress) {
  m_arrFiles.clear();
  for (const auto& folder : m_arrFolders) ScanFolder(folder, progress);
  if (progress) progress->SetText("Writing Index");
  return WriteFileIndex();
}

namespace {

// One walk of ScanFolder: the folders it has entered, by identity, so that a
// folder reached again through a link (a link to itself, to a parent, or a
// second link to the same place) is not listed again. The path-length limit
// still ends a walk where identities cannot be read.
class CFolderWalk {
 public:
  CFolderWalk(CShowApp& app, CProgressControl* progress) : m_app(app), m_pProgress(progress) {}

  void Scan(std::string folder) {
    const char separator = PathSeparator();
    if (folder.empty()) return;  // an empty entry names no folder (not the drive root)
    if (folder.back() != separator) folder += separator;
    // Nothing below a folder this long fits in an index record.
    if (folder.size() >= kFileIndexMaxPath) return;
    if (const auto identity = QueryFolderIdentity(folder)) {
      if (!m_visited.insert(*identity).second) return;
    }

    EnumerateDirectory(folder, [&](const CDirEntry& entry) {
      if (entry.name.empty() || entry.name == "." || entry.name == "..") return;
      std::string path = folder;
      path.append(entry.name);
      if (entry.isDirectory) {
        if (m_app.m_bSubfolders) Scan(std::move(path));
        return;
      }
      // A path a record cannot hold is left out rather than stored cut short.
      if (path.size() > kFileIndexMaxPath || !CShowApp::IsPictureFile(path)) return;
      auto& files = m_app.m_arrFiles;
      files.push_back(std::move(path));
      if (m_pProgress && files.size() % 10 == 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Files so far: %d", static_cast<int>(files.size()));
        m_pProgress->SetText(text);
      }
    });
  }

 private:
  CShowApp& m_app;
  CProgressControl* m_pProgress;
  std::set<CFolderIdentity> m_visited;
};

}  // namespace

// Each call is a walk of its own: a folder given twice is listed twice, but
// within one walk every folder is entered once.
void CShowApp::ScanFolder(std::string folder, CProgressControl* progress) {
  CFolderWalk(*this, progress).Scan(std::move(folder));
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
