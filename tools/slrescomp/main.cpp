// slrescomp LIST OUTPUT: writes a resource-only PE module from a resource list.
// Each line of the list: TYPE NAME LANGUAGE FILE, where TYPE and NAME are "#" plus a
// number or a text, LANGUAGE a number (0x... for hexadecimal), FILE a path relative to
// the list. Empty lines and lines starting with ";" are skipped. A line whose TYPE is
// ICON takes an .ico file apart as resource compilers do: its images become resources of
// type 3 with ids numbered from 1 across the list, and NAME names the icon group (type
// 14) that lists them.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "foundation/SLByteOrder.h"
#include "tools/common/ToolSupport.h"
#include "tools/slrescomp/PeWriter.h"

namespace {

// A whole number in `base` (0: decimal or 0x... hexadecimal) from 0 to 65,535.
bool ParseNumber(const std::string& text, int base, std::uint32_t* value) {
  if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, base);
  if (errno || *end || parsed > 0xFFFF) return false;
  *value = std::uint32_t(parsed);
  return true;
}

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

// "#" and a number up to 65,535, or a text of printable ASCII; false for anything else.
bool ParseKey(const std::string& text, SLPeRes::Key* key) {
  if (text.size() > 1 && text[0] == '#') {
    std::uint32_t id = 0;
    if (!ParseNumber(text.substr(1), 10, &id)) return false;
    *key = SLPeRes::Key::Id(std::uint16_t(id));
    return true;
  }
  for (char c : text)
    if (c < 0x21 || c > 0x7E) return false;
  *key = SLPeRes::Key::Text(std::u16string(text.begin(), text.end()));
  return true;
}

const sltool::CommandLine kCommandLine("slrescomp",
                                       "usage: slrescomp LIST OUTPUT\n"
                                       "  LIST lines: TYPE NAME LANGUAGE FILE (TYPE and NAME \"#\" and a number, or a "
                                       "text;\n  LANGUAGE a number up to 65535, 0x... for hexadecimal; FILE relative to "
                                       "LIST)");

int Compile(const std::string& list, const std::string& output) {
  std::error_code code;
  if (std::filesystem::is_directory(list, code)) return kCommandLine.Failure("the list is a folder", list);
  std::ifstream in(list);
  if (!in) return kCommandLine.Failure("cannot read the list (" + sltool::SystemError() + ")", list);
  std::string error;
  if (!sltool::CanWriteBeside(output, &error)) return kCommandLine.Failure(error);
  const std::string base = list.substr(0, list.find_last_of('/') + 1);
  std::vector<SLPeRes::Resource> resources;
  std::string line;
  int number = 0;
  std::uint16_t nextIconId = 1;
  auto lineError = [&](const std::string& what) {
    return kCommandLine.Failure(what, list + ":" + std::to_string(number));
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    std::istringstream fields(line);
    std::string type, name, language, file, extra;
    if (!(fields >> type >> name >> language >> file) || (fields >> extra))
      return lineError("expected TYPE NAME LANGUAGE FILE");
    SLPeRes::Resource r;
    if (type == "ICON")
      r.type = SLPeRes::Key::Id(14);
    else if (!ParseKey(type, &r.type))
      return lineError("the type is neither #0 to #65535 nor a printable text");
    if (!ParseKey(name, &r.name)) return lineError("the name is neither #0 to #65535 nor a printable text");
    std::uint32_t languageId = 0;
    if (!ParseNumber(language, 0, &languageId)) return lineError("the language is not a number from 0 to 65535");
    r.language = std::uint16_t(languageId);
    const std::string path = file[0] == '/' ? file : base + file;
    if (!std::filesystem::is_regular_file(path, code)) return lineError("not a file: " + path);
    std::ifstream data(path, std::ios::binary);
    if (!data) return lineError("cannot read " + path + " (" + sltool::SystemError() + ")");
    r.data.assign(std::istreambuf_iterator<char>(data), {});
    if (data.bad()) return lineError("cannot read " + path + " (" + sltool::SystemError() + ")");
    if (type == "ICON") {
      if (!SplitIcon(r.data, r, &resources, &nextIconId)) return lineError(path + " is not an icon file");
      continue;
    }
    resources.push_back(std::move(r));
  }
  if (in.bad()) return kCommandLine.Failure("cannot read the list (" + sltool::SystemError() + ")", list);
  if (resources.empty()) return kCommandLine.Failure("the list names no resource", list);
  const auto image = SLPeRes::WriteModule(resources);
  if (!sltool::WriteWholeFile(output, image.data(), image.size(), &error)) return kCommandLine.Failure(error);
  return sltool::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (kCommandLine.WantsHelp(argc, argv)) return sltool::kExitOk;
  if (argc != 3) return kCommandLine.UsageError("expected LIST and OUTPUT");
  try {
    return Compile(argv[1], argv[2]);
  } catch (const std::exception& e) {
    return kCommandLine.Failure(std::string("cannot compile the list: ") + e.what(), argv[1]);
  }
}
