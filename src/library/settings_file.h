// settings.idx: the stored part of the settings record.
//
// Layout, little-endian, no header: folder count N (4 bytes), N counted
// strings, the ten scalars of kSettingsFields (4 bytes each), a 0xFFFFFFFF
// terminator. A counted string is one length byte below 255; or 0xFF and a
// 16-bit length up to 65533; or 0xFF, 0xFFFF and a 32-bit length. On reading,
// 0xFF 0xFFFE announces UTF-16LE text whose length in 16-bit units follows in
// one of those forms.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "library/show_settings.h"

namespace qv {

enum class ESettingsLoad {
  Loaded,   // every value read
  Missing,  // no file (or not readable): the record is unchanged
  Damaged,  // the file ended early or held an impossible length
};

// Reads path into the record. A damaged file keeps what was read before the
// damage: the folders whose strings were complete and the scalars that were
// read whole; every other stored scalar gets its default. The record is always
// complete afterwards. Counter and file list are not touched.
ESettingsLoad LoadSettingsFile(const std::string& path, CShowSettings& record);

// The same from an open stream holding size bytes.
ESettingsLoad DecodeSettings(FILE* file, uint64_t size, CShowSettings& record);

// Writes the record's stored part to path through a temporary file; the old
// file stays when anything fails. Returns false then, with the system's
// reason in error (if given).
bool SaveSettingsFile(const std::string& path, const CShowSettings& record, std::string* error = nullptr);

// The bytes of the whole file for the record.
std::string EncodeSettings(const CShowSettings& record);

// Appends one counted string (the three forms the writer uses).
void AppendCountedString(std::string& out, std::string_view text);

}  // namespace qv
