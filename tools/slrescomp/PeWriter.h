// Writes resource-only PE32 and PE32+ module images: headers, one ".rsrc" section and
// the three-level resource directory (type, name, language) with its strings and data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace SLPeRes {

// A type or name: a numeric id, or a text (kept as given; the directory sorts and
// stores it upper-cased, as resource compilers do).
struct Key {
  bool isId = true;
  std::uint16_t id = 0;
  std::u16string text;
  static Key Id(std::uint16_t value) { return Key{true, value, {}}; }
  static Key Text(std::u16string value) { return Key{false, 0, std::move(value)}; }
};

struct Resource {
  Key type;
  Key name;
  std::uint16_t language = 0;
  std::uint32_t codePage = 0;
  std::vector<std::uint8_t> data;
};

enum class Kind { Pe32, Pe32Plus };

std::vector<std::uint8_t> WriteModule(const std::vector<Resource>& resources, Kind kind = Kind::Pe32);

}  // namespace SLPeRes
