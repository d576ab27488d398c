// scan, list and settings: the picture file list and the settings file.
#include <cstdio>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "library/show_app.h"

namespace qv::cli {

int CmdScan(const Words& words) {
  const CArgs args(words, {"no-subfolders"});
  if (!args.Ok() || !args.OnlyKnown({"no-subfolders", "index", "exclude"}) || !args.Has("index") ||
      args.Positional().empty())
    return Usage();
  CShowApp app(std::string(), *args.Value("index"));
  // As in the application, a missing file excludes nothing.
  if (const auto excluded = args.Value("exclude")) app.m_excluded.Load(*excluded);
  app.m_arrFolders = args.Positional();
  app.m_bSubfolders = args.Has("no-subfolders") ? 0 : 1;
  if (!app.RebuildFileList(nullptr)) return Fail("cannot write index " + app.IndexPath());
  std::printf("files %zu\n", app.m_arrFiles.size());
  return 0;
}

int CmdList(const Words& words) {
  const CArgs args(words, {});
  if (!args.Ok() || !args.OnlyKnown({"index", "at"}) || !args.Has("index") || !args.Positional().empty())
    return Usage();
  const CFileIndex index(*args.Value("index"));
  if (const auto at = args.Value("at")) {
    const auto i = ParseInt(*at, INT64_MIN, INT64_MAX);
    if (!i) return Usage();
    const bool inRange = *i >= 0 && *i <= INT32_MAX;
    std::printf("%s\n", inRange ? index.GetFileAt(static_cast<int32_t>(*i)).c_str() : "");
    return 0;
  }
  const int32_t count = index.GetFileCount();
  for (int32_t i = 0; i < count; ++i) std::printf("%s\n", index.GetFileAt(i).c_str());
  return 0;
}

namespace {

void PrintSettings(const CShowSettings& record) {
  for (const auto& folder : record.m_arrFolders) std::printf("folder %s\n", folder.c_str());
  for (const auto& field : kSettingsFields) std::printf("%s %d\n", field.name, record.*field.member);
}

// Applies one name=value word; false with a message when it is not one.
bool ApplySetting(CShowSettings& record, const std::string& word, std::string& problem) {
  if (word.compare(0, 8, "folder+=") == 0) {
    record.m_arrFolders.push_back(word.substr(8));
    return true;
  }
  if (word == "folders=") {
    record.m_arrFolders.clear();
    return true;
  }
  const auto eq = word.find('=');
  const CSettingsField* field = eq == std::string::npos ? nullptr : FindSettingsField(word.substr(0, eq));
  if (!field) {
    problem = "unknown setting '" + word + "'";
    return false;
  }
  // The dialog enters some fields as unsigned: accept the whole 32-bit range of either.
  const auto value = ParseInt(word.substr(eq + 1), INT32_MIN, UINT32_MAX);
  if (!value) {
    problem = "not a 32-bit number in '" + word + "'";
    return false;
  }
  record.*field->member = static_cast<int32_t>(static_cast<uint32_t>(*value));
  return true;
}

}  // namespace

int CmdSettings(const Words& words) {
  if (words.size() < 2) return Usage();
  const std::string& action = words[0];
  CShowApp app(words[1], std::string());
  if (action == "defaults" && words.size() == 2) {
    return app.SaveSettings() ? 0 : Fail("cannot write " + words[1]);
  }
  if (action == "show" && words.size() == 2) {
    if (app.LoadSettings() == ESettingsLoad::Missing) return Fail("cannot read " + words[1]);
    PrintSettings(app);
    return 0;
  }
  if (action == "set" && words.size() >= 3) {
    app.LoadSettings();
    for (size_t i = 2; i < words.size(); ++i) {
      std::string problem;
      if (!ApplySetting(app, words[i], problem)) {
        std::fprintf(stderr, "error: %s\n", problem.c_str());
        return 2;
      }
    }
    return app.SaveSettings() ? 0 : Fail("cannot write " + words[1]);
  }
  return Usage();
}

}  // namespace qv::cli
