#include "platform/number_field.h"

namespace qv {

namespace {
constexpr size_t kFieldChars = 31;
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

bool ParseUnsignedField(std::string_view text, uint32_t& value) {
  text = text.substr(0, kFieldChars);
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at == text.size() || text[at] < '0' || text[at] > '9') return false;
  uint64_t number = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    number = number * 10 + static_cast<uint64_t>(text[at] - '0');
    if (number > UINT32_MAX) return false;
  }
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at != text.size()) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

std::string FormatUnsignedField(uint32_t value) { return std::to_string(value); }

}  // namespace qv
