#include "ui/link_open.h"

#include <array>
#include <utility>

namespace qv {

std::optional<std::string> BuildOpenCommand(const std::string& command, const std::string& address) {
  std::string line = command;
  size_t cut = line.find("\"%1\"");
  if (cut == std::string::npos) cut = line.find("%1");
  if (cut != std::string::npos) line.erase(cut);
  line += ' ';
  line += address;
  if (line.size() >= kOpenCommandChars) return std::nullopt;
  return line;
}

std::string OpenErrorText(int32_t code) {
  static constexpr std::array<std::pair<int32_t, const char*>, 13> kTexts{{
      {0, "The operating system is out\nof memory or resources."},
      {2, "The specified file was not found."},
      {3, "The specified path was not found."},
      {5, "The operating system denied\naccess to the specified file."},
      {8, "There was not enough memory to complete the operation."},
      {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
      {26, "A sharing violation occurred. "},
      {27, "The filename association is\nincomplete or invalid."},
      {28, "The DDE transaction could not\nbe completed because the request timed out."},
      {29, "The DDE transaction failed."},
      {30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
      {31, "There is no application associated\nwith the given filename extension."},
      {32, "The specified dynamic-link library was not found."},
  }};
  std::string text = "Can't open link:\n\n";
  for (const auto& [known, meaning] : kTexts) {
    if (known == code) return text + meaning;
  }
  return text + "Unknown Error (" + std::to_string(code) + ") occurred.";
}

}  // namespace qv
