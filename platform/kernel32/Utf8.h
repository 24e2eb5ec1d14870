// UTF-8 at the edges of the stand-in (file names, the display, /proc): one encoder and
// one strict decoder, under the lenient and strict conversions that use them.
#pragma once

#include <cstddef>
#include <string>

void SLPlatformAppendUtf8(std::string* out, char32_t c);
// Decodes the character at text[*i] of `size` bytes; false (index unchanged) for a
// malformed, cut, overlong or surrogate sequence.
bool SLPlatformDecodeUtf8(const char* text, std::size_t size, std::size_t* i, char32_t* out);

// UTF-16 <-> UTF-8 for the layer's own use (unpaired surrogates and malformed bytes
// become U+FFFD).
std::string SLPlatformUtf16ToUtf8(const char16_t* text, std::size_t length = std::string::npos);
std::u16string SLPlatformUtf8ToUtf16(const char* text);
