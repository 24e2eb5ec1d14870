// slrescomp LIST OUTPUT: writes a resource-only PE module from a resource list.
// Each line of the list: TYPE NAME LANGUAGE FILE, where TYPE and NAME are "#" plus a
// number or a text, LANGUAGE a number (0x... for hexadecimal), FILE a path relative to
// the list. Empty lines and lines starting with ";" are skipped. A line whose TYPE is
// ICON takes an .ico file apart as resource compilers do: its images become resources of
// type 3 with ids numbered from 1 across the list, and NAME names the icon group (type
// 14) that lists them.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "foundation/SLByteOrder.h"
#include "tools/rescomp/PeWriter.h"

namespace {

// An .ico file: {reserved, type 1, count} and 16-byte entries {width, height, colours,
// reserved, planes, bit count, size, file offset}. The group resource keeps the first
// twelve bytes of each entry and puts the image's resource id in place of the offset.
bool SplitIcon(const std::vector<std::uint8_t>& file, const SLPeRes::Resource& group,
               std::vector<SLPeRes::Resource>* out, std::uint16_t* nextId) {
  if (file.size() < 6 || SLLoadLE16(&file[0]) != 0 || SLLoadLE16(&file[2]) != 1) return false;
  std::size_t count = SLLoadLE16(&file[4]);
  if (count == 0 || 6 + 16 * count > file.size()) return false;
  SLPeRes::Resource directory = group;
  directory.type = SLPeRes::Key::Id(14);
  directory.data.assign(file.begin(), file.begin() + 6);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t entry = 6 + 16 * i;
    std::uint64_t size = SLLoadLE32(&file[entry + 8]), offset = SLLoadLE32(&file[entry + 12]);
    if (offset > file.size() || size > file.size() - offset) return false;
    SLPeRes::Resource image;
    image.type = SLPeRes::Key::Id(3);
    image.name = SLPeRes::Key::Id((*nextId)++);
    image.language = group.language;
    image.data.assign(file.begin() + std::ptrdiff_t(offset), file.begin() + std::ptrdiff_t(offset + size));
    out->push_back(std::move(image));
    directory.data.insert(directory.data.end(), file.begin() + std::ptrdiff_t(entry),
                          file.begin() + std::ptrdiff_t(entry + 12));
    SLAppendLE(&directory.data, std::uint16_t(*nextId - 1), 2);
  }
  out->push_back(std::move(directory));
  return true;
}

SLPeRes::Key ParseKey(const std::string& text) {
  if (text.size() > 1 && text[0] == '#') return SLPeRes::Key::Id(std::uint16_t(std::stoul(text.substr(1))));
  return SLPeRes::Key::Text(std::u16string(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: slrescomp LIST OUTPUT\n");
    return 2;
  }
  std::string list = argv[1];
  std::string base = list.substr(0, list.find_last_of('/') + 1);
  std::ifstream in(list);
  if (!in) {
    std::fprintf(stderr, "slrescomp: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<SLPeRes::Resource> resources;
  std::string line;
  int number = 0;
  std::uint16_t nextIconId = 1;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == ';') continue;
    std::istringstream fields(line);
    std::string type, name, language, file;
    if (!(fields >> type >> name >> language >> file)) {
      std::fprintf(stderr, "%s:%d: expected TYPE NAME LANGUAGE FILE\n", argv[1], number);
      return 1;
    }
    SLPeRes::Resource r;
    r.type = type == "ICON" ? SLPeRes::Key::Id(14) : ParseKey(type);
    r.name = ParseKey(name);
    r.language = std::uint16_t(std::stoul(language, nullptr, 0));
    std::ifstream data(file[0] == '/' ? file : base + file, std::ios::binary);
    if (!data) {
      std::fprintf(stderr, "%s:%d: cannot read %s\n", argv[1], number, file.c_str());
      return 1;
    }
    r.data.assign(std::istreambuf_iterator<char>(data), {});
    if (type == "ICON") {
      if (!SplitIcon(r.data, r, &resources, &nextIconId)) {
        std::fprintf(stderr, "%s:%d: %s is not an icon file\n", argv[1], number, file.c_str());
        return 1;
      }
      continue;
    }
    resources.push_back(std::move(r));
  }
  auto image = SLPeRes::WriteModule(resources);
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  return out ? 0 : 1;
}
