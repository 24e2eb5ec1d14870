// The UTF-8 decoder and encoder: any text the decoder takes comes back byte for byte from
// the encoder; any UTF-16 text the encoder takes comes back unit for unit (the byte-order
// mark and U+FFFE, which the decoder refuses by design, aside).
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/SLTextConvert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  bytes.resize(std::strlen(bytes.c_str()));
  u32 unitCount = 0;
  if (SLUtf8ToWide(nullptr, &unitCount, bytes.c_str(), u32(bytes.size()), 0)) {
    std::u16string units(unitCount, u'\0');
    u32 capacity = unitCount;
    if (!SLUtf8ToWide(units.data(), &capacity, bytes.c_str(), u32(bytes.size()), 0)) __builtin_trap();
    std::string back(bytes.size() + 4, '\0');
    u32 backSize = u32(back.size());
    if (!SLWideToUtf8(back.data(), &backSize, units.c_str(), unitCount, 0)) __builtin_trap();
    if (back.compare(0, backSize, bytes) != 0 || backSize != bytes.size()) __builtin_trap();
  }

  std::u16string wide(size / 2, u'\0');
  std::memcpy(wide.data(), data, wide.size() * 2);
  wide.resize(std::char_traits<char16_t>::length(wide.c_str()));
  if (wide.find_first_of(u"\xFEFF\xFFFE") != std::u16string::npos) return 0;
  u32 byteCount = 0;
  if (SLWideToUtf8(nullptr, &byteCount, wide.c_str(), u32(wide.size()), 0)) {
    std::string encoded(byteCount, '\0');
    u32 capacity = byteCount;
    if (!SLWideToUtf8(encoded.data(), &capacity, wide.c_str(), u32(wide.size()), 0)) __builtin_trap();
    std::u16string back(wide.size() + 1, u'\0');
    u32 backSize = u32(back.size());
    if (!SLUtf8ToWide(back.data(), &backSize, encoded.c_str(), byteCount, 0)) __builtin_trap();
    if (backSize != wide.size() || back.compare(0, backSize, wide) != 0) __builtin_trap();
  }
  return 0;
}
