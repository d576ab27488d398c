// The parts of opening a web link that need no window: the command line of
// the registered browser, and the texts of the failures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qv {

// Room for the browser's command line and the address.
inline constexpr size_t kOpenCommandChars = 520;

// The open command of the ".htm" class with the address in place of its
// placeholder: cut at "\"%1\"" (at its opening quotation mark), else at
// "%1", then a blank and the address. Nothing when the result does not fit.
std::optional<std::string> BuildOpenCommand(const std::string& command, const std::string& address);

// "Can't open link:\n\n" and what the shell's or the start's code means.
std::string OpenErrorText(int32_t code);

}  // namespace qv
