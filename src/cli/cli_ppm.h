// Picture files of the command-line tool: binary PPM (P6) and PAM with alpha
// for output, 24-bit bottom-up BMP for the rendered window, PPM for input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/codec.h"

namespace qv::cli {

// Writes pixels as binary PPM (24 bits; 8 and 1 bits expanded through the
// palette) or as PAM with alpha (32 bits). False when the file cannot be written.
bool WritePicture(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height, int32_t bits,
                  const ISPalEntry* palette);

// Writes 24-bit red-green-blue rows (top row first) as a bottom-up 24-bit BMP.
bool WriteBmp24(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height);

// A 24-bit picture read from a binary PPM with maxval 255.
struct CPpmImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // red, green, blue; top row first
};
// False with a reason when the file is not such a PPM.
bool ReadPpm(const std::string& path, CPpmImage& image, std::string& problem);

}  // namespace qv::cli
