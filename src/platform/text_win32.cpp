#include <windows.h>

#include <climits>

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

}  // namespace qv
