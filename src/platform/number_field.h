// The number fields of the dialogs: unsigned decimal in, unsigned decimal out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// What the dialogs say when a number field does not hold a number.
inline constexpr const char* kNotAPositiveInteger = "Please enter a positive integer.";

// Reads one unsigned decimal number from at most the first 31 characters of
// text, with blanks and tabs allowed before and after it. False for an empty
// text, a sign, any other character, or a value beyond 32 bits.
bool ParseUnsignedField(std::string_view text, uint32_t& value);

// The value as the field shows it ("%u").
std::string FormatUnsignedField(uint32_t value);

}  // namespace qv
