#include "library/settings_file.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/byte_order.h"
#include "platform/file_io.h"
#include "platform/text.h"

namespace qv {

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

// Reads the file front to back and never asks for more than it still holds,
// so no length in the file can make it allocate beyond the file's size.
class CSettingsReader {
 public:
  CSettingsReader(FILE* file, uint64_t size) : m_pFile(file), m_nRemaining(size) {}

  bool Read(void* data, uint64_t size) {
    if (size > m_nRemaining) return false;
    if (size > 0 && std::fread(data, 1, static_cast<size_t>(size), m_pFile) != size) return false;
    m_nRemaining -= size;
    return true;
  }
  bool U8(uint8_t& v) { return Read(&v, 1); }
  bool U16(uint16_t& v) {
    uint8_t b[2];
    if (!Read(b, 2)) return false;
    v = LoadU16LE(b);
    return true;
  }
  bool U32(uint32_t& v) {
    uint8_t b[4];
    if (!Read(b, 4)) return false;
    v = LoadU32LE(b);
    return true;
  }
  uint64_t Remaining() const { return m_nRemaining; }

 private:
  FILE* m_pFile;
  uint64_t m_nRemaining;
};

// The length prefix of a counted string; wide is set by the UTF-16 marker.
bool ReadCountedLength(CSettingsReader& in, uint64_t& length, bool& wide) {
  uint8_t b;
  if (!in.U8(b)) return false;
  if (b < 0xFF) {
    length = b;
    return true;
  }
  uint16_t w;
  if (!in.U16(w)) return false;
  if (w == 0xFFFE) {
    if (wide) return false;  // a second marker is not a length
    wide = true;
    return ReadCountedLength(in, length, wide);
  }
  if (w < 0xFFFF) {
    length = w;
    return true;
  }
  uint32_t d;
  if (!in.U32(d) || d == 0xFFFFFFFF) return false;  // the 64-bit form is never written
  length = d;
  return true;
}

bool ReadCountedString(CSettingsReader& in, std::string& text) {
  uint64_t length = 0;
  bool wide = false;
  if (!ReadCountedLength(in, length, wide)) return false;
  const uint64_t bytes = wide ? length * 2 : length;
  if (bytes > in.Remaining()) return false;
  if (!wide) {
    text.assign(static_cast<size_t>(length), '\0');
    return in.Read(text.data(), length);
  }
  std::u16string units(static_cast<size_t>(length), u'\0');
  std::string raw(static_cast<size_t>(bytes), '\0');
  if (!in.Read(raw.data(), bytes)) return false;
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(LoadU16LE(reinterpret_cast<const uint8_t*>(raw.data()) + 2 * i));
  }
  text = WideToAnsi(units);
  return true;
}

void AppendU32(std::string& out, uint32_t v) {
  uint8_t b[4];
  StoreU32LE(b, v);
  out.append(reinterpret_cast<const char*>(b), sizeof b);
}

void AppendU16(std::string& out, uint16_t v) {
  uint8_t b[2];
  StoreU16LE(b, v);
  out.append(reinterpret_cast<const char*>(b), sizeof b);
}

}  // namespace

ESettingsLoad LoadSettingsFile(const std::string& path, CShowSettings& record) {
  uint64_t size = 0;
  if (!QueryFileSize(path, size)) return ESettingsLoad::Missing;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return ESettingsLoad::Missing;
  std::setvbuf(file.get(), nullptr, _IOFBF, 4096);
  return DecodeSettings(file.get(), size, record);
}

ESettingsLoad DecodeSettings(FILE* file, uint64_t size, CShowSettings& record) {
  CSettingsReader in(file, size);

  record.m_arrFolders.clear();
  record.ResetStoredScalars();

  uint32_t count = 0;
  if (!in.U32(count)) return ESettingsLoad::Damaged;
  // N is signed in the file: 0 or less means no strings. Every string takes at
  // least one byte, so a huge N ends at the end of the file, never in memory.
  for (int32_t i = 0; i < static_cast<int32_t>(count); ++i) {
    std::string folder;
    if (!ReadCountedString(in, folder)) return ESettingsLoad::Damaged;
    record.m_arrFolders.push_back(StoredTextToUtf8(folder));
  }
  for (const auto& field : kSettingsFields) {
    uint32_t value = 0;
    if (!in.U32(value)) return ESettingsLoad::Damaged;
    record.*field.member = static_cast<int32_t>(value);
  }
  uint32_t terminator = 0;
  if (!in.U32(terminator)) return ESettingsLoad::Damaged;  // only its absence matters
  return ESettingsLoad::Loaded;
}

void AppendCountedString(std::string& out, std::string_view text) {
  const uint64_t length = text.size();
  if (length < 255) {
    out += static_cast<char>(length);
  } else if (length < 0xFFFE) {
    out += '\xFF';
    AppendU16(out, static_cast<uint16_t>(length));
  } else {
    out += '\xFF';
    AppendU16(out, 0xFFFF);
    AppendU32(out, static_cast<uint32_t>(length));
  }
  out.append(text);
}

std::string EncodeSettings(const CShowSettings& record) {
  std::string out;
  AppendU32(out, static_cast<uint32_t>(record.m_arrFolders.size()));
  for (const auto& folder : record.m_arrFolders) AppendCountedString(out, folder);
  for (const auto& field : kSettingsFields) AppendU32(out, static_cast<uint32_t>(record.*field.member));
  AppendU32(out, 0xFFFFFFFF);
  return out;
}

bool SaveSettingsFile(const std::string& path, const CShowSettings& record, std::string* error) {
  const std::string bytes = EncodeSettings(record);
  CAtomicFileWriter writer(path);
  if (writer.Write(bytes.data(), bytes.size()) && writer.Commit()) return true;
  if (error) *error = writer.Error();
  return false;
}

}  // namespace qv
