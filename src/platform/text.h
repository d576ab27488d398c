// Byte strings in the system ANSI code page.
#pragma once

#include <cstdint>
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

// Text read from a data file, in the code page the program runs with. Where
// that is UTF-8 (always off Windows; on Windows from 10 version 1903, through
// the manifest), text that is UTF-8 already stays as it is and other text is
// taken as written by an older build in the system's legacy ANSI code page and
// converted. On older Windows the program runs with the legacy code page
// itself, so names stay exactly as stored.
std::string StoredTextToUtf8(const std::string& text);

// Text in the code page the program runs with, as UTF-8 (for the log).
std::string AnsiToUtf8(const std::string& text);

#ifdef _WIN32
// StoredTextToUtf8's rule for a process code page and a legacy code page.
std::string StoredTextForCodePage(const std::string& text, uint32_t processCodePage, uint32_t legacyCodePage);
// The system's legacy ANSI code page, whatever code page this program runs with.
uint32_t SystemLegacyCodePage();
#endif

}  // namespace qv
