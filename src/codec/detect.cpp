// ISGuessFileType: a file's format from its first bytes, its name and its end.
#include <cstring>
#include <string>

#include "codec/codec_internal.h"
#include "platform/text.h"

namespace qv::codec {

namespace {

struct CSignature {
  int32_t code;
  size_t offset;
  size_t length;  // 0: the row never matches
  const char* bytes;
};

// Tested in this order; the first match wins. "BM" comes first, and the
// two-zero-byte WBMP row after every row such a file could also match.
const CSignature kSignatures[] = {
    {IS_FILETYPE_BMP, 0, 2, "BM"},
    {IS_FILETYPE_PAX, 0, 3, "PAX"},
    {IS_FILETYPE_GIF, 0, 6, "GIF89a"},
    {IS_FILETYPE_GIF, 0, 6, "GIF87a"},
    {IS_FILETYPE_JPEG, 0, 4, "\xFF\xD8\xFF\xE0"},
    {IS_FILETYPE_JPEG, 0, 3, "\xFF\xD8\xFF"},
    {IS_FILETYPE_PCX, 0, 2, "\x0A\x00"},
    {IS_FILETYPE_PCX, 0, 2, "\x0A\x02"},
    {IS_FILETYPE_PCX, 0, 2, "\x0A\x03"},
    {IS_FILETYPE_PCX, 0, 2, "\x0A\x05"},
    {IS_FILETYPE_TIFF, 0, 2, "MM"},
    {IS_FILETYPE_TIFF, 0, 2, "II"},
    {IS_FILETYPE_PNG, 0, 8, "\x89PNG\r\n\x1A\n"},
    {IS_FILETYPE_WMF, 0, 5, "\x01\x00\x09\x00\x00"},
    {IS_FILETYPE_WMF, 0, 4, "\xD7\xCD\xC6\x9A"},
    {IS_FILETYPE_EMF, 40, 4, " EMF"},
    {IS_FILETYPE_PSD, 0, 4, "8BPS"},
    {IS_FILETYPE_TLA, 0, 4, "TLA\x01"},
    {IS_FILETYPE_TLAU, 0, 4, "TLAU"},
    {IS_FILETYPE_PCD_OVERVIEW, 0, 7, "PCD_OPA"},
    {IS_FILETYPE_JP2, 4, 5, "jP  \x0D"},
    {IS_FILETYPE_JP2, 0, 2, "\xFF\x4F"},
    {IS_FILETYPE_J2K, 4, 2, "\xFF\x4F"},
    {IS_FILETYPE_WBMP, 0, 2, "\x00\x00"},
    {IS_FILETYPE_TGA, 0, 0, ""},
    {IS_FILETYPE_COMPOUND, 0, 4, "\xD0\xCF\x11\xE0"},
};

constexpr size_t kProbeBytes = 44;

int32_t MatchSignature(const uint8_t* probe, size_t count) {
  for (const CSignature& row : kSignatures) {
    if (row.length == 0 || count < row.offset + row.length) continue;
    if (std::memcmp(probe + row.offset, row.bytes, row.length) == 0) return row.code;
  }
  return IS_FILETYPE_UNKNOWN;
}

int32_t CodeFromExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return IS_FILETYPE_UNKNOWN;
  const std::string ext = qv::LowerCaseAnsi(path.substr(dot));
  if (ext == ".wbmp" || ext == ".wbm") return IS_FILETYPE_WBMP;
  if (ext == ".tga") return IS_FILETYPE_TGA;
  return IS_FILETYPE_UNKNOWN;
}

int32_t GuessFileType(CISIO& io) {
  uint8_t probe[kProbeBytes] = {};
  const size_t count = io.Read(probe, sizeof probe);
  if (count == 0) return IS_FILETYPE_UNKNOWN;
  int32_t code = MatchSignature(probe, count);
  if (code != IS_FILETYPE_UNKNOWN && code != IS_FILETYPE_WBMP) return code;

  const int32_t byName = CodeFromExtension(io.Path());
  if (byName == IS_FILETYPE_TGA) return byName;
  if (byName != IS_FILETYPE_UNKNOWN) {
    code = byName;
  } else {
    uint8_t footer[18];
    if (!io.Seek(-18, 2) || !io.ReadExactly(footer, sizeof footer)) return IS_FILETYPE_UNKNOWN;
    if (std::memcmp(footer, "TRUEVISION-XFILE.", 17) == 0) code = IS_FILETYPE_TGA;
  }
  if (code != IS_FILETYPE_UNKNOWN) return code;

  uint8_t mark[3];
  if (!io.Seek(2048, 0) || !io.ReadExactly(mark, sizeof mark)) return IS_FILETYPE_UNKNOWN;
  return std::memcmp(mark, "PCD", 3) == 0 ? IS_FILETYPE_PCD : IS_FILETYPE_UNKNOWN;
}

}  // namespace

}  // namespace qv::codec

int32_t ISGuessFileType(HISSRC source) {
  qv::codec::CISOperation op;
  if (!op.Ok()) return 0;
  qv::codec::CISIO io;
  if (!op.Attach(source, io)) return 0;
  // Errors met while probing are not reported: the last error stays 0.
  return op.Run<int32_t>(IS_FILETYPE_UNKNOWN, [&] { return qv::codec::GuessFileType(io); });
}
