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

namespace {

std::string Convert(const std::string& text, UINT from, UINT to) {
  if (text.empty() || text.size() > INT_MAX) return text;
  const int length = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(from, 0, text.data(), length, nullptr, 0);
  if (wide <= 0) return text;
  std::wstring utf16(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(from, 0, text.data(), length, utf16.data(), wide);
  const int n = WideCharToMultiByte(to, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return text;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(to, 0, utf16.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

uint32_t SystemLegacyCodePage() {
  char number[8] = {};
  if (GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, number, sizeof number) > 0)
    return static_cast<uint32_t>(std::strtoul(number, nullptr, 10));
  return 0;
}

std::string StoredTextForCodePage(const std::string& text, uint32_t processCodePage, uint32_t legacyCodePage) {
  // Without the UTF-8 code page the ANSI file functions take the legacy
  // code page: converting would name files that do not exist.
  if (processCodePage != CP_UTF8 || IsUtf8(text)) return text;
  if (legacyCodePage == 0 || legacyCodePage == CP_UTF8) return text;
  return Convert(text, legacyCodePage, CP_UTF8);
}

std::string StoredTextToUtf8(const std::string& text) {
  return StoredTextForCodePage(text, GetACP(), SystemLegacyCodePage());
}

std::string AnsiToUtf8(const std::string& text) {
  if (GetACP() == CP_UTF8) return text;
  return Convert(text, CP_ACP, CP_UTF8);
}

}  // namespace qv
