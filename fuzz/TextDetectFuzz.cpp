// Encoding detection and whole-text conversion of arbitrary bytes: measuring and converting
// agree, the output stays within its size, and the conversions that keep every character
// (UTF-16LE to UTF-16BE and back, UTF-16 to UTF-8 and back) give the text back.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/SLString.h"

namespace {

bool Convert(const std::vector<u8>& source, SLTextEncoding from, SLTextEncoding to, std::vector<u8>* out) {
  u32 measured = 0;
  if (!SLConvertText(nullptr, &measured, to, source.data(), u32(source.size()), from, false)) return false;
  out->assign(measured + 8, 0xAA);
  u32 size = measured;
  if (!SLConvertText(out->data(), &size, to, source.data(), u32(source.size()), from, false)) return false;
  if (size != measured) __builtin_trap();
  for (u32 i = measured + 2; i < out->size(); ++i)
    if ((*out)[i] != 0xAA) __builtin_trap();  // wrote past the size
  out->resize(size);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  SLTextEncoding detected = SLDetectTextEncoding(data, u32(size));
  u32 kind = detected & SL_TEXT_ENCODING_MASK;
  if (kind < SL_TEXT_ANSI || kind > SL_TEXT_UTF16BE) __builtin_trap();

  std::vector<u8> source(data, data + size);
  std::vector<u8> wide;
  if (!Convert(source, 0, SL_TEXT_UTF16LE | SL_TEXT_CRLF, &wide)) return 0;
  // A leading U+FEFF reads as a byte-order mark on the way back, so it cannot survive.
  if (wide.size() >= 2 && wide[0] == 0xFF && wide[1] == 0xFE) return 0;
  std::vector<u8> swapped, back;
  if (!Convert(wide, SL_TEXT_UTF16LE | SL_TEXT_CRLF, SL_TEXT_UTF16BE | SL_TEXT_CRLF, &swapped)) __builtin_trap();
  if (!Convert(swapped, SL_TEXT_UTF16BE | SL_TEXT_CRLF, SL_TEXT_UTF16LE | SL_TEXT_CRLF, &back)) __builtin_trap();
  if (back != wide) __builtin_trap();
  // UTF-8 keeps every character except the two non-characters its decoder refuses and
  // surrogates without their partner.
  bool keepsAll = true;
  for (size_t i = 0; i + 1 < wide.size(); i += 2) {
    u16 unit = u16(wide[i] | (wide[i + 1] << 8));
    u16 next = i + 3 < wide.size() ? u16(wide[i + 2] | (wide[i + 3] << 8)) : 0;
    if (unit == 0xFFFE || unit == 0xFEFF || (unit >= 0xDC00 && unit <= 0xDFFF)) keepsAll = false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (next >= 0xDC00 && next <= 0xDFFF)
        i += 2;
      else
        keepsAll = false;
    }
  }
  std::vector<u8> utf8;
  if (keepsAll && Convert(wide, SL_TEXT_UTF16LE | SL_TEXT_CRLF, SL_TEXT_UTF8 | SL_TEXT_CRLF, &utf8)) {
    if (!Convert(utf8, SL_TEXT_UTF8 | SL_TEXT_CRLF, SL_TEXT_UTF16LE | SL_TEXT_CRLF, &back)) __builtin_trap();
    if (back != wide) __builtin_trap();
  }
  // A capacity too small for everything ends early but never overruns.
  std::vector<u8> small(size / 3 + 4, 0xAA);
  u32 limit = u32(size / 3);
  SLConvertText(small.data(), &limit, SL_TEXT_UTF8 | SL_TEXT_LF, data, u32(size), 0, true);
  for (size_t i = size / 3 + 1; i < small.size(); ++i)
    if (small[i] != 0xAA) __builtin_trap();
  return 0;
}
