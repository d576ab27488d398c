// The project's own web addresses: the home page (tray menu, settings
// dialog, about box) and the donation page (settings dialog).
#pragma once

#include <string>
#include <string_view>

namespace qv {

inline constexpr const char* kHomePageAddress = "https://quadrivue.example/";
inline constexpr const char* kDonationAddress = "https://quadrivue.example/donate";

// The user guide shipped beside the program.
inline constexpr const char* kGuideFileName = "guide.html";

// A name under the reserved ".example" domain: no site answers there yet.
inline bool IsPlaceholderAddress(std::string_view address) {
  const size_t scheme = address.find("://");
  std::string_view host = address.substr(scheme == std::string_view::npos ? 0 : scheme + 3);
  host = host.substr(0, host.find_first_of("/:?#"));
  constexpr std::string_view kReserved = ".example";
  return host.size() >= kReserved.size() && host.substr(host.size() - kReserved.size()) == kReserved;
}

// Where "Visit Home Page..." and the about box's link lead: the user guide
// while the home page is a placeholder and the guide is there, else the
// home page.
inline std::string HomeLinkTarget(std::string_view address, const std::string& guidePath, bool guideThere) {
  return IsPlaceholderAddress(address) && guideThere ? guidePath : std::string(address);
}

}  // namespace qv
