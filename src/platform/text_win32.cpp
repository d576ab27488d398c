#include <windows.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace qv {

std::string LowerCaseAnsi(std::string text) {
  if (!text.empty() && text.size() <= UINT_MAX) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::string WideToAnsi(const std::u16string& text) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int wideLen = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, wideLen, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, wideLen, out.data(), n, nullptr, nullptr);
  return out;
}

std::string StoredTextToUtf8(const std::string& text) {
  if (IsUtf8(text) || text.size() > INT_MAX) return text;
  // The system's own ANSI code page, whatever code page this program runs with.
  char number[8] = {};
  UINT legacy = CP_ACP;
  if (GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, number, sizeof number) > 0)
    legacy = static_cast<UINT>(std::strtoul(number, nullptr, 10));
  if (legacy == 0 || legacy == CP_UTF8) return text;
  const int length = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(legacy, 0, text.data(), length, nullptr, 0);
  if (wide <= 0) return text;
  std::wstring utf16(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(legacy, 0, text.data(), length, utf16.data(), wide);
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return text;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace qv
