#include "tools/slrescomp/PeWriter.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "foundation/SLByteOrder.h"

namespace SLPeRes {
namespace {

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kFileAlign = 0x200;
constexpr std::uint32_t kSectionAlign = 0x1000;

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) { SLStoreLE16(&out[at], u16(v)); }
void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) { SLStoreLE32(&out[at], v); }
std::uint32_t Align(std::uint32_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

std::u16string Upper(std::u16string s) {
  for (auto& c : s)
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  return s;
}

// Order of a directory's entries: named ones first (by text), then ids ascending.
struct KeyLess {
  bool operator()(const Key& a, const Key& b) const {
    if (a.isId != b.isId) return !a.isId;
    return a.isId ? a.id < b.id : Upper(a.text) < Upper(b.text);
  }
};

using LangMap = std::map<std::uint16_t, const Resource*>;
using NameMap = std::map<Key, LangMap, KeyLess>;
using TypeMap = std::map<Key, NameMap, KeyLess>;

// Lays out the resource section: all directories, then the name strings, then the
// data entries, then the data itself (each aligned to 4 bytes).
std::vector<std::uint8_t> BuildSection(const std::vector<Resource>& resources) {
  TypeMap tree;
  for (const auto& r : resources) tree[r.type][r.name][r.language] = &r;

  auto dirSize = [](std::size_t entries) { return std::uint32_t(16 + 8 * entries); };
  std::uint32_t directories = dirSize(tree.size());
  std::size_t leafCount = 0;
  for (auto& [type, names] : tree) {
    directories += dirSize(names.size());
    for (auto& [name, langs] : names) {
      directories += dirSize(langs.size());
      leafCount += langs.size();
    }
  }
  std::map<std::u16string, std::uint32_t> strings;
  std::uint32_t stringsSize = 0;
  auto noteString = [&](const Key& k) {
    if (k.isId) return;
    auto text = Upper(k.text);
    if (strings.count(text)) return;
    strings[text] = 0;
    stringsSize += std::uint32_t(2 + 2 * text.size());
  };
  for (auto& [type, names] : tree) {
    noteString(type);
    for (auto& [name, langs] : names) noteString(name);
  }
  std::uint32_t stringsStart = directories;
  std::uint32_t dataEntriesStart = Align(stringsStart + stringsSize, 4);
  std::uint32_t dataStart = dataEntriesStart + std::uint32_t(16 * leafCount);
  std::uint32_t total = dataStart;
  for (const auto& r : resources) total = Align(total, 4) + std::uint32_t(r.data.size());
  std::vector<std::uint8_t> out(Align(total, 4), 0);

  std::uint32_t at = stringsStart;
  for (auto& [text, offset] : strings) {
    offset = at;
    Put16(out, at, std::uint32_t(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) Put16(out, at + 2 + 2 * i, text[i]);
    at += std::uint32_t(2 + 2 * text.size());
  }

  std::uint32_t nextDir = 0, nextEntry = dataEntriesStart, nextData = dataStart;
  auto writeDirHeader = [&](std::uint32_t dir, std::size_t named, std::size_t ids) {
    Put16(out, dir + 12, std::uint32_t(named));
    Put16(out, dir + 14, std::uint32_t(ids));
  };
  auto nameField = [&](const Key& k) { return k.isId ? std::uint32_t(k.id) : (0x80000000u | strings[Upper(k.text)]); };
  auto countNamed = [](const auto& map) {
    std::size_t n = 0;
    for (auto& kv : map)
      if (!kv.first.isId) ++n;
    return n;
  };

  std::uint32_t root = nextDir;
  nextDir += dirSize(tree.size());
  writeDirHeader(root, countNamed(tree), tree.size() - countNamed(tree));
  std::size_t ti = 0;
  for (auto& [type, names] : tree) {
    std::uint32_t typeDir = nextDir;
    nextDir += dirSize(names.size());
    Put32(out, root + 16 + 8 * ti, nameField(type));
    Put32(out, root + 16 + 8 * ti + 4, 0x80000000u | typeDir);
    ++ti;
    writeDirHeader(typeDir, countNamed(names), names.size() - countNamed(names));
    std::size_t ni = 0;
    for (auto& [name, langs] : names) {
      std::uint32_t langDir = nextDir;
      nextDir += dirSize(langs.size());
      Put32(out, typeDir + 16 + 8 * ni, nameField(name));
      Put32(out, typeDir + 16 + 8 * ni + 4, 0x80000000u | langDir);
      ++ni;
      writeDirHeader(langDir, 0, langs.size());
      std::size_t li = 0;
      for (auto& [lang, resource] : langs) {
        Put32(out, langDir + 16 + 8 * li, lang);
        Put32(out, langDir + 16 + 8 * li + 4, nextEntry);
        ++li;
        nextData = Align(nextData, 4);
        Put32(out, nextEntry, kSectionRva + nextData);
        Put32(out, nextEntry + 4, std::uint32_t(resource->data.size()));
        Put32(out, nextEntry + 8, resource->codePage);
        std::copy(resource->data.begin(), resource->data.end(), out.begin() + nextData);
        nextData += std::uint32_t(resource->data.size());
        nextEntry += 16;
      }
    }
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> WriteModule(const std::vector<Resource>& resources, Kind kind) {
  bool plus = kind == Kind::Pe32Plus;
  std::vector<std::uint8_t> section = BuildSection(resources);
  const std::uint32_t peOffset = 0x40;
  const std::uint32_t optionalSize = plus ? 240 : 224;
  const std::uint32_t headersEnd = peOffset + 4 + 20 + optionalSize + 40;
  const std::uint32_t rawStart = Align(headersEnd, kFileAlign);
  const std::uint32_t rawSize = Align(std::uint32_t(section.size()), kFileAlign);
  std::vector<std::uint8_t> out(rawStart + rawSize, 0);

  out[0] = 'M';
  out[1] = 'Z';
  Put32(out, 60, peOffset);
  std::size_t pe = peOffset;
  out[pe] = 'P';
  out[pe + 1] = 'E';
  std::size_t file = pe + 4;
  Put16(out, file, plus ? 0x8664 : 0x14C);  // machine
  Put16(out, file + 2, 1);                  // one section
  Put16(out, file + 16, optionalSize);
  Put16(out, file + 18, 0x2102);            // executable image, DLL
  std::size_t opt = file + 20;
  Put16(out, opt, plus ? 0x20B : 0x10B);
  std::uint32_t imageSize = kSectionRva + Align(std::uint32_t(section.size()), kSectionAlign);
  Put32(out, opt + 32, kSectionAlign);
  Put32(out, opt + 36, kFileAlign);
  Put16(out, opt + 40, 4);  // OS version 4.0
  Put16(out, opt + 48, 4);  // subsystem version
  Put32(out, opt + 56, imageSize);
  Put32(out, opt + 60, rawStart);
  Put16(out, opt + 68, 2);  // GUI subsystem
  std::size_t counts = opt + (plus ? 108 : 92);
  Put32(out, counts, 16);   // NumberOfRvaAndSizes
  std::size_t resourceDir = counts + 4 + 8 * 2;
  Put32(out, resourceDir, kSectionRva);
  Put32(out, resourceDir + 4, std::uint32_t(section.size()));
  std::size_t sec = opt + optionalSize;
  const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  std::copy(name, name + 8, out.begin() + sec);
  Put32(out, sec + 8, std::uint32_t(section.size()));
  Put32(out, sec + 12, kSectionRva);
  Put32(out, sec + 16, rawSize);
  Put32(out, sec + 20, rawStart);
  Put32(out, sec + 36, 0x40000040);  // initialised data, readable
  std::copy(section.begin(), section.end(), out.begin() + rawStart);
  return out;
}

}  // namespace SLPeRes
