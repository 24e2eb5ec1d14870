// Writes MXIMG pictures: the 36-byte header, the optional palette, the pixels as raw
// rows, zlib rows or an embedded JPEG, PNG or GIF file, and the optional 1-bit mask.
#pragma once

#include <string>

#include "image/SLImageArray.h"

namespace mximg {

enum Encoding : u32 { kRaw = 0x00, kZlib = 0xF0, kJpeg = 0x10, kPng = 0x20, kGif = 0x30 };

struct WriteOptions {
  u32 depth = 32;          // 8, 16, 24 or 32
  u32 encoding = kRaw;
  std::string embedded;    // the file embedded as it is (kJpeg, kPng, kGif)
  bool palette = false;    // store the picture's 256 palette entries
  bool key = false;        // colour key, 0x00BBGGRR
  u32 keyColor = 0;
  bool point = false;
  u32 pointX = 0, pointY = 0;
  bool maskFromAlpha = false;      // opaque where the picture's alpha is >= 128
  const CSLImage* mask = nullptr;  // else opaque where this image is light (a 1-bit picture)
};

// The file for `picture` (any format ConvertFormat takes to the depth's format; at depth
// 8 a palette picture keeps its indices and palette). False with a message in *error.
bool Write(const CSLImage& picture, const WriteOptions& options, std::string* out, std::string* error);

// Reads any picture our readers read (the first image of the file).
bool ReadPicture(const std::string& path, CSLImage* out, std::string* error);

// The bytes of a file.
bool ReadFile(const std::string& path, std::string* out);

}  // namespace mximg
