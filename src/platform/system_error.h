// The system's own words for why a call failed.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// The calling thread's last system error: GetLastError() on Windows, errno
// elsewhere.
uint32_t LastSystemError();

// The system's message for a system error code (FormatMessage on Windows,
// strerror elsewhere), without a trailing line end; a generic text with the
// number when the system has none.
std::string SystemErrorText(uint32_t code);

}  // namespace qv
