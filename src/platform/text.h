// Byte strings in the system ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Lower-cases with the code page's rules (multibyte characters respected on
// Windows; ASCII letters elsewhere, where the code page is UTF-8).
std::string LowerCaseAnsi(std::string text);

// UTF-16 text into the ANSI code page (UTF-8 where the system has no other).
std::string WideToAnsi(const std::u16string& text);

// Whether the bytes are well-formed UTF-8 (plain ASCII is).
bool IsUtf8(std::string_view text);

// Text read from a data file, in the code page the program runs with (UTF-8):
// text that is UTF-8 already stays as it is; on Windows other text is taken
// as written by an older build in the system's legacy ANSI code page and
// converted. Elsewhere the code page has always been UTF-8.
std::string StoredTextToUtf8(const std::string& text);

}  // namespace qv
