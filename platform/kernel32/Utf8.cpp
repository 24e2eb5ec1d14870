#include "platform/kernel32/Utf8.h"

#include <cstring>

void SLPlatformAppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(char(c));
  } else if (c < 0x800) {
    out->push_back(char(0xC0 | (c >> 6)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(char(0xE0 | (c >> 12)));
    out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (c >> 18)));
    out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  }
}

bool SLPlatformDecodeUtf8(const char* text, std::size_t size, std::size_t* i, char32_t* out) {
  std::size_t at = *i;
  if (at >= size) return false;
  auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *out = lead;
    *i = at + 1;
    return true;
  }
  int extra;
  char32_t c;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (at + extra >= size) return false;
  for (int k = 1; k <= extra; ++k) {
    auto b = static_cast<unsigned char>(text[at + k]);
    if ((b & 0xC0) != 0x80) return false;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  *out = c;
  *i = at + 1 + extra;
  return true;
}

// ---- lenient conversions -----------------------------------------------------------

std::string SLPlatformUtf16ToUtf8(const char16_t* text, std::size_t length) {
  std::string out;
  if (!text) return out;
  for (std::size_t i = 0; i < length && (length != std::string::npos || text[i]); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    SLPlatformAppendUtf8(&out, c);
  }
  return out;
}

// Malformed input gives U+FFFD and moves on by one byte.
std::u16string SLPlatformUtf8ToUtf16(const char* text) {
  std::u16string out;
  if (!text) return out;
  std::size_t size = std::strlen(text);
  for (std::size_t i = 0; i < size;) {
    char32_t c;
    if (!SLPlatformDecodeUtf8(text, size, &i, &c)) {
      c = 0xFFFD;
      ++i;
    }
    if (c >= 0x10000) {
      out += char16_t(0xD800 + ((c - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += char16_t(c);
    }
  }
  return out;
}
