// The readers behind the image holder's type codes: which codec call reads a
// type, at which depth, and where its palette comes from. A type whose reader
// is not part of the build has no entry and loads like an undecodable file.
#pragma once

#include <cstdint>
#include <string>

#include "codec/codec.h"

namespace qv {

enum class EHolderPalette {
  kNone,       // 24-bit read
  kQuery,      // separate palette query after the read
  kGreyRamp,   // entry i is (i, i, i, i), 256 entries
  kFromRead256,  // the read fills the palette; 256 entries
  kFromRead2,    // the read fills the palette; 2 entries
  kFixedMono,    // entry 0 white, entry 1 black; 2 entries
};

struct CHolderFormat {
  int32_t type;
  int32_t bits;  // depth asked of the reader
  EHolderPalette palette;
  // Reads from the source's current position; palette is the destination for
  // 1- and 8-bit reads, page is used by multi-page formats.
  uint8_t* (*read)(HISSRC source, int32_t* width, int32_t* height, int32_t bits, ISPalEntry* palette, int32_t page);
  // The palette query of kQuery types.
  int32_t (*queryPalette)(HISSRC source, int32_t* count, ISPalEntry* palette);
};

// The entry for a raster type, or null (metafiles, 21 and above, readers not built).
const CHolderFormat* FindHolderFormat(int32_t type);

// The holder type for an ISGuessFileType code, or kTypeNone when the guess
// does not decide (GIF, PhotoCD overview, JPEG 2000, unknown ...).
int32_t TypeFromGuess(int32_t guess);

// Refines a detected type by the format's dimension query on the source
// (positioned at the start); only a query that succeeds changes the type.
int32_t RefineTypeByDims(HISSRC source, int32_t type);

// The format's own resolution, where its dimension query reports one
// (JPEG, BMP, PNG, TIFF). unit: 1 no unit, 2 per inch, 3 per centimetre.
bool QueryFormatResolution(HISSRC source, int32_t type, int32_t& x, int32_t& y, int32_t& unit);

// Renders a metafile (types 12 and 13) to a 24-bit codec buffer; returns the
// result code (the codec's last error, or IS_ERR_BADPARAM where metafiles are
// not part of the build).
int32_t ReadHolderMetafile(const std::string& path, uint8_t*& bits, int32_t& width, int32_t& height);

}  // namespace qv
