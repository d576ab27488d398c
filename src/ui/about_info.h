// The project's own web addresses: the home page (tray menu, settings
// dialog, about box) and the donation page (settings dialog).
#pragma once

namespace qv {

inline constexpr const char* kHomePageAddress = "https://quadrivue.example/";
inline constexpr const char* kDonationAddress = "https://quadrivue.example/donate";

}  // namespace qv
