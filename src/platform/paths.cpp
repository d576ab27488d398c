#include "platform/paths.h"

namespace qv {

std::string GetProgramFolder() {
  const std::string module = GetModulePath();
  const auto cut = module.find_last_of(PathSeparator());
  if (cut == std::string::npos) return module;
  return module.substr(0, cut);
}

std::string GetProgramName() {
  const std::string module = GetModulePath();
  const auto slash = module.find_last_of(PathSeparator());
  std::string name = slash == std::string::npos ? module : module.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == PathSeparator()) return folder + name;
  return folder + PathSeparator() + name;
}

}  // namespace qv
