// Byte strings in the system ANSI code page.
#pragma once

#include <string>

namespace qv {

// Lower-cases with the code page's rules (multibyte characters respected on
// Windows; ASCII letters elsewhere, where the code page is UTF-8).
std::string LowerCaseAnsi(std::string text);

// UTF-16 text into the ANSI code page (UTF-8 where the system has no other).
std::string WideToAnsi(const std::u16string& text);

}  // namespace qv
