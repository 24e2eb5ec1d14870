// Item packs (backgrounds, characters, objects) on their way into "Gfx/Fondos",
// "Gfx/Personajes" and "Gfx/Objetos": the item description "info.txt" kept as sections of
// keys and written in one of the three text forms the program reads, beside the item's
// pictures and sounds.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/contentgen/Pictures.h"

namespace contentgen {

// Windows-1252 (the program's 8-bit text), or UTF-8 / UTF-16LE each with a byte order mark.
enum class TextForm { Windows1252, Utf8, Utf16 };

class ItemPack {
 public:
  explicit ItemPack(Context& context) : m_files(context) {}

  // Keys in the order given; a section is made the first time it is named. Texts are UTF-8
  // here and must stay inside Windows-1252.
  void Key(const std::string& section, const std::string& key, const std::string& value);
  // A 32-bit frame with its point.
  void Frame(const std::string& name, const Canvas& picture, unsigned pointX, unsigned pointY) {
    m_files.Add(name, picture, Encoding::Zlib, true, pointX, pointY);
  }
  void File(const std::string& name, std::string bytes) { m_files.AddBytes(name, std::move(bytes)); }
  // A line of its own in a section, as it is (a line that is no key, for the test fixtures).
  void Line(const std::string& section, const std::string& text) { Key(section, "", text); }

  // "info.txt" in the form asked for, lines ended by CR LF.
  std::string Info(TextForm form) const;
  bool Write(const std::filesystem::path& path, uint16_t version, uint32_t key, TextForm form, std::string* error);

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
  };
  std::vector<Section> m_sections;
  PictureSet m_files;
};

// The packs of one kind alternate between pack versions 2 and 3, with and without a key,
// so every reading path of the program meets real content.
struct PackForm {
  uint16_t version;
  uint32_t key;
};
PackForm PackFormFor(size_t index);

// The sample items of each kind (Items.cpp, Characters.cpp).
bool WriteBackgrounds(Context& context, std::string* error);
bool WriteObjects(Context& context, std::string* error);
bool WriteCharacters(Context& context, std::string* error);

// Small items for the test fixtures. A background drawn like sample stage `look` (0..2);
// with `opaqueOutside` its mask is 255 outside the random placement range (50..613 x
// 20..351) and 0 inside it.
bool WriteSmallBackground(Context& context, const std::filesystem::path& path, const std::string& name,
                          const std::string& itemClass, int look, bool opaqueOutside, PackForm form, std::string* error);
// A one-state, one-frame object; `badLine`, when not empty, goes into "info.txt" as is.
bool WriteSmallObject(Context& context, const std::filesystem::path& path, const std::string& name,
                      const std::string& itemClass, const std::string& badLine, PackForm form, std::string* error);
// A character with one state and one action, `frames[d]` frames in direction d.
bool WriteSmallCharacter(Context& context, const std::filesystem::path& path, const std::string& name,
                         const std::string& itemClass, const int (&frames)[8], PackForm form, std::string* error);

}  // namespace contentgen
