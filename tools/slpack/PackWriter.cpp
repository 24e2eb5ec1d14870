#include "tools/slpack/PackWriter.h"

#include "tools/common/ToolSupport.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "foundation/SLByteOrder.h"

namespace slpack {

namespace {

const char kMagic[16] = {'F', 'a', 's', 't', ' ', 'D', 'a', 't', 'a', ' ', 'F', 'i', 'l', 'e', '.', 0x1A};

uint32_t Crc(const uint8_t* data, size_t size) {
  uLong crc = crc32(0, nullptr, 0);
  while (size) {
    uInt piece = uInt(std::min<size_t>(size, 1u << 30));
    crc = crc32(crc, data, piece);
    data += piece;
    size -= piece;
  }
  return uint32_t(crc);
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    uint8_t c = uint8_t(text[i]);
    uint32_t cp = 0xFFFD;
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra == 0) {
      cp = c;
      ++i;
    } else if (extra < 0 || i + size_t(extra) >= text.size()) {
      ++i;
    } else {
      cp = c & (0x3F >> extra);
      bool ok = true;
      for (int k = 1; k <= extra; ++k) {
        uint8_t cc = uint8_t(text[i + k]);
        if ((cc & 0xC0) != 0x80) ok = false;
        cp = (cp << 6) | (cc & 0x3F);
      }
      i += ok ? extra + 1 : 1;
      if (!ok || cp > 0x10FFFF) cp = 0xFFFD;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

void PackWriter::AddFile(const std::string& name, std::vector<uint8_t> data, uint32_t extra) {
  AddFile(Utf8ToUtf16(name), std::move(data), extra);
}

void PackWriter::AddFile(const std::u16string& name, std::vector<uint8_t> data, uint32_t extra) {
  PackEntry entry;
  entry.name = name;
  entry.data = std::move(data);
  entry.extra = extra;
  m_entries.push_back(std::move(entry));
}

void PackWriter::AddRaw(const std::u16string& name, uint64_t offset, uint64_t size, uint32_t extra) {
  PackEntry entry;
  entry.name = name;
  entry.raw = true;
  entry.offset = offset;
  entry.size = size;
  entry.extra = extra;
  m_entries.push_back(std::move(entry));
}

bool PackWriter::AddFolder(const std::filesystem::path& folder, std::string* error) {
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file()) files.push_back(it->path());
  if (ec) {
    *error = "cannot list " + folder.string() + ": " + ec.message();
    return false;
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      *error = "cannot read " + file.string();
      return false;
    }
    AddFile(std::filesystem::relative(file, folder).generic_string(), std::move(data));
  }
  return true;
}

bool PackWriter::Build(std::vector<uint8_t>* out, std::string* error) const {
  if (m_version != 2 && m_version != 3) {
    *error = "version must be 2 or 3";
    return false;
  }
  const bool v3 = m_version == 3;
  if (!v3 && m_entries.size() > 0xFFFF) {
    *error = "a version-2 pack holds at most 65535 entries";
    return false;
  }
  if (v3 && m_entries.size() > 0xFFFFFFFFull) {
    *error = "too many entries";
    return false;
  }
  std::vector<uint8_t>& pack = *out;
  pack.clear();
  for (char c : kMagic) pack.push_back(uint8_t(c));
  SLAppendLE(&pack, 0x6B54, 2);
  SLAppendLE(&pack, m_version, 2);
  SLAppendLE(&pack, m_entries.size(), v3 ? 4 : 2);
  SLAppendLE(&pack, m_key, 4);

  // Directory size first, so the data offsets are known.
  uint64_t directorySize = 0;
  for (const auto& e : m_entries) directorySize += v3 ? (e.name.size() + 1) * 2 + 20 : e.name.size() + 1 + 8;
  uint64_t dataOffset = pack.size() + directorySize + (v3 ? 4 : 0);
  for (const auto& e : m_entries) {
    uint64_t offset = e.raw ? e.offset : dataOffset;
    uint64_t size = e.raw ? e.size : e.data.size();
    if (!e.raw) dataOffset += e.data.size();
    if (v3) {
      for (char16_t unit : e.name) SLAppendLE(&pack, unit, 2);
      SLAppendLE(&pack, 0, 2);
      SLAppendLE(&pack, offset, 8);
      SLAppendLE(&pack, size, 8);
      SLAppendLE(&pack, e.extra, 4);
    } else {
      for (char16_t unit : e.name) {
        if (unit == 0 || unit > 0xFF || (unit >= 0x80 && unit < 0xA0)) {
          *error = "a version-2 name takes only characters up to U+00FF";
          return false;
        }
        pack.push_back(uint8_t(unit));
      }
      pack.push_back(0);
      if (offset > 0xFFFFFFFFu || size > 0xFFFFFFFFu) {
        *error = "a version-2 pack is limited to 4 GiB";
        return false;
      }
      SLAppendLE(&pack, offset, 4);
      SLAppendLE(&pack, size, 4);
    }
  }
  if (v3) SLAppendLE(&pack, Crc(pack.data(), pack.size()), 4);
  for (const auto& e : m_entries) {
    if (e.raw) continue;
    for (size_t p = 0; p < e.data.size(); ++p) pack.push_back(e.data[p] ^ KeyByte(m_key, p));
  }
  if (!v3) {
    if (pack.size() + 4 > 0xFFFFFFFFull) {
      *error = "a version-2 pack is limited to 4 GiB";
      return false;
    }
    SLAppendLE(&pack, Crc(pack.data(), pack.size()), 4);
  }
  return true;
}

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, std::string* error) {
  // Through a temporary file beside the target: a failed write leaves no partial pack.
  return sltool::WriteWholeFile(path.string(), bytes.data(), bytes.size(), error);
}

}  // namespace slpack
