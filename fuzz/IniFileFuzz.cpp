// INI load of arbitrary bytes, then a sequence of gets, sets and deletes driven by the rest
// of the input: no crash, and after every successful edit the text still passes CheckText.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/SLIniFile.h"
#include "storage/SLMemoryStorage.h"
#include "storage/StorageClasses.h"

namespace {

std::u16string Name(const uint8_t*& p, const uint8_t* end) {
  static const char16_t* const kNames[] = {u"General", u"Skin", u"k", u"Key", u"IMAGE1", u"a b", u"x]", u"=",
                                           u";c", u"", u"v\r\nw", u"\t", u"M\u00fasica", u"//", u"[s", u"z"};
  if (p >= end) return u"k";
  return kNames[*p++ % 16];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterStorageClasses(), true);
  (void)registered;
  if (size < 2 || size > 65536) return 0;
  size_t textSize = data[0] * 64u % size;
  auto* storage = new CSLMemoryStorage();
  std::string text(reinterpret_cast<const char*>(data + 1), textSize > size - 1 ? size - 1 : textSize);
  storage->AttachBuffer(text.data(), uint32_t(text.size()), false);
  CSLIniFile ini;
  ini.Load(storage);
  storage->Release();
  const uint8_t* p = data + 1 + text.size();
  const uint8_t* end = data + size;
  while (p < end) {
    uint8_t op = *p++;
    std::u16string section = Name(p, end), key = Name(p, end), value = Name(p, end);
    i32 occurrence = i32(op >> 4) - 1;
    CSLStringWide result;
    switch (op & 3) {
      case 0:
        ini.GetStringW(section.c_str(), key.c_str(), result, u"d", u32(occurrence < 0 ? 0 : occurrence));
        break;
      case 1:
        if (ini.SetStringW(section.c_str(), key.c_str(), value.c_str(), occurrence)) {
          const SLWChar* t = ini.GetText();
          std::u16string copy = t ? t : u"";
          if (!CSLIniFile::CheckText(copy.c_str(), uint32_t(copy.size()))) std::abort();
          if (occurrence == 0 && !ini.GetStringW(section.c_str(), key.c_str(), result, nullptr, 0)) std::abort();
        }
        break;
      case 2:
        ini.DeleteKeyW(section.c_str(), key.c_str(), u32(occurrence < 0 ? 0 : occurrence));
        break;
      default: {
        char buffer[8];
        u32 bufferSize = sizeof buffer;
        ini.GetKeyNameBufA("Skin", op >> 2, (op & 4) ? nullptr : buffer, &bufferSize);
        break;
      }
    }
  }
  return 0;
}
