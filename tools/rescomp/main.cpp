// slrescomp LIST OUTPUT: writes a resource-only PE module from a resource list.
// Each line of the list: TYPE NAME LANGUAGE FILE, where TYPE and NAME are "#" plus a
// number or a text, LANGUAGE a number (0x... for hexadecimal), FILE a path relative to
// the list. Empty lines and lines starting with ";" are skipped.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tools/rescomp/PeWriter.h"

namespace {

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
    r.type = ParseKey(type);
    r.name = ParseKey(name);
    r.language = std::uint16_t(std::stoul(language, nullptr, 0));
    std::ifstream data(file[0] == '/' ? file : base + file, std::ios::binary);
    if (!data) {
      std::fprintf(stderr, "%s:%d: cannot read %s\n", argv[1], number, file.c_str());
      return 1;
    }
    r.data.assign(std::istreambuf_iterator<char>(data), {});
    resources.push_back(std::move(r));
  }
  auto image = SLPeRes::WriteModule(resources);
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  return out ? 0 : 1;
}
